// Helpers for codec tests that compare with independent tools: whole files, the pixels of
// netpbm files (PBM P4, PPM P6 and PAM P7 with maxval 255), the output of a tool, and
// decoding from and encoding to bytes in memory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "support/netpbm.h"

namespace fixtures {

using testsupport::Bytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

inline bool DecodeBytes(Picture& p, Bytes bytes, uint32_t format) {
    MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
    return p.Decode(&in, format);
}

// The encoded file, or nothing when encoding fails.
inline Bytes EncodeBytes(Picture& p, uint32_t format) {
    MemoryStream out;
    out.Open();
    if (!p.Encode(&out, format)) return {};
    const uint8_t* data = out.GetBuffer(false);
    return Bytes(data, data + out.Size());
}

// Red, green, blue and alpha of every pixel, top row first; alpha is 255 in files without it.
struct Image {
    int width = 0, height = 0;
    bool hasAlpha = false;
    Bytes rgba;
};

// The one picture of a PBM, PPM or PAM file (grey, RGB or RGBA); an empty image otherwise.
inline Image ParseNetpbm(const Bytes& file) {
    const testsupport::Netpbm pnm = testsupport::ParseNetpbm(file);
    if (pnm.channels != 1 && pnm.channels != 3 && pnm.channels != 4) return Image{};
    Image image;
    image.width = static_cast<int>(pnm.width);
    image.height = static_cast<int>(pnm.height);
    image.hasAlpha = pnm.channels == 4;
    for (uint32_t y = 0; y < pnm.height; ++y)
        for (uint32_t x = 0; x < pnm.width; ++x) {
            const uint8_t* p = pnm.Pixel(x, y);
            if (pnm.channels == 1)
                image.rgba.insert(image.rgba.end(), {p[0], p[0], p[0], 255});
            else
                image.rgba.insert(image.rgba.end(),
                                  {p[0], p[1], p[2], pnm.channels == 4 ? p[3] : uint8_t{255}});
        }
    return image;
}

// Standard output of a command, or nothing when the tool is not installed.
inline Bytes ToolOutput(const std::string& tool, const std::string& arguments) {
    if (tool.empty() || std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) return {};
    Bytes out;
    if (FILE* pipe = popen((tool + " " + arguments + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.insert(out.end(), buffer, buffer + n);
        pclose(pipe);
    }
    return out;
}

// A temporary file holding the given bytes, removed with the object.
class TempFile {
   public:
    explicit TempFile(const Bytes& bytes) {
        char pattern[] = "/tmp/panelle-test-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
        WriteFile(path_, bytes);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

// Every pixel of the picture has the colour of the reference, and the alpha plane (which
// exists exactly when the reference has alpha) its alpha.
inline void ExpectPixels(const Picture& p, const Image& ref, const std::string& what) {
    ASSERT_EQ(static_cast<int>(p.GetWidth()), ref.width) << what;
    ASSERT_EQ(static_cast<int>(p.GetHeight()), ref.height) << what;
    ASSERT_EQ(ref.rgba.size(), static_cast<size_t>(ref.width) * ref.height * 4) << what;
    ASSERT_EQ(p.AlphaIsValid(), ref.hasAlpha) << what;
    int wrong = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t* want = &ref.rgba[(static_cast<size_t>(y) * ref.width + x) * 4];
            const int row = ref.height - 1 - y;  // picture rows count from the bottom
            const RGBQUAD got = p.GetPixelColor(x, row, false);
            const bool same = got.rgbRed == want[0] && got.rgbGreen == want[1] && got.rgbBlue == want[2] &&
                              (!ref.hasAlpha || p.AlphaGet(x, row) == want[3]);
            if (!same && wrong++ < 3) ADD_FAILURE() << what << ": pixel " << x << "," << y << " differs";
        }
    EXPECT_EQ(wrong, 0) << what;
}

}  // namespace fixtures
