#include "pcx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "codec_fixtures.h"
#include "picture.h"
#include "stream.h"

namespace {

using fixtures::Bytes;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/pcx/";

bool Decode(Picture& p, const Bytes& bytes) { return fixtures::DecodeBytes(p, bytes, ImageFormat::Pcx); }
Bytes Encode(Picture& p) { return fixtures::EncodeBytes(p, ImageFormat::Pcx); }

// The reference pixels made next to each fixture: NAME.pam for pictures with alpha.
fixtures::Image Reference(const std::string& name, bool alpha) {
    return fixtures::ParseNetpbm(fixtures::ReadFile(kData + name + (alpha ? ".pam" : ".ppm")));
}

// A 128-byte header followed by the given data.
Bytes File(int bits, int planes, int width, int height, int bytesPerLine, const Bytes& data) {
    Bytes f(128 + data.size(), 0);
    f[0] = 10, f[1] = 5, f[2] = 1, f[3] = static_cast<uint8_t>(bits);
    f[8] = static_cast<uint8_t>(width - 1), f[9] = static_cast<uint8_t>((width - 1) >> 8);
    f[10] = static_cast<uint8_t>(height - 1), f[11] = static_cast<uint8_t>((height - 1) >> 8);
    f[65] = static_cast<uint8_t>(planes);
    f[66] = static_cast<uint8_t>(bytesPerLine), f[67] = static_cast<uint8_t>(bytesPerLine >> 8);
    std::copy(data.begin(), data.end(), f.begin() + 128);
    return f;
}

}  // namespace

TEST(Pcx, FilesOfIndependentWritersMatchTheirReadings) {
    const struct {
        const char* name;
        int bpp;
    } rows[] = {
        {"ppmtopcx-1bit", 1},    {"ppmtopcx-2planes", 4}, {"ppmtopcx-3planes", 4}, {"ppmtopcx-4planes", 4},
        {"ppmtopcx-packed2", 4}, {"ppmtopcx-packed4", 4}, {"ppmtopcx-8bit", 8},    {"ppmtopcx-24bit", 24},
        {"im-1bit", 1},          {"im-8bit", 8},          {"im-24bit", 24},        {"im-alpha", 24},
    };
    for (const auto& row : rows) {
        Picture p;
        ASSERT_TRUE(p.Load((kData + row.name + ".pcx").c_str(), ImageFormat::Pcx))
            << row.name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetBpp(), row.bpp) << row.name;
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Pcx)) << row.name;
        fixtures::ExpectPixels(p, Reference(row.name, std::strcmp(row.name, "im-alpha") == 0), row.name);
    }
    Picture detected;
    ASSERT_TRUE(detected.Load((kData + "ppmtopcx-4planes.pcx").c_str(), ImageFormat::Unknown));
    EXPECT_EQ(detected.GetType(), static_cast<uint32_t>(ImageFormat::Pcx));
}

// Our files read back in our decoder, netpbm and ImageMagick as the pixels we wrote.
// ImageMagick is not asked about 1-bit files: it shows every single-plane 1-bit PCX with
// set bits black, against the colour map and netpbm; pcxtoppm does not read alpha.
TEST(Pcx, EncodedFilesReadBackIdenticallyInOtherReaders) {
    const struct {
        const char* source;
        int planes;
        bool viaImageMagick, viaNetpbm;
    } rows[] = {
        {"ppmtopcx-1bit", 1, false, true},   {"ppmtopcx-4planes", 4, true, true},
        {"ppmtopcx-3planes", 4, true, true}, {"im-8bit", 1, true, true},
        {"im-24bit", 3, true, true},         {"im-alpha", 4, true, false},
    };
    int checked = 0;
    for (const auto& row : rows) {
        Picture p;
        ASSERT_TRUE(p.Load((kData + row.source + ".pcx").c_str(), ImageFormat::Pcx)) << row.source;
        const Bytes written = Encode(p);
        const fixtures::TempFile file(written);
        ASSERT_GT(written.size(), 128u);
        EXPECT_EQ(written[65], row.planes) << row.source;

        Picture back;
        ASSERT_TRUE(back.Load(file.path().c_str(), ImageFormat::Pcx)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), p.GetBpp()) << row.source;
        const std::string what = std::string("ours from ") + row.source;
        fixtures::ExpectPixels(back, Reference(row.source, p.AlphaIsValid()), what);
        const char* format = p.AlphaIsValid() ? " -depth 8 pam:-" : " -depth 8 ppm:-";
        const Bytes im = row.viaImageMagick
                             ? fixtures::ToolOutput(PANELLE_CONVERT, "pcx:" + file.path() + format)
                             : Bytes{};
        if (!im.empty())
            fixtures::ExpectPixels(p, fixtures::ParseNetpbm(im), what + " in ImageMagick"), ++checked;
        const Bytes ppm = row.viaNetpbm ? fixtures::ToolOutput("pcxtoppm", file.path()) : Bytes{};
        if (!ppm.empty())
            fixtures::ExpectPixels(p, fixtures::ParseNetpbm(ppm), what + " in pcxtoppm"), ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "neither ImageMagick nor netpbm is installed";
}

