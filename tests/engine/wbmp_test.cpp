#include "wbmp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_fixtures.h"
#include "picture.h"
#include "stream.h"

namespace {

using fixtures::Bytes;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/wbmp/";

bool Decode(Picture& p, const Bytes& bytes) { return fixtures::DecodeBytes(p, bytes, ImageFormat::Wbmp); }
Bytes Encode(Picture& p) { return fixtures::EncodeBytes(p, ImageFormat::Wbmp); }

}  // namespace

TEST(Wbmp, FilesOfIndependentWritersMatchTheirReadings) {
    for (const char* name : {"pbmtowbmp-small", "pbmtowbmp-wide", "pbmtowbmp-tall", "im-small"}) {
        Picture p;
        ASSERT_TRUE(p.Load((kData + name + ".wbmp").c_str(), ImageFormat::Wbmp))
            << name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetBpp(), 1) << name;
        fixtures::ExpectPixels(p, fixtures::ParseNetpbm(fixtures::ReadFile(kData + name + ".pbm")), name);
    }
    Picture detected;
    ASSERT_TRUE(detected.Load((kData + "pbmtowbmp-wide.wbmp").c_str(), ImageFormat::Unknown));
    EXPECT_EQ(detected.GetType(), static_cast<uint32_t>(ImageFormat::Wbmp));
}

// Our files equal pbmtowbmp's byte for byte, and read back in wbmptopbm and ImageMagick.
TEST(Wbmp, EncodedFilesReadBackIdenticallyInOtherReaders) {
    Picture largest(255, 255, 1, 0);
    largest.SetGrayPalette();
    for (int y = 0; y < 255; ++y)
        for (int x = 0; x < 255; ++x)
            largest.SetPixelIndex(x, y, static_cast<uint8_t>((x * x + 3 * y) % 7 < 3));

    int checked = 0;
    for (const std::string source : {"pbmtowbmp-small", "pbmtowbmp-wide", ""}) {
        Picture loaded;
        ASSERT_TRUE(source.empty() || loaded.Load((kData + source + ".wbmp").c_str(), ImageFormat::Wbmp));
        Picture& p = source.empty() ? largest : loaded;
        const Bytes written = Encode(p);
        ASSERT_FALSE(written.empty()) << source << ": " << p.GetLastError();
        if (!source.empty()) {
            EXPECT_EQ(written, fixtures::ReadFile(kData + source + ".wbmp")) << source;
        }

        const fixtures::TempFile file(written);
        const std::string what = "ours from " + (source.empty() ? "255 x 255" : source);
        const Bytes pbm = fixtures::ToolOutput("wbmptopbm", file.path());
        if (!pbm.empty())
            fixtures::ExpectPixels(p, fixtures::ParseNetpbm(pbm), what + " in wbmptopbm"), ++checked;
        const Bytes im = fixtures::ToolOutput(PANELLE_CONVERT, "wbmp:" + file.path() + " pbm:-");
        if (!im.empty())
            fixtures::ExpectPixels(p, fixtures::ParseNetpbm(im), what + " in ImageMagick"), ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "neither ImageMagick nor netpbm is installed";
}

TEST(Wbmp, HeaderAndRowsByteForByte) {
    Picture p;
    ASSERT_TRUE(Decode(p, {0, 0, 8, 2, 0xFF, 0x00})) << p.GetLastError();
    ASSERT_EQ(p.GetWidth(), 8u);
    ASSERT_EQ(p.GetHeight(), 2u);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(p.GetPixelColor(x, 1).rgbGreen, 255) << x;  // the top row is white
        EXPECT_EQ(p.GetPixelColor(x, 0).rgbGreen, 0) << x;
    }

    Picture ten(10, 3, 1, 0);
    ten.SetPixelIndex(0, 2, 1);  // top left
    ten.SetPixelIndex(9, 0, 1);  // bottom right
    EXPECT_EQ(Encode(ten), (Bytes{0, 0, 10, 3, 0x80, 0, 0, 0, 0, 0x40}));

    // Sizes of 128 and more take a second byte; 200 is 1 * 128 + 72.
    Picture wide(200, 1, 1, 0);
    const Bytes file = Encode(wide);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 5), (Bytes{0, 0, 0x81, 0x48, 1}));
    EXPECT_EQ(file.size(), 5u + 25u);
    Picture back;
    ASSERT_TRUE(Decode(back, file));
    EXPECT_EQ(back.GetWidth(), 200u);
}

// A writer that stores each size as one plain byte gives 200 as 0xC8; such a file is known
// by its length and read with those sizes.
TEST(Wbmp, PlainByteSizesAreReadWhenTheLengthFitsThem) {
    Bytes file = {0, 0, 0xC8, 0x64};
    for (int y = 0; y < 100; ++y)
        for (int i = 0; i < 25; ++i) file.push_back(y == 0 ? 0xFF : 0x00);  // the top row white
    Picture p;
    ASSERT_TRUE(Decode(p, file)) << p.GetLastError();
    EXPECT_EQ(p.GetWidth(), 200u);
    EXPECT_EQ(p.GetHeight(), 100u);
    EXPECT_EQ(p.GetPixelIndex(199, 99), 1);
    EXPECT_EQ(p.GetPixelIndex(0, 98), 0);

    // With rows missing the length fits nothing, and the multi-byte reading holds: here the
    // white row makes the height an integer of more than five bytes.
    file.resize(1000);
    Picture q;
    EXPECT_FALSE(Decode(q, file));
    EXPECT_STREQ(q.GetLastError(), "Corrupted WBMP");
}

