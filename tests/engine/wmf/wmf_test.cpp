#include "wmf/wmf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../codec_fixtures.h"
#include "metafile_builder.h"
#include "picture.h"
#include "stream.h"

namespace {

using metafile::Bytes;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/wmf/";

bool Decode(Picture& p, const Bytes& bytes) { return fixtures::DecodeBytes(p, bytes, ImageFormat::Wmf); }

// Decodes at a forced size, as the decoder's own interface allows.
bool DecodeAt(PictureWMF& p, Bytes bytes, uint32_t width, uint32_t height) {
    MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
    return p.Decode(&in, width, height);
}

// How far a rendering lies from a reference of the same size: the mean absolute
// difference of each channel, and, per channel, the largest difference that remains when
// each pixel is matched with the closest reference pixel within `reach` pixels.
struct Difference {
    double mean[3] = {0, 0, 0};
    int nearMax = 0;
    double shareOver64 = 0;  // pixels whose near difference exceeds 64
};

Difference Compare(const Picture& ours, const Picture& ref, int reach) {
    Difference d;
    const int w = static_cast<int>(ref.GetWidth()), h = static_cast<int>(ref.GetHeight());
    long over = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const RGBQUAD a = ours.GetPixelColor(x, y, false), b = ref.GetPixelColor(x, y, false);
            d.mean[0] += std::abs(a.rgbRed - b.rgbRed);
            d.mean[1] += std::abs(a.rgbGreen - b.rgbGreen);
            d.mean[2] += std::abs(a.rgbBlue - b.rgbBlue);
            int best = 255;
            for (int dy = -reach; dy <= reach; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    if (!ref.IsInside(x + dx, y + dy)) continue;
                    const RGBQUAD r = ref.GetPixelColor(x + dx, y + dy, false);
                    best = std::min(
                        best, std::max({std::abs(a.rgbRed - r.rgbRed), std::abs(a.rgbGreen - r.rgbGreen),
                                        std::abs(a.rgbBlue - r.rgbBlue)}));
                }
            d.nearMax = std::max(d.nearMax, best);
            if (best > 64) ++over;
        }
    for (double& m : d.mean) m /= static_cast<double>(w) * h;
    d.shareOver64 = static_cast<double>(over) / (static_cast<double>(w) * h);
    return d;
}

}  // namespace

// Metafiles of LibreOffice Draw and Inkscape against the renderings of the same programs.
// Tolerances: the mean difference of each channel stays within 10 of 255. Pens are centred
// on pixels as the system's player centres them, while Inkscape draws exact geometry and
// LibreOffice's page is cut to whole pixels, so an edge may lie half a pixel or a pixel
// apart: matched within one pixel, an anti-aliased edge pixel then differs by at most half
// the contrast across the edge, and no pixel of the drawings of shapes and bitmaps may
// differ by more than 128. Glyphs come from different rasterisers with their own hinting,
// and text without advances (LibreOffice's WMF) is laid out by our font's advances, so for
// text no more than 1% of the pixels may differ by more than 64 when matched within two
// pixels.
TEST(Wmf, FilesOfIndependentWritersMatchTheirRenderings) {
    const struct {
        const char* file;
        const char* reference;
        bool text;
    } rows[] = {
        {"lo-scene.wmf", "lo-scene-wmf.png", false},     {"lo-scene.emf", "lo-scene-emf.png", false},
        {"ink-scene.wmf", "ink-scene-wmf.png", false},   {"ink-scene.emf", "ink-scene-emf.png", false},
        {"ink-extras.emf", "ink-extras-emf.png", false}, {"lo-text.wmf", "lo-text-wmf.png", true},
        {"lo-text.emf", "lo-text-emf.png", true},        {"ink-text.wmf", "ink-text-wmf.png", true},
        {"ink-text.emf", "ink-text-emf.png", true},
    };
    for (const auto& row : rows) {
        Picture ref;
        ASSERT_TRUE(ref.Load((kData + row.reference).c_str(), ImageFormat::Png)) << row.reference;
        PictureWMF ours;
        ASSERT_TRUE(DecodeAt(ours, fixtures::ReadFile(kData + row.file), ref.GetWidth(), ref.GetHeight()))
            << row.file << ": " << ours.GetLastError();
        ASSERT_EQ(ours.GetWidth(), ref.GetWidth()) << row.file;
        ASSERT_EQ(ours.GetHeight(), ref.GetHeight()) << row.file;
        const Difference d = Compare(ours, ref, row.text ? 2 : 1);
        for (double m : d.mean) EXPECT_LE(m, 10.0) << row.file;
        if (row.text) {
            EXPECT_LE(d.shareOver64, 0.01) << row.file;
        } else {
            EXPECT_LE(d.nearMax, 128) << row.file;
        }
    }
}

