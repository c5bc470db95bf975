#include "picture.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Picture, FreshPictureHasDefaults) {
    Picture p;
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetTransIndex(), -1);
    EXPECT_EQ(p.GetJpegQuality(), 90);
    EXPECT_EQ(p.GetXDpi(), 96);
    EXPECT_EQ(p.GetYDpi(), 96);
    EXPECT_EQ(p.header.biXPelsPerMeter, 3780);
    EXPECT_EQ(p.info.alphaMax, 255);
    EXPECT_TRUE(p.info.enabled);
    EXPECT_STREQ(p.GetLastError(), "");
}

TEST(Picture, CreateRejectsZeroSizeAndKeepsNoPixels) {
    Picture p(10, 10, 8, 0);
    ASSERT_TRUE(p.IsValid());
    EXPECT_EQ(p.Create(0, 10, 24, 0), nullptr);
    EXPECT_FALSE(p.IsValid());
    EXPECT_STREQ(p.GetLastError(), "Picture::Create : width and height must be greater than zero");
}

struct CreateRow {
    uint32_t width, height, bpp;
    uint16_t wantBpp;
    uint32_t wantColors, wantEffWidth;
};

class PictureCreate : public ::testing::TestWithParam<CreateRow> {};

TEST_P(PictureCreate, LaysOutHeaderPaletteAndRows) {
    const CreateRow& row = GetParam();
    Picture p;
    ASSERT_NE(p.Create(row.width, row.height, row.bpp, 0), nullptr);
    EXPECT_EQ(p.GetBpp(), row.wantBpp);
    EXPECT_EQ(p.GetNumColors(), row.wantColors);
    EXPECT_EQ(p.GetEffWidth(), row.wantEffWidth);
    EXPECT_EQ(p.header.biSizeImage, row.wantEffWidth * row.height);
    EXPECT_EQ(p.GetSize(), 40 + row.wantColors * 4 + row.wantEffWidth * row.height);
    EXPECT_EQ(0, std::memcmp(p.dib, &p.header, 40));
    for (uint32_t i = 0; i < row.wantColors; ++i) EXPECT_EQ(p.GetPalette()[i], (RGBQUAD{0, 0, 0, 0}));
    EXPECT_EQ(p.GetBits(0), p.dib + 40 + row.wantColors * 4);
    EXPECT_EQ(p.GetBits(row.height - 1), p.GetBits(0) + (row.height - 1) * row.wantEffWidth);
    EXPECT_EQ(p.GetBits(row.height), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Depths, PictureCreate,
                         ::testing::Values(CreateRow{5, 3, 2, 4, 16, 4}, CreateRow{1, 1, 32, 24, 0, 4},
                                           CreateRow{33, 2, 1, 1, 2, 8}, CreateRow{7, 2, 8, 8, 256, 8},
                                           CreateRow{3, 2, 0, 1, 2, 4}));

TEST(Picture, CreateRespectsMemoryCapWithoutOverflow) {
    Picture p;
    // 20000 x 20000 x 24 bit is 1.2 GB of rows, over the 1 GiB default
    EXPECT_EQ(p.Create(20000, 20000, 24, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "PICTURE_MAX_MEMORY exceeded");
    // a product that wraps 32 and 64 bits must still be refused
    EXPECT_EQ(p.Create(0xFFFFFFFFu, 0xFFFFFFFFu, 24, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "PICTURE_MAX_MEMORY exceeded");
    EXPECT_FALSE(p.IsValid());
}

TEST(Picture, CapIsSetByTheProgramAndCountsTheRowBytes) {
    const uint64_t saved = GetPictureCap();
    SetPictureCap(1000 * 4);  // 1000 x 4 rows of 24 bit need 3000 x 4 bytes
    Picture p;
    EXPECT_EQ(p.Create(1000, 4, 24, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "PICTURE_MAX_MEMORY exceeded");
    ASSERT_NE(p.Create(1000, 4, 8, 0), nullptr);  // 4000 bytes: exactly the cap
    SetPictureCap(saved);
}

TEST(Picture, CreateRefusesSizesItCannotRepresent) {
    Picture p;
    // under the cap, but wider than a signed header field can hold
    EXPECT_EQ(p.Create(0x80000000u, 1, 1, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "Picture::Create can't allocate memory");
}

TEST(Picture, ClearFillsWholeRowsPerDepth) {
    Picture one(9, 2, 1, 0);
    one.Clear(1);
    for (uint32_t i = 0; i < one.header.biSizeImage; ++i) ASSERT_EQ(one.GetBits(0)[i], 255);
    Picture four(3, 2, 4, 0);
    four.Clear(0x2A);
    for (uint32_t i = 0; i < four.header.biSizeImage; ++i) ASSERT_EQ(four.GetBits(0)[i], 0xAA);
}

TEST(Picture, DpiSettersKeepPelsPerMeter) {
    Picture p;
    p.SetXDpi(0);
    EXPECT_EQ(p.GetXDpi(), 96);
    EXPECT_EQ(p.header.biXPelsPerMeter, 3780);
    p.SetXDpi(-5);
    EXPECT_EQ(p.GetXDpi(), 96);
    p.SetYDpi(300);
    EXPECT_EQ(p.header.biYPelsPerMeter, 11811);
}

TEST(Picture, CodecOptionsHaveOneSlotPerFormat) {
    Picture p(ImageFormat::Png);
    EXPECT_EQ(p.GetCodecOption(16), 0u);
    EXPECT_FALSE(p.SetCodecOption(1, 16));
    EXPECT_TRUE(p.SetCodecOption(7));
    EXPECT_EQ(p.info.codecOptions[ImageFormat::Png], 7u);
    EXPECT_EQ(p.GetCodecOption(0), 7u);
    EXPECT_TRUE(p.SetCodecOption(3, ImageFormat::Tif));
    EXPECT_EQ(p.GetCodecOption(ImageFormat::Tif), 3u);
}

TEST(Picture, LastErrorIsCutAt255Characters) {
    Picture p;
    const std::string longText(400, 'x');
    p.SetLastError(longText.c_str());
    EXPECT_EQ(std::strlen(p.GetLastError()), 255u);
}

TEST(Picture, TransColorComesFromPaletteForIndexedPictures) {
    Picture p(4, 4, 8, 0);
    p.SetPaletteColor(5, 10, 20, 30, 0);
    p.SetTransIndex(5);
    EXPECT_TRUE(p.IsTransparent());
    EXPECT_EQ(p.GetTransColor(), (RGBQUAD{30, 20, 10, 0}));
    Picture rgb(4, 4, 24, 0);
    rgb.SetTransColor(RGBQUAD{1, 2, 3, 99});
    EXPECT_EQ(rgb.GetTransColor(), (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(rgb.GetColorType(), 2);
    rgb.AlphaCreate();
    EXPECT_EQ(rgb.GetColorType(), 4);
    EXPECT_EQ(p.GetColorType(), 1);
}

TEST(Picture, CopyDuplicatesPixelsPlanesAndInfo) {
    Picture src(3, 2, 24, ImageFormat::Bmp);
    src.Clear(0x40);
    src.AlphaCreate();
    src.AlphaSet(2, 1, 17);
    src.SetTransIndex(3);
    Picture copy(src, true, true, true);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.dib, src.dib);
    EXPECT_EQ(0, std::memcmp(copy.dib, src.dib, src.GetSize()));
    EXPECT_EQ(copy.AlphaGet(2, 1), 17);
    EXPECT_EQ(copy.GetTransIndex(), 3);
    EXPECT_EQ(copy.GetType(), static_cast<uint32_t>(ImageFormat::Bmp));
    EXPECT_EQ(copy.info.bits, copy.GetBits(0));

    Picture paletteOnly(src, false, false, false);
    EXPECT_FALSE(paletteOnly.AlphaIsValid());
}

TEST(Picture, CopyWithoutPixelsTakesThePalette) {
    Picture src(2, 2, 4, 0);
    src.SetPaletteColor(15, 1, 2, 3, 4);
    Picture copy(src, false, false, false);
    EXPECT_EQ(copy.GetPaletteColor(15), (RGBQUAD{3, 2, 1, 4}));
}

TEST(Picture, TransferMovesEverythingAndEmptiesTheSource) {
    Picture from(4, 4, 8, ImageFormat::Gif);
    from.AlphaCreate();
    uint8_t* dib = from.dib;
    Picture to(2, 2, 24, 0);
    ASSERT_TRUE(to.Transfer(from));
    EXPECT_EQ(to.dib, dib);
    EXPECT_EQ(to.GetType(), static_cast<uint32_t>(ImageFormat::Gif));
    EXPECT_TRUE(to.AlphaIsValid());
    EXPECT_FALSE(from.IsValid());
    EXPECT_EQ(from.GetTransIndex(), 0);
    EXPECT_EQ(from.GetJpegQuality(), 0);
    EXPECT_TRUE(from.Destroy());  // frees nothing, and nothing is freed twice
}

TEST(Picture, GhostSharesBuffersAndFreesNothing) {
    Picture source(5, 5, 24, 0);
    source.Clear(0x33);
    {
        Picture ghost;
        ghost.Ghost(&source);
        EXPECT_EQ(ghost.dib, source.dib);
        EXPECT_FALSE(ghost.Destroy());
        EXPECT_EQ(ghost.Create(2, 2, 8, 0), nullptr);
        EXPECT_FALSE(ghost.Transfer(source));
    }
    EXPECT_TRUE(source.IsValid());
    EXPECT_EQ(source.GetBits(0)[0], 0x33);
}

TEST(Picture, GhostOfAnOwningPictureGivesUpItsOwnBlocks) {
    // The blocks the picture held are freed (the leak checker sees it) and none of them is
    // seen through the ghost: a source without an alpha plane leaves the ghost without one.
    Picture source(4, 4, 8, ImageFormat::Gif);
    Picture ghost(9, 9, 24, ImageFormat::Bmp);
    ghost.AlphaCreate();
    ghost.Ghost(&source);
    EXPECT_EQ(ghost.dib, source.dib);
    EXPECT_EQ(ghost.alpha, nullptr);
    EXPECT_EQ(ghost.GetWidth(), 4u);
    EXPECT_EQ(ghost.GetType(), static_cast<uint32_t>(ImageFormat::Gif));
    EXPECT_FALSE(ghost.Destroy());

    // A ghost of itself would own nothing and free nothing: it is refused.
    Picture self(2, 2, 24, 0);
    self.Ghost(&self);
    EXPECT_EQ(self.info.ghost, nullptr);
    EXPECT_TRUE(self.IsValid());
}

TEST(Picture, CopyInfoOnlyIntoEmptyPictures) {
    Picture src(2, 2, 8, ImageFormat::Tga);
    src.SetFrame(3);
    Picture empty;
    empty.CopyInfo(src);
    EXPECT_EQ(empty.GetFrame(), 3);
    EXPECT_EQ(empty.info.bits, nullptr);  // the source's pixels are never borrowed this way
    Picture full(1, 1, 24, 0);
    full.CopyInfo(src);
    EXPECT_EQ(full.GetFrame(), 0);
}

TEST(Picture, AlphaPlaneIsBoundedAndFlips) {
    Picture p(3, 2, 24, 0);
    EXPECT_EQ(p.AlphaGet(0, 0), 0);
    EXPECT_FALSE(p.AlphaFlip());
    p.AlphaCreate();
    EXPECT_EQ(p.AlphaGet(1, 1), 255);
    p.AlphaSet(0, 0, 1);
    p.AlphaSet(3, 0, 9);  // outside: ignored
    p.AlphaSet(-1, 0, 9);
    EXPECT_EQ(p.AlphaGetPointer(3, 0), nullptr);
    ASSERT_TRUE(p.AlphaFlip());
    EXPECT_EQ(p.AlphaGet(0, 1), 1);
    ASSERT_TRUE(p.AlphaMirror());
    EXPECT_EQ(p.AlphaGet(2, 1), 1);
    EXPECT_EQ(p.BlindAlphaGet(2, 1), 1);
    p.AlphaDelete();
    EXPECT_FALSE(p.AlphaIsValid());
}

TEST(Picture, AlphaPaletteAndSelection) {
    Picture p(4, 3, 8, 0);
    EXPECT_FALSE(p.AlphaPaletteIsValid());
    p.SetPaletteColor(200, 1, 1, 1, 128);
    EXPECT_TRUE(p.AlphaPaletteIsValid());
    EXPECT_TRUE(p.SelectionIsInside(3, 2));
    EXPECT_FALSE(p.SelectionIsInside(4, 2));
    p.SelectionDelete();
    EXPECT_EQ(p.info.selectionBox.left, 4);
    EXPECT_EQ(p.info.selectionBox.bottom, 3);
    EXPECT_EQ(p.info.selectionBox.right, 0);
}
