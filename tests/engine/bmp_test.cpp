// The BMP codec against files written by ImageMagick and netpbm (tests/data/bmp, made by
// make-fixtures.sh with the pixels those tools decode), against crafted files for the
// format's corners and for hostile input, and against ImageMagick reading our output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "codec_fixtures.h"
#include "picture.h"
#include "stream.h"
#include "support/netpbm.h"

namespace {

using testsupport::Bytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

std::string DataPath(const std::string& name) { return std::string(PANELLE_TEST_DATA) + "/bmp/" + name; }

uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Little-endian fields appended in file order.
struct Writer {
    Bytes bytes;
    Writer& U8(uint8_t v) { return bytes.push_back(v), *this; }
    Writer& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    Writer& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
    Writer& Raw(const Bytes& b) { return bytes.insert(bytes.end(), b.begin(), b.end()), *this; }
};

// A crafted file; the defaults make a 1 x 1 Windows BMP with a file header whose pixels
// follow the palette (or masks).
struct Craft {
    bool fileHeader = true;
    int64_t offBits = -1;  // -1: right after the palette
    uint32_t headerSize = 40;
    int32_t width = 1, height = 1;
    uint16_t planes = 1, bpp = 24;
    uint32_t compression = BI_RGB, sizeImage = 0;
    int32_t xPels = 0, yPels = 0;
    uint32_t clrUsed = 0;
    Bytes palette;  // palette entries or bit masks, as stored
    Bytes pixels = {0, 0, 0, 0};
};

Bytes Build(const Craft& c) {
    Writer info;
    if (c.headerSize == 12) {
        info.U32(12).U16(static_cast<uint16_t>(c.width)).U16(static_cast<uint16_t>(c.height));
        info.U16(c.planes).U16(c.bpp);
    } else {
        info.U32(c.headerSize).U32(static_cast<uint32_t>(c.width)).U32(static_cast<uint32_t>(c.height));
        info.U16(c.planes).U16(c.bpp).U32(c.compression).U32(c.sizeImage);
        info.U32(static_cast<uint32_t>(c.xPels)).U32(static_cast<uint32_t>(c.yPels)).U32(c.clrUsed).U32(0);
        while (info.bytes.size() < c.headerSize) info.U8(0xA5);  // fields of longer headers
    }
    info.Raw(c.palette);
    if (!c.fileHeader) return info.Raw(c.pixels).bytes;
    const uint32_t offBits =
        c.offBits < 0 ? static_cast<uint32_t>(14 + info.bytes.size()) : static_cast<uint32_t>(c.offBits);
    Writer file;
    file.U8('B').U8('M').U32(static_cast<uint32_t>(14 + info.bytes.size() + c.pixels.size()));
    file.U16(0).U16(0).U32(offBits);
    return file.Raw(info.bytes).Raw(c.pixels).bytes;
}

// Palette entries blue i, green 255 - i, red 3 i; 4-byte entries add a reserved byte 0x77,
// which the decoder must clear.
Bytes RampPalette(uint32_t entries, uint32_t entrySize = 4) {
    Bytes out;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t e[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                              static_cast<uint8_t>(3 * i), 0x77};
        out.insert(out.end(), e, e + entrySize);
    }
    return out;
}

// Decodes through the dispatcher from a stream over the caller's bytes. With
// PANELLE_WRITE_CORPUS=<dir> every crafted file is also saved there as a fuzzing seed.
bool Decode(Picture& picture, Bytes bytes) {
    if (const char* dir = std::getenv("PANELLE_WRITE_CORPUS")) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' ? ch : '-';
        static std::string last;
        static int serial = 0;
        serial = name == last ? serial + 1 : 0;
        last = name;
        WriteFile(std::string(dir) + "/" + name + "." + std::to_string(serial) + ".bmp", bytes);
    }
    MemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    return picture.Decode(&stream, ImageFormat::Bmp);
}

Bytes Encode(Picture& picture) {
    MemoryStream stream;
    EXPECT_TRUE(stream.Open());
    EXPECT_TRUE(picture.Encode(&stream, ImageFormat::Bmp)) << picture.GetLastError();
    return Bytes(stream.buffer, stream.buffer + stream.Size());
}

// A binary PPM as the tools write it: top row first, 8-bit samples red, green, blue.
struct Ppm {
    int width = 0, height = 0;
    Bytes rgb;
};

Ppm ReadPpm(const std::string& path) {
    const testsupport::Netpbm file = testsupport::ReadNetpbm(path);
    if (file.channels != 3) return Ppm{};
    return Ppm{static_cast<int>(file.width), static_cast<int>(file.height), file.samples};
}

// Compares every pixel; the container counts y from the bottom row. Channels are compared
// in the bits the file carries (16-bit files hold 5 or 6 bits of a channel).
void ExpectPixels(const Picture& picture, const Ppm& ref, uint8_t redBits = 0xFF, uint8_t greenBits = 0xFF,
                  uint8_t blueBits = 0xFF) {
    ASSERT_EQ(ref.rgb.size(), 3u * ref.width * ref.height) << "reference unreadable";
    ASSERT_EQ(picture.GetWidth(), static_cast<uint32_t>(ref.width));
    ASSERT_EQ(picture.GetHeight(), static_cast<uint32_t>(ref.height));
    int wrong = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t* want = &ref.rgb[3 * (static_cast<size_t>(y) * ref.width + x)];
            const RGBQUAD got = picture.GetPixelColor(x, ref.height - 1 - y, false);
            if (got.rgbRed == (want[0] & redBits) && got.rgbGreen == (want[1] & greenBits) &&
                got.rgbBlue == (want[2] & blueBits))
                continue;
            ADD_FAILURE() << "pixel (" << x << ", " << y << " from the top): got rgb " << int(got.rgbRed)
                          << "," << int(got.rgbGreen) << "," << int(got.rgbBlue) << " want " << int(want[0])
                          << "," << int(want[1]) << "," << int(want[2]);
            if (++wrong == 5) return;
        }
}