// At their own size the pictures take the placeable box at 96 pixels per inch, or the
// frame of the enhanced metafile's header (hundredths of a millimetre) at 96 pixels per
// inch, rounded.
TEST(Wmf, IndependentFilesDecodeAtTheirOwnSize) {
    for (const char* name : {"lo-scene.wmf", "ink-scene.wmf", "lo-text.wmf"}) {
        const Bytes file = fixtures::ReadFile(kData + name);
        const auto s16 = [&](size_t at) { return static_cast<int16_t>(file[at] | (file[at + 1] << 8)); };
        Picture p;
        ASSERT_TRUE(p.Load((kData + name).c_str(), ImageFormat::Unknown)) << name << ": " << p.GetLastError();
        EXPECT_EQ(static_cast<int>(p.GetWidth()), (s16(10) - s16(6)) * 96 / s16(14)) << name;
        EXPECT_EQ(static_cast<int>(p.GetHeight()), (s16(12) - s16(8)) * 96 / s16(14)) << name;
        EXPECT_EQ(p.GetBpp(), 24) << name;
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Wmf)) << name;
    }
    for (const char* name : {"lo-scene.emf", "lo-text.emf", "ink-scene.emf", "ink-text.emf"}) {
        const Bytes file = fixtures::ReadFile(kData + name);
        const auto s32 = [&](size_t at) {
            return static_cast<int32_t>(file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
                                        (file[at + 3] << 24));
        };
        Picture p;
        ASSERT_TRUE(p.Load((kData + name).c_str(), ImageFormat::Unknown)) << name << ": " << p.GetLastError();
        EXPECT_EQ(static_cast<int>(p.GetWidth()), ((s32(32) - s32(24)) * 96 + 1270) / 2540) << name;
        EXPECT_EQ(static_cast<int>(p.GetHeight()), ((s32(36) - s32(28)) * 96 + 1270) / 2540) << name;
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Wmf)) << name;
    }
}

TEST(Wmf, SizeComesFromTheBoxAndTheLargestSideIs4000) {
    const struct {
        int right, bottom, unitsPerInch;
        uint32_t width, height;
    } rows[] = {
        {1440, 720, 1440, 96, 48},
        {14400, 7200, 1440, 960, 480},
        {30000, 15000, 300, 4000, 2000},  // 9600 x 4800 at its own size
        {3000, 9000, 96, 1333, 4000},
    };
    for (const auto& row : rows) {
        Picture p;
        ASSERT_TRUE(Decode(p, metafile::Wmf().Build(0, 0, row.right, row.bottom, row.unitsPerInch)))
            << row.right << ": " << p.GetLastError();
        EXPECT_EQ(p.GetWidth(), row.width) << row.right;
        EXPECT_EQ(p.GetHeight(), row.height) << row.right;
    }
    for (const auto& bounds : {RECT{0, 0, 199, 99}, RECT{-50, 20, 149, 119}}) {
        Picture p;
        ASSERT_TRUE(Decode(p, metafile::Emf().Build(bounds.left, bounds.top, bounds.right, bounds.bottom)))
            << p.GetLastError();
        EXPECT_EQ(p.GetWidth(), 199u);
        EXPECT_EQ(p.GetHeight(), 99u);
    }
}

// Inkscape records its enhanced metafiles for a 1200 pixels-per-inch reference device, so
// the bounds of a 300 x 200 pixel drawing span 3779 x 2503 device pixels; its frame of
// 79.99 x 52.98 mm is the drawing's size. The header here copies such a file's fields: no
// tool on the system writes enhanced metafiles, and the frame and bounds are all that
// count. A frame without area gives way to the bounds.
TEST(Wmf, EnhancedMetafileSizeComesFromTheFrame) {
    const auto withHeader = [](RECT bounds, RECT frame) {
        Bytes file = metafile::Emf().Build(0, 0, 10, 10);
        const auto put = [&](size_t at, int32_t v) {
            for (int k = 0; k < 4; ++k)
                file[at + k] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
        };
        put(8, bounds.left), put(12, bounds.top), put(16, bounds.right), put(20, bounds.bottom);
        put(24, frame.left), put(28, frame.top), put(32, frame.right), put(36, frame.bottom);
        put(72, 10205), put(76, 13181), put(80, 216), put(84, 279);  // the reference device
        return file;
    };
    const struct {
        RECT bounds, frame;
        uint32_t width, height;
    } rows[] = {
        {{0, 0, 3779, 2503}, {0, 0, 7999, 5298}, 302, 200},        // Inkscape, 300 x 200 px
        {{0, 0, 3023, 2030}, {0, 0, 6399, 4299}, 242, 162},        // Inkscape, 240 x 160 px
        {{0, 0, 3779, 2503}, {-3999, 100, 4000, 5398}, 302, 200},  // the frame need not start at 0
        {{0, 0, 199, 99}, {0, 0, 0, 0}, 199, 99},                  // no frame: the bounds
        {{0, 0, 199, 99}, {0, 0, 7999, 0}, 199, 99},
    };
    for (const auto& row : rows) {
        Picture p;
        ASSERT_TRUE(Decode(p, withHeader(row.bounds, row.frame)))
            << row.frame.right << ": " << p.GetLastError();
        EXPECT_EQ(p.GetWidth(), row.width) << row.frame.right;
        EXPECT_EQ(p.GetHeight(), row.height) << row.frame.right;
    }
    Picture inverted;
    EXPECT_FALSE(Decode(inverted, withHeader({0, 0, 10, 10}, {0, 0, -5000, 4000})));
    EXPECT_STREQ(inverted.GetLastError(), "empty WMF");
}

