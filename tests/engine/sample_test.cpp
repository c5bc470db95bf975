#include "sample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "picture.h"

namespace {

using Method = Picture::SampleMethod;
using Edge = Picture::EdgeMode;

constexpr RGBQUAD kWhite{255, 255, 255, 0};

RGBQUAD Grey(uint8_t v) { return RGBQUAD{v, v, v, 0}; }

// A 24 bpp picture of pseudo-random pixels, with a random alpha plane when asked.
Picture Random24(int32_t width, int32_t height, bool withAlpha) {
    Picture p(width, height, 24, 0);
    std::mt19937 rng(3);
    const auto byte = [&] { return static_cast<uint8_t>(rng()); };
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) p.SetPixelColor(x, y, RGBQUAD{byte(), byte(), byte(), 0});
    if (withAlpha) {
        p.AlphaCreate();
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) p.AlphaSet(x, y, byte());
    }
    return p;
}

// ---- the kernels written out independently of the engine's constants, in double ----

double MitchellNetravali(double b, double c, double t) {
    const double at = std::fabs(t), t2 = t * t, t3 = at * t2;
    if (at < 1) return ((12 - 9 * b - 6 * c) * t3 + (-18 + 12 * b + 6 * c) * t2 + (6 - 2 * b)) / 6;
    if (at < 2)
        return ((-b - 6 * c) * t3 + (6 * b + 30 * c) * t2 + (-12 * b - 48 * c) * at + (8 * b + 24 * c)) / 6;
    return 0;
}

double Keys(double a, double t) {
    const double at = std::fabs(t);
    if (at < 1) return (a + 2) * at * at * at - (a + 3) * at * at + 1;
    return at < 2 ? a * (at * at * at - 5 * at * at + 8 * at - 4) : 0;
}

double SincD(double t) { return t == 0 ? 1 : std::sin(M_PI * t) / (M_PI * t); }

double BesselJ1(double x) {  // power series, ample below |x| = 25
    double term = x / 2, sum = term;
    for (int m = 1; m < 60; ++m) sum += term *= -(x * x / 4) / (m * (m + 1.0));
    return sum;
}

double Smoothstep(double t) { return std::fabs(t) < 1 ? 1 - 3 * t * t + 2 * std::fabs(t) * t * t : 0; }

struct KernelCase {
    Method method;
    const char* name;
    std::function<double(double)> closed;
};

const KernelCase kKernels[] = {
    {Method::BSpline, "BSpline", [](double t) { return MitchellNetravali(1, 0, t); }},
    {Method::Bicubic, "Bicubic", [](double t) { return Keys(-1, t); }},
    // Keys' cubic with a = -1/2 is Catmull-Rom, so each is checked against the other's form.
    {Method::Bicubic2, "Bicubic2", [](double t) { return MitchellNetravali(0, 0.5, t); }},
    {Method::CatmullRom, "CatmullRom", [](double t) { return Keys(-0.5, t); }},
    {Method::Mitchell, "Mitchell", [](double t) { return MitchellNetravali(1.0 / 3, 1.0 / 3, t); }},
    {Method::Lanczos, "Lanczos", [](double t) { return std::fabs(t) > 6 ? 0 : SincD(t) * SincD(t / 6); }},
    {Method::Box, "Box", [](double t) { return t >= -0.5 && t < 0.5 ? 1.0 : 0.0; }},
    {Method::Hermite, "Hermite", Smoothstep},
    {Method::Hamming, "Hamming", [](double t) { return t >= -1 && t < 1 ? 0.08 + 0.92 * Smoothstep(t) : 0; }},
    {Method::Sinc, "Sinc", SincD},
    {Method::Blackman, "Blackman",
     [](double t) { return 0.42 + 0.5 * std::cos(M_PI * t) + 0.08 * std::cos(2 * M_PI * t); }},
    {Method::Bessel, "Bessel", [](double t) { return t == 0 ? M_PI / 4 : BesselJ1(M_PI * t) / (2 * t); }},
    {Method::Gaussian, "Gaussian", [](double t) { return std::sqrt(2 / M_PI) * std::exp(-2 * t * t); }},
    {Method::Quadratic, "Quadratic",
     [](double t) {
         const double at = std::fabs(t);
         return at <= 0.5 ? 0.75 - t * t : at < 1.5 ? 0.5 * (at - 1.5) * (at - 1.5) : 0;
     }},
};

}  // namespace

class SampleKernelValues : public ::testing::TestWithParam<KernelCase> {};

