// One page of a book: a 1200 x 1800 JPEG loaded and saved as PNG through the engine, beside
// the same work done with plain libjpeg and libpng calls (the same chunks, the same default
// compression), so that the engine's own overhead reads as a ratio.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <libpng16/png.h>
#include <zlib.h>

#include <vector>

#include "panelle/picture.h"
#include "panelle/stream.h"
#include "photo.h"

namespace {

using bench::kHeight;
using bench::kWidth;
using bench::PhotoJpeg;

void BM_JpegToPngEngine(benchmark::State& state) {
    std::vector<uint8_t> jpeg = PhotoJpeg();
    size_t pngBytes = 0;
    for (auto _ : state) {
        MemoryStream in(jpeg.data(), static_cast<int32_t>(jpeg.size()));
        Picture pic;
        if (!pic.Decode(&in, ImageFormat::Jpg)) state.SkipWithError(pic.GetLastError());
        MemoryStream out;
        out.Open();
        if (!pic.Encode(&out, ImageFormat::Png)) state.SkipWithError(pic.GetLastError());
        pngBytes = static_cast<size_t>(out.Size());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["png_bytes"] = static_cast<double>(pngBytes);
}

void OnWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void OnFlush(png_structp) {}

void BM_JpegToPngPlain(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = PhotoJpeg();
    size_t pngBytes = 0;
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        const size_t stride = size_t{cinfo.output_width} * 3;
        std::vector<uint8_t> pixels(stride * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = &pixels[stride * cinfo.output_scanline];
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);

        std::vector<uint8_t> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, OnWrite, OnFlush);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_color_16 background{};
        png_set_bKGD(png, info, &background);
        png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);
        png_set_compression_level(png, 3);  // the engine's settings for colour rows
        png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
        png_write_info(png, info);
        for (uint32_t y = 0; y < kHeight; ++y) png_write_row(png, &pixels[stride * y]);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        pngBytes = out.size();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["png_bytes"] = static_cast<double>(pngBytes);
}

}  // namespace

BENCHMARK(BM_JpegToPngEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegToPngPlain)->Unit(benchmark::kMillisecond);
