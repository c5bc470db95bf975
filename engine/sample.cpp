// Colour of a picture at fractional coordinates: sixteen sampling methods, and six edge
// modes that decide what a neighbour outside the picture contributes.
#include "sample.h"

#include <cmath>

namespace {

using SampleMethod = Picture::SampleMethod;
using EdgeMode = Picture::EdgeMode;

constexpr RGBQUAD kWhite{255, 255, 255, 0};
constexpr float kPi = 3.1415927f;

// Truncation toward zero that saturates: coordinates far outside (or NaN) stay far outside
// instead of overflowing the integer conversion.
int32_t Trunc(float v) {
    constexpr float kFar = 1e9f;
    if (!(v > -kFar)) return -1000000000;
    if (v > kFar) return 1000000000;
    return static_cast<int32_t>(v);
}

// Index of the neighbour at or left of v: truncation, one less for negative values (so that
// -1.0 gives -2, which keeps the block test below simple and matches the historic rule).
int32_t BaseIndex(float v) { return v < 0 ? Trunc(v) - 1 : Trunc(v); }

// Clamps a float sum into a byte by truncation; NaN gives 0.
uint8_t ToByte(float v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return static_cast<uint8_t>(v);
}

bool UsesOutsideColor(EdgeMode edge) {
    return edge == EdgeMode::Color || edge == EdgeMode::Background || edge == EdgeMode::Transparent;
}

int32_t ResolveOne(int32_t v, int32_t size, EdgeMode edge) {
    const int64_t n = size, w = v;
    switch (edge) {
        case EdgeMode::Wrap: {
            const int64_t r = w % n;
            return static_cast<int32_t>(r < 0 ? r + n : r);
        }
        case EdgeMode::Repeat:
            return static_cast<int32_t>(w < 0 ? 0 : w >= n ? n - 1 : w);
        case EdgeMode::Mirror:
            if (w < 0) return static_cast<int32_t>((-w) % n);
            if (w >= n) return static_cast<int32_t>(n - (w % n) - 1);
            return v;
        default:
            return v;
    }
}

float ResolveOne(float v, float n, EdgeMode edge) {
    switch (edge) {
        case EdgeMode::Wrap:
            v = std::fmod(v, n);
            return v < 0 ? v + n : v;
        case EdgeMode::Repeat:
            return v < 0 ? 0.0f : v > n - 1 ? n - 1 : v;
        case EdgeMode::Mirror:
            if (v < 0) return std::fmod(-v, n);
            if (v >= n) return n - (std::fmod(v, n) + 1);
            return v;
        default:
            return v;
    }
}

float Sinc(float t) {
    if (t == 0) return 1.0f;
    const float a = kPi * t;
    return std::sin(a) / a;
}

}  // namespace

float SampleKernel(SampleMethod method, float t) {
    const float at = std::fabs(t), t2 = t * t, at3 = at * t2;
    switch (method) {
        case SampleMethod::BSpline: {
            if (t > 2) return 0.0f;
            const auto p = [](float u) { return u > 0 ? u * u * u : 0.0f; };
            return (p(t + 2) - 4 * p(t + 1) + 6 * p(t) - 4 * p(t - 1)) * 0.16666667f;
        }
        case SampleMethod::Bicubic:
            if (at < 1) return 1 - 2 * t2 + at3;
            if (at < 2) return 4 - 8 * at + 5 * t2 - at3;
            return 0.0f;
        case SampleMethod::Bicubic2: {
            constexpr float a = -0.5f;
            if (at < 1) return (a + 2) * at3 - (a + 3) * t2 + 1;
            if (at < 2) return a * at3 - 5 * a * t2 + 8 * a * at - 4 * a;
            return 0.0f;
        }
        case SampleMethod::Lanczos: {
            constexpr float r = 6.0f;
            if (at > r) return 0.0f;
            return Sinc(t) * Sinc(t / r);
        }
        case SampleMethod::Box:
            return (t >= -0.5f && t < 0.5f) ? 1.0f : 0.0f;
        case SampleMethod::Hermite:
            if (t >= -1 && t < 0) return -2 * t * t2 - 3 * t2 + 1;
            if (t >= 0 && t < 1) return 2 * t * t2 - 3 * t2 + 1;
            return 0.0f;
        case SampleMethod::Hamming:
            if (t >= -1 && t < 0) return 0.92f * (-2 * t - 3) * t2 + 1;
            if (t >= 0 && t < 1) return 0.92f * (2 * t - 3) * t2 + 1;
            return 0.0f;
        case SampleMethod::Sinc:
            return Sinc(t);
        case SampleMethod::Blackman:
            return 0.42f + 0.5f * std::cos(kPi * t) + 0.08f * std::cos(2 * kPi * t);
        case SampleMethod::Bessel: {
            if (t == 0) return 0.7853982f;
            // J1 is odd and J1(x)/(2t) even; the library's J1 is taken on the positive side.
            const float x = kPi * at;
            return static_cast<float>(std::cyl_bessel_j(1.0, static_cast<double>(x))) / (2 * at);
        }
        case SampleMethod::Gaussian:
            return std::exp(-2 * t2) * 0.7978846f;
        case SampleMethod::Quadratic:
            if (t < -1.5f) return 0.0f;
            if (t < -0.5f) return 0.5f * (t + 1.5f) * (t + 1.5f);
            if (t < 0.5f) return 0.75f - t2;
            if (t < 1.5f) return 0.5f * (t - 1.5f) * (t - 1.5f);
            return 0.0f;
        case SampleMethod::Mitchell:
            if (at < 1) return 1.1666666f * at3 - 2 * t2 + 0.8888889f;
            if (at < 2) return -0.38888887f * at3 + 2 * t2 - 3.3333333f * at + 1.7777778f;
            return 0.0f;
        case SampleMethod::CatmullRom:
            if (at < 1) return 0.5f * (3 * at3 - 5 * t2 + 2);
            if (at < 2) return 0.5f * (-at3 + 5 * t2 - 8 * at + 4);
            return 0.0f;
        default:
            return 0.0f;
    }
}

