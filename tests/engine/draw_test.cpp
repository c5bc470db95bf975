#include "draw.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devicecontext.h"
#include "format.h"
#include "picture.h"

namespace {

constexpr uint32_t kWhite = 0xffffffff;

uint32_t Rgb(RGBQUAD c) { return 0xff000000u | c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue; }

std::vector<int32_t> Sides(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// Every pixel of the surface, for before/after comparisons.
std::vector<uint32_t> Snapshot(const DeviceContext& dc) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < dc.Height(); ++y)
        for (int32_t x = 0; x < dc.Width(); ++x) pixels.push_back(dc.GetPixel(x, y));
    return pixels;
}

// A 24 bpp picture whose every pixel is distinct: blue = x, green = y, red = 100.
Picture Coordinates(int32_t width, int32_t height) {
    Picture p(width, height, 24, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 100, 0});
    return p;
}

// Device pixel (x, y) of a picture drawn 1:1 with its top-left corner at (left, top).
uint32_t Expected(const Picture& p, int32_t left, int32_t top, int32_t x, int32_t y) {
    return Rgb(p.GetPixelColor(x - left, static_cast<int32_t>(p.GetHeight()) - 1 - (y - top), false));
}

Picture Fixture(const char* name) {
    Picture p;
    const std::string path = std::string(PANELLE_TEST_DATA) + "/draw/" + name;
    EXPECT_TRUE(p.Load(path.c_str(), ImageFormat::Bmp)) << path << ": " << p.GetLastError();
    return p;
}

// Largest and mean channel difference between the surface's rectangle at (left, top)
// and a reference picture of the rectangle's size.
struct Difference {
    int worst = 0;
    double mean = 0;
};

Difference Compare(const DeviceContext& dc, int32_t left, int32_t top, const Picture& reference) {
    Difference d;
    long count = 0, total = 0;
    const int32_t w = static_cast<int32_t>(reference.GetWidth()),
                  h = static_cast<int32_t>(reference.GetHeight());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t got = dc.GetPixel(left + x, top + y), want = Expected(reference, 0, 0, x, y);
            for (int shift = 0; shift < 24; shift += 8) {
                const int diff = std::abs(static_cast<int>((got >> shift) & 0xff) -
                                          static_cast<int>((want >> shift) & 0xff));
                d.worst = std::max(d.worst, diff);
                total += diff;
                ++count;
            }
        }
    }
    d.mean = count ? static_cast<double>(total) / count : 0;
    return d;
}

// The alpha plane from a grey mask picture.
void TakeAlpha(Picture& p, const Picture& mask) {
    p.AlphaCreate();
    for (int32_t y = 0; y < static_cast<int32_t>(p.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(p.GetWidth()); ++x)
            p.AlphaSet(x, y, mask.GetPixelColor(x, y, false).rgbRed);
}

}  // namespace

// ---- the paint box and refusals ------------------------------------------------------------

TEST(Draw, PaintBoxIsTheVisiblePartOfTheDestination) {
    const RECT clip{10, 20, 110, 220};
    struct Row {
        int32_t x, y, cx, cy;
        RECT expected;
    } rows[] = {
        {30, 40, 50, 60, {30, 40, 80, 100}},       // wholly inside
        {0, 0, 50, 60, {10, 20, 50, 60}},          // over the top-left corner
        {100, 200, 50, 60, {100, 200, 110, 220}},  // over the bottom-right corner
        {-500, 40, 100, 10, {10, 40, 10, 50}},     // left of the clip box: no width
        {30, 300, 10, 10, {30, 220, 40, 220}},     // below it: no height
        {INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX, {110, 220, 110, 220}},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, {10, 20, 10, 20}},  // ends at -1
    };
    for (const Row& r : rows)
        EXPECT_EQ(Sides(PaintBox(clip, r.x, r.y, r.cx, r.cy)), Sides(r.expected)) << r.x;
}

