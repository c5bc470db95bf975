#include "quantize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "resample_support.h"

namespace {

using resample_support::ComicPage;
using resample_support::Psnr;

Picture Ramp(uint32_t width, uint32_t height) {
    Picture p(width, height, 24, 0);
    for (int32_t y = 0; y < int32_t(height); ++y)
        for (int32_t x = 0; x < int32_t(width); ++x) {
            const uint8_t v = static_cast<uint8_t>(x * 255 / (width - 1));
            p.SetPixelColor(x, y, RGBQUAD{v, v, v, 0});
        }
    return p;
}

// The page's colours reduced by ImageMagick are a baseline to match or beat.
TEST(ReduceColors, ComicPageAtLeastAsCloseAsImageMagick) {
    if (std::string(PANELLE_CONVERT).empty()) GTEST_SKIP() << "ImageMagick's convert was not found";
    const Picture page = ComicPage(2);
    const fixtures::Image original = resample_support::ToImage(page);
    for (uint32_t colours : {256u, 16u}) {
        const fixtures::Image im =
            resample_support::ConvertWithImageMagick(page, "+dither -colors " + std::to_string(colours));
        ASSERT_EQ(im.width, original.width);
        std::set<uint32_t> used;
        for (size_t i = 0; i < im.rgba.size(); i += 4)
            used.insert(im.rgba[i] << 16 | im.rgba[i + 1] << 8 | im.rgba[i + 2]);
        ASSERT_LE(used.size(), colours);

        Picture ours(page, true);
        ASSERT_TRUE(ours.ReduceColors(colours, false));
        EXPECT_EQ(ours.GetBpp(), colours == 16 ? 4 : 8);
        const double mine = Psnr(resample_support::ToImage(ours), original);
        const double theirs = Psnr(im, original);
        EXPECT_GE(mine, theirs) << colours << " colours";
        RecordProperty("psnr_" + std::to_string(colours),
                       std::to_string(mine) + " ours, " + std::to_string(theirs) + " ImageMagick");
    }
}

TEST(ReduceColors, DepthFollowsTheNumberOfColours) {
    struct Row {
        uint32_t colours, bpp;
    };
    for (const Row& r : {Row{2, 1}, Row{3, 4}, Row{16, 4}, Row{17, 8}, Row{256, 8}}) {
        Picture p = ComicPage(0);
        ASSERT_TRUE(p.Resample(120, 180));
        ASSERT_TRUE(p.ReduceColors(r.colours, r.colours % 2 == 1));
        EXPECT_EQ(p.GetBpp(), r.bpp) << r.colours;
        std::set<uint8_t> indices;
        for (int32_t y = 0; y < 180; ++y)
            for (int32_t x = 0; x < 120; ++x) indices.insert(p.GetPixelIndex(x, y));
        EXPECT_LE(indices.size(), r.colours);
        EXPECT_LT(*indices.rbegin(), r.colours);
    }
    Picture p = Ramp(10, 2);
    for (uint32_t bad : {0u, 1u, 257u}) {
        EXPECT_FALSE(p.ReduceColors(bad, false)) << bad;
        EXPECT_STRNE(p.GetLastError(), "");
    }
    EXPECT_EQ(p.GetBpp(), 24);
    Picture empty;
    EXPECT_FALSE(empty.ReduceColors(16, false));
    EXPECT_FALSE(empty.ConvertToGrey());
}

TEST(ReduceColors, FewColoursStayExact) {
    const RGBQUAD colours[] = {
        {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {10, 20, 30, 0}, {250, 250, 250, 0}};
    Picture p(23, 17, 24, 0);
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 23; ++x) p.SetPixelColor(x, y, colours[(x * 3 + y) % 5]);
    Picture before(p, true);
    ASSERT_TRUE(p.ReduceColors(16, true));
    EXPECT_EQ(p.GetBpp(), 4);
    EXPECT_EQ(Psnr(p, before), INFINITY);
}

// 16 greys with dithering keep the local average of a smooth ramp; without dithering the
// ramp falls into bands up to half a level (8) off.
TEST(ReduceColors, SixteenGreysDitheredKeepTheLocalAverage) {
    Picture smooth = Ramp(256, 64);
    ASSERT_TRUE(smooth.ConvertToGrey());
    Picture banded(smooth, true);
    ASSERT_TRUE(smooth.ReduceColors(16, true));
    ASSERT_TRUE(banded.ReduceColors(16, false));
    for (const Picture* p : {&smooth, &banded}) {
        ASSERT_EQ(p->GetBpp(), 4);
        for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(p->GetPaletteColor(i).rgbGreen, i * 17);
    }
    double worstDithered = 0, worstBanded = 0;
    for (int32_t bx = 0; bx < 256; bx += 8)
        for (int32_t by = 8; by < 56; by += 8) {
            double want = 0, dithered = 0, flat = 0;
            for (int32_t y = by; y < by + 8; ++y)
                for (int32_t x = bx; x < bx + 8; ++x) {
                    want += x * 255 / 255;
                    dithered += smooth.GetPixelColor(x, y, false).rgbGreen;
                    flat += banded.GetPixelColor(x, y, false).rgbGreen;
                }
            worstDithered = std::max(worstDithered, std::abs(dithered - want) / 64);
            worstBanded = std::max(worstBanded, std::abs(flat - want) / 64);
        }
    EXPECT_LT(worstDithered, 2.0);
    EXPECT_GT(worstBanded, 3.0);

    // Dithering a comic page to 16 greys loses less of its detail at every scale but the finest.
    Picture page = ComicPage(4);
    ASSERT_TRUE(page.Resample(176, 264));
    ASSERT_TRUE(page.ConvertToGrey());
    Picture dithered(page, true), plain(page, true);
    ASSERT_TRUE(dithered.ReduceColors(16, true));
    ASSERT_TRUE(plain.ReduceColors(16, false));
    Picture a(page, true), b(dithered, true), c(plain, true);
    ASSERT_TRUE(a.Resample(44, 66, Picture::ResampleFilter::Box));
    ASSERT_TRUE(b.Resample(44, 66, Picture::ResampleFilter::Box));
    ASSERT_TRUE(c.Resample(44, 66, Picture::ResampleFilter::Box));
    EXPECT_GT(Psnr(b, a), Psnr(c, a));
}

TEST(ReduceColors, WrittenAsSmallPalettePngs) {
    struct Row {
        uint32_t colours;
        bool grey;
        uint8_t bitDepth;
    };
    for (const Row& r : {Row{16, true, 4}, Row{256, false, 8}, Row{16, false, 4}, Row{2, true, 1}}) {
        Picture p = ComicPage(3);
        ASSERT_TRUE(p.Resample(176, 264));
        if (r.grey) {
            ASSERT_TRUE(p.ConvertToGrey());
        }
        ASSERT_TRUE(p.ReduceColors(r.colours, r.grey));
        const fixtures::Bytes png = fixtures::EncodeBytes(p, ImageFormat::Png);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png[24], r.bitDepth) << r.colours;  // IHDR bit depth
        EXPECT_EQ(png[25], 3) << r.colours;           // colour type: palette
        Picture back;
        ASSERT_TRUE(fixtures::DecodeBytes(back, png, ImageFormat::Png));
        EXPECT_EQ(Psnr(back, p), INFINITY) << r.colours;
    }
}

