#include "resample.h"

#include <gtest/gtest.h>

#include <cstring>

#include "resample_support.h"

namespace {

using Filter = Picture::ResampleFilter;
using resample_support::ComicPage;
using resample_support::Psnr;

constexpr Filter kFilters[] = {Filter::Box, Filter::Triangle, Filter::CatmullRom, Filter::Mitchell,
                               Filter::Lanczos3};

// A picture of the given depth whose pixel (x, y) comes from `colour`; palette depths get
// a palette of their size from `entry`.
template <typename PixelFn>
Picture Make(uint32_t width, uint32_t height, uint32_t bpp, PixelFn colour) {
    Picture p(width, height, bpp, 0);
    for (int32_t y = 0; y < int32_t(height); ++y)
        for (int32_t x = 0; x < int32_t(width); ++x) {
            if (bpp == 24)
                p.SetPixelColor(x, y, colour(x, y));
            else
                p.SetPixelIndex(x, y, static_cast<uint8_t>(colour(x, y).rgbReserved));
        }
    return p;
}

TEST(Resample, ComicPageMatchesImageMagickLanczos) {
    if (std::string(PANELLE_CONVERT).empty()) GTEST_SKIP() << "ImageMagick's convert was not found";
    for (uint32_t seed : {0u, 5u}) {
        Picture page = ComicPage(seed);
        const fixtures::Image reference =
            resample_support::ConvertWithImageMagick(page, "-filter Lanczos -resize 176x");
        ASSERT_EQ(reference.width, 176);
        ASSERT_EQ(reference.height, 264);
        ASSERT_TRUE(page.Resample(176, 264));
        const double psnr = Psnr(resample_support::ToImage(page), reference);
        EXPECT_GE(psnr, 40.0) << "seed " << seed;
        RecordProperty("psnr_seed_" + std::to_string(seed), std::to_string(psnr));
    }
}

TEST(Resample, SameSizeLeavesEveryDepthUntouched) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        Picture p = Make(13, 7, bpp, [&](int32_t x, int32_t y) {
            const uint8_t v = static_cast<uint8_t>(x * 31 + y * 17);
            return RGBQUAD{v, static_cast<uint8_t>(v * 3), static_cast<uint8_t>(255 - v),
                           static_cast<uint8_t>(v % (1u << std::min(bpp, 8u)))};
        });
        if (p.GetPalette()) p.SetGrayPalette();
        Picture before(p, true);
        ASSERT_TRUE(p.Resample(13, 7, Filter::Lanczos3)) << bpp;
        ASSERT_EQ(p.GetBpp(), bpp);
        EXPECT_EQ(std::memcmp(p.dib, before.dib, before.GetSize()), 0) << bpp;
    }
}

TEST(Resample, FlatStaysExactlyFlat) {
    struct Row {
        uint32_t srcW, srcH, dstW, dstH;
    };
    const Row rows[] = {
        {37, 23, 5, 91}, {1, 1, 13, 7}, {100, 3, 7, 1}, {1200, 1800, 176, 264}, {3, 1, 1000, 2}};
    for (const Row& r : rows)
        for (Filter f : kFilters)
            for (bool withAlpha : {false, true}) {
                const RGBQUAD colour{17, 200, 93, 0};
                Picture p = Make(r.srcW, r.srcH, 24, [&](int32_t, int32_t) { return colour; });
                if (withAlpha) {
                    p.AlphaCreate();
                    std::memset(p.alpha, 77, size_t{r.srcW} * r.srcH);
                }
                ASSERT_TRUE(p.Resample(r.dstW, r.dstH, f));
                ASSERT_EQ(p.GetWidth(), r.dstW);
                ASSERT_EQ(p.GetHeight(), r.dstH);
                int wrong = 0;
                for (int32_t y = 0; y < int32_t(r.dstH); ++y)
                    for (int32_t x = 0; x < int32_t(r.dstW); ++x) {
                        const RGBQUAD c = p.GetPixelColor(x, y, false);
                        wrong += c.rgbBlue != 17 || c.rgbGreen != 200 || c.rgbRed != 93 ||
                                 (withAlpha && p.AlphaGet(x, y) != 77);
                    }
                EXPECT_EQ(wrong, 0) << r.srcW << "x" << r.srcH << " to " << r.dstW << "x" << r.dstH
                                    << " filter " << int(f) << (withAlpha ? " with alpha" : "");
            }
}