// Two pictures hold the same picture: size, depth, palette colours and pixels.
void ExpectSamePicture(const Picture& a, const Picture& b) {
    ASSERT_TRUE(a.IsValid() && b.IsValid());
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetBpp(), b.GetBpp());
    ASSERT_EQ(a.GetNumColors(), b.GetNumColors());
    for (uint32_t i = 0; i < a.GetNumColors(); ++i)
        EXPECT_EQ(a.GetPaletteColor(static_cast<uint8_t>(i)), b.GetPaletteColor(static_cast<uint8_t>(i)))
            << i;
    // Pixel bytes only: what the row filler holds is not part of the picture.
    const size_t used = (static_cast<size_t>(a.GetBpp()) * a.GetWidth() + 7) / 8;
    for (uint32_t y = 0; y < a.GetHeight(); ++y)
        ASSERT_EQ(0,
                  std::memcmp(a.GetBits(0) + y * a.GetEffWidth(), b.GetBits(0) + y * b.GetEffWidth(), used))
            << "row " << y;
}

// Parameter rows are named by their name field (or are the name), in listings and test names.
template <class Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        std::string name;
        if constexpr (std::is_pointer_v<decltype(info.param)>)
            name = info.param;
        else
            name = info.param.name;
        for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return name;
    }
};

// ---- fixtures written by independent tools -------------------------------------------------

struct Fixture {
    const char* name;
    uint16_t bpp;                     // depth of the decoded container
    int32_t dpi;                      // resolution the tool stored, 0 for none
    const char* reference = nullptr;  // the reference's name when it is not the file's
    uint8_t redBits = 0xFF, greenBits = 0xFF, blueBits = 0xFF;
};

const Fixture kFixtures[] = {
    {"im-bmp3-1bit", 1, 72},
    {"im-bmp3-4bit", 4, 96},
    {"im-bmp3-8bit", 8, 0},
    {"im-bmp3-24bit", 24, 0},
    {"im-bmp3-32bit", 24, 0},
    {"im-bmp3-rle8", 8, 0},
    {"im-bmp2-4bit", 4, 0},
    {"im-bmp2-8bit", 8, 0},
    {"im-v5-24bit", 24, 0},
    // 16-bit channels widened by repeating their bits match the tool's full-range reading.
    {"im-rgb555", 24, 0},
    {"im-rgb565", 24, 0},
    // ImageMagick's default output: 108- and 124-byte headers with palettes, RLE8 and masks.
    {"im-v4-1bit", 1, 0},
    {"im-v5-4bit", 4, 0},
    {"im-v5-8bit", 8, 0},
    {"im-v5-rle8", 8, 0},
    {"im-v5-rgb565", 24, 0, "im-rgb565"},
    {"im-v5-32bit-alpha", 24, 0},
    // Runs and absolute runs of RLE4 that start at odd pixels.
    {"rle4-4bit", 4, 0},
    {"netpbm-win-1bit", 1, 0},
    {"netpbm-win-4bit", 4, 0},
    {"netpbm-win-8bit", 8, 0},
    {"netpbm-win-24bit", 24, 0},
    {"netpbm-os2-1bit", 1, 0},
    {"netpbm-os2-4bit", 4, 0},
    {"netpbm-os2-8bit", 8, 0},
    {"netpbm-os2-24bit", 24, 0},
};

class BmpFixture : public ::testing::TestWithParam<Fixture> {
   protected:
    void SetUp() override {
        ASSERT_TRUE(picture.Load(DataPath(std::string(GetParam().name) + ".bmp").c_str(), ImageFormat::Bmp))
            << picture.GetLastError();
    }
    Picture picture;
};

TEST_P(BmpFixture, DecodesToTheWritingToolsOwnPixels) {
    const Fixture& f = GetParam();
    EXPECT_EQ(picture.GetType(), ImageFormat::Bmp);
    EXPECT_EQ(picture.GetBpp(), f.bpp);
    EXPECT_EQ(picture.GetXDpi(), f.dpi);
    EXPECT_EQ(picture.GetYDpi(), f.dpi);
    ExpectPixels(picture, ReadPpm(DataPath(std::string(f.reference ? f.reference : f.name) + ".ppm")),
                 f.redBits, f.greenBits, f.blueBits);
}

TEST_P(BmpFixture, OurEncodingDecodesToTheSamePicture) {
    Picture again;
    ASSERT_TRUE(Decode(again, Encode(picture))) << again.GetLastError();
    ExpectSamePicture(picture, again);
}

