#include <gtest/gtest.h>

#include "picture.h"

TEST(Pixels, FourBitNibblesFollowColumnParity) {
    Picture p(4, 1, 4, 0);
    p.GetBits(0)[0] = 0xA3;
    EXPECT_EQ(p.GetPixelIndex(0, 0), 10);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 3);
    p.SetPixelIndex(1, 0, 0x17);
    EXPECT_EQ(p.GetBits(0)[0], 0xA7);
    p.SetPixelIndex(2, 0, 0xFC);
    EXPECT_EQ(p.GetBits(0)[1], 0xC0);
}

TEST(Pixels, OneBitPixelsRunFromBitSeven) {
    Picture p(10, 1, 1, 0);
    p.GetBits(0)[0] = 0x80;
    EXPECT_EQ(p.GetPixelIndex(0, 0), 1);
    for (int x = 1; x < 8; ++x) EXPECT_EQ(p.GetPixelIndex(x, 0), 0);
    p.SetPixelIndex(9, 0, 3);  // only the low bit counts
    EXPECT_EQ(p.GetBits(0)[1], 0x40);
    p.SetPixelIndex(0, 0, 2);
    EXPECT_EQ(p.GetBits(0)[0], 0x00);
}

TEST(Pixels, OutsideReadsGiveTransparentIndexOrFirstPixel) {
    Picture p(2, 2, 8, 0);
    p.GetBits(0)[0] = 42;
    EXPECT_EQ(p.GetPixelIndex(-1, 0), 42);
    p.SetTransIndex(7);
    EXPECT_EQ(p.GetPixelIndex(-1, 0), 7);
    EXPECT_EQ(p.GetPixelIndex(0, 2), 7);
    p.SetPixelIndex(2, 0, 9);  // ignored
    EXPECT_EQ(p.GetBits(0)[2], 0);
    Picture rgb(2, 2, 24, 0);
    EXPECT_EQ(rgb.GetPixelIndex(0, 0), 0);  // no palette
}

TEST(Pixels, ColorOutsideA24BitPictureIsTheFirstPixelWithAlpha) {
    Picture p(3, 2, 24, 0);
    p.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
    p.AlphaCreate();
    p.AlphaSet(0, 0, 77);
    EXPECT_EQ(p.GetPixelColor(3, 0, true), (RGBQUAD{1, 2, 3, 77}));
    EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(p.BlindGetPixelColor(0, 0), (RGBQUAD{1, 2, 3, 77}));
    p.SetTransIndex(0);
    p.SetTransColor(RGBQUAD{9, 9, 9, 0});
    EXPECT_EQ(p.GetPixelColor(-5, -5, true), (RGBQUAD{9, 9, 9, 0}));
    Picture empty;
    empty.SetTransColor(RGBQUAD{4, 5, 6, 0});
    EXPECT_EQ(empty.GetPixelColor(0, 0, true), (RGBQUAD{4, 5, 6, 0}));
}

TEST(Pixels, SetPixelColorOnPaletteUsesNearestIndex) {
    Picture p(2, 1, 8, 0);
    p.SetGrayPalette();
    p.SetPixelColor(1, 0, RGBQUAD{100, 100, 100, 50}, true);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 100);
    p.SetPixelColor(0, 0, 0x00010203u);  // COLORREF: red 3, green 2, blue 1
    EXPECT_EQ(p.GetPixelIndex(0, 0), 2);
    EXPECT_EQ(p.GetPixelPointer(0, 0), nullptr);
}

TEST(Palette, NearestIndexOnGreyRampAndCacheInvalidation) {
    Picture p(1, 1, 8, 0);
    p.SetGrayPalette();
    EXPECT_EQ(p.GetNearestIndex(RGBQUAD{128, 128, 128, 0}), 128);
    EXPECT_EQ(p.GetNearestIndex(RGBQUAD{3, 2, 1, 0}), 2);  // red 1, green 2, blue 3
    EXPECT_EQ(p.GetNearestIndex(RGBQUAD{3, 2, 1, 0}), 2);
    p.SetPaletteColor(200, 1, 2, 3);
    EXPECT_EQ(p.GetNearestIndex(RGBQUAD{3, 2, 1, 0}), 200);  // searched again, exact hit
}

TEST(Palette, GreyPaletteSteps) {
    Picture four(1, 1, 4, 0);
    four.SetGrayPalette();
    EXPECT_EQ(four.GetPaletteColor(15), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(four.GetPaletteColor(1), (RGBQUAD{17, 17, 17, 0}));
    EXPECT_FALSE(four.IsGrayScale());  // only the identity ramp counts
    Picture two(1, 1, 1, 0);
    two.SetGrayPalette();
    EXPECT_EQ(two.GetPaletteColor(1), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_FALSE(two.IsGrayScale());
    Picture eight(1, 1, 8, 0);
    eight.SetGrayPalette();
    EXPECT_TRUE(eight.IsGrayScale());
}

TEST(Palette, SetPaletteFormsRespectThePaletteSize) {
    Picture p(1, 1, 1, 0);
    const uint8_t red[3] = {10, 20, 30};
    p.SetPalette(3, red);
    EXPECT_EQ(p.GetPaletteColor(1), (RGBQUAD{20, 20, 20, 0}));
    const uint8_t triples[2][3] = {{1, 2, 3}, {4, 5, 6}};
    p.SetPalette(triples, 2);
    EXPECT_EQ(p.GetPaletteColor(0), (RGBQUAD{3, 2, 1, 0}));
    RGBQUAD quads[300] = {};
    quads[1] = RGBQUAD{7, 8, 9, 10};
    p.SetPalette(quads, 300);  // copies only two entries
    EXPECT_EQ(p.GetPaletteColor(1), (RGBQUAD{7, 8, 9, 10}));
    uint8_t r = 0, g = 0, b = 0;
    EXPECT_TRUE(p.GetPaletteColor(1, &r, &g, &b));
    EXPECT_EQ(r, 9);
    EXPECT_FALSE(p.GetPaletteColor(2, &r, &g, &b));
    EXPECT_EQ(p.GetPaletteColor(2), (RGBQUAD{0, 0, 0, 0}));
}

TEST(Palette, SwapIndexExchangesEntriesAndPixels) {
    Picture p(3, 2, 4, 0);
    p.SetPaletteColor(1, 255, 0, 0);
    p.SetPaletteColor(2, 0, 255, 0);
    p.SetPixelIndex(0, 0, 1);
    p.SetPixelIndex(1, 0, 2);
    p.SetPixelIndex(2, 1, 5);
    p.SwapIndex(1, 2);
    EXPECT_EQ(p.GetPixelIndex(0, 0), 2);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(p.GetPixelIndex(2, 1), 5);
    EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{0, 0, 255, 0}));
}

TEST(Pixels, HelpersConvertAndCompare) {
    EXPECT_EQ(Picture::ColorRefToRgbQuad(0x00112233u), (RGBQUAD{0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(Picture::CompareLuminance(RGBQUAD{255, 255, 255, 0}, RGBQUAD{0, 0, 0, 0}), 255);
    EXPECT_LT(Picture::CompareLuminance(RGBQUAD{0, 0, 0, 0}, RGBQUAD{0, 0, 255, 0}), 0);
    Picture p(2, 1, 24, 0);  // rows of 8 bytes
    uint8_t row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    p.SwapRedBlue(row, 100);
    const uint8_t want[8] = {3, 2, 1, 6, 5, 4, 7, 8};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(row[i], want[i]);
}
