// Decompression bombs: small files that declare pictures far larger than their bytes can
// hold. Each row runs in a child process under a CPU-time limit (and, without sanitizers, an
// address-space limit a small fraction of the picture cap above what the process already
// maps), so that a decoder that allocates or loops before checking is killed and the row
// fails instead of the whole suite hanging or swapping. The child reports the decoder's
// result and error text through a pipe.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The cap the rows run under, and the memory a row may use on top of what is mapped before.
constexpr uint64_t kBombCap = uint64_t{64} << 20;
constexpr uint64_t kHeadroom = kBombCap * 2;
constexpr rlim_t kCpuSeconds = 20;  // a bound that only a runaway decoder reaches

struct BombRow {
    const char* name;
    uint32_t format;
    std::vector<uint8_t> bytes;
    // the error text expected; nullptr when the file is valid and decodes within the cap
    const char* error;
};

struct Outcome {
    bool exited = false;  // false: killed (CPU or memory limit) or crashed
    bool decoded = false;
    std::string text;
};

uint64_t MappedBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

bool UnderValgrind() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "vgpreload");
}

Outcome RunInChild(const BombRow& row) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        rlimit cpu{kCpuSeconds, kCpuSeconds};
        setrlimit(RLIMIT_CPU, &cpu);
        if (!kSanitized && !UnderValgrind()) {
            const rlim_t as = MappedBytes() + kHeadroom;
            rlimit space{as, as};
            setrlimit(RLIMIT_AS, &space);
        }
        SetPictureCap(kBombCap);
        MemoryStream in(const_cast<uint8_t*>(row.bytes.data()), static_cast<int32_t>(row.bytes.size()));
        Picture picture;
        const bool ok = picture.Decode(&in, row.format);
        std::string report = (ok ? "1" : "0") + std::string(picture.GetLastError());
        if (write(fds[1], report.data(), report.size()) < 0) _exit(3);
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome outcome;
    outcome.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !report.empty();
    if (outcome.exited) {
        outcome.decoded = report[0] == '1';
        outcome.text = report.substr(1);
    }
    return outcome;
}

// ---- helpers that build headers ----------------------------------------------------------

[[maybe_unused]] void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
[[maybe_unused]] void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

std::vector<BombRow> Rows() {
    std::vector<BombRow> rows;
    // Rows are added per format below, each with the layout it attacks.

    // GIF: a screen and a frame far beyond what their LZW data can fill (a code gives at
    // most 4096 pixels), and a file of 70000 frames each declaring a megapixel.
    {
        auto gif = [](uint32_t screenW, uint32_t screenH) {
            std::vector<uint8_t> b{'G', 'I', 'F', '8', '9', 'a'};
            Put16(b, screenW);
            Put16(b, screenH);
            b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two-colour global table
            return b;
        };
        // One image: descriptor, minimum code size 2, the codes clear, 1, end at 3 bits.
        auto image = [](std::vector<uint8_t>& b, uint32_t w, uint32_t h) {
            b.push_back(0x2C);
            Put32(b, 0);
            Put16(b, w);
            Put16(b, h);
            b.insert(b.end(), {0, 2, 2, 0x4C, 0x01, 0});
        };
        std::vector<uint8_t> screen = gif(65535, 65535);
        image(screen, 1, 1);
        screen.push_back(0x3B);
        rows.push_back({"GIF screen 65535 x 65535 around one pixel", ImageFormat::Gif, screen,
                        "GIF: image data too short for the screen it declares"});
        std::vector<uint8_t> frame = gif(0, 0);
        image(frame, 65535, 65535);
        frame.push_back(0x3B);
        rows.push_back({"GIF frame 65535 x 65535 on a screen of no size, which grows to it", ImageFormat::Gif, frame,
                        "GIF: image data too short for the screen it declares"});
        std::vector<uint8_t> many = gif(1024, 1024);
        for (int i = 0; i < 70000; ++i) image(many, 1024, 1024);
        many.push_back(0x3B);
        rows.push_back({"GIF 70000 frames of a megapixel", ImageFormat::Gif, many, nullptr});
    }

    return rows;
}

}  // namespace

TEST(Bombs, EveryDeclaredSizeIsCheckedAgainstTheStreamBeforeAllocation) {
    for (const BombRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = RunInChild(row);
        ASSERT_TRUE(outcome.exited) << "killed by the CPU or memory limit, or crashed";
        if (row.error) {
            EXPECT_FALSE(outcome.decoded);
            EXPECT_EQ(outcome.text, row.error);
        } else {
            EXPECT_TRUE(outcome.decoded) << outcome.text;
        }
    }
}
