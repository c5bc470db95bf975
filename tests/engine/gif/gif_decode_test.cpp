#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gif/gif.h"
#include "gif_support.h"

using namespace giftest;

namespace {

// Whether pixel (x, y), counted from the top, is transparent: by the transparent index of a
// palette picture, or by the alpha plane of a 24-bit one.
bool TopDownTransparent(const Picture& p, int x, int y) {
    if (p.GetBpp() == 24)
        return p.AlphaIsValid() && p.AlphaGet(x, static_cast<int32_t>(p.GetHeight()) - 1 - y) == 0;
    return p.IsTransparent() && TopDownIndex(p, x, y) == p.GetTransIndex();
}

// Our picture against a reference decoded by an independent tool: opaque reference pixels
// must have the same colour and be opaque, transparent ones transparent here too.
void ExpectMatchesReference(const Picture& p, const Pnm& ref, const std::string& what) {
    ASSERT_EQ(static_cast<int>(p.GetWidth()), ref.width) << what;
    ASSERT_EQ(static_cast<int>(p.GetHeight()), ref.height) << what;
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const RGBQUAD want = ref.At(x, y);
            const bool ok = want.rgbReserved == 0
                                ? TopDownTransparent(p, x, y)
                                : SameRgb(TopDownColor(p, x, y), want) && !TopDownTransparent(p, x, y);
            if (!ok && ++mismatches <= 3) ADD_FAILURE() << what << ": pixel " << x << "," << y << " differs";
        }
    }
    EXPECT_EQ(mismatches, 0) << what;
}

Pnm WithAlpha(Pnm rgb, const Pnm& alpha) {
    for (size_t i = 0; i < rgb.pixels.size(); ++i) rgb.pixels[i].rgbReserved = alpha.pixels[i].rgbRed;
    return rgb;
}

struct FixtureRow {
    const char* gif;
    const char* reference;
    uint16_t bpp;
    bool transparent;
};

}  // namespace

TEST(GifDecode, IndependentFilesMatchTheirToolsPixels) {
    const FixtureRow rows[] = {
        {"im-palette.gif", "im-palette.ppm", 8, false},
        {"im-interlaced.gif", "im-interlaced.ppm", 8, false},
        {"im-interlaced16.gif", "im-interlaced16.ppm", 4, false},
        {"im-bitmap.gif", "im-bitmap.ppm", 1, false},
        {"im-transparent.gif", "im-transparent.pam", 4, true},
        {"pamtogif-palette.gif", "pamtogif-palette.ppm", 8, false},
        {"pamtogif-interlace.gif", "pamtogif-interlace.ppm", 8, false},
        {"pamtogif-nolzw.gif", "pamtogif-nolzw.ppm", 8, false},
        {"pamtogif-noise.gif", "pamtogif-noise.ppm", 8, false},
        {"pamtogif-noise-nolzw.gif", "pamtogif-noise-nolzw.ppm", 8, false},
        {"pamtogif-comment16.gif", "pamtogif-comment16.ppm", 4, false},
        {"ppmtogif-bitmap.gif", "ppmtogif-bitmap.ppm", 1, false},
    };
    for (const FixtureRow& row : rows) {
        Picture p;
        ASSERT_TRUE(DecodeGif(ReadFile(DataPath(row.gif)), p)) << row.gif;
        EXPECT_EQ(p.GetBpp(), row.bpp) << row.gif;
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Gif));
        EXPECT_EQ(p.GetFrameCount(), 1) << row.gif;
        EXPECT_EQ(p.IsTransparent(), row.transparent) << row.gif;
        ExpectMatchesReference(p, ReadPnm(DataPath(row.reference)), row.gif);
    }
}

TEST(GifDecode, NetpbmTransparencyMatchesGiftopnmAlpha) {
    Picture p;
    ASSERT_TRUE(DecodeGif(ReadFile(DataPath("pamtogif-transparent.gif")), p));
    ASSERT_TRUE(p.IsTransparent());
    const Pnm ref = WithAlpha(ReadPnm(DataPath("pamtogif-transparent.ppm")),
                              ReadPnm(DataPath("pamtogif-transparent-alpha.pgm")));
    ExpectMatchesReference(p, ref, "pamtogif-transparent.gif");
}

