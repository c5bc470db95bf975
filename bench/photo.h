// A realistic test page for the benchmarks: a 1200 x 1800 photograph-like picture and its
// JPEG made by plain libjpeg at quality 90.
#pragma once

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace bench {

inline constexpr uint32_t kWidth = 1200, kHeight = 1800;

// Smooth shading, a few frequencies of texture and sensor-like noise: roughly what a
// camera's picture costs the entropy coder, unlike a flat or purely random picture.
inline std::vector<uint8_t> PhotoRgb() {
    std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = ((seed >> 24) & 15) - 7.5;
            const double u = x / double(kWidth), v = y / double(kHeight);
            const double shade = 120 + 80 * std::sin(3.1 * u + 1.7 * v) + 25 * std::sin(40 * u * v);
            const double texture =
                18 * std::sin(x * 0.21) * std::cos(y * 0.13) + 10 * std::sin((x + y) * 0.05);
            const double base[3] = {shade + texture + 30 * v, shade * 0.8 + texture + 40 * u,
                                    shade * 0.6 - texture + 60 * (1 - v)};
            for (int c = 0; c < 3; ++c)
                rgb[(size_t{y} * kWidth + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(base[c] + noise, 0.0, 255.0));
        }
    return rgb;
}

// Plain libjpeg at quality 90, 96 dots per inch; `fill` gives each row red first.
template <class FillRow>
inline std::vector<uint8_t> Compress(FillRow fill) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, FALSE);
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = 96;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t{kWidth} * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        fill(row.data(), cinfo.next_scanline);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

inline const std::vector<uint8_t>& PhotoJpeg() {
    static const std::vector<uint8_t> jpeg = [] {
        const std::vector<uint8_t> rgb = PhotoRgb();
        return Compress([&](uint8_t* row, uint32_t y) {
            std::copy_n(&rgb[size_t{y} * kWidth * 3], size_t{kWidth} * 3, row);
        });
    }();
    return jpeg;
}

}  // namespace bench