TEST(ConvertToGrey, UsesTheEngineLuminance) {
    const RGBQUAD colours[] = {{255, 255, 255, 0}, {0, 0, 0, 0},   {0, 0, 255, 0},
                               {0, 255, 0, 0},     {255, 0, 0, 0}, {40, 90, 200, 0}};
    for (uint32_t bpp : {24u, 4u}) {
        Picture p(6, 3, bpp, 0);
        for (uint8_t i = 0; i < 6; ++i) {
            if (bpp == 24) {
                for (int32_t y = 0; y < 3; ++y) p.SetPixelColor(i, y, colours[i]);
            } else {
                p.SetPaletteColor(i, colours[i]);
                for (int32_t y = 0; y < 3; ++y) p.SetPixelIndex(i, y, i);
            }
        }
        p.SetXDpi(200);
        ASSERT_TRUE(p.ConvertToGrey());
        EXPECT_EQ(p.GetBpp(), 8);
        EXPECT_TRUE(p.IsGrayScale());
        EXPECT_EQ(p.GetXDpi(), 200);
        for (uint8_t i = 0; i < 6; ++i)
            EXPECT_EQ(Picture::CompareLuminance(p.GetPixelColor(i, 1, false), RGBQUAD{0, 0, 0, 0}),
                      Picture::CompareLuminance(colours[i], RGBQUAD{0, 0, 0, 0}))
                << int(i) << " at " << bpp;
    }
}

TEST(ReduceColors, TransparencyIsKept) {
    // An alpha plane stays as it was.
    Picture p = Ramp(40, 10);
    p.AlphaCreate();
    for (int32_t x = 0; x < 40; ++x) p.AlphaSet(x, 3, static_cast<uint8_t>(x * 6));
    Picture before(p, true);
    ASSERT_TRUE(p.ReduceColors(4, true));
    ASSERT_TRUE(p.AlphaIsValid());
    EXPECT_EQ(std::memcmp(p.alpha, before.alpha, 400), 0);

    // A transparent palette index becomes an alpha plane rather than a shared grey.
    Picture keyed(8, 2, 8, 0);
    keyed.SetPaletteColor(0, 255, 255, 255);
    keyed.SetPaletteColor(1, 200, 30, 30);
    keyed.SetTransIndex(0);
    for (int32_t x = 0; x < 8; ++x) keyed.SetPixelIndex(x, 0, static_cast<uint8_t>(x % 2));
    Picture grey(keyed, true);
    ASSERT_TRUE(keyed.ReduceColors(2, false));
    ASSERT_TRUE(grey.ConvertToGrey());
    for (Picture* q : {&keyed, &grey}) {
        ASSERT_TRUE(q->AlphaIsValid());
        EXPECT_EQ(q->GetTransIndex(), -1);
        for (int32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(q->AlphaGet(x, 0), x % 2 ? 255 : 0) << x;
            EXPECT_EQ(q->AlphaGet(x, 1), 0) << x;  // row 1 holds index 0 too
        }
    }
}

}  // namespace
