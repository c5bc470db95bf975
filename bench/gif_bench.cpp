// Opening a large GIF animation: frame 0 should cost about what a one-frame file costs,
// since counting the frames only walks their data by sub-block lengths; the last frame
// shows what composing every frame costs. The animation is built in memory from one
// 512 x 512 noise frame written by the engine's encoder and repeated.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "panelle/picture.h"
#include "panelle/stream.h"

namespace {

constexpr int32_t kSide = 512;

// The file: header and global table of the encoded frame, its image block `frames` times
// (each after a graphic control block with a delay), and the trailer.
const std::vector<uint8_t>& Animation(int frames) {
    static std::vector<uint8_t> file;
    static int made = 0;
    if (made == frames) return file;
    Picture noise(kSide, kSide, 8, 0);
    for (uint32_t i = 0; i < 256; ++i)
        noise.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                              static_cast<uint8_t>(i * 7));
    uint32_t seed = 1;
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x) {
            seed = seed * 1103515245 + 12345;
            noise.SetPixelIndex(x, y, static_cast<uint8_t>(seed >> 16));
        }
    MemoryStream out;
    out.Open();
    noise.Encode(&out, ImageFormat::Gif);
    const uint8_t* b = out.GetBuffer(false);
    const size_t size = static_cast<size_t>(out.Size());
    // Header and table (13 + 768 bytes), the control block (8), the image up to the trailer.
    const size_t head = 13 + 768, image = head + 8;
    file.assign(b, b + head);
    for (int i = 0; i < frames; ++i) {
        file.insert(file.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
        file.insert(file.end(), b + image, b + size - 1);
    }
    file.push_back(0x3B);
    made = frames;
    return file;
}

void Decode(benchmark::State& state, int32_t frame) {
    const std::vector<uint8_t>& file = Animation(static_cast<int>(state.range(0)));
    std::vector<uint8_t> copy = file;
    for (auto _ : state) {
        MemoryStream in(copy.data(), static_cast<int32_t>(copy.size()));
        Picture p;
        p.SetFrame(frame < 0 ? static_cast<int32_t>(state.range(0)) - 1 : frame);
        if (!p.Decode(&in, ImageFormat::Gif) || p.GetFrameCount() != state.range(0)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(p.GetBits(0));
    }
    state.counters["MB"] = static_cast<double>(file.size()) / 1e6;
}

void BM_GifFrameZero(benchmark::State& state) { Decode(state, 0); }
void BM_GifLastFrame(benchmark::State& state) { Decode(state, -1); }

}  // namespace

BENCHMARK(BM_GifFrameZero)->Arg(1)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifLastFrame)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
