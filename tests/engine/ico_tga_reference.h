// Helpers shared by the ICO and TGA tests: reference pixels written by independent tools as
// netpbm files, the colour and opacity a decoded picture shows, and running those tools.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "support/netpbm.h"

namespace reference {

struct Rgba {
    uint8_t r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

// A picture as RGBA, top row first.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<Rgba> pixels;
    Rgba At(uint32_t x, uint32_t yFromTop) const { return pixels[yFromTop * width + x]; }
};

using testsupport::ReadText;
using testsupport::WriteFile;

// Reads P5, P6 and P7 files with a maxval of 255 (P7 with 1 to 5 channels: grey, grey and
// alpha, RGB, RGB and alpha, RGB and alpha and an icon's AND mask). A pixel that the AND
// mask hides counts as fully transparent. Fails the calling test on anything else.
inline Image ReadNetpbm(const std::string& path) {
    const testsupport::Netpbm file = testsupport::ReadNetpbm(path);
    EXPECT_TRUE(file.channels >= 1 && file.channels <= 5)
        << path << " is not a netpbm picture with maxval 255";
    if (file.channels < 1 || file.channels > 5) return {};
    Image image{file.width, file.height, {}};
    const uint32_t depth = file.channels;
    for (uint32_t y = 0; y < file.height; ++y)
        for (uint32_t x = 0; x < file.width; ++x) {
            const uint8_t* p = file.Pixel(x, y);
            if (depth <= 2)
                image.pixels.push_back({p[0], p[0], p[0], depth == 2 ? p[1] : uint8_t{255}});
            else if (depth == 3)
                image.pixels.push_back({p[0], p[1], p[2], 255});
            else
                image.pixels.push_back({p[0], p[1], p[2], depth == 5 && p[4] == 0 ? uint8_t{0} : p[3]});
        }
    return image;
}

// What a decoded picture shows at (x, y counted from the top): its colour, and as opacity
// the alpha plane, else 0 for the transparent index or transparent colour, else 255.
inline Rgba Shown(const Picture& p, int32_t x, int32_t yFromTop) {
    const int32_t y = static_cast<int32_t>(p.GetHeight()) - 1 - yFromTop;
    const RGBQUAD c = p.GetPixelColor(x, y, false);
    uint8_t a = 255;
    if (p.AlphaIsValid())
        a = p.AlphaGet(x, y);
    else if (p.GetTransIndex() >= 0 && p.GetBpp() <= 8)
        a = p.GetPixelIndex(x, y) == p.GetTransIndex() ? 0 : 255;
    else if (p.GetTransIndex() >= 0)
        a = c == p.GetTransColor() ? 0 : 255;
    return {c.rgbRed, c.rgbGreen, c.rgbBlue, a};
}

// Every pixel has the reference's opacity, and every pixel that is not fully transparent
// its colour (tools differ in what they keep under a transparent pixel).
inline void ExpectShows(const Picture& p, const Image& ref, const std::string& what) {
    ASSERT_TRUE(p.IsValid()) << what;
    ASSERT_EQ(p.GetWidth(), ref.width) << what;
    ASSERT_EQ(p.GetHeight(), ref.height) << what;
    int wrong = 0;
    for (uint32_t y = 0; y < ref.height; ++y)
        for (uint32_t x = 0; x < ref.width; ++x) {
            Rgba want = ref.At(x, y);
            Rgba got = Shown(p, static_cast<int32_t>(x), static_cast<int32_t>(y));
            if (want.a == 0) want.r = want.g = want.b = got.r = got.g = got.b = 0;
            if (got != want && wrong++ < 3)
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << " from the top) is " << got
                              << ", expected " << want;
        }
    EXPECT_EQ(wrong, 0) << what;
}

// The picture as the reference would hold it.
inline Image Snapshot(const Picture& p) {
    Image image{p.GetWidth(), p.GetHeight(), {}};
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            image.pixels.push_back(Shown(p, static_cast<int32_t>(x), static_cast<int32_t>(y)));
    return image;
}

// The full path of an installed program, or empty.
inline std::string Tool(const char* name) {
    const std::string command = std::string("command -v ") + name + " 2>/dev/null";
    std::string path;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        if (std::fgets(line, sizeof line, pipe)) path = line;
        pclose(pipe);
    }
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    return path;
}