TEST(Draw, RefusesWithoutPixelsTargetOrSizeAndPaintsNothing) {
    DeviceContext dc(8, 8);
    const auto before = Snapshot(dc);
    Picture p = Coordinates(4, 4);
    const Picture empty;
    EXPECT_EQ(p.Draw(&dc, 0, 0, 0, 4), 0);
    EXPECT_EQ(p.Draw(&dc, 0, 0, 4, 0), 0);
    EXPECT_EQ(p.Draw(nullptr, 0, 0), 0);
    EXPECT_EQ(empty.Draw(&dc, 0, 0), 0);
    p.info.enabled = false;
    EXPECT_EQ(p.Draw(&dc, 0, 0), 0);
    EXPECT_FALSE(p.Stretch(nullptr, 0, 0, 4, 4, SRCCOPY));
    EXPECT_FALSE(empty.Stretch(&dc, 0, 0, 4, 4, SRCCOPY));
    EXPECT_EQ(Snapshot(dc), before);
}

TEST(Draw, DestinationOutsideTheClipBoxChangesNothingOnEveryPath) {
    Picture plain = Coordinates(4, 3);
    Picture blended = Coordinates(4, 3);
    blended.AlphaCreate();
    struct Row {
        const char* path;
        const Picture* picture;
        int32_t cx, cy;
    } rows[] = {{"plain", &plain, 4, 3}, {"scaled", &plain, 9, 7}, {"blended", &blended, 9, 7}};
    for (const Row& row : rows) {
        DeviceContext dc(10, 10, 0x123456);
        const RECT clip{2, 2, 6, 6};
        dc.SelectClipRect(&clip);
        const auto before = Snapshot(dc);
        EXPECT_EQ(row.picture->Draw(&dc, 6, 1, row.cx, row.cy), 1) << row.path;
        EXPECT_EQ(row.picture->Draw(&dc, -20, -20, row.cx, row.cy), 1) << row.path;
        EXPECT_EQ(Snapshot(dc), before) << row.path;
    }
}

// ---- the three paths ------------------------------------------------------------------------

TEST(Draw, OwnSizeCopiesEveryDepthWithTheBottomRowAtTheBottom) {
    for (const uint32_t bpp : {1u, 4u, 8u, 24u}) {
        Picture p(11, 5, bpp, 0);
        for (uint32_t i = 0; i < p.GetNumColors(); ++i)
            p.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i),
                              200);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 11; ++x) {
                if (bpp == 24)
                    p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 9, 0});
                else
                    p.SetPixelIndex(x, y, static_cast<uint8_t>(x * 7 + y * 3));
            }
        DeviceContext dc(16, 9, 0x000000);
        EXPECT_EQ(p.Draw(&dc, 3, 2), 1);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const bool inside = x >= 3 && x < 14 && y >= 2 && y < 7;
                EXPECT_EQ(dc.GetPixel(x, y), inside ? Expected(p, 3, 2, x, y) : 0xff000000u)
                    << bpp << " bpp at " << x << "," << y;
            }
    }
}

TEST(Draw, TwoByTwoIntoFourByFourRepeatsEachPixelInABlock) {
    Picture rgb(2, 2, 24, 0);
    Picture indexed(2, 2, 8, 0);
    const RGBQUAD colors[2][2] = {{{10, 0, 0, 0}, {20, 0, 0, 0}}, {{30, 0, 0, 0}, {40, 0, 0, 0}}};  // [y][x]
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            rgb.SetPixelColor(x, y, colors[y][x]);
            indexed.SetPaletteColor(static_cast<uint8_t>(y * 2 + x), colors[y][x]);
            indexed.SetPixelIndex(x, y, static_cast<uint8_t>(y * 2 + x));
        }
    for (const Picture* p : {&rgb, &indexed}) {
        DeviceContext dc(4, 4);
        EXPECT_EQ(p->Draw(&dc, 0, 0, 4, 4), 1);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 4; ++x)  // picture row 0 (bottom) fills device rows 2 and 3
                EXPECT_EQ(dc.GetPixel(x, y), Rgb(colors[1 - y / 2][x / 2])) << x << "," << y;
    }
}

