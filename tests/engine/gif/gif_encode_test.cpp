#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gif/gif.h"
#include "gif_support.h"

using namespace giftest;

namespace {

Bytes Take(MemoryStream& s) { return Bytes(s.buffer, s.buffer + s.Size()); }

// Through the dispatcher, as callers save.
Bytes Encode(Picture& p) {
    MemoryStream s;
    s.Open();
    EXPECT_TRUE(p.Encode(&s, ImageFormat::Gif)) << p.GetLastError();
    return Take(s);
}

Bytes EncodeWithCodec(PictureGIF& g) {
    MemoryStream s;
    s.Open();
    EXPECT_TRUE(g.Encode(&s)) << g.GetLastError();
    return Take(s);
}

// Noise broken by runs, so that every coder meets both.
Picture PalettePicture(uint32_t width, uint32_t height, uint32_t bpp, uint32_t seed = 1) {
    Picture p(width, height, bpp, 0);
    const uint32_t colors = p.GetNumColors();
    const std::vector<Rgb> table = Colors(static_cast<int>(colors));
    for (uint32_t i = 0; i < colors; ++i)
        p.SetPaletteColor(static_cast<uint8_t>(i), table[i].r, table[i].g, table[i].b);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1103515245 + 12345;
            const uint32_t v = (x / 7 + y / 5) % 3 == 0 ? (x / 7) : (seed >> 16);
            p.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y),
                            static_cast<uint8_t>(v % colors));
        }
    }
    return p;
}

Picture TrueColourPicture(uint32_t width, uint32_t height) {
    Picture p(width, height, 24, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            p.SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y),
                            RGBQUAD{static_cast<uint8_t>(x * 29 + y), static_cast<uint8_t>(y * 41),
                                    static_cast<uint8_t>(x * y), 0});
    return p;
}

void ExpectSameColours(const Picture& ours, const Pnm& theirs, int left, int top, const std::string& what) {
    ASSERT_LE(left + theirs.width, static_cast<int>(ours.GetWidth())) << what;
    ASSERT_LE(top + theirs.height, static_cast<int>(ours.GetHeight())) << what;
    int wrong = 0;
    for (int y = 0; y < theirs.height; ++y)
        for (int x = 0; x < theirs.width; ++x)
            wrong += !SameRgb(TopDownColor(ours, left + x, top + y), theirs.At(x, y));
    EXPECT_EQ(wrong, 0) << what;
}

using testsupport::TempDir;

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A stream that takes the bytes but reports a write error, like a full disk.
class FailingStream : public MemoryStream {
   public:
    FailingStream() { Open(); }
    int32_t Error() override { return 1; }
};

}  // namespace

TEST(GifEncode, OneRedPixelEncodesToTheKnownBytes) {
    Picture p(1, 1, 8, 0);
    p.SetPaletteColor(0, 255, 0, 0);
    const Bytes file = Encode(p);
    Bytes want{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0xE7, 0, 0};
    Bytes table(768, 0);
    table[0] = 0xFF;
    want.insert(want.end(), table.begin(), table.end());
    want.insert(want.end(), {0x21, 0xF9, 4, 0, 0, 0, 0xFF, 0});
    want.insert(want.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0});
    want.insert(want.end(), {8, 4, 0x00, 0x01, 0x04, 0x04, 0, 0x3B});
    EXPECT_EQ(file, want);
}

TEST(GifEncode, HeaderAndCodeSizeFollowTheDepth) {
    const struct {
        uint32_t bpp;
        uint8_t flags;
        int tableSize, codeSize;
    } rows[] = {{1, 0x80, 2, 2}, {4, 0xE3, 16, 4}, {8, 0xE7, 256, 8}};
    for (const auto& row : rows) {
        Picture p = PalettePicture(5, 3, row.bpp);
        const Blocks b = Walk(Encode(p));
        EXPECT_EQ(b.screenFlags, row.flags) << row.bpp;
        EXPECT_EQ(b.globalSize, row.tableSize) << row.bpp;
        ASSERT_EQ(b.images.size(), 1u);
        EXPECT_EQ(b.images[0].codeSize, row.codeSize) << row.bpp;
        EXPECT_EQ(b.images[0].flags, 0) << row.bpp;  // no local table, not interlaced
        EXPECT_TRUE(b.trailer);
    }
}

