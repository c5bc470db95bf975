#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "picture.h"
#include "sample.h"

namespace {

using Method = Picture::SampleMethod;
using Edge = Picture::EdgeMode;

constexpr RGBQUAD kWhite{255, 255, 255, 0};

RGBQUAD Grey(uint8_t v) { return RGBQUAD{v, v, v, 0}; }

// A 24 bpp picture of pseudo-random pixels, with a random alpha plane when asked.
Picture Random24(int32_t width, int32_t height, bool withAlpha, uint32_t seed = 3) {
    Picture p(width, height, 24, 0);
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                          static_cast<uint8_t>(rng()), 0});
    if (withAlpha) {
        p.AlphaCreate();
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) p.AlphaSet(x, y, static_cast<uint8_t>(rng()));
    }
    return p;
}

// The same pixels as an 8 bpp picture over a grey ramp (so index = level), for the
// accessor path that palette pictures take.
Picture GreyIndexed(const Picture& source) {
    Picture p(source.GetWidth(), source.GetHeight(), 8, 0);
    p.SetGrayPalette();
    for (int32_t y = 0; y < static_cast<int32_t>(p.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(p.GetWidth()); ++x)
            p.SetPixelIndex(x, y, source.GetPixelColor(x, y, false).rgbBlue);
    return p;
}

// ---- kernels written out independently of the engine's constants, in double ----

double MitchellNetravali(double b, double c, double t) {
    const double at = std::fabs(t), t2 = t * t, t3 = at * t2;
    if (at < 1) return ((12 - 9 * b - 6 * c) * t3 + (-18 + 12 * b + 6 * c) * t2 + (6 - 2 * b)) / 6;
    if (at < 2) return ((-b - 6 * c) * t3 + (6 * b + 30 * c) * t2 + (-12 * b - 48 * c) * at + (8 * b + 24 * c)) / 6;
    return 0;
}

double Keys(double a, double t) {
    const double at = std::fabs(t);
    if (at < 1) return (a + 2) * at * at * at - (a + 3) * at * at + 1;
    if (at < 2) return a * (at * at * at - 5 * at * at + 8 * at - 4);
    return 0;
}

double SincD(double t) { return t == 0 ? 1 : std::sin(M_PI * t) / (M_PI * t); }

// J1 from its power series; ample for |x| below 25.
double BesselJ1(double x) {
    double term = x / 2, sum = term;
    for (int m = 1; m < 60; ++m) {
        term *= -(x * x / 4) / (m * (m + 1.0));
        sum += term;
    }
    return sum;
}

double Smoothstep(double t) {
    const double at = std::fabs(t);
    return at < 1 ? 1 - 3 * at * at + 2 * at * at * at : 0;
}

struct KernelCase {
    Method method;
    const char* name;
    std::function<double(double)> closed;
    bool partitionOfUnity;  // the weights at integer offsets sum to 1
    bool interpolating;     // 1 at 0 and 0 at the other integers
};

const KernelCase kKernels[] = {
    {Method::BSpline, "BSpline", [](double t) { return MitchellNetravali(1, 0, t); }, true, false},
    {Method::Bicubic, "Bicubic", [](double t) { return Keys(-1, t); }, true, true},
    // Keys' cubic with a = -1/2 is Catmull-Rom, so each is checked against the other's form.
    {Method::Bicubic2, "Bicubic2", [](double t) { return MitchellNetravali(0, 0.5, t); }, true, true},
    {Method::CatmullRom, "CatmullRom", [](double t) { return Keys(-0.5, t); }, true, true},
    {Method::Mitchell, "Mitchell", [](double t) { return MitchellNetravali(1.0 / 3, 1.0 / 3, t); }, true, false},
    {Method::Lanczos, "Lanczos", [](double t) { return std::fabs(t) > 6 ? 0 : SincD(t) * SincD(t / 6); }, false, true},
    {Method::Box, "Box", [](double t) { return t >= -0.5 && t < 0.5 ? 1.0 : 0.0; }, true, true},
    {Method::Hermite, "Hermite", Smoothstep, true, true},
    {Method::Hamming, "Hamming", [](double t) { return t >= -1 && t < 1 ? 0.08 + 0.92 * Smoothstep(t) : 0; }, false,
     false},
    {Method::Sinc, "Sinc", SincD, false, true},
    {Method::Blackman, "Blackman",
     [](double t) { return 0.42 + 0.5 * std::cos(M_PI * t) + 0.08 * std::cos(2 * M_PI * t); }, false, false},
    {Method::Bessel, "Bessel", [](double t) { return t == 0 ? M_PI / 4 : BesselJ1(M_PI * t) / (2 * t); }, false,
     false},
        // Unit area, but too narrow for its samples at integer offsets to sum to 1.
    {Method::Gaussian, "Gaussian", [](double t) { return std::sqrt(2 / M_PI) * std::exp(-2 * t * t); }, false, false},
    {Method::Quadratic, "Quadratic",
     [](double t) {
         const double at = std::fabs(t);
         return at <= 0.5 ? 0.75 - t * t : at < 1.5 ? 0.5 * (at - 1.5) * (at - 1.5) : 0;
     },
     true, false},
};

}  // namespace