TEST(Draw, TransparentIndexOrColourLeavesTheBackground) {
    Picture p(3, 2, 8, 0);
    p.SetPaletteColor(0, 1, 2, 3);
    p.SetPaletteColor(5, 200, 100, 50);
    p.SetPixelIndex(1, 0, 5);
    p.SetPixelIndex(2, 1, 5);
    p.SetTransIndex(0);
    for (const int32_t scale : {1, 2}) {
        DeviceContext dc(6, 4);
        EXPECT_EQ(p.Draw(&dc, 0, 0, 3 * scale, 2 * scale), 1);
        for (int32_t y = 0; y < 2 * scale; ++y)
            for (int32_t x = 0; x < 3 * scale; ++x) {
                const bool opaque = p.GetPixelIndex(x / scale, 1 - y / scale) == 5;
                EXPECT_EQ(dc.GetPixel(x, y), opaque ? 0xffc86432u : kWhite) << scale << ": " << x << "," << y;
            }
    }
    // A 24 bpp picture with transparency on compares whole colours with transColor.
    Picture rgb(2, 1, 24, 0);
    rgb.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
    rgb.SetPixelColor(1, 0, RGBQUAD{4, 5, 6, 0});
    rgb.SetTransColor(RGBQUAD{4, 5, 6, 0});
    rgb.SetTransIndex(0);
    DeviceContext dc(2, 1, 0xabcdef);
    EXPECT_EQ(rgb.Draw(&dc, 0, 0), 1);
    EXPECT_EQ(dc.GetPixel(0, 0), 0xff030201u);
    EXPECT_EQ(dc.GetPixel(1, 0), 0xffabcdefu);
}

TEST(Draw, AlphaBlendsWithAShiftByEight) {
    struct Row {
        uint8_t alpha, alphaMax;
        bool paletteAlpha;
        uint8_t paletteReserved;
        uint32_t expected;  // a black pixel over white
    } rows[] = {
        {128, 255, false, 0, 0xff7e7e7e},   // a = 128: 255 x 127 >> 8 = 126
        {255, 255, false, 0, 0xff000000},   // a = 255 stores the colour
        {0, 255, false, 0, kWhite},         // a = 0 keeps the background
        {255, 0, false, 0, kWhite},         // alphaMax 0: a = 255 x 1 >> 8 = 0
        {255, 127, false, 0, 0xff7f7f7f},   // a = 255 x 128 >> 8 = 127: 255 x 128 >> 8
        {255, 255, true, 128, 0xff7e7e7e},  // palette alpha 128: a = 255 x 129 >> 8 = 128
        {255, 255, true, 0, kWhite},        // palette alpha 0: a = 255 >> 8 = 0
    };
    for (const Row& row : rows) {
        Picture p(1, 1, row.paletteAlpha ? 8 : 24, 0);
        if (row.paletteAlpha) {
            p.SetPaletteColor(0, 0, 0, 0, row.paletteReserved);
            p.info.alphaPaletteEnabled = true;
        } else {
            p.AlphaCreate();
            p.AlphaSet(0, 0, row.alpha);
        }
        p.info.alphaMax = row.alphaMax;
        DeviceContext dc(1, 1);
        EXPECT_EQ(p.Draw(&dc, 0, 0), 1);
        EXPECT_EQ(dc.GetPixel(0, 0), row.expected) << int(row.alpha) << " " << int(row.alphaMax);
    }
}

TEST(Draw, PaletteAlphaHoldsWhenScaledWithOrWithoutSmoothing) {
    // Every entry black; the reserved byte is each pixel's opacity.
    struct Row {
        uint8_t reserved;
        uint32_t expected;  // black over white, blended with the shift by eight
    } rows[] = {
        {255, 0xff000000},  // a = 255 x 256 >> 8 = 255
        {128, 0xff7e7e7e},  // a = 128
        {0, kWhite},        // a = 0
    };
    for (const Row& row : rows) {
        Picture p(2, 2, 8, 0);
        for (int i = 0; i < 4; ++i) p.SetPaletteColor(static_cast<uint8_t>(i), 0, 0, 0, row.reserved);
        for (int i = 0; i < 4; ++i) p.SetPixelIndex(i % 2, i / 2, static_cast<uint8_t>(i));
        p.info.alphaPaletteEnabled = true;
        for (const bool smooth : {false, true}) {
            DeviceContext dc(6, 6);
            ASSERT_EQ(p.Draw(&dc, 0, 0, 6, 6, nullptr, smooth), 1);
            for (int32_t y = 0; y < 6; ++y)
                for (int32_t x = 0; x < 6; ++x)
                    ASSERT_EQ(dc.GetPixel(x, y), row.expected)
                        << int(row.reserved) << (smooth ? " smooth " : " ") << x << "," << y;
        }
    }
}