TEST(GifEncode, GraphicControlCarriesTransparencyDelayAndDisposal) {
    PictureGIF g;
    Picture source = PalettePicture(3, 2, 8);
    g.Copy(source);
    g.SetTransIndex(5);
    g.info.frameDelay = 300;
    g.SetDisposalMethod(2);
    const Blocks b = Walk(EncodeWithCodec(g));
    ASSERT_EQ(b.controls.size(), 1u);
    EXPECT_EQ(b.controls[0], (Bytes{0x01 | (2 << 2), 0x2C, 0x01, 5}));
    EXPECT_EQ(g.gifgce.transIndex, 5);  // the rebuilt record stays in the codec

    Picture plain = PalettePicture(3, 2, 8);
    EXPECT_EQ(Walk(Encode(plain)).controls[0], (Bytes{0, 0, 0, 0xFF}));
}

TEST(GifEncode, CommentIsOneSubBlockOfAtMost255Characters) {
    const struct {
        std::string comment;
        size_t blocks;
        size_t length;
    } rows[] = {{"", 0, 0}, {"drawn by hand", 1, 13}, {std::string(300, 'x'), 1, 255}};
    for (const auto& row : rows) {
        PictureGIF g;
        Picture source = PalettePicture(2, 2, 1);
        g.Copy(source);
        g.SetComment(row.comment.c_str());
        const Bytes file = EncodeWithCodec(g);
        const Blocks b = Walk(file);
        ASSERT_EQ(b.comments.size(), row.blocks);
        if (row.blocks) {
            EXPECT_EQ(b.comments[0], row.comment.substr(0, row.length));
        }

        PictureGIF back;
        Bytes copy = file;
        MemoryStream s(copy.data(), static_cast<int32_t>(copy.size()));
        ASSERT_TRUE(back.Decode(&s));
        EXPECT_EQ(std::string(back.GetComment()), row.comment.substr(0, row.length));
    }
}

TEST(GifEncode, TrueColourBecomesTilesWithLocalTables) {
    Picture p = TrueColourPicture(40, 20);
    const Blocks b = Walk(Encode(p));
    EXPECT_EQ(b.screenFlags, 0x11);
    EXPECT_EQ(b.globalSize, 0);
    const int want[6][4] = {{0, 0, 17, 15}, {17, 0, 17, 15}, {34, 0, 6, 15},
                            {0, 15, 17, 5}, {17, 15, 17, 5}, {34, 15, 6, 5}};
    ASSERT_EQ(b.images.size(), 6u);
    ASSERT_EQ(b.controls.size(), 6u);  // one per tile, none for the whole picture
    for (size_t i = 0; i < 6; ++i) {
        const ImageBlock& im = b.images[i];
        EXPECT_EQ(im.left, want[i][0]) << i;
        EXPECT_EQ(im.top, want[i][1]) << i;
        EXPECT_EQ(im.width, want[i][2]) << i;
        EXPECT_EQ(im.height, want[i][3]) << i;
        EXPECT_EQ(im.flags, 0x87) << i;
        EXPECT_EQ(im.tableSize, 256) << i;
        EXPECT_EQ(im.codeSize, 8) << i;
    }
}

TEST(GifEncode, UncompressedCodesWidenAndClearLikeADecodersTable) {
    Picture p = PalettePicture(64, 64, 8);
    p.SetCodecOption(1, ImageFormat::Gif);
    const Blocks b = Walk(Encode(p));
    ASSERT_EQ(b.images.size(), 1u);
    const std::vector<TracedCode> codes = TraceCodes(b.images[0].data, 8);
    int pixels = 0, clearsAtFullTable = 0, widest = 0;
    for (const TracedCode& c : codes) {
        if (c.code < 256) ++pixels;
        if (c.code == 256 && c.width == 12 && c.nextFree == 4096) ++clearsAtFullTable;
        widest = std::max(widest, c.width);
    }
    EXPECT_EQ(pixels, 64 * 64);
    EXPECT_EQ(widest, 12);
    EXPECT_EQ(clearsAtFullTable, 1);
    EXPECT_EQ(codes.back().code, 257);
}

TEST(GifEncode, RunLengthCodesClimbTheLadderOfRepeatedPixels) {
    Picture p(40, 25, 8, 0);  // 1000 pixels of index 7
    p.Clear(7);
    p.SetCodecOption(2, ImageFormat::Gif);
    const Bytes file = Encode(p);
    const std::vector<TracedCode> codes = TraceCodes(Walk(file).images[0].data, 8);
    // clear, 7, then 258, 259, 260, ...: runs of 1, 2, 3, ... pixels.
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(codes[0].code, 256);
    EXPECT_EQ(codes[1].code, 7);
    int covered = 1;
    for (size_t i = 2; i + 1 < codes.size(); ++i) {
        ASSERT_GE(codes[i].code, 258) << i;
        covered += codes[i].code - 256;
    }
    EXPECT_EQ(covered, 1000);
    EXPECT_LT(codes.size(), 50u);  // about the square root of 2000 codes

    Picture back;
    ASSERT_TRUE(DecodeGif(file, back));
    for (uint32_t y = 0; y < 25; ++y)
        for (uint32_t x = 0; x < 40; ++x)
            ASSERT_EQ(back.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y)), 7);
}

