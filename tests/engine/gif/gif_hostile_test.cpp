// Damaged and hostile GIF files: each fails cleanly or decodes to something bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/gif.h"
#include "gif_support.h"

using namespace giftest;

namespace {

// Codes at 9 bits (minimum code size 8): clear is 256, end 257, first free entry 258.
Bytes Codes9(const std::vector<int>& codes) {
    std::vector<std::pair<int, int>> widths;
    for (int c : codes) widths.push_back({c, 9});
    return PackCodes(widths);
}

bool AllIndexesAre(const Picture& p, uint8_t index) {
    for (uint32_t y = 0; y < p.GetHeight(); ++y)
        for (uint32_t x = 0; x < p.GetWidth(); ++x)
            if (p.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y)) != index) return false;
    return true;
}

}  // namespace

TEST(GifHostile, MalformedFilesFailOrDecodeBounded) {
    const Bytes valid =
        GifFile(4, 3, Colors(256)).Pixels(0, 0, 4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).End();
    const struct {
        std::string name;
        Bytes file;
        bool decodes;
        int frameCount;
        std::string error;  // when it fails
    } rows[] = {
        {"truncated header", Bytes(valid.begin(), valid.begin() + 12), false, 0, ""},
        {"no image at all", GifFile(4, 3, Colors(4)).End(), false, 0, ""},
        {"descriptor cut short", Bytes(valid.begin(), valid.begin() + 13 + 768 + 5), false, 0, ""},
        {"screen without pixels", GifFile(0, 0, Colors(2)).Image(0, 0, 0, 0, PackCodes({{5, 3}}), 2).End(),
         false, 1, "Picture::Create : width and height must be greater than zero"},
        {"frame without width",
         GifFile(3, 3, Colors(2)).Image(1, 1, 0, 2, PackCodes({{4, 3}, {1, 3}, {5, 3}}), 2).End(), true, 1,
         ""},
        {"sub-block longer than the file", Bytes(valid.begin(), valid.end() - 6), true, 1, ""},
        {"image data missing", Bytes(valid.begin(), valid.begin() + 13 + 768 + 10), true, 1, ""},
        {"extension running past the end",
         GifFile(4, 3, Colors(256))
             .Pixels(0, 0, 4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
             .Raw({0x21, 0x01, 0xFF, 1})
             .bytes,
         true, 1, ""},
        {"graphic control of the wrong size",
         GifFile(4, 3, Colors(256))
             .Raw({0x21, 0xF9, 5, 1, 0, 0, 3, 0, 0})
             .Pixels(0, 0, 4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
             .End(),
         true, 1, ""},
    };
    for (const auto& row : rows) {
        Picture p;
        p.SetLastError("");
        EXPECT_EQ(DecodeGif(row.file, p), row.decodes) << row.name;
        EXPECT_EQ(p.GetFrameCount(), row.frameCount) << row.name;
        if (row.decodes) {
            EXPECT_TRUE(p.IsValid()) << row.name;
        } else {
            EXPECT_EQ(p.GetLastError(), row.error) << row.name;
        }
    }
}

TEST(GifHostile, CodeSizeOutOfRangeLeavesTheFrameAsCreated) {
    for (int size : {0, 1, 10, 12, 255}) {
        Picture p;
        ASSERT_TRUE(
            DecodeGif(GifFile(4, 3, Colors(256)).Image(0, 0, 4, 3, Codes9({256, 7, 7, 257}), size).End(), p));
        EXPECT_TRUE(AllIndexesAre(p, 0)) << size;
    }
}

TEST(GifHostile, TruncatedDataKeepsTheRowsItReached) {
    std::vector<int> pixels;
    for (int i = 0; i < 32 * 32; ++i) pixels.push_back(1 + i % 200);
    const Bytes full = GifFile(32, 32, Colors(256)).Pixels(0, 0, 32, 32, pixels).End();
    // The cut falls inside the second data sub-block: sub-blocks are taken whole, so the
    // pixels of the first (about 7 rows) are all that is decoded.
    const long cut = 13 + 768 + 10 + 1 + 1 + 255 + 40;
    Picture p;
    ASSERT_TRUE(DecodeGif(Bytes(full.begin(), full.begin() + cut), p));
    for (int x = 0; x < 32; ++x) EXPECT_EQ(TopDownIndex(p, x, 0), pixels[static_cast<size_t>(x)]);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(TopDownIndex(p, x, 8), 0);  // never reached
}

TEST(GifHostile, CodesPastTheTableResynchroniseOnTheNextImage) {
    // 300 is past the next free entry (258): it stands for the previous string plus its
    // first pixel, and the data is then not trusted to end where its codes say. Here a
    // sub-block of trailer bytes follows the end code; read on from there, it would end
    // the file before the second image.
    GifFile file(3, 1, Colors(256));
    file.Raw({0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0, 8});
    const Bytes codes = Codes9({256, 9, 300, 257});
    file.Raw({static_cast<uint8_t>(codes.size())}).Raw(codes).Raw({2, 0x3B, 0x3B, 0});
    const Bytes bytes = file.Pixels(1, 0, 1, 1, {5}).End();

    Picture first;
    ASSERT_TRUE(DecodeGif(bytes, first));
    EXPECT_EQ(first.GetFrameCount(), 2);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(TopDownIndex(first, x, 0), 9);
    Picture second;
    ASSERT_TRUE(DecodeGif(bytes, second, 1));
    EXPECT_EQ(TopDownIndex(second, 0, 0), 9);
    EXPECT_EQ(TopDownIndex(second, 1, 0), 5);
}

TEST(GifHostile, TableEntriesPointingAtThemselvesEndTheFrame) {
    // 260 comes when 259 is the next free entry; then 259 adds entry 260 whose prefix is
    // 260 itself, and decoding 260 would follow that chain forever.
    const Bytes file = GifFile(64, 64, Colors(256))
                           .Image(0, 0, 64, 64, Codes9({256, 65, 66, 260, 259, 260, 260, 257}), 8)
                           .End();
    Picture p;
    ASSERT_TRUE(DecodeGif(file, p));
    EXPECT_EQ(p.GetWidth(), 64u);
}

TEST(GifHostile, InterlacedFramesTakeOneMoreSweepThenStop) {
    // 12 lines of 2 pixels for a frame of 3 rows: the passes take lines 1 to 3 (rows 0, 2,
    // 1), a sweep from the top takes lines 4 to 6, and the rest ends the frame's decoding
    // (the next image is still found).
    std::vector<int> lines;
    for (int i = 0; i < 2 * 12; ++i) lines.push_back(i / 2 + 1);
    const Bytes file =
        GifFile(2, 3, Colors(256)).Pixels(0, 0, 2, 3, lines, {}, true).Pixels(0, 0, 1, 1, {99}).End();
    Picture p;
    ASSERT_TRUE(DecodeGif(file, p));
    EXPECT_EQ(TopDownIndex(p, 0, 0), 4);
    EXPECT_EQ(TopDownIndex(p, 1, 1), 5);
    EXPECT_EQ(TopDownIndex(p, 0, 2), 6);
    EXPECT_EQ(p.GetFrameCount(), 2);
}

// A kilobyte of codes that each name a string one pixel longer than the last expands to
// millions of pixels; a frame of 64 x 64 takes only what it holds.
TEST(GifHostile, ExpandingCodesStopAtTheFrameSize) {
    std::vector<std::pair<int, int>> codes{{256, 9}, {7, 9}};
    for (int next = 258, width = 9; next < 4096;) {
        codes.push_back({next, width});
        if (++next == (1 << width) && width < 12) ++width;
    }
    codes.push_back({257, 12});
    for (bool interlaced : {false, true}) {
        for (int side : {0, 64}) {
            Picture p;
            ASSERT_TRUE(DecodeGif(GifFile(64, 64, Colors(256))
                                      .Image(0, 0, side, side, PackCodes(codes), 8, {}, interlaced)
                                      .End(),
                                  p));
            EXPECT_EQ(TopDownIndex(p, 63, 63), side ? 7 : 0);
        }
    }
}

TEST(GifHostile, FrameCountIsBounded) {
    GifFile file(1, 1, Colors(4));
    for (int i = 0; i < 65536 + 20; ++i) file.Pixels(0, 0, 1, 1, {i & 3}, {}, false, 2);
    const Bytes bytes = file.End();
    Picture p;
    ASSERT_TRUE(DecodeGif(bytes, p));
    EXPECT_EQ(p.GetFrameCount(), 65536);
    Picture last;
    ASSERT_TRUE(DecodeGif(bytes, last, 65535));
    EXPECT_EQ(TopDownIndex(last, 0, 0), 65535 & 3);
    EXPECT_FALSE(DecodeGif(bytes, last, 65536));
}

TEST(GifHostile, CompositionWorkIsBoundedBeforeAnyPixelIsMade) {
    // Frames of a megapixel with a few bytes of data each: a few bytes of file per megapixel
    // of work. Composing the last of 600 would take more than a gigapixel, and is refused
    // from the frame list alone; an early frame still decodes.
    GifFile file(1024, 1024, Colors(256));
    for (int i = 0; i < 600; ++i) file.Image(0, 0, 1024, 1024, Codes9({256, 7, 257}), 8);
    const Bytes bytes = file.End();
    Picture early;
    EXPECT_TRUE(DecodeGif(bytes, early, 10));
    Picture late;
    late.SetLastError("");
    EXPECT_FALSE(DecodeGif(bytes, late, 599));
    EXPECT_STREQ(late.GetLastError(), "GIF: too many frames to compose");
    EXPECT_EQ(late.GetFrameCount(), 600);

    // Tiny frames that each dispose to the background cost only their own rectangles.
    GifFile small(2048, 2048, Colors(256));
    small.Pixels(0, 0, 1, 1, {3});
    for (int i = 0; i < 3000; ++i)
        small.Control(2 << 2, 0, 0).Image(i % 2048, 0, 1, 1, Codes9({256, 7, 257}), 8);
    Picture last;
    EXPECT_TRUE(DecodeGif(small.End(), last, 3000)) << last.GetLastError();
}

TEST(GifHostile, DeclaredSizesMustBeWithinReachOfTheData) {
    const struct {
        const char* name;
        Bytes file;
        int32_t frame;
        const char* error;
    } rows[] = {
        {"frame of 65535 x 65535 on a screen of one pixel",
         GifFile(1, 1, Colors(2))
             .Pixels(0, 0, 1, 1, {1}, {}, false, 2)
             .Image(0, 0, 65535, 65535, PackCodes({{4, 3}, {1, 3}, {5, 3}}), 2)
             .End(),
         1, "GIF: image data too short for the frame it declares"},
        {"screen of 20000 x 20000 around one pixel",
         GifFile(20000, 20000, Colors(2)).Pixels(0, 0, 1, 1, {1}, {}, false, 2).End(), 0,
         "GIF: image data too short for the screen it declares"},
        {"zero screen grown to a frame of 60000 x 60000",
         GifFile(0, 0, Colors(2)).Image(0, 0, 60000, 60000, PackCodes({{4, 3}, {1, 3}, {5, 3}}), 2).End(), 0,
         "GIF: image data too short for the screen it declares"},
    };
    for (const auto& row : rows) {
        Picture p;
        p.SetLastError("");
        EXPECT_FALSE(DecodeGif(row.file, p, row.frame)) << row.name;
        EXPECT_STREQ(p.GetLastError(), row.error) << row.name;
        EXPECT_FALSE(p.IsValid()) << row.name;
    }
    // A frame of a megapixel with almost no data is cheap and is kept as far as it goes.
    Picture small;
    ASSERT_TRUE(DecodeGif(
        GifFile(1024, 1024, Colors(256)).Image(0, 0, 1024, 1024, Codes9({256, 7, 257}), 8).End(), small));
    EXPECT_EQ(TopDownIndex(small, 0, 0), 7);
}

TEST(GifHostile, HugeScreenIsMeasuredWithoutPixels) {
    Picture p;
    ASSERT_TRUE(
        DecodeGif(GifFile(65535, 65535, Colors(2)).Pixels(0, 0, 1, 1, {1}, {}, false, 2).End(), p, 0, -1));
    EXPECT_EQ(p.GetWidth(), 65535u);
    EXPECT_EQ(p.GetHeight(), 65535u);
    EXPECT_FALSE(p.IsValid());
}

TEST(GifHostile, CancelRequestsStopTheDecode) {
    const Bytes file = ReadFile(DataPath("im-anim.gif"));
    for (int32_t escape : {1, -2}) {
        Picture p;
        EXPECT_FALSE(DecodeGif(file, p, 0, escape)) << escape;
        EXPECT_FALSE(p.IsValid());
    }
}

// Every prefix and many single-byte changes of an animation: no crash, no read of
// uninitialised memory (the sanitizer build checks), and a valid picture on success.
TEST(GifHostile, TruncationsAndBitFlipsAreHarmless) {
    const Bytes file = ReadFile(DataPath("im-anim.gif"));
    for (size_t n = 0; n < file.size(); ++n) {
        Picture p;
        if (DecodeGif(Bytes(file.begin(), file.begin() + static_cast<long>(n)), p, 2)) {
            EXPECT_TRUE(p.IsValid()) << n;
        }
    }
    for (size_t i = 0; i < file.size(); ++i) {
        for (uint8_t mask : {0x01, 0x10, 0x80, 0xFF}) {
            Bytes damaged = file;
            damaged[i] ^= mask;
            for (int32_t frame : {0, 4}) {
                Picture p;
                if (DecodeGif(damaged, p, frame)) {
                    EXPECT_TRUE(p.IsValid()) << i;
                }
            }
        }
    }
}