TEST(Draw, ClipRectangleLimitsPaintingAndTheClipBoxIsRestored) {
    const Picture p = Coordinates(6, 6);
    for (const bool blended : {false, true}) {
        Picture q(p, true);
        if (blended) q.AlphaCreate();
        DeviceContext dc(10, 10);
        const RECT outer{1, 1, 9, 9};
        dc.SelectClipRect(&outer);
        const RECT clip{3, 2, 5, 7};
        EXPECT_EQ(q.Draw(&dc, 2, 2, 6, 6, &clip), 1);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 10; ++x) {
                const bool painted = x >= 3 && x < 5 && y >= 2 && y < 7;
                EXPECT_EQ(dc.GetPixel(x, y), painted ? Expected(q, 2, 2, x, y) : kWhite) << x << "," << y;
            }
        EXPECT_EQ(Sides(dc.GetClipBox()), Sides(outer));
    }
}

TEST(Draw, VisiblePartMatchesTheSamePartOfAWholeDraw) {
    // Composing only the paint box must not move anything: a draw half off a small surface
    // shows the same pixels as the corresponding part of a draw onto a large one.
    Picture opaque = Coordinates(9, 7);
    Picture translucent(opaque, true);
    translucent.AlphaCreate();
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 9; ++x) translucent.AlphaSet(x, y, static_cast<uint8_t>(x * 30 + y));
    struct Row {
        const char* what;
        const Picture* picture;
        int32_t cx, cy;
        bool smooth;
    } rows[] = {{"plain", &opaque, 9, 7, false},
                {"nearest", &opaque, 23, 17, false},
                {"bilinear", &opaque, 23, 17, true},
                {"blended 1:1", &translucent, 9, 7, false},
                {"blended nearest", &translucent, 23, 17, false},
                {"blended bilinear", &translucent, 5, 30, true}};
    for (const Row& row : rows) {
        DeviceContext whole(40, 40, 0x808080), part(12, 10, 0x808080);
        row.picture->Draw(&whole, 0, 0, row.cx, row.cy, nullptr, row.smooth);
        row.picture->Draw(&part, -4, -3, row.cx, row.cy, nullptr, row.smooth);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const bool covered = x + 4 < row.cx && y + 3 < row.cy;
                EXPECT_EQ(part.GetPixel(x, y), covered ? whole.GetPixel(x + 4, y + 3) : 0xff808080u)
                    << row.what << " at " << x << "," << y;
            }
    }
}

// ---- the surface ---------------------------------------------------------------------------

TEST(DeviceContext, ViewWritesBlueGreenRedOpaqueAndLeavesRowPadding) {
    // The layout a 32-bit RGB image of Qt uses: rows top-down, stride apart, B G R 0xff.
    std::vector<uint8_t> memory(3 * 16, 0x11);
    DeviceContext dc(memory.data(), 3, 3, 16);
    Picture p(2, 2, 24, 0);
    p.SetPixelColor(0, 1, RGBQUAD{1, 2, 3, 0});  // top-left
    p.SetPixelColor(1, 0, RGBQUAD{4, 5, 6, 0});  // bottom-right
    EXPECT_EQ(p.Draw(&dc, 1, 1), 1);
    EXPECT_EQ(memory[16 + 4], 1);
    EXPECT_EQ(memory[16 + 5], 2);
    EXPECT_EQ(memory[16 + 6], 3);
    EXPECT_EQ(memory[16 + 7], 0xff);
    EXPECT_EQ(memory[32 + 8], 4);
    EXPECT_EQ(memory[32 + 11], 0xff);
    for (int row = 0; row < 3; ++row)
        for (int i = 12; i < 16; ++i) EXPECT_EQ(memory[row * 16 + i], 0x11);
    EXPECT_EQ(memory[0], 0x11);
}

