// Whole-picture resampling by separable filtering: every source row is filtered across into
// a float row of the destination's width, and every destination row is the weighted sum of
// the filtered rows beneath its kernel. The kernel is stretched by the reduction factor, so
// a destination pixel averages all the source pixels it covers. Colour is filtered
// premultiplied by alpha, so transparent pixels give nothing to their neighbours.
#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "quantize.h"
#include "sample.h"

namespace {

using ResampleFilter = Picture::ResampleFilter;

constexpr float kPi = 3.14159265f;

float Sinc(float t) {
    if (t == 0) return 1.0f;
    const float a = kPi * t;
    return std::sin(a) / a;
}

uint8_t RoundToByte(float v) {
    if (!(v > 0)) return 0;
    if (v >= 254.5f) return 255;
    return static_cast<uint8_t>(v + 0.5f);
}

// One source row as floats: grey or blue, green, red, then alpha when the picture has it,
// the colour premultiplied by alpha.
class RowLoader {
   public:
    RowLoader(const Picture& source, bool grey, bool withAlpha)
        : source_(source),
          grey_(grey),
          withAlpha_(withAlpha),
          channels_((grey ? 1 : 3) + (withAlpha ? 1 : 0)) {
        if (const RGBQUAD* palette = source.GetPalette()) {
            const uint32_t n = std::min(source.GetNumColors(), 256u);
            for (uint32_t i = 0; i < n; ++i) palette_[i] = palette[i];
        }
    }

    int32_t Channels() const { return channels_; }

    void Load(int32_t y, float* out) const {
        const int32_t width = source_.header.biWidth;
        const uint8_t* row = source_.info.bits + static_cast<uint64_t>(y) * source_.info.effWidth;
        const uint8_t* alpha = withAlpha_ ? source_.alpha + static_cast<uint64_t>(y) * width : nullptr;
        const uint16_t bpp = source_.GetBpp();
        for (int32_t x = 0; x < width; ++x, out += channels_) {
            uint8_t b, g, r;
            if (bpp == 24) {
                b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            } else {
                const uint8_t index = bpp == 8 ? row[x] : source_.BlindGetPixelIndex(x, y);
                const RGBQUAD c = palette_[index];
                b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
            }
            const float a = alpha ? alpha[x] * (1.0f / 255) : 1.0f;
            if (grey_) {
                out[0] = b * a;
            } else {
                out[0] = b * a, out[1] = g * a, out[2] = r * a;
            }
            if (alpha) out[channels_ - 1] = alpha[x];
        }
    }

   private:
    const Picture& source_;
    bool grey_, withAlpha_;
    int32_t channels_;
    RGBQUAD palette_[256] = {};
};

}  // namespace

uint8_t JpegScaleFor(uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH) {
    if (srcW == 0 || srcH == 0 || dstW == 0 || dstH == 0) return 1;
    // libjpeg rounds scaled sizes up.
    for (uint32_t denom : {8u, 4u, 2u}) {
        const uint64_t w = (uint64_t{srcW} + denom - 1) / denom, h = (uint64_t{srcH} + denom - 1) / denom;
        if (w >= 2ull * dstW && h >= 2ull * dstH) return static_cast<uint8_t>(denom);
    }
    return 1;
}

float ResampleFilterRadius(ResampleFilter filter) {
    switch (filter) {
        case ResampleFilter::Box:
            return 0.5f;
        case ResampleFilter::Triangle:
            return 1.0f;
        case ResampleFilter::CatmullRom:
        case ResampleFilter::Mitchell:
            return 2.0f;
        case ResampleFilter::Lanczos3:
            return 3.0f;
    }
    return 3.0f;
}

float ResampleFilterWeight(ResampleFilter filter, float t) {
    switch (filter) {
        case ResampleFilter::Box:
            return SampleKernel(Picture::SampleMethod::Box, t);
        case ResampleFilter::Triangle: {
            const float at = std::fabs(t);
            return at < 1 ? 1 - at : 0.0f;
        }
        case ResampleFilter::CatmullRom:
            return SampleKernel(Picture::SampleMethod::CatmullRom, t);
        case ResampleFilter::Mitchell:
            return SampleKernel(Picture::SampleMethod::Mitchell, t);
        case ResampleFilter::Lanczos3:
            return std::fabs(t) < 3 ? Sinc(t) * Sinc(t / 3) : 0.0f;
    }
    return 0.0f;
}