RGBQUAD Picture::SampleWithOverflow(int32_t x, int32_t y, EdgeMode edge, const RGBQUAD* replacement) const {
    if (dib && IsInside(x, y)) return BlindGetPixelColor(x, y);
    RGBQUAD color = replacement ? *replacement : kWhite;
    if (!dib) return color;
    switch (edge) {
        case EdgeMode::Background:
            if (info.transIndex == -1) return color;
            if (!header.biClrUsed) return info.transColor;
            return GetPaletteColor(static_cast<uint8_t>(info.transIndex));
        case EdgeMode::Transparent:
            if (alpha) {
                color.rgbReserved = 0;
                return color;
            }
            if (info.transIndex >= 0) return GetTransColor();
            return color;
        case EdgeMode::Wrap:
        case EdgeMode::Repeat:
        case EdgeMode::Mirror:
            ResolveCoordinates(x, y, edge);
            return IsInside(x, y) ? BlindGetPixelColor(x, y) : color;
        default:
            return color;
    }
}

void Picture::ResolveCoordinates(int32_t& x, int32_t& y, EdgeMode edge) const {
    if (header.biWidth <= 0 || header.biHeight <= 0 || IsInside(x, y)) return;
    x = ResolveOne(x, header.biWidth, edge);
    y = ResolveOne(y, header.biHeight, edge);
}

void Picture::ResolveCoordinates(float& x, float& y, EdgeMode edge) const {
    const float width = static_cast<float>(header.biWidth), height = static_cast<float>(header.biHeight);
    if (header.biWidth <= 0 || header.biHeight <= 0) return;
    if (x >= 0 && x < width && y >= 0 && y < height) return;
    x = ResolveOne(x, width, edge);
    y = ResolveOne(y, height, edge);
}

