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
#include <iterator>
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

    // TIFF, JPEG 2000, PNM and Sun raster: strips and raw rows must be in the file, coded
    // strips need the bytes for their largest expansion, and every declared size is held to
    // the picture cap (OpenJPEG's four bytes per sample included).
    {
        const char* tifShort = "Corrupted TIFF file!";
        const char* jasShort = "error: cannot load image data";
        // A little-endian TIFF of one grey strip of 64 bytes that declares a width x height page.
        const auto tiff = [](uint32_t width, uint32_t height, uint16_t compression, bool tiled) {
            std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
            const uint16_t tags[][2] = {{256, 4},
                                        {257, 4},
                                        {258, 3},
                                        {259, 3},
                                        {262, 3},
                                        {uint16_t(tiled ? 322 : 273), 4},
                                        {uint16_t(tiled ? 323 : 278), 4},
                                        {uint16_t(tiled ? 324 : 279), 4},
                                        {uint16_t(tiled ? 325 : 0), 4}};
            const uint32_t count = tiled ? 9 : 8;
            const uint32_t data = 8 + 2 + 12 * count + 4;
            // tiles: width, length, offsets, byte counts; strips: offsets, rows, byte counts
            const uint32_t values[] = {width,
                                       height,
                                       8,
                                       compression,
                                       1,
                                       tiled ? 256u : data,
                                       tiled ? 256u : height,
                                       tiled ? data : 64u,
                                       64};
            Put16(b, count);
            for (uint32_t i = 0; i < count; ++i) {
                Put16(b, tags[i][0]), Put16(b, tags[i][1]), Put32(b, 1);
                if (tags[i][1] == 3)
                    Put16(b, values[i]), Put16(b, 0);
                else
                    Put32(b, values[i]);
            }
            Put32(b, 0);
            b.resize(b.size() + 64, 0x55);
            return b;
        };
        rows.push_back({"TIFF raw strip", 6, tiff(7000, 7000, 1, false), tifShort});
        rows.push_back({"TIFF LZW strip", 6, tiff(7000, 7000, 5, false), tifShort});
        rows.push_back({"TIFF PackBits strip", 6, tiff(7000, 7000, 32773, false), tifShort});
        rows.push_back({"TIFF Deflate strip", 6, tiff(7000, 7000, 8, false), tifShort});
        rows.push_back({"TIFF raw tiles", 6, tiff(7000, 7000, 1, true), "Corrupted tiled TIFF file!"});
        rows.push_back(
            {"TIFF beyond the cap", 6, tiff(30000, 30000, 4, false), "PictureTIF can't create image"});

        const auto text = [](const std::string& t, size_t padding) {
            std::vector<uint8_t> b(t.begin(), t.end());
            b.resize(b.size() + padding, 0x41);
            return b;
        };
        rows.push_back({"PNM P6 huge header", 14, text("P6\n65535 65535\n255\n", 100), jasShort});
        rows.push_back({"PNM P6 within the cap", 14, text("P6\n3000 3000\n255\n", 100), jasShort});
        rows.push_back({"PNM P5 16-bit", 14, text("P5 3000 3000 65535\n", 17999999), jasShort});
        rows.push_back({"PNM P3 plain", 14, text("P3 3000 3000 255\n", 1000), jasShort});

        // A Sun raster header, big-endian, then the given number of data bytes.
        const auto ras = [](uint32_t width, uint32_t height, uint32_t depth, uint32_t type, size_t bytes) {
            std::vector<uint8_t> b;
            for (uint32_t v : {0x59A66A95u, width, height, depth, 0u, type, 0u, 0u})
                b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
            b.resize(b.size() + bytes, 0x80);
            return b;
        };
        rows.push_back({"RAS raw 24-bit", 15, ras(4000, 3000, 24, 1, 1000), jasShort});
        // 0x80 0xFF 0x80 runs: 256 bytes from three, at most 86 per byte
        rows.push_back({"RAS byte-encoded", 15, ras(4000, 3000, 24, 2, 30000), jasShort});
        rows.push_back({"RAS beyond the cap", 15, ras(65535, 65535, 32, 1, 100), jasShort});

        // A JPEG 2000 code stream that ends after its SIZ marker segment, bare or in a file.
        const auto siz = [](uint32_t width, uint32_t height, uint32_t components) {
            std::vector<uint8_t> b = {0xFF, 0x4F, 0xFF, 0x51};
            const auto u16 = [&](uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); };
            const auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
            u16(38 + 3 * components), u16(0);
            u32(width), u32(height), u32(0), u32(0), u32(width), u32(height), u32(0), u32(0);
            u16(components);
            for (uint32_t c = 0; c < components; ++c) b.insert(b.end(), {7, 1, 1});
            return b;
        };
        const auto jp2 = [](const std::vector<uint8_t>& stream) {
            std::vector<uint8_t> b = {0,    0,   0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87,
                                      0x0A, 0,   0, 0,  20,  'f', 't', 'y', 'p',  'j',  'p',
                                      '2',  ' ', 0, 0,  0,   0,   'j', 'p', '2',  ' '};
            const uint32_t length = static_cast<uint32_t>(stream.size() + 8);
            b.insert(b.end(), {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                               uint8_t(length), 'j', 'p', '2', 'c'});
            b.insert(b.end(), stream.begin(), stream.end());
            return b;
        };
        rows.push_back({"JPC beyond the cap", 12, siz(20000, 20000, 3), jasShort});
        rows.push_back({"JP2 beyond the cap", 11, jp2(siz(20000, 20000, 3)), jasShort});
        rows.push_back({"JPC header only", 12, siz(2000, 2000, 3), jasShort});
    }

    // ---- JPEG and PNG: small files made by the engine's own encoders, their headers then
    // made to declare far more than their data holds; and real files that compress as far
    // as their coding allows, which must still load.
    {
        const auto encoded = [](uint32_t format, uint32_t w, uint32_t h, uint32_t bpp, uint32_t option) {
            Picture p(w, h, bpp, 0);
            if (bpp == 8) p.SetGrayPalette();
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < p.GetEffWidth(); ++x)
                    p.GetBits(y)[x] = bpp == 8 && w > 256 ? 0 : static_cast<uint8_t>(x * 7 + y * 13);
            p.SetCodecOption(option, format);
            MemoryStream out;
            out.Open();
            p.Encode(&out, format);
            return std::vector<uint8_t>(out.buffer, out.buffer + out.size);
        };
        const auto put32be = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (24 - 8 * i));
        };
        // A JPEG frame header of the given marker, resized; the file cut after `keep` bytes.
        const auto jpegClaiming = [](std::vector<uint8_t> b, uint8_t sof, uint16_t w, uint16_t h,
                                     size_t keep) {
            for (size_t i = 0; i + 9 < b.size(); ++i)
                if (b[i] == 0xFF && b[i + 1] == sof) {
                    b[i + 5] = uint8_t(h >> 8), b[i + 6] = uint8_t(h), b[i + 7] = uint8_t(w >> 8),
                          b[i + 8] = uint8_t(w);
                    break;
                }
            if (keep < b.size()) b.resize(keep);
            return b;
        };
        const auto crc = [](const uint8_t* p, size_t n) {
            uint32_t c = 0xFFFFFFFF;
            for (size_t i = 0; i < n; ++i) {
                c ^= p[i];
                for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            }
            return ~c;
        };
        // IHDR is the first chunk: its data at byte 16, its CRC at byte 29.
        const auto pngClaiming = [&](std::vector<uint8_t> b, uint32_t w, uint32_t h) {
            put32be(b, 16, w);
            put32be(b, 20, h);
            put32be(b, 29, crc(&b[12], 17));
            return b;
        };
        const uint32_t jpg = ImageFormat::Jpg, png = ImageFormat::Png;
        constexpr uint32_t kProgressive = 0x10;  // the JPEG encoder's progressive option bit
        const std::vector<uint8_t> baseline = encoded(jpg, 64, 64, 24, 0);
        const std::vector<uint8_t> progressive = encoded(jpg, 64, 64, 24, kProgressive);
        const char* kJpegShort = "JPEG file too short for its picture";
        const char* kPngShort = "PNG file too short for its picture";
        const char* kCap = "PICTURE_MAX_MEMORY exceeded";
        rows.push_back({"JPEG baseline, truncated, 20000 x 20000", jpg,
                        jpegClaiming(baseline, 0xC0, 20000, 20000, 673), kCap});
        rows.push_back({"JPEG baseline, truncated, 4000 x 4000", jpg,
                        jpegClaiming(baseline, 0xC0, 4000, 4000, 673), kJpegShort});
        rows.push_back({"JPEG progressive, truncated, 20000 x 20000", jpg,
                        jpegClaiming(progressive, 0xC2, 20000, 20000, 673), kCap});
        rows.push_back({"JPEG progressive, truncated, 4000 x 4000", jpg,
                        jpegClaiming(progressive, 0xC2, 4000, 4000, 673), kJpegShort});
        rows.push_back({"JPEG progressive, whole file, 3000 x 3000", jpg,
                        jpegClaiming(progressive, 0xC2, 3000, 3000, SIZE_MAX), kJpegShort});
        std::ifstream flat(std::string(PANELLE_TEST_DATA) + "/jpg/flat-white-progressive.jpg",
                           std::ios::binary);
        rows.push_back(
            {"JPEG progressive flat white page 2048 x 2048 (cjpeg)", jpg,
             std::vector<uint8_t>(std::istreambuf_iterator<char>(flat), std::istreambuf_iterator<char>()),
             nullptr});

        const std::vector<uint8_t> small = encoded(png, 23, 19, 24, 0);
        rows.push_back({"PNG huge IHDR, 20000 x 20000", png, pngClaiming(small, 20000, 20000), kCap});
        rows.push_back(
            {"PNG IHDR 4000 x 4000 in a tiny file", png, pngClaiming(small, 4000, 4000), kPngShort});
        rows.push_back(
            {"PNG IHDR 1 x 10000000 in a tiny file", png, pngClaiming(small, 1, 10000000), kPngShort});
        // Image data that inflates about a thousandfold: a real file, loaded within the cap.
        rows.push_back({"PNG zlib-packed 4000 x 4000 grey", png, encoded(png, 4000, 4000, 8, 0), nullptr});
        // 20000 text chunks before the image data: skipped, not kept.
        std::vector<uint8_t> chatty(small.begin(), small.begin() + 33);
        std::vector<uint8_t> text = {0,   0,   0,   8,   't', 'E', 'X', 't', 'C', 'o',
                                     'm', 'm', 'e', 'n', 't', 0,   0,   0,   0,   0};
        put32be(text, 16, crc(&text[4], 12));
        for (int i = 0; i < 20000; ++i) chatty.insert(chatty.end(), text.begin(), text.end());
        chatty.insert(chatty.end(), small.begin() + 33, small.end());
        rows.push_back({"PNG with 20000 text chunks", png, chatty, nullptr});
    }

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
        rows.push_back({"GIF frame 65535 x 65535 on a screen of no size, which grows to it", ImageFormat::Gif,
                        frame, "GIF: image data too short for the screen it declares"});
        std::vector<uint8_t> many = gif(1024, 1024);
        for (int i = 0; i < 70000; ++i) image(many, 1024, 1024);
        many.push_back(0x3B);
        rows.push_back({"GIF 70000 frames of a megapixel", ImageFormat::Gif, many, nullptr});
    }

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
        rows.push_back(
            {"BMP RLE8 60000 x 60000 in 100 bytes of runs", 1, bmp(60000, 60000, 8, 1, runs), kBmpShort});
        rows.push_back(
            {"BMP RLE4 60000 x 60000 in 100 bytes of runs", 1, bmp(60000, 60000, 4, 2, runs), kBmpShort});
        // The bound admits what runs can really hold: 4000 x 4000 in runs of 255 decodes.
        std::vector<uint8_t> full;
        for (int row = 0; row < 4000; ++row) {
            for (int i = 0; i < 15; ++i) full.insert(full.end(), {255, 9});
            full.insert(full.end(), {175, 9, 0, 0});
        }
        rows.push_back({"BMP RLE8 4000 x 4000 held by its runs", 1, bmp(4000, 4000, 8, 1, full), nullptr});

        // TGA: an 18-byte header, then the pixels.
        const auto tga = [](uint8_t type, uint16_t width, uint16_t height, uint8_t depth,
                            std::vector<uint8_t> tail) {
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
        rows.push_back({"TGA RLE 65535 x 65535 x 32 in 100 bytes of packets", 7,
                        tga(10, 65535, 65535, 32, packets), "corrupted TGA"});

        // PCX: runs of 63 bytes in 2; 65535 x 65536 at 3 planes would need 409 MB of them.
        std::vector<uint8_t> pcx(128, 0);
        pcx[0] = 10, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
        pcx[8] = 0xFE, pcx[9] = pcx[10] = pcx[11] = 0xFF;
        pcx[65] = 3;
        pcx[66] = pcx[67] = 0xFF;
        for (int i = 0; i < 50; ++i) pcx.insert(pcx.end(), {0xFF, 7});
        rows.push_back({"PCX 65535 x 65536 x 3 planes in 228 bytes", 8, pcx, "corrupted PCX"});

        // WBMP: 268435455 x 96 in 7 bytes of header and nothing else.
        rows.push_back({"WBMP 268435455 x 96 in 7 bytes",
                        9,
                        {0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x60},
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
