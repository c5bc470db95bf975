// Helpers shared by the JPEG and EXIF tests: fixture files, netpbm reference pixels and
// running the independent tools.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "support/netpbm.h"

namespace jpgtest {

inline std::string Fixture(const std::string& name) {
    return std::string(PANELLE_TEST_DATA) + "/jpg/" + name;
}

using testsupport::ReadFile;
using testsupport::WriteFile;

// A netpbm picture (P5 grey or P6 colour, maxval 255), top row first.
using Pnm = testsupport::Netpbm;

inline Pnm ParsePnm(const std::vector<uint8_t>& bytes) { return testsupport::ParseNetpbm(bytes); }
inline Pnm ReadPnm(const std::string& path) { return testsupport::ReadNetpbm(path); }

// Decodes JPEG bytes through the dispatch, after `setup` has adjusted the picture.
template <class Setup>
bool DecodeJpeg(Picture& pic, std::vector<uint8_t> bytes, Setup setup) {
    setup(pic);
    MemoryStream ms(bytes.data(), static_cast<int32_t>(bytes.size()));
    return pic.Decode(&ms, ImageFormat::Jpg);
}

inline bool DecodeJpeg(Picture& pic, const std::vector<uint8_t>& bytes) {
    return DecodeJpeg(pic, bytes, [](Picture&) {});
}

inline std::vector<uint8_t> EncodeJpeg(Picture& pic) {
    MemoryStream ms;
    ms.Open();
    if (!pic.Encode(&ms, ImageFormat::Jpg)) return {};
    return std::vector<uint8_t>(ms.buffer, ms.buffer + ms.Size());
}

// Fails the test unless the picture shows exactly the reference pixels: 24-bit blue, green,
// red against P6, or 8-bit indices of the identity grey ramp against P5. `tolerance` allows
// that much difference per sample.
inline void ExpectPixels(const Picture& pic, const Pnm& ref, int tolerance = 0) {
    ASSERT_TRUE(pic.IsValid());
    ASSERT_GT(ref.channels, 0u);
    ASSERT_EQ(pic.GetWidth(), ref.width);
    ASSERT_EQ(pic.GetHeight(), ref.height);
    if (ref.channels == 1) {
        ASSERT_EQ(pic.GetBpp(), 8);
        ASSERT_TRUE(pic.IsGrayScale());
    } else {
        ASSERT_EQ(pic.GetBpp(), 24);
    }
    int64_t bad = 0;
    for (uint32_t yTop = 0; yTop < ref.height; ++yTop) {
        const uint8_t* row = pic.GetBits(ref.height - 1 - yTop);
        for (uint32_t x = 0; x < ref.width; ++x) {
            const uint8_t* want = ref.Pixel(x, yTop);
            if (ref.channels == 1) {
                if (std::abs(row[x] - want[0]) > tolerance) ++bad;
            } else {
                const uint8_t* got = row + 3 * x;
                if (std::abs(got[2] - want[0]) > tolerance || std::abs(got[1] - want[1]) > tolerance ||
                    std::abs(got[0] - want[2]) > tolerance)
                    ++bad;
            }
        }
    }
    EXPECT_EQ(bad, 0) << "pixels differing from the reference";
}

// A picture holding the reference pixels: 24-bit for P6, 8-bit identity grey for P5.
inline void FromPnm(Picture& pic, const Pnm& ref) {
    ASSERT_TRUE(pic.Create(ref.width, ref.height, ref.channels == 1 ? 8 : 24, 0));
    if (ref.channels == 1) {
        RGBQUAD* pal = pic.GetPalette();
        for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
    for (uint32_t yTop = 0; yTop < ref.height; ++yTop) {
        uint8_t* row = pic.GetBits(ref.height - 1 - yTop);
        for (uint32_t x = 0; x < ref.width; ++x) {
            const uint8_t* s = ref.Pixel(x, yTop);
            if (ref.channels == 1)
                row[x] = s[0];
            else
                row[3 * x] = s[2], row[3 * x + 1] = s[1], row[3 * x + 2] = s[0];
        }
    }
}

// exiftool's reading of a fixture ("[Group] Name: value" per line), keyed "Group:Name", or
// "Name" without the group.
inline std::map<std::string, std::string> ExiftoolTags(const std::string& name, bool withGroup = true) {
    std::map<std::string, std::string> tags;
    const auto bytes = ReadFile(Fixture(name));
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        const size_t close = line.find("] "), colon = line.find(": ");
        if (line.empty() || line[0] != '[' || close == std::string::npos || colon == std::string::npos)
            continue;
        const std::string group = withGroup ? line.substr(1, close - 1) + ":" : "";
        tags[group + line.substr(close + 2, colon - close - 2)] = line.substr(colon + 2);
    }
    return tags;
}

// Path of an installed tool, or empty.
inline std::string Tool(const char* name) {
    std::string cmd = std::string("command -v ") + name + " 2>/dev/null";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// Runs a shell command and returns its standard output.
inline std::vector<uint8_t> RunTool(const std::string& cmd) {
    std::vector<uint8_t> out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
        pclose(p);
    }
    return out;
}

inline std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/panelle-" + std::to_string(getpid()) + "-" + name;
}

// The bytes of a JPEG from its first section after the APP0 (JFIF) segment on; the part two
// files written with the same settings but different densities share.
inline std::vector<uint8_t> AfterJfif(const std::vector<uint8_t>& jpeg) {
    if (jpeg.size() < 6 || jpeg[2] != 0xFF || jpeg[3] != 0xE0) return jpeg;
    const size_t next = 4 + ((jpeg[4] << 8) | jpeg[5]);
    return next <= jpeg.size()
               ? std::vector<uint8_t>(jpeg.begin() + static_cast<std::ptrdiff_t>(next), jpeg.end())
               : jpeg;
}

}  // namespace jpgtest