TEST(GifDecode, AnimationFramesMatchImageMagicksCoalescedFrames) {
    const Bytes file = ReadFile(DataPath("im-anim.gif"));
    for (int frame = 0; frame < 5; ++frame) {
        Picture p;
        ASSERT_TRUE(DecodeGif(file, p, frame)) << frame;
        EXPECT_EQ(p.GetFrameCount(), 5);
        ExpectMatchesReference(p, ReadPnm(DataPath("im-anim-" + std::to_string(frame) + ".pam")),
                               "frame " + std::to_string(frame));
    }
    Picture p;
    p.SetLastError("earlier failure");
    EXPECT_FALSE(DecodeGif(file, p, 5));
    EXPECT_EQ(p.GetFrameCount(), 5);
    EXPECT_STREQ(p.GetLastError(), "earlier failure");  // the decoder adds no text of its own
    EXPECT_FALSE(p.IsValid());
}

TEST(GifDecode, CommentAndLoopCountStayInTheCodec) {
    PictureGIF gif;
    Bytes file = ReadFile(DataPath("pamtogif-comment16.gif"));
    MemoryStream s(file.data(), static_cast<int32_t>(file.size()));
    ASSERT_TRUE(gif.Decode(&s));
    EXPECT_STREQ(gif.GetComment(), "made by pamtogif");

    for (const char* id : {"NETSCAPE2.0", "ANYTHING.11"}) {
        Bytes looped = GifFile(2, 1, Colors(2)).Application(id, {1, 5, 0}).Pixels(0, 0, 2, 1, {0, 1}).End();
        PictureGIF g;
        MemoryStream ls(looped.data(), static_cast<int32_t>(looped.size()));
        ASSERT_TRUE(g.Decode(&ls)) << id;
        EXPECT_EQ(g.GetLoops(), 5) << id;
    }
}

TEST(GifDecode, VersionIsNotCheckedButTheSignatureIs) {
    const std::vector<int> pixels{0, 1, 1, 0};
    Picture a, b, c;
    EXPECT_TRUE(DecodeGif(GifFile(2, 2, Colors(2), "GIF87a").Pixels(0, 0, 2, 2, pixels).End(), a));
    EXPECT_TRUE(DecodeGif(GifFile(2, 2, Colors(2), "GIF89a").Pixels(0, 0, 2, 2, pixels).End(), b));
    EXPECT_EQ(std::memcmp(a.dib, b.dib, a.GetSize()), 0);
    EXPECT_FALSE(DecodeGif(GifFile(2, 2, Colors(2), "GIF90a").Pixels(0, 0, 2, 2, pixels).End(), c));
    EXPECT_FALSE(DecodeGif(GifFile(2, 2, Colors(2), "JIF89a").Pixels(0, 0, 2, 2, pixels).End(), c));
}

TEST(GifDecode, TransparentIndexWhitensTheUnusedPaletteEntries) {
    const std::vector<Rgb> table = Colors(4);
    Picture p;
    ASSERT_TRUE(DecodeGif(GifFile(3, 1, table).Control(1, 7, 3).Pixels(0, 0, 3, 1, {3, 1, 2}).End(), p));
    EXPECT_EQ(p.GetBpp(), 4);
    EXPECT_EQ(p.GetTransIndex(), 3);
    EXPECT_EQ(p.info.frameDelay, 7u);
    for (uint8_t i = 0; i < 16; ++i) {
        const RGBQUAD c = p.GetPaletteColor(i);
        const Rgb want = i < 4 ? table[i] : Rgb{255, 255, 255};
        EXPECT_TRUE(c.rgbRed == want.r && c.rgbGreen == want.g && c.rgbBlue == want.b) << int(i);
    }
    // Without a transparent index the entries past the table stay black.
    Picture q;
    ASSERT_TRUE(DecodeGif(GifFile(3, 1, table).Pixels(0, 0, 3, 1, {3, 1, 2}).End(), q));
    EXPECT_EQ(q.GetTransIndex(), -1);
    EXPECT_TRUE(SameRgb(q.GetPaletteColor(9), RGBQUAD{0, 0, 0, 0}));
}

TEST(GifDecode, InterlacedLinesGoToTheirPassRows) {
    // Line n holds the value n; row lists which line lands on each row from the top.
    const struct {
        int height;
        std::vector<int> lineOfRow;
    } rows[] = {
        {4, {0, 2, 1, 3}},
        {2, {0, 1}},
        {9, {0, 5, 3, 6, 2, 7, 4, 8, 1}},
        {1, {0}},
    };
    for (const auto& row : rows) {
        std::vector<int> lines;
        for (int i = 0; i < row.height; ++i) lines.push_back(i);
        Picture p;
        ASSERT_TRUE(DecodeGif(
            GifFile(1, row.height, Colors(16)).Pixels(0, 0, 1, row.height, lines, {}, true, 4).End(), p));
        for (int y = 0; y < row.height; ++y)
            EXPECT_EQ(TopDownIndex(p, 0, y), row.lineOfRow[y]) << row.height << " row " << y;
    }
}