TEST_P(BmpFixture, ImageMagickReadsOurEncodingAsTheSamePixels) {
    const std::string convert = PANELLE_CONVERT;
    if (convert.empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const std::string bmp = ::testing::TempDir() + "panelle-" + GetParam().name + ".bmp";
    const std::string ppm = bmp + ".ppm";
    WriteFile(bmp, Encode(picture));
    const std::string command = "'" + convert + "' '" + bmp + "' -depth 8 ppm:'" + ppm + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ExpectPixels(picture, ReadPpm(ppm));
    std::remove(bmp.c_str());
    std::remove(ppm.c_str());
}

INSTANTIATE_TEST_SUITE_P(Tools, BmpFixture, ::testing::ValuesIn(kFixtures), RowName());

// The same picture stored top row first: negative height, rows in reverse order.
class BmpTopDown : public ::testing::TestWithParam<const char*> {};

TEST_P(BmpTopDown, TopDownFileMatchesBottomUp) {
    const Bytes bottomUp = ReadFile(DataPath(std::string(GetParam()) + ".bmp"));
    ASSERT_EQ(Get32(bottomUp, 14), 40u);
    const uint32_t offBits = Get32(bottomUp, 10), width = Get32(bottomUp, 18), height = Get32(bottomUp, 22);
    const uint32_t bpp = bottomUp[28];
    const uint32_t rowBytes = bpp == 32   ? width * 4
                              : bpp == 16 ? (width + 1) / 2 * 4
                                          : (bpp * width + 31) / 32 * 4;
    ASSERT_GE(bottomUp.size(), offBits + rowBytes * height);

    Bytes topDown = bottomUp;
    Put32(topDown, 22, static_cast<uint32_t>(-static_cast<int32_t>(height)));
    for (uint32_t row = 0; row < height; ++row)
        std::memcpy(&topDown[offBits + row * rowBytes], &bottomUp[offBits + (height - 1 - row) * rowBytes],
                    rowBytes);

    Picture expected, picture;
    ASSERT_TRUE(Decode(expected, bottomUp));
    ASSERT_TRUE(Decode(picture, topDown)) << picture.GetLastError();
    ExpectSamePicture(expected, picture);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpTopDown,
                         ::testing::Values("netpbm-win-1bit", "im-bmp3-4bit", "im-bmp3-8bit", "im-rgb565",
                                           "im-bmp3-24bit", "im-bmp3-32bit"),
                         RowName());

TEST(Bmp, BareDibTakesItsPixelsRightAfterThePalette) {
    for (const char* name : {"im-bmp3-8bit", "netpbm-win-1bit", "netpbm-os2-8bit", "im-bmp3-24bit"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFile(DataPath(std::string(name) + ".bmp"));
        Picture withHeader, bare;
        ASSERT_TRUE(Decode(withHeader, file));
        ASSERT_TRUE(Decode(bare, Bytes(file.begin() + 14, file.end()))) << bare.GetLastError();
        ExpectSamePicture(withHeader, bare);
    }
}

// ---- palettes ------------------------------------------------------------------------------

TEST(Bmp, ShortPaletteFillsItsEntriesAndLeavesTheRestBlack) {
    for (const bool fileHeader : {true, false}) {
        SCOPED_TRACE(fileHeader ? "with file header" : "bare DIB");
        Craft c;
        c.fileHeader = fileHeader;
        c.width = 4, c.bpp = 8, c.clrUsed = 16;
        c.palette = RampPalette(16);
        c.pixels = {0, 15, 16, 255};
        Picture p;
        ASSERT_TRUE(Decode(p, Build(c))) << p.GetLastError();
        ASSERT_EQ(p.GetNumColors(), 256u);
        for (uint32_t i = 0; i < 256; ++i) {
            const RGBQUAD want =
                i < 16 ? RGBQUAD{uint8_t(i), uint8_t(255 - i), uint8_t(3 * i), 0} : RGBQUAD{0, 0, 0, 0};
            EXPECT_EQ(p.GetPalette()[i], want) << "entry " << i;
        }
        for (int x = 0; x < 4; ++x) EXPECT_EQ(p.GetPixelIndex(x, 0), c.pixels[x]);
    }
}

TEST(Bmp, CoreHeaderPaletteTriplesBecomeQuads) {
    Craft c;
    c.headerSize = 12;
    c.width = 3, c.bpp = 8;
    c.palette = RampPalette(256, 3);
    c.pixels = {1, 254, 128, 0};
    Picture p;
    ASSERT_TRUE(Decode(p, Build(c))) << p.GetLastError();
    for (uint32_t i = 0; i < 256; ++i)
        EXPECT_EQ(p.GetPalette()[i], (RGBQUAD{uint8_t(i), uint8_t(255 - i), uint8_t(3 * i), 0}))
            << "entry " << i;
    for (int x = 0; x < 3; ++x) EXPECT_EQ(p.GetPixelIndex(x, 0), c.pixels[x]);
}

// ---- 16 and 32 bits ------------------------------------------------------------------------

struct MaskRow {
    const char* name;
    uint32_t compression;
    Bytes masks;
    std::vector<std::pair<uint16_t, RGBQUAD>> pixels;  // word, and blue, green, red
};

class BmpSixteenBit : public ::testing::TestWithParam<MaskRow> {};

TEST_P(BmpSixteenBit, ChannelsAreWidenedByRepeatingTheirBits) {
    const MaskRow& row = GetParam();
    Craft c;
    c.width = static_cast<int32_t>(row.pixels.size()), c.bpp = 16, c.compression = row.compression;
    c.palette = row.masks;
    Writer words;
    for (const auto& pixel : row.pixels) words.U16(pixel.first);
    c.pixels = words.bytes;
    c.pixels.resize((c.pixels.size() + 3) / 4 * 4);  // rows are padded to 4 bytes
    Picture p;
    ASSERT_TRUE(Decode(p, Build(c))) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    for (size_t x = 0; x < row.pixels.size(); ++x)
        EXPECT_EQ(p.GetPixelColor(static_cast<int32_t>(x), 0, false), row.pixels[x].second)
            << std::hex << "word 0x" << row.pixels[x].first;
}

const Bytes k565 = Writer{}.U32(0xF800).U32(0x07E0).U32(0x001F).bytes;
const std::vector<std::pair<uint16_t, RGBQUAD>> k555Pixels = {
    {0x7FFF, {255, 255, 255, 0}}, {0x7C00, {0, 0, 255, 0}}, {0x03E0, {0, 255, 0, 0}},
    {0x001F, {255, 0, 0, 0}},     {0x0421, {8, 8, 8, 0}},   {0x8000, {0, 0, 0, 0}},
    {0x4210, {132, 132, 132, 0}}};

INSTANTIATE_TEST_SUITE_P(Masks, BmpSixteenBit,
                         ::testing::Values(MaskRow{"DefaultIs555", BI_RGB, {}, k555Pixels},
                                           MaskRow{"OtherCompressionsUse555", BI_RLE8, {}, k555Pixels},
                                           MaskRow{"BitfieldsGive565",
                                                   BI_BITFIELDS,
                                                   k565,
                                                   {{0xFFFF, {255, 255, 255, 0}},
                                                    {0xF800, {0, 0, 255, 0}},
                                                    {0x07E0, {0, 255, 0, 0}},
                                                    {0x001F, {255, 0, 0, 0}},
                                                    {0x0821, {8, 4, 8, 0}},
                                                    {0x8410, {132, 130, 132, 0}}}},
                                           // A 4-4-4 picture with its top four bits unused.
                                           MaskRow{"Bitfields444",
                                                   BI_BITFIELDS,
                                                   Writer{}.U32(0x0F00).U32(0x00F0).U32(0x000F).bytes,
                                                   {{0x0FFF, {255, 255, 255, 0}},
                                                    {0xF000, {0, 0, 0, 0}},
                                                    {0x0A51, {0x11, 0x55, 0xAA, 0}}}}),
                         RowName());

// 32-bit pixels: blue, green, red and a fourth byte without masks, or what the masks pick
// out. The fourth byte (or the alpha mask) becomes the alpha plane unless it is 0 everywhere.
struct ThirtyTwoRow {
    const char* name;
    uint32_t headerSize, compression;
    Bytes masks;     // behind a 40-byte header, or inside a longer one
    Bytes pixel;     // the four stored bytes of every pixel
    RGBQUAD colour;  // what every pixel shows
    int alpha;       // alpha of every pixel, -1 for no alpha plane
};

class BmpThirtyTwoBit : public ::testing::TestWithParam<ThirtyTwoRow> {};

TEST_P(BmpThirtyTwoBit, HonoursMasksAndKeepsAlphaThatIsThere) {
    const ThirtyTwoRow& row = GetParam();
    Craft c;
    c.fileHeader = false;
    c.width = 3, c.height = 2, c.bpp = 32, c.compression = row.compression, c.headerSize = row.headerSize;
    c.pixels.clear();
    for (int i = 0; i < 6; ++i) c.pixels.insert(c.pixels.end(), row.pixel.begin(), row.pixel.end());
    Bytes file = Build(c);
    if (row.headerSize == 40)
        file.insert(file.begin() + 40, row.masks.begin(), row.masks.end());
    else
        std::copy(row.masks.begin(), row.masks.end(), file.begin() + 40);
    Picture p;
    ASSERT_TRUE(Decode(p, file)) << p.GetLastError();
    ASSERT_EQ(p.GetBpp(), 24);
    ASSERT_EQ(p.AlphaIsValid(), row.alpha >= 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p.GetPixelColor(i % 3, i / 3, false), row.colour) << i;
        if (row.alpha >= 0) {
            EXPECT_EQ(p.AlphaGet(i % 3, i / 3), row.alpha) << i;
        }
    }
}

const Bytes kNoMasks;
const Bytes kStandardMasks = Writer{}.U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF).U32(0xFF000000).bytes;

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpThirtyTwoBit,
    ::testing::Values(
        ThirtyTwoRow{"RgbFourthByteIsAlpha", 40, BI_RGB, kNoMasks, {10, 20, 30, 0x80}, {10, 20, 30, 0}, 0x80},
        ThirtyTwoRow{"RgbFourthByteZeroIsOpaque", 40, BI_RGB, kNoMasks, {10, 20, 30, 0}, {10, 20, 30, 0}, -1},
        // Masks behind a 40-byte header have no alpha: the fourth byte is not a channel.
        ThirtyTwoRow{"BitfieldsSwapRedAndBlue",
                     40,
                     BI_BITFIELDS,
                     Writer{}.U32(0x000000FF).U32(0x0000FF00).U32(0x00FF0000).bytes,
                     {10, 20, 30, 0x80},
                     {30, 20, 10, 0},
                     -1},
        ThirtyTwoRow{
            "V5MasksWithAlpha", 124, BI_BITFIELDS, kStandardMasks, {10, 20, 30, 0x40}, {10, 20, 30, 0}, 0x40},
        ThirtyTwoRow{"V5AlphaMaskAllZeroIsOpaque",
                     124,
                     BI_BITFIELDS,
                     kStandardMasks,
                     {10, 20, 30, 0},
                     {10, 20, 30, 0},
                     -1},
        // 10-10-10 with two bits of alpha: 0x3FF gives 255, and the alpha 3 gives 255.
        ThirtyTwoRow{"V5TenBitChannels",
                     124,
                     BI_BITFIELDS,
                     Writer{}.U32(0x3FF00000).U32(0x000FFC00).U32(0x000003FF).U32(0xC0000000).bytes,
                     {0xFF, 0xFF, 0xFF, 0xFF},
                     {0xFF, 0xFF, 0xFF, 0},
                     0xFF},
        // Masks of a long header count even when they name no channel at all.
        ThirtyTwoRow{"BitfieldsBlueAtTheTop",
                     56,
                     BI_BITFIELDS,
                     Writer{}.U32(0x000000FF).U32(0x0000FF00).U32(0xFF000000).U32(0).bytes,
                     {9, 20, 30, 77},
                     {77, 20, 9, 0},
                     -1}),
    RowName());

