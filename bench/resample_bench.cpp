// Fitting a 1200 x 1800 comic page to 176 wide (the resampler's throughput in source
// megapixels per second, by filter), and reducing the fitted page's colours.
#include <benchmark/benchmark.h>

#include "comic.h"
#include "panelle/picture.h"
#include "panelle/resample.h"

namespace {

Picture Page() {
    const std::vector<uint8_t> rgb = bench::ComicRgb(0);
    Picture p(bench::kWidth, bench::kHeight, 24, 0);
    for (uint32_t y = 0; y < bench::kHeight; ++y) {
        uint8_t* row = p.GetBits(bench::kHeight - 1 - y);
        for (uint32_t x = 0; x < bench::kWidth; ++x) {
            const uint8_t* s = &rgb[(size_t{y} * bench::kWidth + x) * 3];
            row[3 * x] = s[2], row[3 * x + 1] = s[1], row[3 * x + 2] = s[0];
        }
    }
    return p;
}

const Picture& SharedPage() {
    static const Picture page = Page();
    return page;
}

void FitPage(benchmark::State& state, Picture::ResampleFilter filter, bool grey) {
    Picture source(SharedPage(), true);
    if (grey) source.ConvertToGrey();
    for (auto _ : state) {
        Picture p(source, true);
        if (!p.Resample(176, 264, filter)) state.SkipWithError(p.GetLastError());
        benchmark::DoNotOptimize(p.dib);
    }
    const double pixels = double(bench::kWidth) * bench::kHeight;
    state.counters["source_MP/s"] =
        benchmark::Counter(pixels * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void Reduce(benchmark::State& state, uint32_t colours, bool grey, bool dither, bool fitted) {
    Picture source(SharedPage(), true);
    if (fitted) source.Resample(176, 264);
    if (grey) source.ConvertToGrey();
    for (auto _ : state) {
        Picture p(source, true);
        if (!p.ReduceColors(colours, dither)) state.SkipWithError(p.GetLastError());
        benchmark::DoNotOptimize(p.dib);
    }
}

// The copy each iteration makes, to subtract from the figures above.
void CopyOnly(benchmark::State& state) {
    for (auto _ : state) {
        Picture p(SharedPage(), true);
        benchmark::DoNotOptimize(p.dib);
    }
}

}  // namespace

BENCHMARK_CAPTURE(FitPage, lanczos3_colour, Picture::ResampleFilter::Lanczos3, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FitPage, lanczos3_grey, Picture::ResampleFilter::Lanczos3, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FitPage, mitchell_colour, Picture::ResampleFilter::Mitchell, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FitPage, box_colour, Picture::ResampleFilter::Box, false)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Reduce, fitted_256, 256, false, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Reduce, fitted_16, 16, false, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Reduce, fitted_16_grey_dither, 16, true, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Reduce, fitted_256_dither, 256, false, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Reduce, page_256, 256, false, false, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