// Black ink opaque on the right, white transparent paper on the left: the filter may soften
// alpha at the edge, but the colour of every visible pixel stays black.
TEST(Resample, TransparentPixelsGiveNoColour) {
    const auto check = [](Picture& p, const char* what) {
        for (Filter f : kFilters)
            for (const auto& size : {std::pair{7u, 5u}, std::pair{41u, 3u}, std::pair{120u, 60u}}) {
                Picture q(p, true);
                ASSERT_TRUE(q.Resample(size.first, size.second, f));
                ASSERT_TRUE(q.AlphaIsValid()) << what;
                int coloured = 0, partial = 0;
                for (int32_t y = 0; y < int32_t(q.GetHeight()); ++y)
                    for (int32_t x = 0; x < int32_t(q.GetWidth()); ++x) {
                        const uint8_t a = q.AlphaGet(x, y);
                        const RGBQUAD c = q.GetPixelColor(x, y, false);
                        if (a > 0 && (c.rgbRed || c.rgbGreen || c.rgbBlue)) ++coloured;
                        partial += a > 0 && a < 255;
                    }
                EXPECT_EQ(coloured, 0) << what << " filter " << int(f) << " " << size.first;
                if (f != Filter::Box) {
                    EXPECT_GT(partial, 0) << what << " filter " << int(f) << ": the edge should be soft";
                }
            }
    };
    Picture withPlane = Make(60, 30, 24, [](int32_t x, int32_t) {
        return x < 30 ? RGBQUAD{255, 255, 255, 0} : RGBQUAD{0, 0, 0, 0};
    });
    withPlane.AlphaCreate();
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 30; ++x) withPlane.AlphaSet(x, y, 0);
    check(withPlane, "alpha plane");

    // The same page as a palette picture whose white entry is the transparent index.
    Picture keyed = Make(60, 30, 8, [](int32_t x, int32_t) {
        return RGBQUAD{0, 0, 0, uint8_t(x < 30 ? 1 : 0)};
    });
    keyed.SetPaletteColor(0, 0, 0, 0);
    keyed.SetPaletteColor(1, 255, 255, 255);
    keyed.SetPaletteColor(2, 255, 0, 0);  // keeps the palette from looking grey
    keyed.SetTransIndex(1);
    check(keyed, "transparent index");
}

// Palette pictures are filtered as the 24-bit picture of their colours (grey palettes as
// 8-bit grey), so both must give the same pixels.
TEST(Resample, PaletteDepthsMatchTheirWidenedPicture) {
    struct Row {
        uint32_t bpp;
        bool grey;
    };
    for (const Row& r : {Row{1, true}, Row{4, false}, Row{4, true}, Row{8, false}, Row{8, true}}) {
        const uint32_t entries = 1u << r.bpp;
        Picture p = Make(29, 31, r.bpp, [&](int32_t x, int32_t y) {
            return RGBQUAD{0, 0, 0, static_cast<uint8_t>((x * 7 + y * 3 + (x * y) % 5) % entries)};
        });
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t v = static_cast<uint8_t>(i * 255 / (entries - 1));
            if (r.grey)
                p.SetPaletteColor(static_cast<uint8_t>(i), v, v, v);
            else
                p.SetPaletteColor(static_cast<uint8_t>(i), v, static_cast<uint8_t>(255 - v),
                                  static_cast<uint8_t>(v * 5));
        }
        Picture wide = Make(29, 31, 24, [&](int32_t x, int32_t y) { return p.GetPixelColor(x, y, false); });
        ASSERT_TRUE(p.Resample(11, 47, Filter::Mitchell));
        ASSERT_TRUE(wide.Resample(11, 47, Filter::Mitchell));
        EXPECT_EQ(p.GetBpp(), r.grey ? 8 : 24) << r.bpp;
        if (r.grey) {
            EXPECT_TRUE(p.IsGrayScale());
        }
        int wrong = 0;
        for (int32_t y = 0; y < 47; ++y)
            for (int32_t x = 0; x < 11; ++x) {
                const RGBQUAD a = p.GetPixelColor(x, y, false), b = wide.GetPixelColor(x, y, false);
                wrong += r.grey ? a.rgbRed != b.rgbBlue : !(a == b);
            }
        EXPECT_EQ(wrong, 0) << r.bpp << (r.grey ? " grey" : " colour");
    }
}