// ---- run-length encodings ------------------------------------------------------------------

struct RleRow {
    const char* name;
    uint16_t bpp;
    int32_t width;
    Bytes stream;
    std::vector<Bytes> rows;  // expected pixel indices, bottom row first
};

class BmpRle : public ::testing::TestWithParam<RleRow> {};

TEST_P(BmpRle, DecodesRunsAndCommands) {
    const RleRow& row = GetParam();
    Craft c;
    c.width = row.width, c.height = static_cast<int32_t>(row.rows.size()), c.bpp = row.bpp;
    c.compression = row.bpp == 8 ? BI_RLE8 : BI_RLE4;
    c.palette = RampPalette(1u << row.bpp);
    c.pixels = row.stream;
    Picture p;
    ASSERT_TRUE(Decode(p, Build(c))) << p.GetLastError();
    for (size_t y = 0; y < row.rows.size(); ++y)
        for (int32_t x = 0; x < row.width; ++x)
            EXPECT_EQ(p.GetPixelIndex(x, static_cast<int32_t>(y)), row.rows[y][x]) << "x " << x << " y " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BmpRle,
    ::testing::Values(
        // A run longer than the row ends decoding; what was decoded stands.
        RleRow{"Rle8RunPastRowEndStops", 8, 4, {6, 7, 0, 0, 2, 9}, {{7, 7, 7, 7}, {0, 0, 0, 0}}},
        RleRow{"Rle8EndOfLineAndDelta",
               8,
               8,
               {2, 5, 0, 2, 3, 2, 1, 6, 0, 0, 1, 7, 0, 1},
               {{5, 5, 0, 0, 0, 0, 0, 0},
                {0, 0, 0, 0, 0, 0, 0, 0},
                {0, 0, 0, 0, 0, 6, 0, 0},
                {7, 0, 0, 0, 0, 0, 0, 0}}},
        RleRow{"Rle8OddAbsoluteRunIsPadded", 8, 6, {0, 3, 1, 2, 3, 0xEE, 2, 4, 0, 1}, {{1, 2, 3, 4, 4, 0}}},
        RleRow{"Rle8AbsoluteRunContinuesIntoNextRow",
               8,
               4,
               {2, 1, 0, 4, 5, 6, 7, 8, 0, 1},
               {{1, 1, 5, 6}, {7, 8, 0, 0}}},
        RleRow{"Rle8EndOfBitmapStops", 8, 3, {1, 3, 0, 1, 1, 4}, {{3, 0, 0}}},
        // Rows past the top leave the top row selected.
        RleRow{"Rle8RowsPastTheTopStayOnTheTopRow", 8, 2, {0, 0, 0, 0, 0, 0, 2, 9}, {{0, 0}, {9, 9}}},
        RleRow{"Rle4RunOfThreeGivesOneTwoOne", 4, 4, {3, 0x12, 0, 1}, {{1, 2, 1, 0}}},
        // The nibble a pixel takes follows its place in the run, wherever the run starts.
        RleRow{"Rle4RunTakesNibblesByPlaceInTheRun", 4, 6, {1, 0x12, 3, 0x34, 0, 1}, {{1, 3, 4, 3, 0, 0}}},
        // Absolute runs end on a 16-bit boundary: 5 pixels take 3 bytes and a pad, 3 take 2.
        RleRow{"Rle4AbsoluteRunIsPaddedToWords",
               4,
               8,
               {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x70, 0, 1},
               {{1, 2, 3, 4, 5, 7, 0, 0}}},
        RleRow{"Rle4AbsoluteRunOfThreeIsNotPadded",
               4,
               6,
               {0, 3, 0x12, 0x30, 2, 0x45, 0, 1},
               {{1, 2, 3, 4, 5, 0}}},
        // An absolute run that starts at an odd pixel reads its bytes from the first on.
        RleRow{"Rle4AbsoluteRunAtAnOddPixel", 4, 6, {1, 0x90, 0, 4, 0x12, 0x34, 0, 1}, {{9, 1, 2, 3, 4, 0}}},
        // End of line starts the next row at pixel 0; a delta moves by pixels, odd ones too.
        RleRow{"Rle4EndOfLineAndDelta",
               4,
               8,
               {1, 0x10, 0, 0, 1, 0x20, 0, 2, 4, 1, 1, 0x30, 0, 2, 1, 0, 1, 0x50, 0, 1},
               {{1, 0, 0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 3, 0, 5}}},
        // No check against the row end: a run flows on into the next row.
        RleRow{"Rle4RunFlowsIntoNextRow", 4, 3, {12, 0x12, 0, 1}, {{1, 2, 1}, {1, 2, 1}}}),
    RowName());

