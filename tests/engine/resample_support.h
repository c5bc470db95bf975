// Helpers of the resampling and colour reduction tests: comic pages as pictures, pictures
// as PPM files for ImageMagick and back, and the peak signal-to-noise ratio of two pictures.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "../../bench/comic.h"
#include "codec_fixtures.h"
#include "picture.h"

namespace resample_support {

// A 24-bit picture from top-down red-first rows.
inline Picture FromRgb(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height) {
    Picture p(width, height, 24, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = p.GetBits(height - 1 - y);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* s = &rgb[(size_t{y} * width + x) * 3];
            row[3 * x] = s[2], row[3 * x + 1] = s[1], row[3 * x + 2] = s[0];
        }
    }
    return p;
}

inline Picture ComicPage(uint32_t seed) {
    return FromRgb(bench::ComicRgb(seed), bench::kWidth, bench::kHeight);
}

// Binary PPM of the picture's colours, top row first.
inline fixtures::Bytes ToPpm(const Picture& p) {
    const std::string head =
        "P6\n" + std::to_string(p.GetWidth()) + " " + std::to_string(p.GetHeight()) + "\n255\n";
    fixtures::Bytes out(head.begin(), head.end());
    for (int32_t y = static_cast<int32_t>(p.GetHeight()) - 1; y >= 0; --y)
        for (int32_t x = 0; x < static_cast<int32_t>(p.GetWidth()); ++x) {
            const RGBQUAD c = p.GetPixelColor(x, y, false);
            out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    return out;
}

// ImageMagick's result for the picture and the options, as a PPM read back; empty when
// convert is not installed.
inline fixtures::Image ConvertWithImageMagick(const Picture& p, const std::string& options) {
    const std::string convert = PANELLE_CONVERT;
    if (convert.empty()) return {};
    const fixtures::TempFile in(ToPpm(p));
    return fixtures::ParseNetpbm(
        fixtures::ToolOutput(convert, "'ppm:" + in.path() + "' " + options + " ppm:-"));
}

inline fixtures::Image ToImage(const Picture& p) {
    fixtures::Image image;
    image.width = static_cast<int>(p.GetWidth());
    image.height = static_cast<int>(p.GetHeight());
    for (int32_t y = image.height - 1; y >= 0; --y)
        for (int32_t x = 0; x < image.width; ++x) {
            const RGBQUAD c = p.GetPixelColor(x, y, false);
            image.rgba.insert(image.rgba.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue, 255});
        }
    return image;
}

// Over red, green and blue; infinite for equal pictures, 0 for pictures of other sizes.
inline double Psnr(const fixtures::Image& a, const fixtures::Image& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size() || a.rgba.empty())
        return 0;
    double squares = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(a.rgba[i]) - double(b.rgba[i]);
        squares += d * d;
    }
    const double mse = squares / (a.rgba.size() / 4 * 3);
    return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

inline double Psnr(const Picture& a, const Picture& b) { return Psnr(ToImage(a), ToImage(b)); }

}  // namespace resample_support