TEST(DeviceContext, ClippingIntersectsAndUnitesWithinTheSurface) {
    DeviceContext dc(20, 10);
    dc.IntersectClipRect(RECT{5, -3, 30, 6});
    EXPECT_EQ(Sides(dc.GetClipBox()), Sides(RECT{5, 0, 20, 6}));
    dc.IntersectClipRect(RECT{0, 8, 4, 9});
    EXPECT_EQ(Sides(dc.GetClipBox()), Sides(RECT{0, 0, 0, 0}));
    dc.UniteClipRect(RECT{2, 2, 4, 4});
    dc.UniteClipRect(RECT{10, 1, 12, 3});
    EXPECT_EQ(Sides(dc.GetClipBox()), Sides(RECT{2, 1, 12, 4}));
}

TEST(Stretch, ScalesByWholePixelsAndAppliesTheRasterOperation) {
    Picture p(2, 2, 4, 0);
    p.SetPaletteColor(1, 0x10, 0x20, 0x30);
    p.SetPaletteColor(2, 0xf0, 0x0f, 0xff);
    p.SetPixelIndex(0, 1, 1);  // top-left
    p.SetPixelIndex(1, 0, 2);  // bottom-right
    struct Row {
        uint32_t rop;
        uint32_t topLeft, bottomRight, other;  // over a 0x00ff00 surface
    } rows[] = {
        {SRCCOPY, 0xff102030, 0xfff00fff, 0xff000000},    {SRCINVERT, 0xff10df30, 0xfff0f0ff, 0xff00ff00},
        {NOTSRCCOPY, 0xffefdfcf, 0xff0ff000, 0xffffffff}, {SRCAND, 0xff002000, 0xff000f00, 0xff000000},
        {BLACKNESS, 0xff000000, 0xff000000, 0xff000000},
    };
    for (const Row& row : rows) {
        DeviceContext dc(7, 7, 0x00ff00);
        EXPECT_TRUE(p.Stretch(&dc, 1, 1, 6, 4, row.rop));
        EXPECT_EQ(dc.GetPixel(1, 1), row.topLeft) << std::hex << row.rop;
        EXPECT_EQ(dc.GetPixel(3, 2), row.topLeft) << std::hex << row.rop;
        EXPECT_EQ(dc.GetPixel(6, 4), row.bottomRight) << std::hex << row.rop;
        EXPECT_EQ(dc.GetPixel(4, 3), row.bottomRight) << std::hex << row.rop;
        EXPECT_EQ(dc.GetPixel(4, 1), row.other) << std::hex << row.rop;
        EXPECT_EQ(dc.GetPixel(0, 0), 0xff00ff00u);
        EXPECT_EQ(dc.GetPixel(1, 5), 0xff00ff00u);
    }
}

// ---- against ImageMagick -------------------------------------------------------------------

TEST(DrawMatchesImageMagick, PaletteAtOwnSizeAndEnlargedByWholePixels) {
    // Exact: IM's expansion of its own 16-colour picture, and its point-filter resize at
    // whole-number enlargements, which picks the same source pixels as the drawing.
    const Picture palette = Fixture("palette16.bmp");
    ASSERT_EQ(palette.GetBpp(), 4);
    const Picture source = Fixture("source.bmp");
    struct Row {
        const Picture* picture;
        const char* reference;
    } rows[] = {{&palette, "palette16-rgb.bmp"},
                {&palette, "palette16-point-26x27.bmp"},
                {&source, "point-39x18.bmp"}};
    for (const Row& row : rows) {
        const Picture reference = Fixture(row.reference);
        const int32_t cx = static_cast<int32_t>(reference.GetWidth()),
                      cy = static_cast<int32_t>(reference.GetHeight());
        DeviceContext dc(cx + 4, cy + 4);
        EXPECT_EQ(row.picture->Draw(&dc, 2, 3, cx, cy), 1);
        EXPECT_EQ(Compare(dc, 2, 3, reference).worst, 0) << row.reference;
    }
}