// ---- header variants -----------------------------------------------------------------------

struct HeaderRow {
    const char* name;
    bool accepted;
    uint32_t headerSize, sizeImage;
    uint16_t planes = 1;
    uint32_t compression = BI_RGB, clrUsed = 0;
    const char* text = "Error reading BMP info";
};

class BmpHeader : public ::testing::TestWithParam<HeaderRow> {};

// Bare DIBs, so that the pixels are found only when the header's length is skipped right.
// Windows headers of 52, 56, 108 and 124 bytes are read whole; other lengths above 40 are
// taken only for a plain picture whose image size agrees with its rows.
TEST_P(BmpHeader, LongerHeadersAreReadAndUnknownOnesNeedAPlainPicture) {
    const HeaderRow& row = GetParam();
    Craft c;
    c.fileHeader = false;
    c.headerSize = row.headerSize, c.sizeImage = row.sizeImage, c.planes = row.planes;
    c.compression = row.compression, c.clrUsed = row.clrUsed;
    c.width = 1, c.height = 2;
    c.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    Picture p;
    ASSERT_EQ(Decode(p, Build(c)), row.accepted);
    if (!row.accepted) {
        EXPECT_STREQ(p.GetLastError(), row.text);
        return;
    }
    EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(p.GetPixelColor(0, 1, false), (RGBQUAD{4, 5, 6, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BmpHeader,
    ::testing::Values(HeaderRow{"Info40", true, 40, 0}, HeaderRow{"Os2v2With64", true, 64, 0},
                      HeaderRow{"V4WithImageSize", true, 108, 8}, HeaderRow{"V5WithImageSize", true, 124, 8},
                      HeaderRow{"V2With52", true, 52, 8}, HeaderRow{"V3With56", true, 56, 0},
                      HeaderRow{"V4ImageSizeZero", true, 108, 0}, HeaderRow{"V5ImageSizeZero", true, 124, 0},
                      HeaderRow{"V5WrongImageSize", true, 124, 16}, HeaderRow{"V5TwoPlanes", true, 124, 8, 2},
                      HeaderRow{"V5BitfieldsAt24Bits", false, 124, 8, 1, BI_BITFIELDS, 0,
                                "unknown compression"},
                      HeaderRow{"V5PaletteCountAt24BitsIsIgnored", true, 124, 8, 1, BI_RGB, 1},
                      HeaderRow{"Odd60WithImageSize", true, 60, 8},
                      HeaderRow{"Odd60ImageSizeZero", false, 60, 0},
                      HeaderRow{"Odd60Rle8", false, 60, 8, 1, BI_RLE8}, HeaderRow{"Size39", false, 39, 8},
                      HeaderRow{"Size13", false, 13, 8}, HeaderRow{"Size11", false, 11, 8},
                      HeaderRow{"Size0", false, 0, 8}),
    RowName());

// The masks of a 124-byte header and the same masks behind a 40-byte header give one picture.
TEST(Bmp, MasksInALongHeaderMatchMasksBehindAShortOne) {
    Picture longHeader, shortHeader;
    ASSERT_TRUE(longHeader.Load(DataPath("im-v5-rgb565.bmp").c_str(), ImageFormat::Bmp))
        << longHeader.GetLastError();
    ASSERT_TRUE(shortHeader.Load(DataPath("im-rgb565.bmp").c_str(), ImageFormat::Bmp))
        << shortHeader.GetLastError();
    ExpectSamePicture(longHeader, shortHeader);
}

// Files with alpha keep it as the alpha plane, level for level as ImageMagick reads them.
TEST(Bmp, ThirtyTwoBitFixturesKeepTheirAlpha) {
    for (const char* name : {"im-v5-32bit-alpha", "im-bmp3-32bit"}) {
        Picture p;
        ASSERT_TRUE(p.Load(DataPath(std::string(name) + ".bmp").c_str(), ImageFormat::Bmp)) << name;
        fixtures::ExpectPixels(
            p, fixtures::ParseNetpbm(fixtures::ReadFile(DataPath(std::string(name) + ".pam"))), name);
    }
}

TEST(Bmp, CoreHeaderSizesAreUnsigned) {
    Craft c;
    c.headerSize = 12, c.width = 0x8001, c.height = 1, c.bpp = 24, c.pixels = Bytes(0x8001 * 3 + 1, 0);
    Picture p;
    ASSERT_TRUE(Decode(p, Build(c))) << p.GetLastError();
    EXPECT_EQ(p.GetWidth(), 0x8001u);
}

// ---- resolution, measuring and cancelling --------------------------------------------------

TEST(Bmp, PixelsPerMetreBecomeDotsPerInch) {
    const struct {
        int32_t pels, dpi;
    } rows[] = {{2835, 72},
                {3780, 96},
                {0, 0},
                {11811, 300},
                {1, 0},
                {-2835, -72},
                {INT32_MAX, 54546085},
                {INT32_MIN, -54546085}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pels);
        Craft c;
        c.xPels = row.pels, c.yPels = 3780;
        Picture p;
        ASSERT_TRUE(Decode(p, Build(c)));
        EXPECT_EQ(p.GetXDpi(), row.dpi);
        EXPECT_EQ(p.GetYDpi(), 96);
        EXPECT_EQ(p.header.biXPelsPerMeter, row.pels);
    }
}

TEST(Bmp, DimensionsOnlyRequestReadsNoPixels) {
    Craft c;
    c.width = 5, c.height = -3, c.bpp = 8, c.xPels = 2835;  // top-down, and nothing after the header
    Bytes file = Build(c);
    Picture p;
    p.SetEscape(-1);
    ASSERT_TRUE(Decode(p, file));
    EXPECT_STREQ(p.GetLastError(), "output dimensions returned");
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.header.biWidth, 5);
    EXPECT_EQ(p.header.biHeight, 3);
    EXPECT_EQ(p.GetBpp(), 0);
    EXPECT_EQ(p.GetNumColors(), 0u);
    EXPECT_NE(p.header.biXPelsPerMeter, 2835);
}

TEST(Bmp, CancelRequestStopsTheDecode) {
    Picture p(2, 2, 24, 0);
    p.SetEscape(1);
    EXPECT_FALSE(Decode(p, ReadFile(DataPath("im-bmp3-8bit.bmp"))));
    EXPECT_STREQ(p.GetLastError(), "Cancelled");
    EXPECT_EQ(p.GetWidth(), 2u);
}

// ---- encoding ------------------------------------------------------------------------------

TEST(Bmp, EncodesEightBitPictureBehindAFileHeader) {
    Picture p(10, 10, 8, ImageFormat::Bmp);
    p.SetXDpi(300);
    for (uint32_t i = 0; i < 256; ++i)
        p.SetPaletteColor(uint8_t(i), uint8_t(i), uint8_t(i ^ 0x55), uint8_t(255 - i));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) p.SetPixelIndex(x, y, uint8_t(x * 16 + y));
    const Bytes out = Encode(p);
    ASSERT_EQ(out.size(), 1198u);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    EXPECT_EQ(Get32(out, 2), 1198u);
    EXPECT_EQ(Get32(out, 6), 0u);
    EXPECT_EQ(Get32(out, 10), 1078u);
    EXPECT_EQ(0, std::memcmp(&out[14], &p.header, 40));
    EXPECT_EQ(Get32(out, 14 + 20), 120u);    // biSizeImage: rows of 12 bytes
    EXPECT_EQ(Get32(out, 14 + 24), 11811u);  // 300 dpi
    EXPECT_EQ(0, std::memcmp(&out[54], p.GetPalette(), 1024));
    EXPECT_EQ(0, std::memcmp(&out[1078], p.GetBits(0), 120));
}

class BmpRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BmpRoundTrip, EncodeThenDecodeGivesThePictureBack) {
    const uint32_t bpp = GetParam(), colors = bpp == 24 ? 0 : 1u << bpp;
    Picture p(13, 5, bpp, ImageFormat::Bmp);
    for (uint32_t i = 0; i < colors; ++i)
        p.SetPaletteColor(uint8_t(i), uint8_t(i * 7), uint8_t(i * 13), uint8_t(255 - i));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) {
            if (colors)
                p.SetPixelIndex(x, y, uint8_t((x * 5 + y * 3) % colors));
            else
                p.SetPixelColor(x, y, RGBQUAD{uint8_t(x * 19), uint8_t(y * 50), uint8_t(x ^ y), 0});
        }
    const Bytes out = Encode(p);
    EXPECT_EQ(Get32(out, 10), 54 + 4 * colors);
    EXPECT_EQ(out.size(), 54 + 4 * colors + p.GetEffWidth() * 5);
    Picture back;
    ASSERT_TRUE(Decode(back, out)) << back.GetLastError();
    ExpectSamePicture(p, back);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpRoundTrip, ::testing::Values(1u, 4u, 8u, 24u));

TEST(Bmp, EncodeNeedsPixelsAndAStream) {
    Picture empty;
    MemoryStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(empty.Encode(&stream, ImageFormat::Bmp));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    Picture p(1, 1, 24, 0);
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
}

