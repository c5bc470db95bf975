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

#include "photo.h"
#include "picture.h"
#include "stream.h"

namespace {

using bench::Compress;
using bench::kHeight;
using bench::kWidth;
using bench::PhotoJpeg;

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
    std::vector<uint8_t> row(size_t{kWidth} * 3);
    for (auto _ : state) {
        // The picture's rows are bottom-up and blue first.
        const auto bytes = Compress(JCS_RGB, [&](uint32_t y) {
            const uint8_t* src = pic.GetBits(kHeight - 1 - y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
            return row.data();
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