TEST(Wmf, ForcedSizeReplacesTheComputedOneBeforeTheLimit) {
    PictureWMF p;
    ASSERT_TRUE(DecodeAt(p, metafile::Wmf().Build(0, 0, 1440, 720, 1440), 300, 0));
    EXPECT_EQ(p.GetWidth(), 300u);
    EXPECT_EQ(p.GetHeight(), 48u);
    ASSERT_TRUE(DecodeAt(p, metafile::Wmf().Build(0, 0, 1440, 720, 1440), 8000, 100));
    EXPECT_EQ(p.GetWidth(), 4000u);
    EXPECT_EQ(p.GetHeight(), 50u);
}

TEST(Wmf, WhatIsNeitherKindIsCorrupted) {
    const Bytes good = metafile::Wmf().Build(0, 0, 1440, 720, 1440);
    const auto with = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    Bytes emfBadSignature = metafile::Emf().Build(0, 0, 10, 10);
    emfBadSignature[40] = 'X';
    Bytes emfShortHeader = metafile::Emf().Build(0, 0, 10, 10);
    emfShortHeader.resize(80);
    const struct {
        const char* what;
        Bytes file;
    } rows[] = {
        {"wrong checksum", metafile::Wmf().Build(0, 0, 1440, 720, 1440, 16, -1, 0x1234)},
        {"no units per inch", metafile::Wmf().Build(0, 0, 1440, 720, 0)},
        {"2541 units per inch", metafile::Wmf().Build(0, 0, 1440, 720, 2541)},
        {"wrong key", with(0, 0xD6)},
        {"metafile type 3", with(22, 3)},
        {"size past the stream", metafile::Wmf().Build(0, 0, 1440, 720, 1440, 16, 100000)},
        {"size short of its header", metafile::Wmf().Build(0, 0, 1440, 720, 1440, 16, 4)},
        {"placeable header cut", Bytes(good.begin(), good.begin() + 21)},
        {"metafile header cut", Bytes(good.begin(), good.begin() + 30)},
        {"nothing", Bytes{}},
        {"EMF with a wrong signature", emfBadSignature},
        {"EMF header cut", emfShortHeader},
    };
    for (const auto& row : rows) {
        PictureWMF p;
        MemoryStream in(const_cast<uint8_t*>(row.file.data()), static_cast<int32_t>(row.file.size()));
        EXPECT_FALSE(p.Decode(&in)) << row.what;
        EXPECT_STREQ(p.GetLastError(), "corrupted WMF") << row.what;
    }
}

TEST(Wmf, EscapeCancelsAndEmptyBoxesAreRefused) {
    for (int32_t escape : {-1, 1}) {
        Picture p;
        p.SetEscape(escape);
        EXPECT_FALSE(Decode(p, metafile::Wmf().Build(0, 0, 1440, 720, 1440))) << escape;
        EXPECT_STREQ(p.GetLastError(), "Cancelled") << escape;
    }
    const struct {
        const char* what;
        Bytes file;
        const char* error;
    } rows[] = {
        {"no width", metafile::Wmf().Build(100, 0, 100, 720, 1440), "empty WMF"},
        {"narrower than a pixel", metafile::Wmf().Build(0, 0, 10, 720, 1440), "empty WMF"},
        {"EMF of no height", metafile::Emf().Build(0, 50, 10, 50), "empty WMF"},
        {"right left of left", metafile::Wmf().Build(1440, 0, 0, 720, 1440), "empty WMF"},
        // 4000 x 0.4 pixels: the limit leaves no row, which the container refuses.
        {"flattened by the limit", metafile::Emf().Build(0, 0, 20000, 2),
         "Picture::Create : width and height must be greater than zero"},
    };
    for (const auto& row : rows) {
        Picture p;
        EXPECT_FALSE(Decode(p, row.file)) << row.what;
        EXPECT_STREQ(p.GetLastError(), row.error) << row.what;
    }
}

TEST(Wmf, SavingIsNotSupported) {
    Picture p(4, 4, 24, 0);
    const fixtures::TempFile file(Bytes{});
    EXPECT_FALSE(p.Save(file.path().c_str(), ImageFormat::Wmf));
    EXPECT_STREQ(p.GetLastError(), "Save WMF not supported");
    p.SetLastError("before");
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Wmf));
    EXPECT_STREQ(p.GetLastError(), "before");
}