// ---- hostile input -------------------------------------------------------------------------

struct HostileRow {
    const char* name;
    std::function<Bytes()> make;
    bool ok;
    const char* text;
    std::function<void(const Picture&)> check = nullptr;
};

Craft With(std::function<void(Craft&)> edit) {
    Craft c;
    edit(c);
    return c;
}

Bytes Cut(Bytes b, size_t n) { return b.resize(std::min(n, b.size())), b; }

// A 1 x 1 one-bit OS/2 picture whose pixel is set, with enough zeros behind it to cut from.
Bytes CoreOneBit() {
    return Build(With([](Craft& c) {
        c.headerSize = 12, c.bpp = 1, c.palette = RampPalette(2, 3), c.pixels = Bytes(32, 0),
        c.pixels[0] = 0x80;
    }));
}

void AllPixelsZero(const Picture& p) {
    for (uint32_t i = 0; i < p.header.biSizeImage; ++i) ASSERT_EQ(p.GetBits(0)[i], 0) << "byte " << i;
}

constexpr const char* kTooShort = "BMP file too short for its picture";

const HostileRow kHostile[] = {
    {"Empty", [] { return Bytes{}; }, false, "Not a BMP"},
    {"ThirteenBytes", [] { return Cut(Build({}), 13); }, false, "Not a BMP"},
    {"FileHeaderOnly", [] { return Cut(Build({}), 14); }, false, "Error reading BMP info"},
    {"InfoHeaderCutShort", [] { return Cut(Build({}), 14 + 20); }, false, "Error reading BMP info"},
    {"CoreHeaderCutShort", [] { return Cut(Build(With([](Craft& c) { c.headerSize = 12; })), 14 + 8); },
     false, "Error reading BMP info"},
    // A core header needs nothing behind it but its palette and pixels: a whole small file
    // (two triples and the first row) decodes.
    {"TinyCoreHeaderFileDecodes", [] { return Cut(CoreOneBit(), 14 + 12 + 6 + 4); }, true, "",
     [](const Picture& p) { EXPECT_EQ(p.GetPixelIndex(0, 0), 1); }},
    {"BareDibCutShort", [] { return Cut(Build(With([](Craft& c) { c.fileHeader = false; })), 30); }, false,
     "Error reading BMP info"},
    // Found by fuzzing: the long header's size check multiplied past 64 bits.
    {"LongHeaderSizeCheckOverflows",
     [] {
         return Build(
             With([](Craft& c) { c.headerSize = 100, c.width = c.height = INT32_MAX, c.bpp = 0xFFFF; }));
     },
     false, "Error reading BMP info"},
    // Sizes that the bytes behind the header cannot fill are refused before anything is made.
    {"HugeWidthAndHeight", [] { return Build(With([](Craft& c) { c.width = c.height = 100000; })); }, false,
     kTooShort},
    {"HugeWidth32Bit", [] { return Build(With([](Craft& c) { c.width = INT32_MAX, c.bpp = 32; })); }, false,
     kTooShort},
    {"Rle8TooShortForItsPicture",
     [] {
         return Build(With([](Craft& c) {
             c.width = c.height = 1000, c.bpp = 8, c.compression = BI_RLE8, c.pixels = {255, 1, 0, 1};
         }));
     },
     false, kTooShort},
    {"Rle4TooShortForItsPicture",
     [] {
         return Build(With([](Craft& c) {
             c.width = 256, c.height = 2, c.bpp = 4, c.compression = BI_RLE4, c.pixels = {255, 1, 0, 1};
         }));
     },
     false, kTooShort},
    // A picture that fits the file but not the picture cap.
    {"BeyondThePictureCap",
     [] {
         return Build(With([](Craft& c) {
             c.width = c.height = 40000, c.bpp = 8, c.compression = BI_RLE8, c.pixels = Bytes(12600000, 0);
         }));
     },
     false, "Can't allocate memory"},
    {"ZeroWidth", [] { return Build(With([](Craft& c) { c.width = 0; })); }, false, "Can't allocate memory"},
    {"NegativeWidth", [] { return Build(With([](Craft& c) { c.width = -13; })); }, false,
     "Can't allocate memory"},
    {"HeightInt32Min", [] { return Build(With([](Craft& c) { c.height = INT32_MIN; })); }, false, kTooShort},
    {"CoreHeaderHugeSizes",
     [] {
         return Build(
             With([](Craft& c) { c.headerSize = 12, c.width = c.height = 0xFFFF, c.pixels = Bytes(28, 0); }));
     },
     false, kTooShort},
    // Entries past 256 are read and dropped, so the pixels still follow the whole palette.
    {"PaletteCount257",
     [] {
         return Build(With([](Craft& c) {
             c.fileHeader = false, c.bpp = 8, c.clrUsed = 257, c.palette = RampPalette(257), c.pixels = {200};
         }));
     },
     true, "",
     [](const Picture& p) {
         EXPECT_EQ(p.GetPixelIndex(0, 0), 200);
         EXPECT_EQ(p.GetPaletteColor(255), (RGBQUAD{255, 0, uint8_t(3 * 255), 0}));
     }},
    {"PaletteCountAllOnes",
     [] {
         return Build(With([](Craft& c) {
             c.bpp = 8, c.clrUsed = UINT32_MAX, c.palette = RampPalette(256), c.pixels = {9};
         }));
     },
     true, "",
     [](const Picture& p) {
         EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{9, 246, 27, 0}));
     }},
    {"PaletteCountOnTrueColourIsIgnored",
     [] {
         return Build(With([](Craft& c) {
             c.fileHeader = false, c.clrUsed = UINT32_MAX, c.pixels = {1, 2, 3, 0};
         }));
     },
     true, "",
     [](const Picture& p) {
         EXPECT_EQ(p.GetPixelColor(0, 0, false), (RGBQUAD{1, 2, 3, 0}));
     }},
    // A palette cut short leaves no room for the pixels behind it.
    {"PaletteCutShort",
     [] { return Cut(Build(With([](Craft& c) { c.bpp = 8, c.palette = RampPalette(256); })), 54 + 8); },
     false, kTooShort},
    {"OffBitsPastTheEnd",
     [] { return Build(With([](Craft& c) {
              c.offBits = 100000, c.pixels = {1, 2, 3, 0};
          })); }, false,
     kTooShort},
    {"OffBitsPastInt32",
     [] { return Build(With([](Craft& c) {
              c.offBits = 0xFFFFFFF0, c.pixels = {1, 2, 3, 0};
          })); }, false,
     kTooShort},
    {"ShortPixelData",
     [] { return Build(With([](Craft& c) {
              c.width = 4, c.height = 2, c.pixels = {1, 2, 3, 4, 5};
          })); },
     false, kTooShort},
    // Only the padding of the last row may be missing.
    {"LastRowWithoutItsPadding",
     [] {
         return Build(With([](Craft& c) { c.width = 1, c.height = 2, c.pixels = {1, 2, 3, 0, 4, 5, 6}; }));
     },
     true, "",
     [](const Picture& p) {
         EXPECT_EQ(p.GetPixelColor(0, 1, false), (RGBQUAD{4, 5, 6, 0}));
     }},
    {"Rle8AbsoluteRunPastTheBuffer",
     [] {
         Bytes run = {0, 255};
         for (int i = 0; i < 256; ++i) run.push_back(uint8_t(i + 1));
         return Build(
             With([&](Craft& c) { c.width = 4, c.bpp = 8, c.compression = BI_RLE8, c.pixels = run; }));
     },
     true, "",
     [](const Picture& p) {
         for (int x = 0; x < 4; ++x) EXPECT_EQ(p.GetPixelIndex(x, 0), x + 1);
     }},
    {"Rle8DeltasFarOutside",
     [] {
         const Bytes s = {0, 2, 255, 255, 0, 2, 255, 255, 0, 3, 1, 2, 3, 0, 2, 9, 0, 1};
         return Build(With(
             [&](Craft& c) { c.width = 4, c.height = 2, c.bpp = 8, c.compression = BI_RLE8, c.pixels = s; }));
     },
     true, "", AllPixelsZero},
    {"Rle4RunPastTheBuffer",
     [] {
         return Build(With([](Craft& c) {
             c.width = 3, c.bpp = 4, c.compression = BI_RLE4, c.pixels = {255, 0x12};
         }));
     },
     true, "", [](const Picture& p) { EXPECT_EQ(p.GetPixelIndex(2, 0), 1); }},
    {"Rle4DeltasFarOutside",
     [] {
         const Bytes s = {0, 2, 255, 255, 0, 2, 255, 255, 0, 5, 0x12, 0x34, 0x50, 0xEE, 4, 0x11, 0, 1};
         return Build(With(
             [&](Craft& c) { c.width = 3, c.height = 2, c.bpp = 4, c.compression = BI_RLE4, c.pixels = s; }));
     },
     true, "", AllPixelsZero},
    {"Rle4AbsoluteRunCutShort",
     [] {
         return Build(With([](Craft& c) {
             c.width = 5, c.bpp = 4, c.compression = BI_RLE4, c.pixels = {0, 9, 0x12};
         }));
     },
     true, "", [](const Picture& p) { EXPECT_EQ(p.GetPixelIndex(1, 0), 2); }},
    {"Rle8CutAfterCountByte",
     [] { return Build(With([](Craft& c) { c.bpp = 8, c.compression = BI_RLE8, c.pixels = {0}; })); }, true,
     "", AllPixelsZero},
    {"TrueColourRle", [] { return Build(With([](Craft& c) { c.compression = BI_RLE8; })); }, false,
     "unknown compression"},
    {"ThirtyTwoBitRle4", [] { return Build(With([](Craft& c) { c.bpp = 32, c.compression = BI_RLE4; })); },
     false, "unknown compression"},
    {"EightBitBitfields",
     [] { return Build(With([](Craft& c) { c.bpp = 8, c.compression = BI_BITFIELDS; })); }, false,
     "compression type not supported"},
    {"OneBitJpeg", [] { return Build(With([](Craft& c) { c.bpp = 1, c.compression = 4; })); }, false,
     "compression type not supported"},
    // Depths the format does not have are refused rather than shown black.
    {"UnknownDepthZero",
     [] { return Build(With([](Craft& c) {
              c.bpp = 0, c.pixels = {0xFF, 0xFF, 0xFF, 0xFF};
          })); }, false,
     "BMP bit count not supported"},
    {"UnknownDepthTwoBits",
     [] { return Build(With([](Craft& c) {
              c.bpp = 2, c.pixels = {0xFF, 0xFF, 0xFF, 0xFF};
          })); }, false,
     "BMP bit count not supported"},
    {"UnknownDepth64Bits",
     [] { return Build(With([](Craft& c) { c.bpp = 64, c.pixels = Bytes(8, 0xFF); })); }, false,
     "BMP bit count not supported"},
};

class BmpHostile : public ::testing::TestWithParam<HostileRow> {};

TEST_P(BmpHostile, FailsCleanlyOrDecodesWhatIsThere) {
    const HostileRow& row = GetParam();
    Picture p(2, 2, 24, 0);
    EXPECT_EQ(Decode(p, row.make()), row.ok);
    EXPECT_STREQ(p.GetLastError(), row.text);
    if (!row.ok) {
        EXPECT_EQ(p.GetWidth(), 2u) << "a failed decode must leave the picture as it was";
        return;
    }
    ASSERT_TRUE(p.IsValid());
    if (row.check) row.check(p);
}

INSTANTIATE_TEST_SUITE_P(Mutilations, BmpHostile, ::testing::ValuesIn(kHostile), RowName());

}  // namespace