// A linear ramp stays linear away from the picture's edges, whatever the sizes: 1 x N,
// N x 1, primes, enlargement and reduction.
TEST(Resample, OddSizesKeepARamp) {
    struct Row {
        uint32_t srcW, srcH, dstW, dstH;
    };
    const Row rows[] = {{1, 97, 1, 13},     {97, 1, 13, 1},   {1, 13, 1, 97}, {211, 1, 7, 1},
                        {127, 131, 17, 19}, {7, 3, 101, 103}, {2, 2, 1, 1},   {1, 1, 1, 3}};
    for (const Row& r : rows)
        for (Filter f : kFilters) {
            // Grey ramps along both axes, at most 200 levels so that ringing has room.
            const auto ramp = [&](double u, double v) { return 20 + 90 * u / r.srcW + 90 * v / r.srcH; };
            Picture p = Make(r.srcW, r.srcH, 24, [&](int32_t x, int32_t y) {
                const uint8_t g = static_cast<uint8_t>(std::lround(ramp(x + 0.5, y + 0.5)));
                return RGBQUAD{g, g, g, 0};
            });
            ASSERT_TRUE(p.Resample(r.dstW, r.dstH, f));
            ASSERT_EQ(p.GetWidth(), r.dstW);
            ASSERT_EQ(p.GetHeight(), r.dstH);
            const double fx = double(r.srcW) / r.dstW, fy = double(r.srcH) / r.dstH;
            const double reachX = 3 * std::max(fx, 1.0) + 1, reachY = 3 * std::max(fy, 1.0) + 1;
            for (int32_t y = 0; y < int32_t(r.dstH); ++y)
                for (int32_t x = 0; x < int32_t(r.dstW); ++x) {
                    // An axis of one pixel holds no ramp: the picture is constant along it.
                    const double u = r.srcW == 1 ? 0.5 : (x + 0.5) * fx,
                                 v = r.srcH == 1 ? 0.5 : (y + 0.5) * fy;
                    const bool nearEdgeX = r.srcW > 1 && (u < reachX || u > r.srcW - reachX);
                    const bool nearEdgeY = r.srcH > 1 && (v < reachY || v > r.srcH - reachY);
                    if (nearEdgeX || nearEdgeY) continue;
                    // Box reads whole pixels, so it may be half a source step off.
                    const double slack =
                        1.5 + (f == Filter::Box ? 45.0 / std::min(r.srcW, r.srcH) + 45.0 / r.srcH : 0);
                    EXPECT_NEAR(p.GetPixelColor(x, y, false).rgbGreen, ramp(u, v), slack)
                        << r.srcW << "x" << r.srcH << " to " << r.dstW << "x" << r.dstH << " filter "
                        << int(f) << " at " << x << "," << y;
                }
        }
}

TEST(Resample, ShrinkingAveragesEverythingCovered) {
    // One-pixel lines every 7 pixels: shrunk by 7, each destination pixel covers one line,
    // so every pixel comes out the same grey, with no beating between lines and pixels.
    Picture p = Make(7 * 40, 7 * 30, 24, [](int32_t x, int32_t) {
        return x % 7 == 3 ? RGBQUAD{0, 0, 0, 0} : RGBQUAD{255, 255, 255, 0};
    });
    ASSERT_TRUE(p.Resample(40, 30, Filter::Box));
    for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(p.GetPixelColor(x, 15, false).rgbRed, 219) << x;  // 6/7 white
    Picture q = Make(7 * 40, 7 * 30, 24, [](int32_t x, int32_t) {
        return x % 7 == 3 ? RGBQUAD{0, 0, 0, 0} : RGBQUAD{255, 255, 255, 0};
    });
    ASSERT_TRUE(q.Resample(40, 30, Filter::Lanczos3));
    for (int32_t x = 3; x < 37; ++x) EXPECT_NEAR(q.GetPixelColor(x, 15, false).rgbRed, 219, 1) << x;
}