TEST_P(SampleKernelValues, MatchClosedForms) {
    const KernelCase& k = GetParam();
    for (int i = -8 * 16; i <= 8 * 16; ++i) {  // steps of 1/16 are exact in single precision
        const double t = i / 16.0;
        EXPECT_NEAR(SampleKernel(k.method, static_cast<float>(t)), k.closed(t), 3e-5)
            << k.name << " at t = " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Sample, SampleKernelValues, ::testing::ValuesIn(kKernels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sample, KernelMethodsFollowAReferenceConvolutionInsideAndAtTheBorder) {
    // A convolution in double over the closed forms, with Repeat as clamping; the engine
    // sums in single precision and truncates, hence about one level of slack.
    const Picture p = Random24(16, 14, true);
    const float points[][2] = {{7.3f, 6.6f}, {5.5f, 8.25f}, {0.2f, 0.9f}, {15.4f, 13.7f}, {-0.6f, 6.1f}};
    for (const KernelCase& k : kKernels) {
        const int radius = k.method == Method::Lanczos ? 6 : 2;
        for (const auto& [x, y] : points) {
            double sum[4] = {};
            for (int j = static_cast<int>(std::floor(y)) - radius + 1; j <= std::floor(y) + radius; ++j)
                for (int i = static_cast<int>(std::floor(x)) - radius + 1; i <= std::floor(x) + radius; ++i) {
                    const RGBQUAD c = p.GetPixelColor(std::clamp(i, 0, 15), std::clamp(j, 0, 13), true);
                    const double w = k.closed(i - double{x}) * k.closed(j - double{y});
                    const uint8_t v[4] = {c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved};
                    for (int n = 0; n < 4; ++n) sum[n] += w * v[n];
                }
            const RGBQUAD got = p.SampleInterpolated(x, y, k.method, Edge::Repeat, nullptr);
            const uint8_t v[4] = {got.rgbBlue, got.rgbGreen, got.rgbRed, got.rgbReserved};
            for (int n = 0; n < 4; ++n)
                EXPECT_NEAR(v[n], std::clamp(sum[n], 0.0, 255.0), 1.01)
                    << k.name << " (" << x << ", " << y << ")";
        }
    }
}

TEST(Sample, BilinearAndNearestWorkedExamples) {
    // Halfway between black and white: the integer path of 24 bpp weighs 128 and 128
    // (128 x 255 >> 8), the float path of a palette picture truncates 127.5.
    Picture rgb(3, 2, 24, 0), indexed(3, 2, 8, 0);
    rgb.Clear(0x40);
    rgb.SetPixelColor(2, 0, Grey(255));
    rgb.SetPixelColor(1, 0, Grey(0));
    indexed.SetGrayPalette();
    indexed.SetPixelIndex(2, 0, 255);
    EXPECT_EQ(rgb.SampleInterpolated(1.5f, 0.0f), Grey(127));
    EXPECT_EQ(indexed.SampleInterpolated(1.5f, 0.0f), Grey(127));

    const Picture p = Random24(6, 5, true);
    for (int y = 0; y < 4; ++y)  // on a pixel centre: that pixel, alpha included
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(p.SampleInterpolated(float(x), float(y)), p.GetPixelColor(x, y, true));
    for (int y = 0; y < 5; ++y)  // Repeat at width - 0.5: the last pixel blended with itself
        EXPECT_EQ(p.SampleInterpolated(5.5f, float(y), Method::Bilinear, Edge::Repeat, nullptr),
                  p.GetPixelColor(5, y, true));
    // Nearest adds 0.5 and truncates toward zero, so -0.7 still samples column 0.
    for (const auto& [x, column] :
         std::initializer_list<std::pair<float, int>>{{-0.7f, 0}, {0.49f, 0}, {0.5f, 1}, {4.49f, 4}})
        EXPECT_EQ(p.SampleInterpolated(x, 1.0f, Method::NearestNeighbour, Edge::Color, nullptr),
                  p.GetPixelColor(column, 1, true))
            << x;
    for (const float x : {-0.75f, 2.5f, 5.4f})  // ids 0 and 17 are bilinear
        for (const Method id : {static_cast<Method>(0), static_cast<Method>(17)})
            EXPECT_EQ(p.SampleInterpolated(x, 2.3f, id, Edge::Mirror, nullptr),
                      p.SampleInterpolated(x, 2.3f, Method::Bilinear, Edge::Mirror, nullptr));
}

TEST(Sample, WhollyOutsidePointsTakeTheEdgeColour) {
    Picture indexed(4, 3, 8, 0), rgb(4, 3, 24, 0), withAlpha(4, 3, 24, 0);
    indexed.SetPaletteColor(9, 10, 20, 30, 40);
    rgb.SetTransColor(RGBQUAD{1, 2, 3, 99});
    withAlpha.AlphaCreate();
    const RGBQUAD replacement{50, 60, 70, 80}, entry9{30, 20, 10, 40};
    struct Row {
        Picture* picture;
        int32_t transIndex;
        Edge edge;
        const RGBQUAD* replacement;
        RGBQUAD expected;
    } rows[] = {
        {&rgb, -1, Edge::Color, nullptr, kWhite},
        {&rgb, -1, Edge::Color, &replacement, replacement},
        {&indexed, -1, Edge::Background, nullptr, kWhite},
        {&indexed, 9, Edge::Background, nullptr, entry9},
        {&rgb, 0, Edge::Background, nullptr, RGBQUAD{1, 2, 3, 0}},
        {&withAlpha, -1, Edge::Transparent, &replacement, RGBQUAD{50, 60, 70, 0}},
        {&indexed, 9, Edge::Transparent, nullptr, entry9},
        {&rgb, -1, Edge::Transparent, &replacement, replacement},
    };
    for (const Row& row : rows) {
        row.picture->SetTransIndex(row.transIndex);
        for (const Method method :
             {Method::NearestNeighbour, Method::Bilinear, Method::Bicubic, Method::Lanczos})
            EXPECT_EQ(row.picture->SampleInterpolated(-30.0f, -3.0f, method, row.edge, row.replacement),
                      row.expected)
                << "mode " << int(row.edge) << ", method " << int(method) << ", index " << row.transIndex;
    }
    EXPECT_EQ(rgb.SampleWithOverflow(-1, 0, static_cast<Edge>(0), &replacement),
              replacement);  // unknown mode
}

TEST(Sample, EdgeModesMapOutsideCoordinates) {
    const Picture p = Random24(5, 4, false);
    struct Row {
        Edge edge;
        int32_t x, y, expectedX, expectedY;
    } rows[] = {
        {Edge::Mirror, -1, 0, 1, 0},        {Edge::Mirror, 5, 0, 4, 0},  {Edge::Mirror, 7, 4, 2, 3},
        {Edge::Mirror, -6, -9, 1, 1},       {Edge::Wrap, -1, 0, 4, 0},   {Edge::Wrap, -11, 9, 4, 1},
        {Edge::Repeat, 99, -1, 4, 0},       {Edge::Color, -3, 7, -3, 7}, {Edge::Wrap, INT32_MIN, 0, 2, 0},
        {Edge::Mirror, INT32_MIN, 0, 3, 0},
    };
    for (const Row& row : rows) {
        int32_t x = row.x, y = row.y;
        p.ResolveCoordinates(x, y, row.edge);
        EXPECT_EQ(std::pair(x, y), std::pair(row.expectedX, row.expectedY)) << int(row.edge) << ": " << row.x;
        if (row.edge != Edge::Color) {
            EXPECT_EQ(p.SampleWithOverflow(row.x, row.y, row.edge, nullptr), p.GetPixelColor(x, y, false));
        }
    }
    struct FloatRow {
        Edge edge;
        float x, expected;
    } floatRows[] = {
        {Edge::Mirror, -1.0f, 1.0f}, {Edge::Mirror, 6.25f, 2.75f}, {Edge::Wrap, -0.25f, 4.75f},
        {Edge::Wrap, 12.5f, 2.5f},   {Edge::Repeat, 4.5f, 4.5f},   {Edge::Repeat, 5.5f, 4.0f},
    };
    for (const FloatRow& row : floatRows) {
        float x = row.x, y = 1.0f;
        p.ResolveCoordinates(x, y, row.edge);
        EXPECT_FLOAT_EQ(x, row.expected) << int(row.edge) << ": " << row.x;
    }
    // Wholly outside any block, the point itself is resolved before sampling.
    for (const Method method : {Method::Bilinear, Method::CatmullRom, Method::Box})
        EXPECT_EQ(p.SampleInterpolated(-18.0f, 2.0f, method, Edge::Wrap, nullptr),
                  p.GetPixelColor(2, 2, false));
}

TEST(Sample, EmptyPicturesAndNonFiniteCoordinatesGiveTheEdgeColour) {
    const Picture empty;
    const RGBQUAD replacement{1, 2, 3, 4};
    EXPECT_EQ(empty.SampleInterpolated(0.5f, 0.5f), kWhite);
    EXPECT_EQ(empty.SampleInterpolated(0.5f, 0.5f, Method::Lanczos, Edge::Wrap, &replacement), replacement);
    const Picture p = Random24(3, 3, true);
    for (const float v : {NAN, INFINITY, -INFINITY, 3e9f, -3e9f})
        for (const Method method :
             {Method::NearestNeighbour, Method::Bilinear, Method::Bicubic, Method::Lanczos}) {
            EXPECT_EQ(p.SampleInterpolated(v, 1.0f, method, Edge::Color, nullptr), kWhite);
            EXPECT_EQ(p.SampleInterpolated(1.0f, v, method, Edge::Color, nullptr), kWhite);
            p.SampleInterpolated(v, v, method, Edge::Mirror, nullptr);  // only must not misbehave
        }
}

TEST(Sample, BilinearBlendsPaletteAlphaOnlyWhenThePaletteCarriesIt) {
    // Two columns: entry 0 opaque red, entry 1 transparent blue; halfway blends both.
    Picture p(2, 1, 8, 0);
    p.SetPaletteColor(0, 200, 0, 0, 255);
    p.SetPaletteColor(1, 0, 0, 100, 0);
    p.SetPixelIndex(1, 0, 1);
    const RGBQUAD plain = p.SampleInterpolated(0.5f, 0, Method::Bilinear, Edge::Repeat);
    EXPECT_EQ(plain, (RGBQUAD{50, 0, 100, 0}));
    p.info.alphaPaletteEnabled = true;
    const RGBQUAD blended = p.SampleInterpolated(0.5f, 0, Method::Bilinear, Edge::Repeat);
    EXPECT_EQ(blended, (RGBQUAD{50, 0, 100, 127}));
}
