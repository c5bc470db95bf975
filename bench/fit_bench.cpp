// Pages fitted to the phone's screen: every stage of one comic page (bench/comic.h, 1200 x 1800
// JPEG) on its way to the book, and whole books of such pages at their own size and fitted to
// 176 x 208 in colour, in 256 colours and in 16 dithered greys.
//
// Stages: the whole decode and the decode at 1/2 (the fast path for a 176-wide page),
// resampling to 176 x 264, colour reduction, and the PNG encode of each kind of page. The
// books run on one thread, so that process CPU time compares like with like; the archive
// (zip) is what a book costs beyond its pages' stages.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "book.h"
#include "comic.h"
#include "fitpage.h"
#include "generate.h"
#include "messages.h"
#include "panelle/format.h"
#include "panelle/stream.h"

namespace {

namespace fs = std::filesystem;

class Quiet : public Messages {
   public:
    void Show(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    void ShowException(const std::string&) override {}
};

const std::vector<uint8_t>& PageJpeg() {
    static const std::vector<uint8_t> jpeg = bench::ComicJpeg(7);
    return jpeg;
}

bool Decode(Picture& picture, uint8_t scale) {
    MemoryStream in(const_cast<uint8_t*>(PageJpeg().data()), static_cast<int32_t>(PageJpeg().size()));
    picture.SetJpegScale(scale);
    return picture.Decode(&in, ImageFormat::Jpg);
}

// A page fitted to 176 wide from the 1/2 decode, optionally reduced.
void Fitted(Picture& p, int reduce) {
    if (!Decode(p, 2) || !p.Resample(176, 264)) {
        std::fprintf(stderr, "fit: %s\n", p.GetLastError());
        std::abort();
    }
    if (reduce == 1) p.ReduceColors(256, false);
    if (reduce == 2) p.ConvertToGrey(), p.ReduceColors(16, true);
}

// The PNG as the book writes it, into a file.
size_t EncodedBytes(Picture& p) {
    static const std::string path = (fs::temp_directory_path() / "panelle-fit-bench-page.png").string();
    if (!p.Save(path.c_str(), ImageFormat::Png)) {
        std::fprintf(stderr, "encode: %s\n", p.GetLastError());
        std::abort();
    }
    const size_t bytes = fs::file_size(path);
    std::remove(path.c_str());
    return bytes;
}

enum Stage {
    DecodeWhole,
    DecodeHalf,
    Resample,
    Reduce256,
    Grey16Dither,
    EncodeColour,
    Encode256,
    EncodeGrey16
};

void BM_FitStage(benchmark::State& state) {
    const auto stage = static_cast<Stage>(state.range(0));
    size_t bytes = 0;
    double pixels = 0;
    for (auto _ : state) {
        switch (stage) {
            case DecodeWhole:
            case DecodeHalf: {
                Picture p(ImageFormat::Jpg);
                if (!Decode(p, stage == DecodeWhole ? 1 : 2)) state.SkipWithError("decode failed");
                pixels = double(p.GetWidth()) * p.GetHeight();
                break;
            }
            case Resample:
            case Reduce256:
            case Grey16Dither: {
                state.PauseTiming();
                Picture p(ImageFormat::Jpg);
                Decode(p, 2);
                if (stage != Resample) p.Resample(176, 264);
                state.ResumeTiming();
                if (stage == Resample) {
                    pixels = double(p.GetWidth()) * p.GetHeight();
                    p.Resample(176, 264);
                } else if (stage == Reduce256) {
                    p.ReduceColors(256, false);
                } else {
                    p.ConvertToGrey();
                    p.ReduceColors(16, true);
                }
                benchmark::DoNotOptimize(p.GetBits());
                state.PauseTiming();
                { Picture gone(std::move(p)); }
                state.ResumeTiming();
                break;
            }
            default: {
                state.PauseTiming();
                Picture p(ImageFormat::Jpg);
                Fitted(p, stage == EncodeColour ? 0 : stage == Encode256 ? 1 : 2);
                state.ResumeTiming();
                bytes = EncodedBytes(p);
                state.PauseTiming();
                { Picture gone(std::move(p)); }
                state.ResumeTiming();
            }
        }
    }
    if (pixels > 0)
        state.counters["Mpixel/s"] =
            benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    if (bytes) state.counters["png_bytes"] = double(bytes);
}

// The same 100 pages made into a book: range(0) 0 own size, 1 fitted in colour, 2 fitted in
// 256 colours, 3 fitted in 16 dithered greys.
void BM_FitBook(benchmark::State& state) {
    static std::string folder;
    const int count = 100;
    if (folder.empty()) {
        folder = (fs::temp_directory_path() / "panelle-fit-bench-XXXXXX").string();
        if (!mkdtemp(folder.data())) std::abort();
        for (int i = 0; i < count; ++i) {
            const std::vector<uint8_t> jpeg = bench::ComicJpeg(static_cast<uint32_t>(i));
            char name[32];
            std::snprintf(name, sizeof name, "/page-%03d.jpg", i);
            FILE* f = std::fopen((folder + name).c_str(), "wb");
            if (!f) std::abort();
            std::fwrite(jpeg.data(), 1, jpeg.size(), f);
            std::fclose(f);
        }
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
    }
    std::vector<std::string> pages;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03d.jpg", i);
        pages.push_back(folder + name);
    }
    const std::string jar = folder + "/book.jar";
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Book book;
        book.SetTemplateFolder(PANELLE_TEMPLATES);
        book.bookName = book.descriptorName = "Benchmark";
        book.ImportPictures(pages);
        if (mode > 0) book.pageFit.fit = 1;
        if (mode == 2) book.pageFit.colors = 256;
        if (mode == 3) book.pageFit = {1, 1, 16, 1, 0};
        Quiet quiet;
        if (!Generate(book, jar, quiet, 1)) state.SkipWithError("the generation failed");
    }
    state.counters["jar_bytes"] = double(fs::file_size(jar));
}

}  // namespace

BENCHMARK(BM_FitStage)
    ->ArgName("stage")
    ->DenseRange(DecodeWhole, EncodeGrey16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitBook)
    ->ArgName("mode")
    ->DenseRange(0, 3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

BENCHMARK_MAIN();