TEST(Resample, KeepsResolutionAndRefusesBadRequests) {
    Picture p = Make(30, 20, 24, [](int32_t x, int32_t y) { return RGBQUAD{uint8_t(x), uint8_t(y), 9, 0}; });
    p.SetXDpi(300);
    p.SetYDpi(150);
    ASSERT_TRUE(p.Resample(10, 10));
    EXPECT_EQ(p.GetXDpi(), 300);
    EXPECT_EQ(p.GetYDpi(), 150);
    EXPECT_EQ(p.header.biXPelsPerMeter, 11811);

    Picture before(p, true);
    EXPECT_FALSE(p.Resample(0, 5));
    EXPECT_STRNE(p.GetLastError(), "");
    EXPECT_FALSE(p.Resample(5, 0));
    const uint64_t cap = GetPictureCap();
    SetPictureCap(1 << 20);
    EXPECT_FALSE(p.Resample(1000, 1000));
    EXPECT_STREQ(p.GetLastError(), "PICTURE_MAX_MEMORY exceeded");
    EXPECT_FALSE(p.Resample(100000, 1));  // filtered rows would pass the cap too
    SetPictureCap(cap);
    ASSERT_EQ(p.GetWidth(), 10u);
    EXPECT_EQ(std::memcmp(p.dib, before.dib, before.GetSize()), 0);

    Picture empty;
    EXPECT_FALSE(empty.Resample(5, 5));
}

TEST(JpegScaleFor, KeepsTwiceTheTargetOnBothAxes) {
    struct Row {
        uint32_t srcW, srcH, dstW, dstH;
        uint8_t scale;
    };
    const Row rows[] = {
        {1200, 1800, 176, 264, 2},  // a page fitted to the width: 600 x 900 still holds 352 x 528
        {1200, 1800, 139, 208, 4},  // the whole page on the screen: 300 x 450
        {1200, 1800, 75, 112, 8},   // 150 x 225
        {1200, 1800, 76, 112, 4},   // 150 is short of 152
        {1200, 1800, 600, 900, 1}, {1200, 1800, 1200, 1800, 1}, {1200, 1800, 2400, 3600, 1},
        {1201, 1801, 75, 113, 8},  // libjpeg rounds up: 151 x 226
        {0, 10, 1, 1, 1},          {10, 10, 0, 1, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(JpegScaleFor(r.srcW, r.srcH, r.dstW, r.dstH), r.scale)
            << r.srcW << "x" << r.srcH << " to " << r.dstW;
}

// Decoding at half size before fitting a page to 176 wide costs little accuracy: the result
// stays close to the full decode's, and about as close to ImageMagick's fit of the page.
TEST(Resample, JpegDecodedAtItsScaleMatchesTheFullDecode) {
    for (uint32_t seed : {1u, 3u, 5u}) {
        const fixtures::Bytes jpeg = bench::ComicJpeg(seed);
        Picture full(ImageFormat::Jpg);
        ASSERT_TRUE(fixtures::DecodeBytes(full, jpeg, ImageFormat::Jpg));
        ASSERT_TRUE(full.Resample(176, 264));

        const uint8_t scale = JpegScaleFor(bench::kWidth, bench::kHeight, 176, 264);
        ASSERT_EQ(scale, 2);
        Picture fast(ImageFormat::Jpg);
        fast.SetJpegScale(scale);
        ASSERT_TRUE(fixtures::DecodeBytes(fast, jpeg, ImageFormat::Jpg));
        ASSERT_EQ(fast.GetWidth(), 600u);
        ASSERT_TRUE(fast.Resample(176, 264));

        const double between = Psnr(fast, full);
        EXPECT_GE(between, 45.0) << "seed " << seed;
        RecordProperty("fast_vs_full_seed_" + std::to_string(seed), std::to_string(between));
        const fixtures::Image im =
            resample_support::ConvertWithImageMagick(ComicPage(seed), "-filter Lanczos -resize 176x");
        if (im.width == 0) continue;
        const double fullPsnr = Psnr(resample_support::ToImage(full), im);
        const double fastPsnr = Psnr(resample_support::ToImage(fast), im);
        EXPECT_GE(fastPsnr, fullPsnr - 1.5) << "seed " << seed;
        RecordProperty("against_imagemagick_seed_" + std::to_string(seed),
                       std::to_string(fullPsnr) + " full, " + std::to_string(fastPsnr) + " fast");
    }
}

}  // namespace