TEST(GifEncode, EveryCoderReadsBackThroughOurDecoder) {
    for (uint32_t option : {0u, 1u, 2u}) {
        for (uint32_t bpp : {1u, 4u, 8u}) {
            for (uint32_t side : {1u, 9u, 150u}) {  // 150 x 150 fills the code table
                Picture p = PalettePicture(side, side, bpp, side + bpp);
                p.SetCodecOption(option, ImageFormat::Gif);
                Picture back;
                ASSERT_TRUE(DecodeGif(Encode(p), back));
                ASSERT_EQ(back.GetBpp(), bpp);
                EXPECT_EQ(std::memcmp(back.GetPalette(), p.GetPalette(), p.GetPaletteSize()), 0);
                int wrong = 0;
                for (uint32_t y = 0; y < side; ++y)
                    for (uint32_t x = 0; x < side; ++x)
                        wrong += back.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y)) !=
                                 p.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y));
                EXPECT_EQ(wrong, 0) << "option " << option << " bpp " << bpp << " side " << side;
            }
        }
    }
}

// Runs built to reach each way the run-length coder has: single pixels, ladders from a
// fresh table, runs of the pixel the ladder was built for (reusing its top rung, and so
// many of them that the code budget runs out), runs cheaper as repeats, and a run longer
// than a whole ladder.
Picture RunsPicture(uint32_t width, uint32_t bpp, const std::vector<std::pair<uint32_t, uint8_t>>& runs) {
    uint64_t total = 0;
    for (const auto& run : runs) total += run.first;
    const uint32_t height = static_cast<uint32_t>((total + width - 1) / width);
    Picture p(width, height, bpp, 0);
    const std::vector<Rgb> table = Colors(static_cast<int>(p.GetNumColors()));
    for (uint32_t i = 0; i < p.GetNumColors(); ++i)
        p.SetPaletteColor(static_cast<uint8_t>(i), table[i].r, table[i].g, table[i].b);
    uint64_t i = 0;
    for (const auto& run : runs)
        for (uint32_t n = 0; n < run.first; ++n, ++i)
            p.SetPixelIndex(static_cast<int32_t>(i % width), static_cast<int32_t>(height - 1 - i / width),
                            run.second);
    return p;
}

TEST(GifEncode, RunLengthCoderHandlesRunsOfEveryLength) {
    const std::vector<std::pair<uint32_t, uint8_t>> runs = {
        {1, 0},      {1, 1}, {2, 0}, {3, 1}, {5050, 2}, {1, 3}, {700, 2}, {3, 3},
        {505000, 2}, {4, 1}, {2, 3}, {2, 1}, {3, 3},    {9, 0}, {9, 3},   {9, 0},
    };
    for (uint32_t bpp : {1u, 4u, 8u}) {
        std::vector<std::pair<uint32_t, uint8_t>> adapted = runs;
        for (auto& run : adapted) run.second = static_cast<uint8_t>(run.second & ((1u << bpp) - 1));
        if (bpp == 8) adapted.push_back({7400000, 5});  // longer than a whole ladder of 3837 rungs
        Picture p = RunsPicture(2000, bpp, adapted);
        p.SetCodecOption(2, ImageFormat::Gif);
        const Bytes file = Encode(p);
        EXPECT_LT(file.size(), 100000u) << bpp;  // runs, not pixels
        Picture back;
        ASSERT_TRUE(DecodeGif(file, back));
        ASSERT_EQ(back.GetHeight(), p.GetHeight());
        int wrongRows = 0;
        for (uint32_t y = 0; y < p.GetHeight(); ++y)  // rows hold whole bytes of pixels at width 2000
            wrongRows += std::memcmp(back.GetBits(y), p.GetBits(y), 2000 * bpp / 8) != 0;
        EXPECT_EQ(wrongRows, 0) << bpp;
    }
}