TEST(DrawMatchesImageMagick, AlphaOverABackgroundWithinTwoLevels) {
    // The drawing blends with (background x (255 - a) + a x colour) >> 8, ImageMagick with an
    // exact division by 255 rounded to nearest: the shift loses less than one level plus
    // the truncation, so the two differ by at most 2.
    Picture source = Fixture("source.bmp");
    const Picture background = Fixture("background.bmp");
    TakeAlpha(source, Fixture("mask.bmp"));
    struct Row {
        const char* reference;
        int32_t scale;
    } rows[] = {{"over.bmp", 1}, {"over-26x18.bmp", 2}};
    for (const Row& row : rows) {
        const int32_t cx = 13 * row.scale, cy = 9 * row.scale;
        DeviceContext dc(cx + 3, cy + 3);
        EXPECT_EQ(background.Draw(&dc, 1, 2, cx, cy), 1);
        EXPECT_EQ(source.Draw(&dc, 1, 2, cx, cy), 1);
        const Difference d = Compare(dc, 1, 2, Fixture(row.reference));
        EXPECT_LE(d.worst, 2) << row.reference;
        EXPECT_LT(d.mean, 1.0) << row.reference;
    }
}

namespace {

// ImageMagick interpolates in floating point at exactly the drawing's positions (its
// affine map is in make-fixtures.sh). The drawing's integer path takes fractions in 1/256
// steps rounded down and rounds the corner weight down, each costing under 2 x D / 256
// levels where D, the largest step between neighbouring pixels, is 116 in the fixture
// (under 0.91 each); then it truncates (under 1) where ImageMagick rounds (0.5). So at
// most 3 levels apart, and about half a level on average from the truncation alone.
constexpr int kBilinearWorst = 3;
constexpr double kBilinearMean = 0.75;

Difference DrawSmooth(const Picture& source, const Picture& reference) {
    const int32_t cx = static_cast<int32_t>(reference.GetWidth()),
                  cy = static_cast<int32_t>(reference.GetHeight());
    DeviceContext dc(cx, cy);
    EXPECT_EQ(source.Draw(&dc, 0, 0, cx, cy, nullptr, true), 1);
    return Compare(dc, 0, 0, reference);
}

}  // namespace

TEST(DrawMatchesImageMagick, SmoothScalingFollowsItsBilinearInterpolator) {
    const Picture source = Fixture("source.bmp");
    for (const char* name :
         {"bilinear-31x20.bmp", "bilinear-8x5.bmp", "bilinear-20x31.bmp", "bilinear-6x14.bmp"}) {
        const Difference d = DrawSmooth(source, Fixture(name));
        EXPECT_LE(d.worst, kBilinearWorst) << name;
        EXPECT_LT(d.mean, kBilinearMean) << name;
        RecordProperty(name, std::to_string(d.worst) + " worst, " + std::to_string(d.mean) + " mean");
    }
}

TEST(DrawMatchesImageMagick, SmoothScalingAtSizesComputedNow) {
    if (std::string(PANELLE_CONVERT).empty()) GTEST_SKIP() << "ImageMagick's convert was not found";
    char folder[] = "/tmp/panelle-draw-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string source = std::string(PANELLE_TEST_DATA) + "/draw/source.bmp";
    const Picture picture = Fixture("source.bmp");
    const int32_t sizes[][2] = {{47, 9}, {4, 23}, {130, 3}, {11, 10}};
    for (const auto& size : sizes) {
        const std::string out = std::string(folder) + "/ref.bmp";
        const std::string command =
            std::string(PANELLE_CONVERT) + " '" + source +
            "' -filter point -interpolate bilinear -virtual-pixel edge -define distort:viewport=" +
            std::to_string(size[0]) + "x" + std::to_string(size[1]) + "+0+0 -distort AffineProjection '" +
            std::to_string(size[0] / 13.0) + ",0,0," + std::to_string(size[1] / 9.0) +
            ",0.5,-0.5' -type TrueColor 'BMP3:" + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Picture reference;
        ASSERT_TRUE(reference.Load(out.c_str(), ImageFormat::Bmp));
        std::remove(out.c_str());
        const Difference d = DrawSmooth(picture, reference);
        EXPECT_LE(d.worst, kBilinearWorst) << size[0] << "x" << size[1];
        EXPECT_LT(d.mean, kBilinearMean) << size[0] << "x" << size[1];
    }
    rmdir(folder);
}