ResampleTaps ComputeResampleTaps(uint32_t srcSize, uint32_t dstSize, ResampleFilter filter) {
    ResampleTaps taps;
    const double factor = static_cast<double>(srcSize) / dstSize;
    // Reducing stretches the kernel over the source pixels one destination pixel covers.
    const double scale = std::max(factor, 1.0);
    const double support = ResampleFilterRadius(filter) * scale;
    taps.stride = static_cast<int32_t>(std::min<double>(std::ceil(2 * support) + 2, srcSize));
    taps.first.resize(dstSize);
    taps.count.resize(dstSize);
    taps.weights.assign(static_cast<size_t>(dstSize) * taps.stride, 0.0f);
    const int64_t last = static_cast<int64_t>(srcSize) - 1;
    for (uint32_t i = 0; i < dstSize; ++i) {
        // Pixel j's centre is at j + 0.5 in source coordinates.
        const double centre = (i + 0.5) * factor;
        int64_t begin = static_cast<int64_t>(std::ceil(centre - support - 0.5));
        int64_t end = static_cast<int64_t>(std::floor(centre + support - 0.5));
        begin = std::clamp<int64_t>(begin, 0, last);
        end = std::clamp<int64_t>(end, begin, std::min<int64_t>(last, begin + taps.stride - 1));
        float* w = &taps.weights[static_cast<size_t>(i) * taps.stride];
        double sum = 0;
        for (int64_t j = begin; j <= end; ++j) {
            const float t = static_cast<float>((j + 0.5 - centre) / scale);
            w[j - begin] = ResampleFilterWeight(filter, t);
            sum += w[j - begin];
        }
        if (sum == 0) {
            // A kernel that misses every pixel (a box narrower than the pixel grid) takes
            // the nearest one.
            begin = std::clamp<int64_t>(static_cast<int64_t>(centre), 0, last);
            end = begin;
            w[0] = 1.0f;
            sum = 1;
        }
        for (int64_t j = begin; j <= end; ++j) w[j - begin] = static_cast<float>(w[j - begin] / sum);
        taps.first[i] = static_cast<int32_t>(begin);
        taps.count[i] = static_cast<int32_t>(end - begin + 1);
    }
    return taps;
}

