// JPEG decode and encode of a 1200 x 1800 photograph-like picture through the engine, beside
// plain libjpeg calls doing the same work (the same library settings, rows stored bottom-up
// with blue first, red and blue exchanged), so that the engine's overhead reads as a ratio.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "picture.h"
#include "stream.h"

namespace {

constexpr uint32_t kWidth = 1200, kHeight = 1800;

// Smooth shading, a few frequencies of texture and sensor-like noise: roughly what a
// camera's picture costs the entropy coder, unlike a flat or purely random picture.
std::vector<uint8_t> PhotoRgb() {
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
std::vector<uint8_t> Compress(FillRow fill) {
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

const std::vector<uint8_t>& PhotoJpeg() {
    static const std::vector<uint8_t> jpeg = [] {
        const std::vector<uint8_t> rgb = PhotoRgb();
        return Compress([&](uint8_t* row, uint32_t y) {
            std::copy_n(&rgb[size_t{y} * kWidth * 3], size_t{kWidth} * 3, row);
        });
    }();
    return jpeg;
}

void BM_DecodeEngine(benchmark::State& state) {
    std::vector<uint8_t> jpeg = PhotoJpeg();
    for (auto _ : state) {
        MemoryStream ms(jpeg.data(), static_cast<int32_t>(jpeg.size()));
        Picture pic;
        if (!pic.Decode(&ms, ImageFormat::Jpg)) state.SkipWithError(pic.GetLastError());
        benchmark::DoNotOptimize(pic.GetBits(0));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["jpeg_bytes"] = static_cast<double>(jpeg.size());
}

void BM_DecodeLibjpeg(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = PhotoJpeg();
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        const size_t stride = (size_t{cinfo.output_width} * 3 + 3) / 4 * 4;
        std::vector<uint8_t> pixels(stride * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = &pixels[stride * (cinfo.output_height - 1 - cinfo.output_scanline)];
            jpeg_read_scanlines(&cinfo, &row, 1);
            for (uint32_t x = 0; x < cinfo.output_width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_EncodeEngine(benchmark::State& state) {
    std::vector<uint8_t> jpeg = PhotoJpeg();
    MemoryStream in(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    Picture pic;
    pic.Decode(&in, ImageFormat::Jpg);
    for (auto _ : state) {
        MemoryStream out;
        out.Open();
        if (!pic.Encode(&out, ImageFormat::Jpg)) state.SkipWithError(pic.GetLastError());
        benchmark::DoNotOptimize(out.buffer);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_EncodeLibjpeg(benchmark::State& state) {
    std::vector<uint8_t> jpeg = PhotoJpeg();
    MemoryStream in(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    Picture pic;
    pic.Decode(&in, ImageFormat::Jpg);
    for (auto _ : state) {
        // The picture's rows are bottom-up and blue first.
        const auto bytes = Compress([&](uint8_t* row, uint32_t y) {
            const uint8_t* src = pic.GetBits(kHeight - 1 - y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
        });
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

}  // namespace

BENCHMARK(BM_DecodeEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLibjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeLibjpeg)->Unit(benchmark::kMillisecond);
