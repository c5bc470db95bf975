// A whole book, from comic JPEG pages (comic.h) to a finished archive: through the builder
// core (Generate: every page to PNG, desc.txt, the JAR and the JAD) on one thread and on the
// default number, beside what a user's script does with ImageMagick (one convert process per
// page, with its default thread limit and with one thread) and zip.
//
// The time reported is wall time. cpu_time is the process's own CPU time over all its
// threads; the ImageMagick runs spend theirs in child processes, counted as child_cpu_s.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "book.h"
#include "comic.h"
#include "generate.h"
#include "messages.h"

namespace {

namespace fs = std::filesystem;

class Quiet : public Messages {
   public:
    void Show(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    void ShowException(const std::string&) override {}
};

// A folder of `count` pages, page-000.jpg onwards, made once per size and removed at exit.
class PageFolders {
   public:
    ~PageFolders() {
        std::error_code ignored;
        for (const auto& [count, folder] : folders_) fs::remove_all(folder, ignored);
    }
    const std::string& Get(int count) {
        auto it = folders_.find(count);
        if (it != folders_.end()) return it->second;
        std::string folder = (fs::temp_directory_path() / "panelle-book-bench-XXXXXX").string();
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
        return folders_.emplace(count, folder).first->second;
    }
    std::vector<std::string> Pages(int count) {
        const std::string& folder = Get(count);
        std::vector<std::string> pages;
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/page-%03d.jpg", i);
            pages.push_back(folder + name);
        }
        return pages;
    }

   private:
    std::map<int, std::string> folders_;
};

PageFolders& Folders() {
    static PageFolders folders;
    return folders;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// range(0): pages; range(1): conversion threads (0: the default, one per core).
void BM_BookPanelle(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> pages = Folders().Pages(count);
    const std::string jar = Folders().Get(count) + "/book.jar";
    std::uintmax_t jarBytes = 0;
    for (auto _ : state) {
        Book book;
        book.SetTemplateFolder(PANELLE_TEMPLATES);
        book.bookName = book.descriptorName = "Benchmark";
        book.ImportPictures(pages);
        Quiet quiet;
        const bool ok = state.range(1) > 0 ? Generate(book, jar, quiet, static_cast<unsigned>(state.range(1)))
                                           : Generate(book, jar, quiet);
        if (!ok) state.SkipWithError("the generation failed");
        jarBytes = fs::file_size(jar);
    }
    state.counters["pages"] = count;
    state.counters["archive_MB"] = jarBytes / 1e6;
}

// range(0): pages; range(1): ImageMagick's thread limit (0: its default).
void BM_BookImageMagick(benchmark::State& state) {
    if (std::system("command -v convert-im6.q16 >/dev/null && command -v zip >/dev/null") != 0) {
        state.SkipWithError("convert-im6.q16 or zip is missing");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    const std::string& folder = Folders().Get(count);
    const std::string limit =
        state.range(1) > 0 ? "-limit thread " + std::to_string(state.range(1)) + " " : "";
    const std::string script =
        "cd '" + folder +
        "' && rm -rf png book.zip && mkdir png && for f in page-*.jpg; do convert-im6.q16 " + limit +
        "\"$f\" \"png/${f%.jpg}.png\" || exit 1; done && cd png && zip -q ../book.zip *.png";
    double childCpu = 0;
    for (auto _ : state) {
        const double before = ChildCpuSeconds();
        if (std::system(script.c_str()) != 0) state.SkipWithError("the ImageMagick script failed");
        childCpu += ChildCpuSeconds() - before;
    }
    state.counters["pages"] = count;
    state.counters["child_cpu_s"] = benchmark::Counter(childCpu, benchmark::Counter::kAvgIterations);
    std::error_code ignored;
    state.counters["archive_MB"] = fs::file_size(folder + "/book.zip", ignored) / 1e6;
}

}  // namespace

BENCHMARK(BM_BookPanelle)
    ->ArgNames({"pages", "threads"})
    ->Args({10, 1})
    ->Args({10, 0})
    ->Args({100, 1})
    ->Args({100, 0})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookImageMagick)
    ->ArgNames({"pages", "limit"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({100, 0})
    ->Args({100, 1})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
