#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "picture.h"
#include "stream.h"

namespace {

// A picture of the given depth filled with pseudo-random pixels (row filler included) and a
// palette of distinct colours, with an alpha plane when asked.
Picture Random(uint32_t width, uint32_t height, uint32_t bpp, bool withAlpha, uint32_t seed = 1) {
    Picture p(width, height, bpp, 0);
    std::mt19937 rng(seed);
    for (uint32_t i = 0; i < p.header.biSizeImage; ++i) p.GetBits(0)[i] = static_cast<uint8_t>(rng());
    for (uint32_t i = 0; i < p.GetNumColors(); ++i)
        p.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                          static_cast<uint8_t>(i * 7));
    if (withAlpha) {
        p.AlphaCreate();
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) p.AlphaSet(x, y, static_cast<uint8_t>(rng()));
    }
    return p;
}

bool SamePixels(const Picture& a, const Picture& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp())
        return false;
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); ++x)
            if (!(a.GetPixelColor(x, y, true) == b.GetPixelColor(x, y, true))) return false;
    return true;
}

}  // namespace

class TransformByDepth : public ::testing::TestWithParam<uint32_t> {};

TEST_P(TransformByDepth, FlipAndMirrorMoveEveryPixelAndUndoThemselves) {
    const uint32_t bpp = GetParam();
    Picture original = Random(13, 7, bpp, true);
    Picture p(original, true, true, true);
    ASSERT_TRUE(p.Flip());
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x)
            ASSERT_EQ(p.GetPixelColor(x, y, true), original.GetPixelColor(x, 6 - y, true));
    ASSERT_TRUE(p.Flip());
    EXPECT_EQ(0, std::memcmp(p.GetBits(0), original.GetBits(0), original.header.biSizeImage));

    ASSERT_TRUE(p.Mirror());
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x)
            ASSERT_EQ(p.GetPixelColor(x, y, true), original.GetPixelColor(12 - x, y, true));
    ASSERT_TRUE(p.Mirror());
    EXPECT_TRUE(SamePixels(p, original));
}

TEST_P(TransformByDepth, RotationsFollowTheQuarterTurnMapping) {
    const uint32_t bpp = GetParam();
    // wider than one 64-pixel tile, and odd, so tile edges and row filler are exercised
    Picture original = Random(70, 9, bpp, true, 7);
    Picture left(original, true, true, true);
    ASSERT_TRUE(left.RotateLeft());
    ASSERT_EQ(left.GetWidth(), 9u);
    ASSERT_EQ(left.GetHeight(), 70u);
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 9; ++x)
            ASSERT_EQ(left.GetPixelColor(x, y, true), original.GetPixelColor(y, 9 - 1 - x, true))
                << x << "," << y;

    Picture right(original, true, true, true);
    ASSERT_TRUE(right.RotateRight());
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 9; ++x)
            ASSERT_EQ(right.GetPixelColor(x, y, true), original.GetPixelColor(70 - 1 - y, x, true))
                << x << "," << y;

    ASSERT_TRUE(left.RotateRight());
    EXPECT_TRUE(SamePixels(left, original));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(right.RotateRight());
    EXPECT_TRUE(SamePixels(right, original));
}

INSTANTIATE_TEST_SUITE_P(Depths, TransformByDepth, ::testing::Values(1u, 4u, 8u, 24u));

TEST(Transform, RotateIntoDestinationLeavesTheSourceAlone) {
    Picture p = Random(3, 2, 24, false);
    p.SetTransIndex(4);
    Picture before(p, true, false, false);
    Picture dest;
    ASSERT_TRUE(p.RotateRight(&dest));
    EXPECT_EQ(0, std::memcmp(p.dib, before.dib, before.GetSize()));
    EXPECT_EQ(dest.GetWidth(), 2u);
    EXPECT_EQ(dest.GetHeight(), 3u);
    EXPECT_EQ(dest.GetTransIndex(), 4);
    EXPECT_EQ(dest.info.progress, 66);  // last row started: 2 * 100 / 3
}

TEST(Transform, OneBitRotationIgnoresRowFiller) {
    Picture p(9, 3, 1, 0);
    p.SetGrayPalette();
    std::memset(p.GetBits(0), 0xFF, p.header.biSizeImage);  // filler bits set too
    p.SetPixelIndex(4, 1, 0);
    ASSERT_TRUE(p.RotateRight());
    ASSERT_EQ(p.GetWidth(), 3u);
    ASSERT_EQ(p.GetHeight(), 9u);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(p.GetPixelIndex(x, y), (x == 1 && y == 4) ? 0 : 1);
}

TEST(Transform, TransformsOfAnEmptyPictureFail) {
    Picture empty;
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
    EXPECT_FALSE(empty.RotateLeft());
    EXPECT_FALSE(empty.RotateRight());
    EXPECT_FALSE(empty.Negative());
}

TEST(Transform, NegativeInvertsRgbBytesOrPaletteOrGreyIndices) {
    Picture rgb(1, 1, 24, 0);  // 3 pixel bytes and one filler byte
    std::memcpy(rgb.GetBits(0), "\x10\x20\x30\x00", 4);
    rgb.SetTransColor(RGBQUAD{0, 0, 255, 0});
    ASSERT_TRUE(rgb.Negative());
    EXPECT_EQ(0, std::memcmp(rgb.GetBits(0), "\xEF\xDF\xCF\xFF", 4));
    EXPECT_EQ(rgb.GetTransColor(), (RGBQUAD{255, 255, 0, 0}));

    Picture bw(8, 1, 1, 0);
    bw.SetPaletteColor(1, 255, 255, 255);
    bw.GetBits(0)[0] = 0xF0;
    ASSERT_TRUE(bw.Negative());
    EXPECT_EQ(bw.GetPaletteColor(0), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(bw.GetPaletteColor(1), (RGBQUAD{0, 0, 0, 0}));
    EXPECT_EQ(bw.GetBits(0)[0], 0xF0);

    Picture grey(2, 1, 8, 0);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 10);
    ASSERT_TRUE(grey.Negative());
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 245);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 255);
}