TEST(Pcx, EncoderWritesRunsAndPaddingByteForByte) {
    // 24 bits, 3 x 1: lines of 4 bytes, each plane ending in a 0 byte for the odd width.
    Picture rgb(3, 1, 24, 0);
    rgb.SetPixelColor(0, 0, RGBQUAD{30, 20, 10, 0});
    rgb.SetPixelColor(1, 0, RGBQUAD{30, 20, 10, 0});
    rgb.SetPixelColor(2, 0, RGBQUAD{30, 20, 200, 0});
    Bytes file = Encode(rgb);
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(file[66], 4);
    EXPECT_EQ(file[68], 1);  // palette type of a picture without palette
    EXPECT_EQ(Bytes(file.begin() + 128, file.end()),
              (Bytes{0xC2, 10, 0xC1, 200, 0, 0xC3, 20, 0, 0xC3, 30, 0}));

    // 8 bits: runs of at most 63, single bytes of 192 and more as runs of one, then the
    // palette after the marker 12.
    const struct {
        uint32_t width;
        uint8_t index;
        Bytes data;
    } rows[] = {
        {100, 7, {0xFF, 7, 0xE5, 7}},
        {1, 200, {0xC1, 0xC8, 0}},
        {1, 100, {0x64, 0}},
    };
    for (const auto& row : rows) {
        Picture p(row.width, 1, 8, 0);
        p.SetPaletteColor(row.index, 1, 2, 3);
        for (uint32_t x = 0; x < row.width; ++x) p.SetPixelIndex(static_cast<int32_t>(x), 0, row.index);
        file = Encode(p);
        ASSERT_EQ(file.size(), 128 + row.data.size() + 769) << row.width;
        EXPECT_EQ(Bytes(file.begin() + 128, file.end() - 769), row.data) << row.width;
        const size_t palette = file.size() - 769;
        EXPECT_EQ(file[palette], 12);
        EXPECT_EQ(
            Bytes(file.begin() + palette + 1 + 3 * row.index, file.begin() + palette + 4 + 3 * row.index),
            (Bytes{1, 2, 3}));
    }
}