namespace {

// The 2 x 2 blend; the fast path works on 8-bit fractions in integers and reads the rows
// directly, every other block goes through the bounds-testing accessor.
RGBQUAD SampleBilinear(const Picture& pic, float x, float y, EdgeMode edge, const RGBQUAD* replacement) {
    const int32_t width = pic.header.biWidth, height = pic.header.biHeight;
    int32_t xi = BaseIndex(x), yi = BaseIndex(y);
    if (xi < -1 || xi >= width || yi < -1 || yi >= height) {
        if (UsesOutsideColor(edge)) return pic.SampleWithOverflow(-999, -999, edge, replacement);
        pic.ResolveCoordinates(x, y, edge);
        xi = BaseIndex(x);
        yi = BaseIndex(y);
    }

    if (!pic.header.biClrUsed && xi >= 0 && xi + 1 < width && yi >= 0 && yi + 1 < height) {
        const uint32_t fx = static_cast<uint16_t>((x - static_cast<float>(xi)) * 256);
        const uint32_t fy = static_cast<uint16_t>((y - static_cast<float>(yi)) * 256);
        const uint32_t w22 = (fx * fy) >> 8, w21 = fx - w22, w12 = fy - w22, w11 = 256 - fx - w12;
        const uint8_t* low = pic.info.bits + static_cast<uint64_t>(yi) * pic.info.effWidth + xi * 3ull;
        const uint8_t* high = low + pic.info.effWidth;
        uint8_t out[4] = {0, 0, 0, 0};
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<uint8_t>(
                (w11 * low[c] + w21 * low[3 + c] + w12 * high[c] + w22 * high[3 + c]) >> 8);
        if (pic.alpha) {
            const uint8_t* a = pic.alpha + static_cast<uint64_t>(yi) * width + xi;
            out[3] =
                static_cast<uint8_t>((w11 * a[0] + w21 * a[1] + w12 * a[width] + w22 * a[width + 1]) >> 8);
        }
        return RGBQUAD{out[0], out[1], out[2], out[3]};
    }

    const float tx = x - static_cast<float>(xi), ty = y - static_cast<float>(yi), d = tx * ty;
    const float w11 = 1 - tx - (ty - d), w21 = tx - d, w12 = ty - d, w22 = d;
    const RGBQUAD p11 = pic.SampleWithOverflow(xi, yi, edge, replacement);
    const RGBQUAD p21 = pic.SampleWithOverflow(xi + 1, yi, edge, replacement);
    const RGBQUAD p12 = pic.SampleWithOverflow(xi, yi + 1, edge, replacement);
    const RGBQUAD p22 = pic.SampleWithOverflow(xi + 1, yi + 1, edge, replacement);
    const auto blend = [&](uint8_t RGBQUAD::*channel) {
        return ToByte(w11 * (p11.*channel) + w21 * (p21.*channel) + w12 * (p12.*channel) +
                      w22 * (p22.*channel));
    };
    // Palette entries that carry alpha blend it as a plane's bytes would be.
    const bool withAlpha = pic.alpha || (pic.header.biClrUsed && pic.info.alphaPaletteEnabled);
    return RGBQUAD{blend(&RGBQUAD::rgbBlue), blend(&RGBQUAD::rgbGreen), blend(&RGBQUAD::rgbRed),
                   withAlpha ? blend(&RGBQUAD::rgbReserved) : uint8_t{0}};
}

// A separable kernel over an N x N block whose first column is `before` left of the base
// index: 4 x 4 (one before) for the cubic family, 12 x 12 (five before) for Lanczos.
template <int N, int before>
RGBQUAD SampleKernelBlock(const Picture& pic, float x, float y, SampleMethod method, EdgeMode edge,
                          const RGBQUAD* replacement) {
    constexpr int after = N - before - 1;
    const int32_t width = pic.header.biWidth, height = pic.header.biHeight;
    int32_t xi = BaseIndex(x), yi = BaseIndex(y);
    if (xi + after < 0 || xi - before >= width || yi + after < 0 || yi - before >= height) {
        if (UsesOutsideColor(edge)) return pic.SampleWithOverflow(-999, -999, edge, replacement);
        pic.ResolveCoordinates(x, y, edge);
        xi = BaseIndex(x);
        yi = BaseIndex(y);
    }

    float kx[N], ky[N];
    for (int i = 0; i < N; ++i) {
        kx[i] = SampleKernel(method, static_cast<float>(xi - before + i) - x);
        ky[i] = SampleKernel(method, static_cast<float>(yi - before + i) - y);
    }

    float sum[4] = {0, 0, 0, 0};
    if (!pic.header.biClrUsed && xi >= before && xi + after < width && yi >= before && yi + after < height) {
        for (int j = 0; j < N; ++j) {
            const int32_t row = yi - before + j, column = xi - before;
            const uint8_t* p = pic.info.bits + static_cast<uint64_t>(row) * pic.info.effWidth + column * 3ull;
            const uint8_t* a = pic.alpha ? pic.alpha + static_cast<uint64_t>(row) * width + column : nullptr;
            for (int i = 0; i < N; ++i, p += 3) {
                const float w = kx[i] * ky[j];
                sum[0] += w * p[0];
                sum[1] += w * p[1];
                sum[2] += w * p[2];
                if (a) sum[3] += w * a[i];
            }
        }
    } else {
        for (int j = 0; j < N; ++j) {
            for (int i = 0; i < N; ++i) {
                const float w = kx[i] * ky[j];
                const RGBQUAD c = pic.SampleWithOverflow(xi - before + i, yi - before + j, edge, replacement);
                sum[0] += w * c.rgbBlue;
                sum[1] += w * c.rgbGreen;
                sum[2] += w * c.rgbRed;
                sum[3] += w * c.rgbReserved;
            }
        }
    }
    return RGBQUAD{ToByte(sum[0]), ToByte(sum[1]), ToByte(sum[2]), ToByte(sum[3])};
}

}  // namespace

RGBQUAD Picture::SampleInterpolated(float x, float y, SampleMethod method, EdgeMode edge,
                                    const RGBQUAD* replacement) const {
    if (!dib) return replacement ? *replacement : kWhite;
    switch (method) {
        case SampleMethod::NearestNeighbour:
            return SampleWithOverflow(Trunc(x + 0.5f), Trunc(y + 0.5f), edge, replacement);
        case SampleMethod::BSpline:
        case SampleMethod::Bicubic:
        case SampleMethod::Bicubic2:
        case SampleMethod::Box:
        case SampleMethod::Hermite:
        case SampleMethod::Hamming:
        case SampleMethod::Sinc:
        case SampleMethod::Blackman:
        case SampleMethod::Bessel:
        case SampleMethod::Gaussian:
        case SampleMethod::Quadratic:
        case SampleMethod::Mitchell:
        case SampleMethod::CatmullRom:
            return SampleKernelBlock<4, 1>(*this, x, y, method, edge, replacement);
        case SampleMethod::Lanczos:
            return SampleKernelBlock<12, 5>(*this, x, y, method, edge, replacement);
        default:
            return SampleBilinear(*this, x, y, edge, replacement);
    }
}