inline bool RunTool(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

inline bool DecodeBytes(Picture& p, std::string bytes, uint32_t format) {
    MemoryStream stream(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    return p.Decode(&stream, format);
}

inline std::string EncodeBytes(Picture& p, uint32_t format) {
    MemoryStream stream;
    stream.Open();
    EXPECT_TRUE(p.Encode(&stream, format)) << p.GetLastError();
    return std::string(reinterpret_cast<const char*>(stream.buffer), static_cast<size_t>(stream.size));
}

// A decoded picture must survive being written out, which reads every pixel.
inline void ExpectWritable(Picture& p, const std::string& what) {
    if (!p.IsValid()) return;
    MemoryStream out;
    out.Open();
    EXPECT_TRUE(p.Encode(&out, ImageFormat::Bmp)) << what;
}

// A palette picture of distinct colours whose indexes vary in both directions.
inline Picture PalettePicture(uint32_t width, uint32_t height, uint32_t bpp) {
    Picture p(width, height, bpp, 0);
    const uint32_t n = p.GetNumColors();
    for (uint32_t i = 0; i < n; ++i)
        p.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 37 + 20),
                          static_cast<uint8_t>(255 - i * 11), static_cast<uint8_t>(i * 5));
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x)
            p.SetPixelIndex(x, y, static_cast<uint8_t>((x * 7 + y * 11 + x * y) % n));
    return p;
}

// A 24-bit picture, with an alpha plane that is 0 at the bottom-left pixel when asked.
inline Picture TrueColourPicture(uint32_t width, uint32_t height, bool withAlpha) {
    Picture p(width, height, 24, 0);
    if (withAlpha) p.AlphaCreate();
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x) {
            p.SetPixelColor(x, y,
                            RGBQUAD{static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 19),
                                    static_cast<uint8_t>(x * y), 0});
            p.AlphaSet(x, y, static_cast<uint8_t>(x * 11 + y * 3));
        }
    return p;
}

// A file name in a fresh private folder, removed with the folder.
class TempFile {
   public:
    explicit TempFile(const char* name) {
        char pattern[] = "/tmp/panelle-icotga-XXXXXX";
        dir_ = mkdtemp(pattern);
        path_ = dir_ + "/" + name;
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string Sibling(const char* name) const { return dir_ + "/" + name; }

   private:
    std::string dir_, path_;
};

// Saves the picture as `file` in `format`, then checks that our decoder, ImageMagick and
// netpbm show what was saved. `netpbm` is a shell command reading {in} and writing a
// netpbm file to {out}, or empty when the netpbm reader is not installed.
inline void ExpectReadBackEverywhere(Picture& p, uint32_t format, const TempFile& file, std::string netpbm,
                                     const std::string& what) {
    const Image want = Snapshot(p);
    ASSERT_TRUE(p.Save(file.path().c_str(), format)) << what << ": " << p.GetLastError();

    Picture back;
    ASSERT_TRUE(back.Load(file.path().c_str(), format)) << what;
    ExpectShows(back, want, what + " (ours)");

    // ImageMagick keeps a TGA file's origin as an orientation, which -auto-orient applies.
    const std::string convert = PANELLE_CONVERT;
    const std::string quoted = "'" + file.path() + "'";
    if (!convert.empty()) {
        const std::string out = file.Sibling("im.pam");
        ASSERT_TRUE(
            RunTool("'" + convert + "' " + quoted + " -auto-orient -depth 8 -alpha on pam:'" + out + "'"))
            << what;
        ExpectShows(p, ReadNetpbm(out), what + " (ImageMagick)");
    }
    if (!netpbm.empty()) {
        const std::string out = file.Sibling("nb.pam");
        for (size_t at; (at = netpbm.find("{in}")) != std::string::npos;) netpbm.replace(at, 4, quoted);
        for (size_t at; (at = netpbm.find("{out}")) != std::string::npos;)
            netpbm.replace(at, 5, "'" + out + "'");
        ASSERT_TRUE(RunTool(netpbm)) << what << ": " << netpbm;
        ExpectShows(p, ReadNetpbm(out), what + " (netpbm)");
    }
}

}  // namespace reference