TEST(Pcx, PaletteLayoutsSurviveTheRoundTrip) {
    // A 1-bit picture whose entry 0 is white is stored inverted under the fixed black and
    // white colour map, and looks the same when read back.
    Picture mono(10, 2, 1, 0);
    mono.SetPaletteColor(0, 255, 255, 255);
    mono.SetPaletteColor(1, 0, 0, 0);
    mono.SetPixelIndex(0, 0, 1);
    mono.SetPixelIndex(9, 1, 1);
    Bytes file = Encode(mono);
    EXPECT_EQ(Bytes(file.begin() + 16, file.begin() + 22), (Bytes{0, 0, 0, 255, 255, 255}));
    Picture back;
    ASSERT_TRUE(Decode(back, file)) << back.GetLastError();
    ASSERT_EQ(back.GetBpp(), 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(back.GetPixelColor(x, y).rgbRed, mono.GetPixelColor(x, y).rgbRed) << x << "," << y;

    // Sixteen colours are four planes of 1 bit with the palette in the header.
    Picture sixteen(19, 3, 4, 0);
    for (uint8_t i = 0; i < 16; ++i) sixteen.SetPaletteColor(i, i * 16, 255 - i, i * 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 19; ++x) sixteen.SetPixelIndex(x, y, static_cast<uint8_t>((x * 7 + y * 5) % 16));
    file = Encode(sixteen);
    EXPECT_EQ(file[3], 1);
    EXPECT_EQ(file[65], 4);
    EXPECT_EQ(file[66], 4);  // (19 + 7) / 8 = 3, made even
    EXPECT_EQ(Bytes(file.begin() + 16 + 3 * 15, file.begin() + 16 + 3 * 16), (Bytes{240, 240, 45}));
    ASSERT_TRUE(Decode(back, file)) << back.GetLastError();
    ASSERT_EQ(back.GetBpp(), 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 19; ++x) EXPECT_EQ(back.GetPixelIndex(x, y), sixteen.GetPixelIndex(x, y));
    for (uint8_t i = 0; i < 16; ++i)
        EXPECT_EQ(std::memcmp(&back.GetPalette()[i], &sixteen.GetPalette()[i], 4), 0) << int(i);
}

TEST(Pcx, DecodesPackedPixelsRunsAcrossRowsAndResolution) {
    // 2 bits per pixel, 4 x 2, lines of 2 bytes; the run of two 0x27 ends row 0 and starts row 1.
    Bytes file = File(2, 1, 4, 2, 2, {0x1B, 0xC2, 0x27, 0x00});
    const uint8_t colours[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    std::memcpy(&file[16], colours, sizeof colours);
    file[12] = 300 & 0xFF, file[13] = 300 >> 8;
    file[14] = 72;
    Picture p;
    ASSERT_TRUE(Decode(p, file)) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 4);
    EXPECT_EQ(p.GetXDpi(), 300);
    EXPECT_EQ(p.GetYDpi(), 72);
    const int top[4] = {0, 1, 2, 3}, bottom[4] = {0, 2, 1, 3};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(p.GetPixelIndex(x, 1), top[x]);
        EXPECT_EQ(p.GetPixelIndex(x, 0), bottom[x]);
    }
    EXPECT_EQ(p.GetPaletteColor(2).rgbGreen, 255);
}

TEST(Pcx, HostileFilesFailWithTheirReason) {
    const Bytes good = File(8, 1, 3, 2, 4, {0xC8, 1});
    const auto with = [](Bytes f, size_t at, uint8_t value) { return f[at] = value, f; };
    const Bytes palette(769, 12);
    Bytes complete = good;
    complete.insert(complete.end(), palette.begin(), palette.end());
    const struct {
        const char* name;
        Bytes file;
        const char* error;
    } rows[] = {
        {"short header", Bytes(good.begin(), good.begin() + 100), "Can't read PCX image"},
        {"manufacturer", with(complete, 0, 11), "Error: Not a PCX file"},
        {"encoding", with(complete, 2, 0), "PCX file has unknown encoding scheme"},
        {"five planes", with(complete, 65, 5), "Can't handle image with more than 4 planes"},
        {"no planes", with(complete, 65, 0), "PCX file has no planes"},
        {"3 bits", with(complete, 3, 3), "PCX file has unsupported bits per pixel"},
        {"two 8-bit planes", with(complete, 65, 2), "Can't handle more than 1 bit per pixel"},
        {"two 4-bit planes", with(with(complete, 3, 4), 65, 2), "Can't handle more than 1 bit per pixel"},
        {"x min past x max", with(complete, 4, 9), "Invalid PCX image size"},
        {"line shorter than the width", with(complete, 66, 2),
         "PCX bytes per line too small for the image width"},
        {"data cut short", Bytes(good.begin(), good.end() - 1), "corrupted PCX"},
        {"run past the picture", File(8, 1, 3, 2, 4, {0xC9, 1}), "repeat count spans end of image"},
        {"marker before the palette", with(complete, 130, 11), "bad color map signature"},
        {"no palette", good, "bad color map signature"},
        {"65535 x 65535 in a few bytes", File(8, 4, 65535, 65535, 65535, {0xFF, 0}), "corrupted PCX"},
    };
    for (const auto& row : rows) {
        Picture p(2, 2, 8, 0);
        EXPECT_FALSE(Decode(p, row.file)) << row.name;
        EXPECT_STREQ(p.GetLastError(), row.error) << row.name;
        EXPECT_EQ(p.GetWidth(), 2u) << row.name;  // the picture it had stays
    }
    Picture ok;
    ASSERT_TRUE(Decode(ok, complete)) << ok.GetLastError();
    EXPECT_EQ(ok.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(ok.GetPaletteColor(1).rgbRed, 12);

    Picture measuring;
    measuring.SetEscape(-1);
    EXPECT_FALSE(Decode(measuring, complete));
    EXPECT_STREQ(measuring.GetLastError(), "Cancelled");
}