TEST(GifEncode, TrueColourReadsBackWithEveryColour) {
    Picture p = TrueColourPicture(53, 37);
    p.SetTransIndex(0);
    p.SetTransColor(RGBQUAD{1, 2, 3, 0});
    Picture back;
    ASSERT_TRUE(DecodeGif(Encode(p), back));
    ASSERT_EQ(back.GetBpp(), 24);
    for (uint32_t y = 0; y < 37; ++y)
        for (uint32_t x = 0; x < 53; ++x)
            ASSERT_TRUE(SameRgb(back.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y)),
                                p.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y))))
                << x << "," << y;
    EXPECT_TRUE(back.IsTransparent());
    EXPECT_TRUE(SameRgb(back.GetTransColor(), RGBQUAD{1, 2, 3, 0}));
}

TEST(GifEncode, ImageMagickAndGiftopnmReadOurFilesIdentically) {
    const bool haveConvert = std::strlen(PANELLE_CONVERT) > 0, haveGiftopnm = HaveTool("giftopnm");
    if (!haveConvert && !haveGiftopnm) GTEST_SKIP() << "neither ImageMagick nor netpbm is installed";
    TempDir dir;
    const std::string gif = dir.File("ours.gif"), ppm = dir.File("theirs.ppm");
    for (uint32_t option : {0u, 1u, 2u}) {
        for (uint32_t bpp : {1u, 4u, 8u}) {
            Picture p = PalettePicture(150, 70, bpp, bpp * 3 + option);
            p.SetCodecOption(option, ImageFormat::Gif);
            WriteFile(gif, Encode(p));
            const std::string what = "option " + std::to_string(option) + " bpp " + std::to_string(bpp);
            if (haveConvert) {
                ASSERT_EQ(
                    std::system(("'" + std::string(PANELLE_CONVERT) + "' " + gif + " PPM:" + ppm).c_str()),
                    0);
                ExpectSameColours(p, ReadPnm(ppm), 0, 0, "ImageMagick " + what);
            }
            if (haveGiftopnm) {
                ASSERT_EQ(std::system(("giftopnm " + gif + " >" + ppm).c_str()), 0);
                ExpectSameColours(p, ReadPnm(ppm), 0, 0, "giftopnm " + what);
            }
        }
    }

    // True colour: ImageMagick flattens the tiles; giftopnm gives them one by one.
    Picture p = TrueColourPicture(40, 20);
    WriteFile(gif, Encode(p));
    if (haveConvert) {
        ASSERT_EQ(
            std::system(
                ("'" + std::string(PANELLE_CONVERT) + "' " + gif + " -layers flatten PPM:" + ppm).c_str()),
            0);
        ExpectSameColours(p, ReadPnm(ppm), 0, 0, "ImageMagick tiles");
    }
    if (haveGiftopnm) {
        ASSERT_EQ(std::system(("giftopnm --image=all " + gif + " >" + ppm).c_str()), 0);
        const std::vector<Pnm> tiles = ReadPnms(ppm);
        ASSERT_EQ(tiles.size(), 6u);
        for (size_t i = 0; i < tiles.size(); ++i)
            ExpectSameColours(p, tiles[i], static_cast<int>(i % 3) * 17, static_cast<int>(i / 3) * 15,
                              "giftopnm tile " + std::to_string(i));
    }
}

TEST(GifEncode, WriteErrorIsRecordedButNotReported) {
    for (uint32_t option : {0u, 1u, 2u}) {
        PictureGIF g;
        Picture source = PalettePicture(4, 4, 4);
        g.Copy(source);
        g.SetCodecOption(option, ImageFormat::Gif);
        FailingStream s;
        EXPECT_TRUE(g.Encode(&s));
        // The run-length coder neither flushes nor checks the stream.
        EXPECT_STREQ(g.GetLastError(), option == 2 ? "" : "Write Error in GIF file") << option;
    }
    Picture p = PalettePicture(4, 4, 4);
    FailingStream s;
    EXPECT_TRUE(p.Encode(&s, ImageFormat::Gif));
    EXPECT_STREQ(p.GetLastError(), "");
}

TEST(GifEncode, RefusesWhatItCannotWrite) {
    Picture empty;
    MemoryStream s;
    s.Open();
    EXPECT_FALSE(empty.Encode(&s, ImageFormat::Gif));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    Picture p = PalettePicture(2, 2, 8);
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Gif));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
    // Sizes are 16-bit fields.
    Picture wide(70000, 1, 1, 0);
    EXPECT_FALSE(wide.Encode(&s, ImageFormat::Gif));
    EXPECT_STREQ(wide.GetLastError(), "GIF: picture larger than 65535 pixels");
}
