// Drawing a page into the 249 x 241 preview box, as the main window does on every repaint.
// Scaled draws compose only the visible paint box, so a 4000 x 3000 page should cost about
// what a 400 x 300 page costs at the same preview size; the plain 1:1 copy of the big page
// is clipped to the box and should cost even less.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "panelle/devicecontext.h"
#include "panelle/picture.h"

namespace {

constexpr int32_t kBoxWidth = 249;
constexpr int32_t kBoxHeight = 241;

// A 24 bpp page with a cheap but non-uniform pattern, made once per size.
const Picture& Page(int32_t width, int32_t height, bool withAlpha = false) {
    static std::map<std::tuple<int32_t, int32_t, bool>, std::unique_ptr<Picture>> pages;
    auto& slot = pages[{width, height, withAlpha}];
    if (!slot) {
        slot = std::make_unique<Picture>(width, height, 24, 0);
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = slot->GetBits(static_cast<uint32_t>(y));
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x] = static_cast<uint8_t>(x ^ y);
                row[3 * x + 1] = static_cast<uint8_t>(x + 2 * y);
                row[3 * x + 2] = static_cast<uint8_t>(x * y >> 4);
            }
        }
        if (withAlpha) {
            slot->AlphaCreate();
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) slot->AlphaSet(x, y, static_cast<uint8_t>(x + y));
        }
    }
    return *slot;
}

// The picture fitted into the box keeping its proportions, centred.
struct Fit {
    int32_t x, y, cx, cy;
};

Fit FitIntoBox(int32_t width, int32_t height) {
    Fit f{};
    if (static_cast<int64_t>(width) * kBoxHeight >= static_cast<int64_t>(height) * kBoxWidth) {
        f.cx = kBoxWidth;
        f.cy = static_cast<int32_t>(static_cast<int64_t>(height) * kBoxWidth / width);
    } else {
        f.cy = kBoxHeight;
        f.cx = static_cast<int32_t>(static_cast<int64_t>(width) * kBoxHeight / height);
    }
    f.x = (kBoxWidth - f.cx) / 2;
    f.y = (kBoxHeight - f.cy) / 2;
    return f;
}

void DrawIntoPreview(benchmark::State& state, bool smooth, bool withAlpha) {
    const int32_t width = static_cast<int32_t>(state.range(0)), height = static_cast<int32_t>(state.range(1));
    const Picture& page = Page(width, height, withAlpha);
    const Fit fit = FitIntoBox(width, height);
    DeviceContext dc(kBoxWidth, kBoxHeight);
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.Draw(&dc, fit.x, fit.y, fit.cx, fit.cy, nullptr, smooth));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * fit.cx * fit.cy);
    state.counters["visible_px"] = static_cast<double>(fit.cx) * fit.cy;
}

void BM_PreviewNearest(benchmark::State& state) { DrawIntoPreview(state, false, false); }
void BM_PreviewBilinear(benchmark::State& state) { DrawIntoPreview(state, true, false); }
void BM_PreviewBlendedNearest(benchmark::State& state) { DrawIntoPreview(state, false, true); }

// The big page at its own size: the plain copy, clipped to the box.
void BM_PreviewOwnSize(benchmark::State& state) {
    const Picture& page = Page(4000, 3000);
    DeviceContext dc(kBoxWidth, kBoxHeight);
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.Draw(&dc, -1000, -1000));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBoxWidth * kBoxHeight);
}

void PageSizes(benchmark::internal::Benchmark* b) {
    b->Args({4000, 3000})->Args({1000, 750})->Args({400, 300})->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_PreviewNearest)->Apply(PageSizes);
BENCHMARK(BM_PreviewBilinear)->Apply(PageSizes);
BENCHMARK(BM_PreviewBlendedNearest)->Apply(PageSizes);
BENCHMARK(BM_PreviewOwnSize)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