class SampleKernelValues : public ::testing::TestWithParam<KernelCase> {};

TEST_P(SampleKernelValues, MatchClosedForms) {
    const KernelCase& k = GetParam();
    // Steps of 1/16 are exact in single precision, so both sides see the same t.
    for (int i = -8 * 16; i <= 8 * 16; ++i) {
        const double t = i / 16.0;
        EXPECT_NEAR(SampleKernel(k.method, static_cast<float>(t)), k.closed(t), 3e-5) << k.name << " at t = " << t;
    }
}

TEST_P(SampleKernelValues, WeightsAtIntegerOffsetsBehaveAsTheFilterPromises) {
    const KernelCase& k = GetParam();
    if (k.partitionOfUnity) {
        for (const float f : {0.0f, 0.125f, 0.25f, 0.5f, 0.7f, 0.9375f}) {
            double sum = 0;
            for (int n = -7; n <= 7; ++n) sum += SampleKernel(k.method, static_cast<float>(n) - f);
            EXPECT_NEAR(sum, 1.0, 2e-5) << k.name << " at fraction " << f;
        }
    }
    if (k.interpolating) {
        EXPECT_NEAR(SampleKernel(k.method, 0.0f), 1.0, 1e-6) << k.name;
        for (const float n : {-2.0f, -1.0f, 1.0f, 2.0f}) EXPECT_NEAR(SampleKernel(k.method, n), 0.0, 1e-6) << k.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Sample, SampleKernelValues, ::testing::ValuesIn(kKernels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sample, KernelMethodsFollowAReferenceConvolutionInsideAndAtTheBorder) {
    // An independent convolution in double over the closed-form kernels, with Repeat as
    // clamping. The engine works in single precision and truncates, hence the 1-level slack.
    const Picture p = Random24(16, 14, true);
    const auto reference = [&](const KernelCase& k, int radius, float x, float y, int channel) {
        const int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
        double sum = 0;
        for (int j = yi - radius + 1; j <= yi + radius; ++j) {
            for (int i = xi - radius + 1; i <= xi + radius; ++i) {
                const int cx = std::clamp(i, 0, 15), cy = std::clamp(j, 0, 13);
                const RGBQUAD c = p.GetPixelColor(cx, cy, true);
                const uint8_t v = channel == 0 ? c.rgbBlue : channel == 1 ? c.rgbGreen : channel == 2 ? c.rgbRed : c.rgbReserved;
                sum += k.closed(i - static_cast<double>(x)) * k.closed(j - static_cast<double>(y)) * v;
            }
        }
        return std::clamp(sum, 0.0, 255.0);
    };
    const float points[][2] = {{7.3f, 6.6f}, {5.5f, 8.25f}, {0.2f, 0.9f}, {15.4f, 13.7f}, {-0.6f, 6.1f}, {9.9f, 12.2f}};
    for (const KernelCase& k : kKernels) {
        const int radius = k.method == Method::Lanczos ? 6 : 2;
        for (const auto& pt : points) {
            const RGBQUAD got = p.SampleInterpolated(pt[0], pt[1], k.method, Edge::Repeat, nullptr);
            const uint8_t channels[4] = {got.rgbBlue, got.rgbGreen, got.rgbRed, got.rgbReserved};
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(channels[c], reference(k, radius, pt[0], pt[1], c), 1.01)
                    << k.name << " at (" << pt[0] << ", " << pt[1] << ") channel " << c;
        }
    }
}

TEST(Sample, BilinearHalfwayBetweenBlackAndWhiteGives127) {
    // 24 bpp takes the integer path (weights 128 and 128: 128 x 255 >> 8), the grey palette
    // picture the float path (trunc(127.5)); both land on 127.
    Picture rgb(3, 2, 24, 0);
    rgb.Clear(0x40);
    rgb.SetPixelColor(1, 0, Grey(0));
    rgb.SetPixelColor(2, 0, Grey(255));
    EXPECT_EQ(rgb.SampleInterpolated(1.5f, 0.0f, Method::Bilinear, Edge::Color, nullptr), Grey(127));
    EXPECT_EQ(GreyIndexed(rgb).SampleInterpolated(1.5f, 0.0f, Method::Bilinear, Edge::Color, nullptr), Grey(127));
}

TEST(Sample, BilinearOnAPixelCentreReturnsThatPixelWithItsAlpha) {
    const Picture p = Random24(5, 4, true);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(p.SampleInterpolated(static_cast<float>(x), static_cast<float>(y)), p.GetPixelColor(x, y, true));
}

TEST(Sample, IntegerAndFloatBilinearPathsAgreeWithinTheirRounding) {
    // The integer path drops fractions below 1/256 of a pixel (under one level per axis),
    // rounds the corner weight down (under two levels on a checkerboard) and truncates;
    // against the float path the two stay within three levels, and mostly agree.
    const Picture rgb = Random24(9, 7, false, 11);
    Picture greyRgb(9, 7, 24, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) greyRgb.SetPixelColor(x, y, Grey(rgb.GetPixelColor(x, y).rgbGreen));
    const Picture indexed = GreyIndexed(greyRgb);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> ux(0.0f, 7.99f), uy(0.0f, 5.99f);
    int exact = 0;
    for (int i = 0; i < 400; ++i) {
        const float x = ux(rng), y = uy(rng);
        const int a = greyRgb.SampleInterpolated(x, y).rgbGreen, b = indexed.SampleInterpolated(x, y).rgbGreen;
        EXPECT_LE(std::abs(a - b), 3) << "at (" << x << ", " << y << ")";
        exact += a == b;
    }
    EXPECT_GT(exact, 100);
}

TEST(Sample, WhollyOutsidePointsTakeTheEdgeColour) {
    Picture indexed(4, 3, 8, 0);
    indexed.SetGrayPalette();
    indexed.SetPaletteColor(9, 10, 20, 30, 40);
    Picture rgb(4, 3, 24, 0);
    rgb.SetTransColor(RGBQUAD{1, 2, 3, 99});
    Picture withAlpha(4, 3, 24, 0);
    withAlpha.AlphaCreate();
    const RGBQUAD replacement{50, 60, 70, 80};
    struct Row {
        const char* what;
        Picture* picture;
        int32_t transIndex;
        Edge edge;
        const RGBQUAD* replacement;
        RGBQUAD expected;
    } rows[] = {
        {"colour, none passed", &rgb, -1, Edge::Color, nullptr, kWhite},
        {"colour, passed", &rgb, -1, Edge::Color, &replacement, replacement},
        {"background without transparency", &indexed, -1, Edge::Background, nullptr, kWhite},
        {"background, palette entry", &indexed, 9, Edge::Background, nullptr, RGBQUAD{30, 20, 10, 40}},
        {"background, 24 bpp colour", &rgb, 0, Edge::Background, nullptr, RGBQUAD{1, 2, 3, 0}},
        {"transparent with alpha plane", &withAlpha, -1, Edge::Transparent, &replacement, RGBQUAD{50, 60, 70, 0}},
        {"transparent, palette index", &indexed, 9, Edge::Transparent, nullptr, RGBQUAD{30, 20, 10, 40}},
        {"transparent without either", &rgb, -1, Edge::Transparent, &replacement, replacement},
    };
    // An unknown mode gives the colour for each outside neighbour.
    EXPECT_EQ(rgb.SampleWithOverflow(-1, 0, static_cast<Edge>(0), &replacement), replacement);
    EXPECT_EQ(rgb.SampleWithOverflow(0, 3, static_cast<Edge>(7), nullptr), kWhite);
    for (Row& row : rows) {
        row.picture->SetTransIndex(row.transIndex);
        for (const Method method : {Method::NearestNeighbour, Method::Bilinear, Method::Bicubic, Method::Lanczos})
            EXPECT_EQ(row.picture->SampleInterpolated(-30.0f, -3.0f, method, row.edge, row.replacement), row.expected)
                << row.what << ", method " << static_cast<int>(method);
    }
}

TEST(Sample, RepeatAtTheFarEdgeBlendsTheLastPixelWithItself) {
    const Picture p = Random24(6, 3, false);
    for (const float y : {0.0f, 1.0f, 2.0f})
        EXPECT_EQ(p.SampleInterpolated(5.5f, y, Method::Bilinear, Edge::Repeat, nullptr),
                  p.GetPixelColor(5, static_cast<int32_t>(y), false));
}

TEST(Sample, NearestRoundsHalfAwayFromTheLeftAndTruncatesTowardZero) {
    const Picture p = Random24(5, 2, false);
    struct Row {
        float x;
        int32_t column;
    } rows[] = {{-0.7f, 0}, {-0.4f, 0}, {0.49f, 0}, {0.5f, 1}, {3.2f, 3}, {4.49f, 4}};
    for (const Row& row : rows)
        EXPECT_EQ(p.SampleInterpolated(row.x, 1.0f, Method::NearestNeighbour, Edge::Color, nullptr),
                  p.GetPixelColor(row.column, 1, false))
            << row.x;
    EXPECT_EQ(p.SampleInterpolated(4.5f, 1.0f, Method::NearestNeighbour, Edge::Color, nullptr), kWhite);
}

TEST(Sample, UnknownMethodIdsSampleBilinearly) {
    const Picture p = Random24(7, 6, true);
    for (const float x : {-0.75f, 0.3f, 2.5f, 6.4f})
        for (const float y : {0.1f, 3.7f, 5.5f}) {
            const RGBQUAD bilinear = p.SampleInterpolated(x, y, Method::Bilinear, Edge::Mirror, nullptr);
            EXPECT_EQ(p.SampleInterpolated(x, y, static_cast<Method>(0), Edge::Mirror, nullptr), bilinear);
            EXPECT_EQ(p.SampleInterpolated(x, y, static_cast<Method>(17), Edge::Mirror, nullptr), bilinear);
        }
}

TEST(Sample, EdgeModesMapOutsideCoordinates) {
    Picture p(5, 4, 24, 0);
    struct Row {
        Edge edge;
        int32_t x, y, expectedX, expectedY;
    } rows[] = {
        {Edge::Mirror, -1, 0, 1, 0},   {Edge::Mirror, 5, 0, 4, 0},    {Edge::Mirror, 7, 4, 2, 3},
        {Edge::Mirror, -6, -9, 1, 1},  {Edge::Wrap, -1, 0, 4, 0},     {Edge::Wrap, 5, 4, 0, 0},
        {Edge::Wrap, -11, 9, 4, 1},    {Edge::Repeat, -3, 7, 0, 3},   {Edge::Repeat, 99, -1, 4, 0},
        {Edge::Color, -3, 7, -3, 7},   {Edge::Mirror, 2, 2, 2, 2},    {Edge::Wrap, INT32_MIN, 0, 2, 0},
        {Edge::Mirror, INT32_MIN, 0, 3, 0},
    };
    for (const Row& row : rows) {
        int32_t x = row.x, y = row.y;
        p.ResolveCoordinates(x, y, row.edge);
        EXPECT_EQ(x, row.expectedX) << static_cast<int>(row.edge) << " (" << row.x << ", " << row.y << ")";
        EXPECT_EQ(y, row.expectedY) << static_cast<int>(row.edge) << " (" << row.x << ", " << row.y << ")";
    }
    struct FloatRow {
        Edge edge;
        float x, expected;
    } floatRows[] = {
        {Edge::Mirror, -1.0f, 1.0f},    {Edge::Mirror, 5.0f, 4.0f},  {Edge::Mirror, 6.25f, 2.75f},
        {Edge::Wrap, -1.0f, 4.0f},      {Edge::Wrap, -0.25f, 4.75f}, {Edge::Wrap, 12.5f, 2.5f},
        {Edge::Repeat, 4.5f, 4.5f},     {Edge::Repeat, 5.5f, 4.0f},  {Edge::Repeat, -0.25f, 0.0f},
    };
    for (const FloatRow& row : floatRows) {
        float x = row.x, y = 1.0f;
        p.ResolveCoordinates(x, y, row.edge);
        EXPECT_FLOAT_EQ(x, row.expected) << static_cast<int>(row.edge) << " at " << row.x;
        EXPECT_FLOAT_EQ(y, 1.0f);
    }
}

TEST(Sample, WrappingAndMirroringModesSampleTheMappedPixels) {
    const Picture p = Random24(5, 4, false);
    EXPECT_EQ(p.SampleWithOverflow(-1, 2, Edge::Mirror, nullptr), p.GetPixelColor(1, 2, false));
    EXPECT_EQ(p.SampleWithOverflow(5, 2, Edge::Mirror, nullptr), p.GetPixelColor(4, 2, false));
    EXPECT_EQ(p.SampleWithOverflow(-1, 2, Edge::Wrap, nullptr), p.GetPixelColor(4, 2, false));
    EXPECT_EQ(p.SampleWithOverflow(-1, -1, Edge::Repeat, nullptr), p.GetPixelColor(0, 0, false));
    // Wholly outside the 2 x 2 block and 4 x 4 block: the point itself is resolved first.
    for (const Method method : {Method::Bilinear, Method::CatmullRom, Method::Box})
        EXPECT_EQ(p.SampleInterpolated(-18.0f, 2.0f, method, Edge::Wrap, nullptr), p.GetPixelColor(2, 2, false))
            << static_cast<int>(method);
}

TEST(Sample, PicturesWithoutPixelsAndHostileCoordinatesAreHarmless) {
    const Picture empty;
    const RGBQUAD replacement{1, 2, 3, 4};
    EXPECT_EQ(empty.SampleInterpolated(0.5f, 0.5f), kWhite);
    EXPECT_EQ(empty.SampleInterpolated(0.5f, 0.5f, Method::Lanczos, Edge::Wrap, &replacement), replacement);
    EXPECT_EQ(empty.SampleWithOverflow(0, 0, Edge::Repeat, &replacement), replacement);

    const Picture p = Random24(3, 3, true);
    for (const float v : {NAN, INFINITY, -INFINITY, 3e9f, -3e9f})
        for (const Edge edge : {Edge::Color, Edge::Wrap, Edge::Repeat, Edge::Mirror})
            for (const Method method : {Method::NearestNeighbour, Method::Bilinear, Method::Bicubic, Method::Lanczos}) {
                p.SampleInterpolated(v, 1.0f, method, edge, nullptr);
                p.SampleInterpolated(1.0f, v, method, edge, nullptr);
            }
}