TEST(Wbmp, HostileFilesFailWithTheirReason) {
    const struct {
        const char* name;
        Bytes file;
        const char* error;
    } rows[] = {
        {"empty", {}, "Not a WBMP"},
        {"three bytes", {0, 0, 8}, "Not a WBMP"},
        {"size cut inside a multi-byte integer", {0, 0, 8, 0x81}, "Not a WBMP"},
        {"type 1", {1, 0, 8, 2, 0xFF, 0}, "Unsupported WBMP type"},
        {"width 0", {0, 0, 0, 2, 0xFF, 0}, "Corrupted WBMP"},
        {"height 0", {0, 0, 8, 0}, "Corrupted WBMP"},
        {"width past 32 bits", {0, 0, 0x90, 0x80, 0x80, 0x80, 0x00, 1, 0}, "Corrupted WBMP"},
        {"width of six bytes", {0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 1, 0}, "Corrupted WBMP"},
        // Sizes the rows behind the header cannot fill are refused before anything is made.
        {"2^31 x 1", {0, 0, 0x88, 0x80, 0x80, 0x80, 0x00, 1, 0}, "WBMP file too short for its picture"},
        {"8 x 3 with two rows", {0, 0, 8, 3, 0xFF, 0xF0}, "WBMP file too short for its picture"},
    };
    for (const auto& row : rows) {
        Picture p(3, 3, 1, 0);
        EXPECT_FALSE(Decode(p, row.file)) << row.name;
        EXPECT_STREQ(p.GetLastError(), row.error) << row.name;
        EXPECT_EQ(p.GetWidth(), 3u) << row.name;  // the picture it had stays
    }

    // Bytes past the last row are not needed and not read.
    Picture whole;
    ASSERT_TRUE(Decode(whole, {0, 0, 8, 2, 0xFF, 0xF0, 0x55}));
    EXPECT_EQ(whole.GetPixelIndex(0, 1), 1);
    EXPECT_EQ(whole.GetPixelIndex(4, 0), 0);

    // Asking for the size only reads the header, however large the picture claims to be.
    Picture measure;
    measure.SetEscape(-1);
    ASSERT_TRUE(Decode(measure, {0, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x84, 0x00}));
    EXPECT_FALSE(measure.IsValid());
    EXPECT_EQ(measure.GetWidth(), 0x7FFFFFFFu);
    EXPECT_EQ(measure.GetHeight(), 512u);
}

TEST(Wbmp, OnlySmallOneBitPicturesAreSaved) {
    const struct {
        uint32_t width, height, bpp;
    } rows[] = {{256, 10, 1}, {10, 256, 1}, {8, 8, 8}, {8, 8, 4}, {8, 8, 24}};
    for (const auto& row : rows) {
        Picture p(row.width, row.height, row.bpp, 0);
        EXPECT_TRUE(Encode(p).empty()) << row.width << "x" << row.height << "x" << row.bpp;
        EXPECT_STREQ(p.GetLastError(), "Can't save this image as WBMP");
    }
    Picture empty;
    EXPECT_TRUE(Encode(empty).empty());
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

// A 1-bit picture whose palette has white at index 0 (netpbm's BMP) is written so that its
// white pixels are white in the WBMP, as wbmptopbm and our decoder read it; the picture
// itself is left as it was.
TEST(Wbmp, WhiteAtIndexZeroIsWrittenTheRightWayRound) {
    Picture p;
    ASSERT_TRUE(p.Load((kData + "ppmtobmp-white-first.bmp").c_str(), ImageFormat::Bmp)) << p.GetLastError();
    ASSERT_EQ(p.GetPaletteColor(0), (RGBQUAD{255, 255, 255, 0}));
    const fixtures::Image reference =
        fixtures::ParseNetpbm(fixtures::ReadFile(kData + "ppmtobmp-white-first.pbm"));
    const Bytes before(p.GetBits(0), p.GetBits(0) + p.header.biSizeImage);
    const Bytes file = Encode(p);
    ASSERT_FALSE(file.empty()) << p.GetLastError();
    EXPECT_EQ(Bytes(p.GetBits(0), p.GetBits(0) + p.header.biSizeImage), before);
    fixtures::ExpectPixels(p, reference, "source");

    Picture back;
    ASSERT_TRUE(Decode(back, file)) << back.GetLastError();
    fixtures::ExpectPixels(back, reference, "our reading");

    fixtures::TempFile written(file);
    const Bytes pbm = fixtures::ToolOutput("wbmptopbm", "'" + written.path() + "'");
    if (pbm.empty()) GTEST_SKIP() << "netpbm is not installed";
    fixtures::ExpectPixels(p, fixtures::ParseNetpbm(pbm), "wbmptopbm's reading");
}