TEST(Transform, BitfieldsExpandSixteenBitPixelsInPlace) {
    Picture p(3, 2, 24, 0);
    // 16-bit rows of ((3 + 1) / 2) * 4 = 8 bytes at the start of the pixel buffer
    const uint16_t words[2][4] = {{0xFFFF, 0x001F, 0xF800, 0}, {0x07E0, 0x0000, 0x8410, 0}};
    std::memcpy(p.GetBits(0), words, sizeof words);
    p.BitfieldsToRgb24(p.GetBits(0), 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{248, 252, 248, 0}));
    EXPECT_EQ(p.GetPixelColor(1, 0, false), (RGBQUAD{248, 0, 0, 0}));
    EXPECT_EQ(p.GetPixelColor(2, 0, false), (RGBQUAD{0, 0, 248, 0}));
    EXPECT_EQ(p.GetPixelColor(0, 1, false), (RGBQUAD{0, 252, 0, 0}));
    EXPECT_EQ(p.GetPixelColor(2, 1, false), (RGBQUAD{128, 128, 128, 0}));  // the top bit of each channel

    Picture q(1, 1, 24, 0);
    const uint16_t w555 = 0x7FFF;
    std::memcpy(q.GetBits(0), &w555, 2);
    q.BitfieldsToRgb24(q.GetBits(0), 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_EQ(q.GetPixelColor(0, 0, false), (RGBQUAD{248, 248, 248, 0}));
}

TEST(Transform, BitfieldsThirtyTwoBitDropsTheFourthByteAndOtherDepthsDoNothing) {
    Picture p(2, 1, 24, 0);
    const uint8_t source[8] = {1, 2, 3, 99, 4, 5, 6, 98};
    p.BitfieldsToRgb24(source, 0, 0, 0, 32);
    EXPECT_EQ(0, std::memcmp(p.GetBits(0), "\x01\x02\x03\x04\x05\x06", 6));
    p.BitfieldsToRgb24(source, 0, 0, 0, 24);
    EXPECT_EQ(0, std::memcmp(p.GetBits(0), "\x01\x02\x03\x04\x05\x06", 6));
}

TEST(Transform, FlipKeepsInfoButDropsSelection) {
    Picture p = Random(4, 4, 8, false);
    p.SetTransIndex(9);
    p.selection = static_cast<uint8_t*>(calloc(16, 1));
    ASSERT_TRUE(p.Flip());
    EXPECT_EQ(p.GetTransIndex(), 9);
    EXPECT_EQ(p.selection, nullptr);
}

TEST(Transform, ResolutionSurvivesEveryTransformAndASave) {
    // A quarter turn exchanges the axes, so the two resolutions change places with them.
    struct Row {
        const char* name;
        bool (*apply)(Picture&);
        bool turns;
    } rows[] = {
        {"Flip", [](Picture& p) { return p.Flip(); }, false},
        {"Mirror", [](Picture& p) { return p.Mirror(); }, false},
        {"RotateLeft", [](Picture& p) { return p.RotateLeft(); }, true},
        {"RotateRight", [](Picture& p) { return p.RotateRight(); }, true},
        {"RotateRight into",
         [](Picture& p) {
             Picture turned;
             return p.RotateRight(&turned) && p.Transfer(turned);
         },
         true},
    };
    for (const Row& row : rows) {
        for (const uint32_t bpp : {1u, 8u, 24u}) {
            Picture p = Random(5, 3, bpp, false);
            p.SetXDpi(300);
            p.SetYDpi(150);
            ASSERT_TRUE(row.apply(p)) << row.name;
            const int32_t x = row.turns ? 150 : 300, y = row.turns ? 300 : 150;
            EXPECT_EQ(p.GetXDpi(), x) << row.name << " " << bpp;
            EXPECT_EQ(p.GetYDpi(), y) << row.name << " " << bpp;
            EXPECT_EQ(p.header.biXPelsPerMeter, x == 300 ? 11811 : 5906) << row.name << " " << bpp;
            EXPECT_EQ(p.header.biYPelsPerMeter, y == 300 ? 11811 : 5906) << row.name << " " << bpp;

            // What an encoder writes from the header reads back as the same resolution.
            MemoryStream out;
            ASSERT_TRUE(out.Open());
            ASSERT_TRUE(p.Encode(&out, ImageFormat::Bmp));
            out.Seek(0, 0);
            Picture back;
            ASSERT_TRUE(back.Decode(&out, ImageFormat::Bmp));
            EXPECT_EQ(back.GetXDpi(), x) << row.name << " " << bpp;
            EXPECT_EQ(back.GetYDpi(), y) << row.name << " " << bpp;
        }
    }
}

TEST(Transform, CopyCarriesTheHeadersResolution) {
    Picture p(4, 4, 24, 0);
    p.header.biXPelsPerMeter = 3000;  // as a BMP file may state it, not a whole dpi
    p.header.biYPelsPerMeter = 2000;
    const Picture copy(p, false, false, false);
    EXPECT_EQ(copy.header.biXPelsPerMeter, 3000);
    EXPECT_EQ(copy.header.biYPelsPerMeter, 2000);
}