bool Picture::Resample(uint32_t width, uint32_t height, ResampleFilter filter) {
    if (!dib) {
        SetLastError("Resample: the picture is empty");
        return false;
    }
    if (width == 0 || height == 0) {
        SetLastError("Resample: width and height must be greater than zero");
        return false;
    }
    if (width == GetWidth() && height == GetHeight()) return true;
    if (width > INT32_MAX || height > INT32_MAX || !FitsPictureCap(width, height, 24)) {
        SetLastError("PICTURE_MAX_MEMORY exceeded");
        return false;
    }

    // Transparency kept by the palette or by a key colour is filtered as an alpha plane;
    // the conversion works on a copy so that a failure leaves this picture as it was.
    const Picture* source = this;
    Picture keyed;
    if (!alpha && (info.transIndex >= 0 || (info.alphaPaletteEnabled && GetPalette()))) {
        keyed.Copy(*this);
        if (!keyed.IsValid() || !MoveTransparencyToAlpha(keyed)) {
            SetLastError("Resample: not enough memory for the transparency");
            return false;
        }
        source = &keyed;
    }

    const bool grey = HasGreyPalette(*source);
    const bool withAlpha = source->alpha != nullptr;
    const RowLoader loader(*source, grey, withAlpha);
    const int32_t channels = loader.Channels();
    const uint32_t srcW = source->GetWidth(), srcH = source->GetHeight();

    const ResampleTaps across = ComputeResampleTaps(srcW, width, filter);
    const ResampleTaps down = ComputeResampleTaps(srcH, height, filter);

    // Filtered rows are kept in a ring as long as the kernel of a destination row can
    // reach them; a destination row needs at most down.stride consecutive source rows.
    const uint64_t rowFloats = uint64_t{width} * channels;
    // Filtered rows are padded to 8 floats, so that the sum down runs in whole blocks of 8.
    const uint64_t rowStride = (rowFloats + 7) / 8 * 8;
    const uint64_t ringRows = static_cast<uint64_t>(down.stride);
    const uint64_t workBytes =
        (ringRows + 1) * rowStride * sizeof(float) + uint64_t{srcW} * channels * sizeof(float);
    if (workBytes > GetPictureCap()) {
        SetLastError("PICTURE_MAX_MEMORY exceeded");
        return false;
    }

    Picture result;
    result.CopyInfo(*source);
    if (!result.Create(width, height, grey ? 8 : 24, source->GetType())) {
        SetLastError(result.GetLastError());
        return false;
    }
    if (grey) result.SetGrayPalette();
    if (withAlpha) {
        result.AlphaCreate();
        if (!result.AlphaIsValid()) {
            SetLastError("Resample: not enough memory for the alpha plane");
            return false;
        }
    }
    result.info.transIndex = -1;
    result.info.alphaPaletteEnabled = false;
    result.info.lastColorValid = false;
    result.SetXDpi(source->info.xDpi);
    result.SetYDpi(source->info.yDpi);

    std::vector<float> sourceRow(static_cast<size_t>(srcW) * channels);
    std::vector<float> ring(static_cast<size_t>(ringRows * rowStride));
    std::vector<float> sum(static_cast<size_t>(rowStride));
    int64_t filtered = 0;  // source rows filtered across so far

    const auto filterAcross = [&](int32_t y) {
        loader.Load(y, sourceRow.data());
        float* out = &ring[static_cast<size_t>((y % ringRows) * rowStride)];
        for (uint32_t x = 0; x < width; ++x, out += channels) {
            const float* w = &across.weights[static_cast<size_t>(x) * across.stride];
            const float* in = &sourceRow[static_cast<size_t>(across.first[x]) * channels];
            const int32_t n = across.count[x];
            // Two sums per channel, even and odd taps, halve the chain of dependent adds.
            if (channels == 3) {
                float b0 = 0, g0 = 0, r0 = 0, b1 = 0, g1 = 0, r1 = 0;
                int32_t k = 0;
                for (; k + 1 < n; k += 2, in += 6) {
                    b0 += w[k] * in[0], g0 += w[k] * in[1], r0 += w[k] * in[2];
                    b1 += w[k + 1] * in[3], g1 += w[k + 1] * in[4], r1 += w[k + 1] * in[5];
                }
                if (k < n) b0 += w[k] * in[0], g0 += w[k] * in[1], r0 += w[k] * in[2];
                out[0] = b0 + b1, out[1] = g0 + g1, out[2] = r0 + r1;
            } else if (channels == 1) {
                float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
                int32_t k = 0;
                for (; k + 3 < n; k += 4)
                    s0 += w[k] * in[k], s1 += w[k + 1] * in[k + 1], s2 += w[k + 2] * in[k + 2],
                        s3 += w[k + 3] * in[k + 3];
                for (; k < n; ++k) s0 += w[k] * in[k];
                out[0] = (s0 + s1) + (s2 + s3);
            } else {
                for (int32_t c = 0; c < channels; ++c) {
                    float s0 = 0, s1 = 0;
                    int32_t k = 0;
                    for (; k + 1 < n; k += 2)
                        s0 += w[k] * in[k * channels + c], s1 += w[k + 1] * in[(k + 1) * channels + c];
                    if (k < n) s0 += w[k] * in[k * channels + c];
                    out[c] = s0 + s1;
                }
            }
        }
    };

    for (uint32_t yd = 0; yd < height; ++yd) {
        const int32_t first = down.first[yd], n = down.count[yd];
        while (filtered < first + n) filterAcross(static_cast<int32_t>(filtered++));
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* w = &down.weights[static_cast<size_t>(yd) * down.stride];
        for (int32_t k = 0; k < n; ++k) {
            const float* __restrict in = &ring[static_cast<size_t>(((first + k) % ringRows) * rowStride)];
            const float wk = w[k];
            float* __restrict s = sum.data();
            for (uint64_t i = 0; i < rowStride; i += 8) {
                s[i] += wk * in[i], s[i + 1] += wk * in[i + 1], s[i + 2] += wk * in[i + 2],
                    s[i + 3] += wk * in[i + 3];
                s[i + 4] += wk * in[i + 4], s[i + 5] += wk * in[i + 5], s[i + 6] += wk * in[i + 6],
                    s[i + 7] += wk * in[i + 7];
            }
        }
        uint8_t* out = result.info.bits + static_cast<uint64_t>(yd) * result.info.effWidth;
        const float* s = sum.data();
        if (!withAlpha) {
            for (uint64_t i = 0; i < rowFloats; ++i) out[i] = RoundToByte(s[i]);
        } else {
            uint8_t* outAlpha = result.alpha + static_cast<uint64_t>(yd) * width;
            const int32_t colours = channels - 1;
            for (uint32_t x = 0; x < width; ++x, s += channels, out += colours) {
                const float a = s[colours];
                outAlpha[x] = RoundToByte(a);
                const float unpremultiply = a > 0 ? 255 / a : 0.0f;
                for (int32_t c = 0; c < colours; ++c) out[c] = RoundToByte(s[c] * unpremultiply);
            }
        }
        info.progress = static_cast<int32_t>(yd * 100ll / height);
    }
    result.info.progress = info.progress;
    return Transfer(result);
}
