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

    // ---- BMP, TGA, PCX, WBMP and ICO --------------------------------------------------------
    {
        // A BMP of the given size, depth and compression, followed by `tail` bytes of data.
        const auto bmp = [](uint32_t width, uint32_t height, uint16_t bpp, uint32_t compression,
                            std::vector<uint8_t> tail) {
            const uint32_t palette = bpp <= 8 ? 4u << bpp : 0;
            std::vector<uint8_t> b = {'B', 'M'};
            Put32(b, static_cast<uint32_t>(14 + 40 + palette + tail.size()));
            Put32(b, 0);
            Put32(b, 14 + 40 + palette);
            Put32(b, 40);
            Put32(b, width);
            Put32(b, height);
            Put16(b, 1);
            Put16(b, bpp);
            Put32(b, compression);
            for (int i = 0; i < 5; ++i) Put32(b, 0);
            b.resize(b.size() + palette);
            b.insert(b.end(), tail.begin(), tail.end());
            return b;
        };
        constexpr const char* kBmpShort = "BMP file too short for its picture";
        rows.push_back({"BMP uncompressed 30000 x 30000 x 24 in 100 bytes", 1,
                        bmp(30000, 30000, 24, 0, std::vector<uint8_t>(46, 0x7F)), kBmpShort});
        // RLE8 runs of 255 pixels: 60000 x 60000 would need 28 MB of them.
        std::vector<uint8_t> runs;
        for (int i = 0; i < 50; ++i) runs.insert(runs.end(), {255, 3});
        rows.push_back({"BMP RLE8 60000 x 60000 in 100 bytes of runs", 1, bmp(60000, 60000, 8, 1, runs), kBmpShort});
        rows.push_back({"BMP RLE4 60000 x 60000 in 100 bytes of runs", 1, bmp(60000, 60000, 4, 2, runs), kBmpShort});
        // The bound admits what runs can really hold: 4000 x 4000 in runs of 255 decodes.
        std::vector<uint8_t> full;
        for (int row = 0; row < 4000; ++row) {
            for (int i = 0; i < 15; ++i) full.insert(full.end(), {255, 9});
            full.insert(full.end(), {175, 9, 0, 0});
        }
        rows.push_back({"BMP RLE8 4000 x 4000 held by its runs", 1, bmp(4000, 4000, 8, 1, full), nullptr});

        // TGA: an 18-byte header, then the pixels.
        const auto tga = [](uint8_t type, uint16_t width, uint16_t height, uint8_t depth, std::vector<uint8_t> tail) {
            std::vector<uint8_t> b(18, 0);
            b[2] = type;
            b[12] = static_cast<uint8_t>(width), b[13] = static_cast<uint8_t>(width >> 8);
            b[14] = static_cast<uint8_t>(height), b[15] = static_cast<uint8_t>(height >> 8);
            b[16] = depth;
            b.insert(b.end(), tail.begin(), tail.end());
            return b;
        };
        rows.push_back({"TGA uncompressed 65535 x 65535 x 32 in 100 bytes", 7,
                        tga(2, 65535, 65535, 32, std::vector<uint8_t>(82, 1)), "corrupted TGA"});
        // Run packets of 128 pixels, 5 bytes each: 65535 x 65535 would need 168 MB.
        std::vector<uint8_t> packets;
        for (int i = 0; i < 16; ++i) packets.insert(packets.end(), {0xFF, 1, 2, 3, 4});
        rows.push_back({"TGA RLE 65535 x 65535 x 32 in 100 bytes of packets", 7, tga(10, 65535, 65535, 32, packets),
                        "corrupted TGA"});

        // PCX: runs of 63 bytes in 2; 65535 x 65536 at 3 planes would need 409 MB of them.
        std::vector<uint8_t> pcx(128, 0);
        pcx[0] = 10, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
        pcx[8] = 0xFE, pcx[9] = pcx[10] = pcx[11] = 0xFF;
        pcx[65] = 3;
        pcx[66] = pcx[67] = 0xFF;
        for (int i = 0; i < 50; ++i) pcx.insert(pcx.end(), {0xFF, 7});
        rows.push_back({"PCX 65535 x 65536 x 3 planes in 228 bytes", 8, pcx, "corrupted PCX"});

        // WBMP: 268435455 x 96 in 7 bytes of header and nothing else.
        rows.push_back({"WBMP 268435455 x 96 in 7 bytes", 9, {0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x60},
                        "WBMP file too short for its picture"});

        // ICO: an entry of 256 x 256 x 32 that says it holds 60 bytes.
        std::vector<uint8_t> ico = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
        Put32(ico, 60);
        Put32(ico, 22);
        Put32(ico, 40);
        Put32(ico, 256);
        Put32(ico, 512);
        Put16(ico, 1);
        Put16(ico, 32);
        ico.resize(ico.size() + 24 + 20, 0);
        rows.push_back({"ICO entry 256 x 256 x 32 in 60 bytes", 5, ico, "ICO image too short for its size"});
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