TEST(GifDecode, LaterFramesComposeOverEarlierOnesKeepingTheirColours) {
    const std::vector<Rgb> global = Colors(4), local = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
    // Frame 0 fills the 4 x 2 screen with 0; frame 1 (global table) puts 2 at column 3;
    // frame 2 (local table) puts 1 at column 1; frame 3 (global table) puts 2 at column 2
    // of the bottom row, with 3 transparent.
    const Bytes file = GifFile(4, 2, global)
                           .Pixels(0, 0, 4, 2, {0, 0, 0, 0, 0, 0, 0, 0})
                           .Pixels(3, 0, 1, 2, {2, 2})
                           .Pixels(1, 0, 1, 2, {1, 1}, local)
                           .Control(1, 0, 3)
                           .Pixels(1, 1, 2, 1, {3, 2})
                           .End();
    // While every frame shares the global table the picture stays a palette picture.
    Picture one;
    ASSERT_TRUE(DecodeGif(file, one, 1));
    EXPECT_EQ(one.GetBpp(), 4);
    EXPECT_EQ(TopDownIndex(one, 3, 1), 2);
    EXPECT_EQ(TopDownIndex(one, 2, 1), 0);

    // A local table does not recolour what earlier frames drew: the canvas becomes 24-bit.
    for (int frame : {2, 3}) {
        Picture p;
        ASSERT_TRUE(DecodeGif(file, p, frame));
        EXPECT_EQ(p.GetFrameCount(), 4);
        ASSERT_EQ(p.GetBpp(), 24);
        EXPECT_FALSE(p.AlphaIsValid());  // every pixel is covered
        const Rgb want[2][4] = {{global[0], local[1], global[0], global[2]},
                                {global[0], local[1], frame == 3 ? global[2] : global[0], global[2]}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_TRUE(
                    SameRgb(TopDownColor(p, x, y), RGBQUAD{want[y][x].b, want[y][x].g, want[y][x].r, 0}))
                    << frame << ": " << x << "," << y;
    }
    Picture beyond;
    EXPECT_FALSE(DecodeGif(file, beyond, 4));
    EXPECT_EQ(beyond.GetFrameCount(), 4);
    EXPECT_FALSE(DecodeGif(file, beyond, -1));
}

TEST(GifDecode, DisposalRestoresOnlyTheFramesRectangle) {
    // A 3 x 1 screen: frame 0 (index 2 transparent) paints 0 0 0; frame 1 paints 1 at
    // column 0 and is disposed as the row says; frame 2 covers columns 0 and 1, transparent
    // over column 0, and paints 3 at column 1. Column 2 is never touched after frame 0.
    const struct {
        uint8_t disposal;
        int column0;
    } rows[] = {{0, 1}, {1, 1}, {2, 2}, {3, 0}};
    for (int tableSize : {4, 256}) {  // 4-bit and 8-bit canvases
        for (const auto& row : rows) {
            const Bytes file = GifFile(3, 1, Colors(tableSize))
                                   .Control(1, 0, 2)
                                   .Pixels(0, 0, 3, 1, {0, 0, 0})
                                   .Control(static_cast<uint8_t>(row.disposal << 2), 0, 0)
                                   .Pixels(0, 0, 1, 1, {1})
                                   .Control(1, 0, 2)
                                   .Pixels(0, 0, 2, 1, {2, 3})
                                   .End();
            Picture p;
            ASSERT_TRUE(DecodeGif(file, p, 2)) << int(row.disposal);
            ASSERT_NE(p.GetBpp(), 24);
            EXPECT_EQ(TopDownIndex(p, 0, 0), row.column0) << int(row.disposal) << " " << tableSize;
            EXPECT_EQ(TopDownIndex(p, 1, 0), 3) << int(row.disposal) << " " << tableSize;
            EXPECT_EQ(TopDownIndex(p, 2, 0), 0) << int(row.disposal) << " " << tableSize;
            EXPECT_EQ(p.GetTransIndex(), 2);
        }
    }
    // Without a transparent index, disposal to the background leaves the rectangle
    // transparent in a 24-bit picture.
    const Bytes opaque = GifFile(3, 1, Colors(4))
                             .Pixels(0, 0, 3, 1, {0, 0, 0})
                             .Control(2 << 2, 0, 0)
                             .Pixels(0, 0, 1, 1, {1})
                             .Pixels(1, 0, 1, 1, {3})
                             .End();
    Picture p;
    ASSERT_TRUE(DecodeGif(opaque, p, 2));
    ASSERT_EQ(p.GetBpp(), 24);
    EXPECT_TRUE(TopDownTransparent(p, 0, 0));
    EXPECT_FALSE(TopDownTransparent(p, 1, 0));
    EXPECT_FALSE(TopDownTransparent(p, 2, 0));
}

TEST(GifDecode, TilesWithoutGlobalTableComposeIntoTrueColour) {
    // A 3 x 2 screen of four tiles, each with its own two-colour table.
    const Bytes file = GifFile(3, 2)
                           .Pixels(0, 0, 2, 1, {0, 1}, {{10, 20, 30}, {40, 50, 60}}, false, 2)
                           .Pixels(2, 0, 1, 1, {1}, {{1, 1, 1}, {70, 80, 90}}, false, 2)
                           .Pixels(0, 1, 1, 1, {0}, {{100, 110, 120}, {0, 0, 0}}, false, 2)
                           .Pixels(1, 1, 2, 1, {1, 0}, {{130, 140, 150}, {160, 170, 180}}, false, 2)
                           .End();
    Picture p;
    ASSERT_TRUE(DecodeGif(file, p));
    ASSERT_EQ(p.GetBpp(), 24);
    const Rgb want[2][3] = {{{10, 20, 30}, {40, 50, 60}, {70, 80, 90}},
                            {{100, 110, 120}, {160, 170, 180}, {130, 140, 150}}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(SameRgb(TopDownColor(p, x, y), RGBQUAD{want[y][x].b, want[y][x].g, want[y][x].r, 0}))
                << x << "," << y;
    EXPECT_EQ(p.GetFrameCount(), 0);  // the true-colour canvas carries fresh information

    // With a global table, with a delay, or with tiles that overlap, the same tiles are an
    // animation: frame 0 alone, the screen around it transparent.
    GifFile animated(3, 2, Colors(2));
    animated.Raw(Bytes(file.begin() + 13, file.end()));
    Bytes delayed = GifFile(3, 2).Control(0, 10, 0).Raw(Bytes(file.begin() + 13, file.end())).bytes;
    Bytes overlapping = GifFile(3, 2)
                            .Pixels(0, 0, 2, 1, {0, 1}, {{10, 20, 30}, {40, 50, 60}}, false, 2)
                            .Pixels(1, 0, 2, 1, {1, 1}, {{1, 1, 1}, {70, 80, 90}}, false, 2)
                            .End();
    for (const Bytes& b : {animated.bytes, delayed, overlapping}) {
        Picture q;
        ASSERT_TRUE(DecodeGif(b, q));
        EXPECT_NE(q.GetFrameCount(), 0);
        EXPECT_FALSE(TopDownTransparent(q, 0, 0));
        EXPECT_TRUE(TopDownTransparent(q, 2, 1));
    }
}

TEST(GifDecode, FramesPartlyOutsideTheScreenAreClipped) {
    const Bytes file = GifFile(2, 2, Colors(4))
                           .Pixels(0, 0, 2, 2, {0, 0, 0, 0})
                           .Pixels(1, 1, 2, 1, {3, 3})  // one column past the right edge
                           .Pixels(5, 5, 1, 1, {1})     // wholly outside
                           .Pixels(0, 1, 1, 1, {2})
                           .End();
    Picture p;
    ASSERT_TRUE(DecodeGif(file, p, 3));
    EXPECT_EQ(p.GetFrameCount(), 4);
    EXPECT_EQ(p.GetWidth(), 2u);
    EXPECT_EQ(TopDownIndex(p, 1, 1), 3);
    EXPECT_EQ(TopDownIndex(p, 0, 1), 2);
    EXPECT_EQ(TopDownIndex(p, 0, 0), 0);
}

TEST(GifDecode, OddBlocksBeforeTheImageAreSkipped) {
    // An empty comment, a control block of 5 bytes, an application block without data and
    // an unknown extension: the picture is decoded as without them.
    const std::vector<Rgb> table = Colors(4);
    const Bytes plain = GifFile(2, 1, table).Pixels(0, 0, 2, 1, {3, 1}).End();
    const Bytes odd = GifFile(2, 1, table)
                          .Raw({0x21, 0xFE, 0x00})
                          .Raw({0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0})
                          .Raw({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0})
                          .Raw({0x21, 0x01, 0x00})
                          .Pixels(0, 0, 2, 1, {3, 1})
                          .End();
    Picture a, b;
    ASSERT_TRUE(DecodeGif(plain, a));
    ASSERT_TRUE(DecodeGif(odd, b));
    ASSERT_EQ(b.GetWidth(), 2u);
    EXPECT_EQ(std::memcmp(a.dib, b.dib, a.GetSize()), 0);
    EXPECT_FALSE(b.IsTransparent());
}

// Files of other programs: coalesced frames as ImageMagick shows them (the fixture script
// checks each against gifsicle), and single pictures edited at byte level against the
// unedited picture.
TEST(GifDecode, RealWorldAnimationsMatchTheirReferences) {
    const struct {
        const char* gif;
        int frames;
        const char* reference;  // nullptr: <gif>-<frame>.pam for each frame
    } rows[] = {
        {"gifsicle-leak.gif", 2, nullptr},
        {"gifsicle-dispose.gif", 5, nullptr},
        {"im-local.gif", 3, nullptr},
        {"im-empty-comment.gif", 1, "im-plain.ppm"},
        {"im-control5.gif", 1, "im-plain.ppm"},
        {"im-small-screen.gif", 1, "im-plain.ppm"},
        {"im-zero-screen.gif", 1, "im-plain.ppm"},
    };
    for (const auto& row : rows) {
        const Bytes file = ReadFile(DataPath(row.gif));
        const std::string base = std::string(row.gif).substr(0, std::string(row.gif).size() - 4);
        for (int frame = 0; frame < row.frames; ++frame) {
            const std::string what = std::string(row.gif) + " frame " + std::to_string(frame);
            Picture p;
            ASSERT_TRUE(DecodeGif(file, p, frame)) << what << ": " << p.GetLastError();
            EXPECT_EQ(p.GetFrameCount(), row.frames) << what;
            const std::string ref =
                row.reference ? row.reference : base + "-" + std::to_string(frame) + ".pam";
            ExpectMatchesReference(p, ReadPnm(DataPath(ref)), what);
        }
    }
    // Measuring reports the grown screen too.
    Picture m;
    ASSERT_TRUE(DecodeGif(ReadFile(DataPath("im-zero-screen.gif")), m, 0, -1));
    EXPECT_EQ(m.GetWidth(), 30u);
    EXPECT_EQ(m.GetHeight(), 20u);
}

TEST(GifDecode, SpriteWithoutGlobalTableIsAnAnimation) {
    // Three frames of a 12 x 10 sprite moving over a 40 x 30 screen, each disposed to the
    // background: each frame shows the sprite alone, where ImageMagick puts it.
    const Bytes file = ReadFile(DataPath("gifsicle-noglobal.gif"));
    const int left[] = {0, 14, 28}, top[] = {0, 10, 20};
    for (int frame = 0; frame < 3; ++frame) {
        Picture p;
        ASSERT_TRUE(DecodeGif(file, p, frame));
        EXPECT_EQ(p.GetFrameCount(), 3);
        ASSERT_EQ(p.GetBpp(), 24);
        const Pnm ref = ReadPnm(DataPath("gifsicle-noglobal-" + std::to_string(frame) + ".pam"));
        int wrong = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inside =
                    x >= left[frame] && x < left[frame] + 12 && y >= top[frame] && y < top[frame] + 10;
                wrong += inside ? !SameRgb(TopDownColor(p, x, y), ref.At(x, y)) || TopDownTransparent(p, x, y)
                                : !TopDownTransparent(p, x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << frame;
    }
}

TEST(GifDecode, FullTableWithoutClearKeepsDecoding) {
    // 240 x 100 pixels: noise that fills the table, then the same noise again, coded with
    // the long strings of the full table.
    std::vector<int> pixels;
    uint32_t seed = 12345;
    for (int i = 0; i < 240 * 50; ++i) {
        seed = seed * 1103515245 + 12345;
        pixels.push_back((seed >> 16) & 0xFF);
    }
    pixels.insert(pixels.end(), pixels.begin(), pixels.end());
    int codes = 0;
    const Bytes data = LzwWithoutClear(pixels, 8, &codes);
    ASSERT_GT(codes, 4096 - 258 + 2000);  // well past the point where the table is full
    Picture p;
    ASSERT_TRUE(DecodeGif(GifFile(240, 100, Colors(256)).Image(0, 0, 240, 100, data, 8).End(), p));
    int wrong = 0;
    for (int i = 0; i < 240 * 100; ++i) wrong += TopDownIndex(p, i % 240, i / 240) != pixels[i];
    EXPECT_EQ(wrong, 0);
}

TEST(GifDecode, UnknownFormatDetectionFindsGif) {
    Picture p;
    Bytes file = ReadFile(DataPath("im-palette.gif"));
    MemoryStream s(file.data(), static_cast<int32_t>(file.size()));
    ASSERT_TRUE(p.Decode(&s, ImageFormat::Unknown));
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Gif));
}
