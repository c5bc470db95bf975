// The JPEG codec against files and pixels made by cjpeg, djpeg, ImageMagick and exiftool.
#include "jpg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bmp.h"
#include "jpg_support.h"

using namespace jpgtest;

namespace {

// ---- decoding against djpeg ---------------------------------------------------------------

struct DjpegRow {
    const char* jpeg;
    const char* reference;  // djpeg's output with the matching settings
    uint8_t scale;
    uint32_t options;
};

class JpgMatchesDjpeg : public testing::TestWithParam<DjpegRow> {};

TEST_P(JpgMatchesDjpeg, PixelForPixel) {
    const DjpegRow& row = GetParam();
    Picture pic;
    ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture(row.jpeg)), [&](Picture& p) {
        p.SetJpegScale(row.scale);
        p.SetCodecOption(row.options, ImageFormat::Jpg);
    })) << pic.GetLastError();
    EXPECT_EQ(pic.GetType(), ImageFormat::Jpg);
    ExpectPixels(pic, ReadPnm(Fixture(row.reference)));
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpgMatchesDjpeg,
    testing::Values(
        DjpegRow{"baseline.jpg", "baseline.ppm", 0, 0}, DjpegRow{"progressive.jpg", "progressive.ppm", 0, 0},
        DjpegRow{"optimised.jpg", "optimised.ppm", 0, 0}, DjpegRow{"restart.jpg", "restart.ppm", 0, 0},
        DjpegRow{"grey.jpg", "grey.pgm", 0, 0}, DjpegRow{"cjpeg-q90.jpg", "cjpeg-q90.ppm", 1, 0},
        // Files that end early are finished as if an end-of-image marker came.
        DjpegRow{"baseline-trunc.jpg", "baseline-trunc.ppm", 0, 0},
        DjpegRow{"progressive-trunc.jpg", "progressive-trunc.ppm", 0, 0},
        // Scaled output: djpeg -scale 1/n.
        DjpegRow{"baseline.jpg", "baseline-s2.ppm", 2, 0}, DjpegRow{"baseline.jpg", "baseline-s4.ppm", 4, 0},
        DjpegRow{"baseline.jpg", "baseline-s8.ppm", 8, 0}, DjpegRow{"grey.jpg", "grey-s2.pgm", 2, 0},
        // djpeg -nosmooth and djpeg -grayscale.
        DjpegRow{"baseline.jpg", "baseline-nosmooth.ppm", 0, JpegOption::NoFancyUpsampling},
        DjpegRow{"baseline.jpg", "baseline-greyout.pgm", 0, JpegOption::GreyscaleOutput}));

// Quantised output against djpeg's colour-mapped BMP: the same palette and the same index
// for every pixel.
struct QuantRow {
    const char* jpeg;
    const char* reference;
    uint32_t options;
    uint8_t colors;
    int32_t dither;
    const char* djpegArgs;  // the line of quantised-colours.txt with djpeg's count
};

// The number of colours djpeg's trace reported for each set of arguments.
uint32_t DjpegColours(const std::string& key) {
    const auto bytes = ReadFile(Fixture("quantised-colours.txt"));
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ": ", 0) == 0)
            return static_cast<uint32_t>(std::stoul(line.substr(key.size() + 2)));
    ADD_FAILURE() << "no count for " << key;
    return 0;
}

class JpgQuantisesLikeDjpeg : public testing::TestWithParam<QuantRow> {};

TEST_P(JpgQuantisesLikeDjpeg, SamePaletteAndIndices) {
    const QuantRow& row = GetParam();
    auto jpeg = ReadFile(Fixture(row.jpeg));
    PictureJPG pic;
    pic.SetJpegQuality(row.colors);
    pic.SetCodecOption(row.options, ImageFormat::Jpg);
    pic.ditherMode = row.dither;
    MemoryStream ms(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    ASSERT_TRUE(pic.Decode(&ms)) << pic.GetLastError();

    Picture ref;
    ASSERT_TRUE(ref.Load(Fixture(row.reference).c_str(), ImageFormat::Bmp)) << ref.GetLastError();
    ASSERT_EQ(pic.GetBpp(), 8);
    const uint32_t colours = DjpegColours(row.djpegArgs);
    ASSERT_EQ(colours, row.colors);
    EXPECT_EQ(pic.GetNumColors(), colours);
    ASSERT_EQ(pic.GetWidth(), ref.GetWidth());
    ASSERT_EQ(pic.GetHeight(), ref.GetHeight());
    int differentEntries = 0, differentPixels = 0, outside = 0;
    for (uint32_t i = 0; i < colours; ++i) {
        const RGBQUAD a = pic.GetPaletteColor(static_cast<uint8_t>(i)),
                      b = ref.GetPaletteColor(static_cast<uint8_t>(i));
        if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue) ++differentEntries;
    }
    for (int32_t y = 0; y < static_cast<int32_t>(ref.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(ref.GetWidth()); ++x)
            if (pic.GetPixelIndex(x, y) != ref.GetPixelIndex(x, y))
                ++differentPixels;
            else if (pic.GetPixelIndex(x, y) >= colours)
                ++outside;
    EXPECT_EQ(differentEntries, 0);
    EXPECT_EQ(differentPixels, 0);
    EXPECT_EQ(outside, 0);

    // Saved as BMP, the file lists just those colours, and reads back to the same pixels.
    MemoryStream bmp;
    bmp.Open();
    Picture& asPicture = pic;
    ASSERT_TRUE(asPicture.Encode(&bmp, ImageFormat::Bmp)) << pic.GetLastError();
    ASSERT_GT(bmp.Size(), 54);
    uint32_t clrUsed = 0;
    std::memcpy(&clrUsed, bmp.buffer + 46, 4);
    EXPECT_EQ(clrUsed, colours);
    Picture back;
    MemoryStream in(bmp.buffer, static_cast<int32_t>(bmp.Size()));
    ASSERT_TRUE(back.Decode(&in, ImageFormat::Bmp)) << back.GetLastError();
    EXPECT_EQ(back.GetPixelColor(3, 4, false), pic.GetPixelColor(3, 4, false));
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpgQuantisesLikeDjpeg,
    testing::Values(
        QuantRow{"baseline.jpg", "baseline-q64.bmp", JpegOption::Quantize, 64, 2, "baseline.jpg -colors 64"},
        QuantRow{"baseline.jpg", "baseline-q64-onepass.bmp", JpegOption::Quantize | JpegOption::OnePass, 64,
                 2, "baseline.jpg -colors 64 -onepass"},
        QuantRow{"baseline.jpg", "baseline-q64-nodither.bmp", JpegOption::Quantize | JpegOption::Dither, 64,
                 0, "baseline.jpg -colors 64 -dither none"},
        QuantRow{"baseline.jpg", "baseline-q64-ordered.bmp",
                 JpegOption::Quantize | JpegOption::Dither | JpegOption::OnePass, 64, 1,
                 "baseline.jpg -colors 64 -dither ordered -onepass"},
        // A greyscale file quantised: indices into the library's grey map.
        QuantRow{"grey.jpg", "grey-q16.bmp", JpegOption::Quantize, 16, 2, "grey.jpg -colors 16"}));

// Adobe CMYK from ImageMagick: each colour is its ink byte (stored inverted) times the black
// byte over 255, truncated; djpeg rounds the same product, so it is at most 1 away.
TEST(Jpg, CmykLoadsAsInkTimesBlack) {
    Picture pic;
    ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture("cmyk.jpg")))) << pic.GetLastError();
    ASSERT_EQ(pic.GetBpp(), 24);
    const auto ink = ReadFile(Fixture("cmyk.cmyk"));
    const uint32_t w = pic.GetWidth(), h = pic.GetHeight();
    ASSERT_EQ(ink.size(), size_t{4} * w * h);
    int bad = 0;
    for (uint32_t yTop = 0; yTop < h; ++yTop) {
        const uint8_t* row = pic.GetBits(h - 1 - yTop);
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* s = &ink[4 * (size_t{yTop} * w + x)];
            const unsigned c = 255 - s[0], m = 255 - s[1], y = 255 - s[2], k = 255 - s[3];
            if (row[3 * x + 2] != c * k / 255 || row[3 * x + 1] != m * k / 255 || row[3 * x] != y * k / 255)
                ++bad;
        }
    }
    EXPECT_EQ(bad, 0);
    ExpectPixels(pic, ReadPnm(Fixture("cmyk.ppm")), 1);
}

// ---- resolution ---------------------------------------------------------------------------

struct DpiRow {
    const char* jpeg;
    int32_t before;  // the picture's resolution before the load
    int32_t x, y;
};

class JpgResolution : public testing::TestWithParam<DpiRow> {};

TEST_P(JpgResolution, FromExifElseJfif) {
    const DpiRow& row = GetParam();
    Picture pic;
    ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture(row.jpeg)), [&](Picture& p) {
        p.SetXDpi(row.before);
        p.SetYDpi(row.before);
    })) << pic.GetLastError();
    EXPECT_EQ(pic.GetXDpi(), row.x);
    EXPECT_EQ(pic.GetYDpi(), row.y);
    EXPECT_EQ(pic.header.biXPelsPerMeter, static_cast<int32_t>(row.x * 10000.0 / 254 + 0.5));
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpgResolution,
    testing::Values(DpiRow{"jfif-72dpi.jpg", 96, 72, 72},
                    DpiRow{"jfif-28dpcm.jpg", 96, 71, 71},     // floor(28 x 2.54 + 0.5)
                    DpiRow{"nojfif.jpg", 123, 123, 123},       // libjpeg's default 1:1, no unit
                    DpiRow{"baseline.jpg", 123, 123, 123},     // cjpeg: aspect ratio 1:1, no unit
                    DpiRow{"jfif-aspect.jpg", 123, 123, 123},  // ImageMagick: aspect ratio 3:2
                    DpiRow{"exif-mm.jpg", 96, 300, 150},       // EXIF wins over the JFIF 1:1
                    DpiRow{"exif-ii-cm.jpg", 96, 72, 72},      // 28.35 per centimetre
                    DpiRow{"exif-nores.jpg", 123, 123, 123}    // EXIF without resolution tags
                    ));

// The resolution exiftool reads from the main picture's directory (or, for unit 0, the JFIF
// aspect ratio that leaves the resolution alone), whatever a thumbnail directory says.
TEST(Jpg, ResolutionIsWhatExiftoolReadsForThePicture) {
    for (const std::string name : {"exif-240dpi-thumb-MM", "exif-240dpi-thumb-II", "exif-cm-round",
                                   "exif-ii-cm", "exif-mm", "jfif-aspect"}) {
        const auto tags = ExiftoolTags(name + ".txt");
        const bool jfif = tags.count("JFIF:ResolutionUnit") > 0;
        const std::string group = jfif ? "JFIF:" : "IFD0:";
        const int unit = std::stoi(tags.at(group + "ResolutionUnit"));
        const auto expected = [&](const char* axis) {
            if (jfif && unit == 0) return 123;
            const double perUnit = std::stod(tags.at(group + axis));
            return static_cast<int>(std::floor(perUnit * (unit == 3 ? 2.54 : 1.0) + 0.5));
        };
        Picture pic;
        ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture(name + ".jpg")),
                               [](Picture& p) {
                                   p.SetXDpi(123);
                                   p.SetYDpi(123);
                               }))
            << name << ": " << pic.GetLastError();
        EXPECT_EQ(pic.GetXDpi(), expected("XResolution")) << name;
        EXPECT_EQ(pic.GetYDpi(), expected("YResolution")) << name;
    }
    // Truncating 118.11 x 2.54 = 299.9994 would have given 299.
    Picture pic;
    ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture("exif-cm-round.jpg"))));
    EXPECT_EQ(pic.GetXDpi(), 300);
    EXPECT_EQ(pic.GetYDpi(), 120);
}

// ---- requests -----------------------------------------------------------------------------

TEST(Jpg, SizeOnlyRequestReadsNoPixels) {
    for (const uint8_t scale : {0, 2, 8}) {
        const Pnm ref = ReadPnm(Fixture(scale == 0   ? "baseline.ppm"
                                        : scale == 2 ? "baseline-s2.ppm"
                                                     : "baseline-s8.ppm"));
        Picture pic;
        pic.SetLastError("untouched");
        ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture("baseline.jpg")), [&](Picture& p) {
            p.SetEscape(-1);
            p.SetJpegScale(scale);
        }));
        EXPECT_FALSE(pic.IsValid());
        EXPECT_EQ(pic.GetWidth(), ref.width);
        EXPECT_EQ(pic.GetHeight(), ref.height);
        EXPECT_STREQ(pic.GetLastError(), "untouched");
    }
}

TEST(Jpg, CancelFailsAndKeepsTheText) {
    Picture pic;
    pic.SetLastError("untouched");
    EXPECT_FALSE(DecodeJpeg(pic, ReadFile(Fixture("baseline.jpg")), [](Picture& p) { p.SetEscape(1); }));
    EXPECT_FALSE(pic.IsValid());
    EXPECT_STREQ(pic.GetLastError(), "untouched");
}

TEST(Jpg, DetectedUnderAnotherExtension) {
    Picture pic;
    ASSERT_TRUE(pic.Load(Fixture("progressive.jpg").c_str(), ImageFormat::Bmp)) << pic.GetLastError();
    EXPECT_EQ(pic.GetType(), ImageFormat::Jpg);
    ExpectPixels(pic, ReadPnm(Fixture("progressive.ppm")));
}

// ---- hostile input ------------------------------------------------------------------------

std::vector<uint8_t> WithByte(std::vector<uint8_t> b, size_t at, uint8_t value) {
    b.at(at) = value;
    return b;
}

// Offset of the first marker `code` in a JPEG (the 0xFF byte).
size_t MarkerAt(const std::vector<uint8_t>& b, uint8_t code) {
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == code) return i;
    ADD_FAILURE() << "no marker " << int(code);
    return 0;
}

std::vector<uint8_t> WithSize(std::vector<uint8_t> b, uint8_t sof, uint16_t width, uint16_t height) {
    const size_t at = MarkerAt(b, sof);
    b.at(at + 5) = uint8_t(height >> 8), b.at(at + 6) = uint8_t(height);
    b.at(at + 7) = uint8_t(width >> 8), b.at(at + 8) = uint8_t(width);
    return b;
}

struct HostileRow {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* text;
};

TEST(Jpg, HostileFilesFailWithTheLibraryText) {
    const auto baseline = ReadFile(Fixture("baseline.jpg"));
    const auto progressive = ReadFile(Fixture("progressive.jpg"));
    const std::vector<HostileRow> rows = {
        {"empty", {}, "Empty input file"},
        {"not a jpeg", {'B', 'M', 1, 2, 3}, "Not a JPEG file: starts with 0x42 0x4d"},
        {"only the start marker", {0xFF, 0xD8}, "JPEG datastream contains no image"},
        {"cut inside the headers", std::vector<uint8_t>(baseline.begin(), baseline.begin() + 100),
         "JPEG datastream contains no image"},
        {"zero width", WithSize(baseline, 0xC0, 0, 61), "Empty JPEG image (DNL not supported)"},
        {"huge baseline picture", WithSize(baseline, 0xC0, 65500, 65500), "PICTURE_MAX_MEMORY exceeded"},
        {"huge progressive picture", WithSize(progressive, 0xC2, 65500, 65500),
         "PICTURE_MAX_MEMORY exceeded"},
        // The data of a 97 x 61 picture cannot fill 4000 x 4000: refused before anything is
        // allocated for it.
        {"baseline too short for its size", WithSize(baseline, 0xC0, 4000, 4000),
         "JPEG file too short for its picture"},
        {"progressive too short for its size", WithSize(progressive, 0xC2, 4000, 4000),
         "JPEG file too short for its picture"},
        {"grey too short for its size", WithSize(ReadFile(Fixture("grey.jpg")), 0xC0, 1500, 1500),
         "JPEG file too short for its picture"},
        {"bad precision", WithByte(baseline, MarkerAt(baseline, 0xC0) + 4, 7),
         "Unsupported JPEG data precision 7"},
        {"quantisation table 9", WithByte(baseline, MarkerAt(baseline, 0xDB) + 4, 9), "Bogus DQT index 9"},
        {"five components", WithByte(baseline, MarkerAt(baseline, 0xC0) + 9, 5), "Bogus marker length"},
    };
    for (const HostileRow& row : rows) {
        Picture pic;
        EXPECT_FALSE(DecodeJpeg(pic, row.bytes)) << row.name;
        EXPECT_STREQ(pic.GetLastError(), row.text) << row.name;
        EXPECT_FALSE(pic.IsValid()) << row.name;
    }
}

// Every coefficient of a progressive picture is kept whatever the output size: at an eighth,
// 65500 x 65500 makes a picture within the cap but 13 GB of coefficients.
TEST(Jpg, ProgressiveCoefficientsAreHeldToTheCap) {
    Picture pic;
    EXPECT_FALSE(DecodeJpeg(pic, WithSize(ReadFile(Fixture("progressive.jpg")), 0xC2, 65500, 65500),
                            [](Picture& p) { p.SetJpegScale(8); }));
    EXPECT_STREQ(pic.GetLastError(), "PICTURE_MAX_MEMORY exceeded");
}

// Flat white pages are the most compressible real files, just above two bits per block with
// optimised codes: none is taken for a file cut short. Their pixels are the white they were
// made from, as djpeg also decodes them.
TEST(Jpg, FlatPagesAreNotTooShort) {
    const std::string djpeg = Tool("djpeg");
    for (const char* name : {"flat-white-optimised.jpg", "flat-white-progressive.jpg", "flat-white-grey.jpg",
                             "flat-white-arithmetic.jpg", "flat-white-im.jpg"}) {
        Picture pic;
        ASSERT_TRUE(DecodeJpeg(pic, ReadFile(Fixture(name)))) << name << ": " << pic.GetLastError();
        EXPECT_EQ(pic.GetWidth(), 2048u) << name;
        EXPECT_EQ(pic.GetHeight(), 2048u) << name;
        int64_t notWhite = 0;
        for (uint32_t y = 0; y < pic.GetHeight(); ++y) {
            const uint8_t* row = pic.GetBits(y);
            for (uint32_t i = 0; i < pic.GetWidth() * pic.GetBpp() / 8; ++i) notWhite += row[i] != 255;
        }
        EXPECT_EQ(notWhite, 0) << name;
        if (!djpeg.empty()) ExpectPixels(pic, ParsePnm(RunTool(djpeg + " -pnm " + Fixture(name))));
    }
}

// A file cut inside a section whose length runs past the end ends at once.
TEST(Jpg, SkipPastTheEndStopsAtTheEnd) {
    std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xE5, 0xFF, 0xFF, 'x'};
    Picture pic;
    EXPECT_FALSE(DecodeJpeg(pic, bytes));
    EXPECT_STREQ(pic.GetLastError(), "JPEG datastream contains no image");
}

// Every prefix and a flipped bit in every byte: each decode ends, with pixels or a text.
TEST(Jpg, MutilatedFilesEndCleanly) {
    for (const char* name : {"baseline.jpg", "progressive.jpg", "exif-mm.jpg"}) {
        const auto bytes = ReadFile(Fixture(name));
        for (size_t n = 0; n < bytes.size(); n += 7) {
            Picture pic;
            if (!DecodeJpeg(pic, std::vector<uint8_t>(bytes.begin(),
                                                      bytes.begin() + static_cast<std::ptrdiff_t>(n)))) {
                EXPECT_STRNE(pic.GetLastError(), "") << name << " cut at " << n;
            }
        }
        for (size_t i = 0; i < bytes.size(); ++i) {
            Picture pic;
            if (!DecodeJpeg(pic, WithByte(bytes, i, static_cast<uint8_t>(bytes[i] ^ (1u << (i % 8)))))) {
                EXPECT_STRNE(pic.GetLastError(), "") << name << " flipped at " << i;
            }
        }
    }
}

// A progressive file that repeats its last scan without end.
TEST(Jpg, EndlessScansAreCut) {
    auto bytes = ReadFile(Fixture("progressive.jpg"));
    bytes.resize(bytes.size() - 2);  // drop the end-of-image marker
    const size_t lastScan = [&] {
        size_t at = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) at = i;
        return at;
    }();
    const std::vector<uint8_t> scan(bytes.begin() + static_cast<std::ptrdiff_t>(lastScan), bytes.end());
    for (int i = 0; i < 1100; ++i) bytes.insert(bytes.end(), scan.begin(), scan.end());
    bytes.push_back(0xFF);
    bytes.push_back(0xD9);
    Picture pic;
    EXPECT_FALSE(DecodeJpeg(pic, bytes));
    EXPECT_STREQ(pic.GetLastError(), "Too many scans in JPEG file");
}

// ---- encoding -----------------------------------------------------------------------------

struct EncodeRow {
    const char* source;     // netpbm picture to encode
    const char* reference;  // cjpeg's file from the same picture and settings
    uint8_t quality;
    uint32_t options;
    int32_t smoothing;
};

class JpgEncodesLikeCjpeg : public testing::TestWithParam<EncodeRow> {};

// Same library, same settings: past the JFIF header the files are the same bytes.
TEST_P(JpgEncodesLikeCjpeg, SameBytesAfterTheJfifHeader) {
    const EncodeRow& row = GetParam();
    PictureJPG pic;
    FromPnm(pic, ReadPnm(Fixture(row.source)));
    pic.SetJpegQuality(row.quality);
    pic.SetCodecOption(row.options, ImageFormat::Jpg);
    pic.smoothingFactor = row.smoothing;
    pic.SetXDpi(150);
    pic.SetYDpi(75);
    MemoryStream ms;
    ms.Open();
    ASSERT_TRUE(pic.Encode(&ms)) << pic.GetLastError();
    const std::vector<uint8_t> ours(ms.buffer, ms.buffer + ms.Size());
    const auto theirs = ReadFile(Fixture(row.reference));
    EXPECT_TRUE(AfterJfif(ours) == AfterJfif(theirs));

    // JFIF 1.01, dots per inch, the picture's resolution.
    ASSERT_GT(ours.size(), 20u);
    EXPECT_EQ(0, std::memcmp(&ours[0], "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01\x00\x96\x00\x4B", 18));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, JpgEncodesLikeCjpeg,
    testing::Values(EncodeRow{"src.ppm", "cjpeg-q90.jpg", 90, 0, 0},
                    EncodeRow{"src.ppm", "cjpeg-q90-progressive.jpg", 90, JpegOption::Progressive, 0},
                    EncodeRow{"src.ppm", "cjpeg-q90-optimize.jpg", 90, JpegOption::Optimize, 0},
                    EncodeRow{"src.ppm", "cjpeg-q90-grayscale.jpg", 90, JpegOption::Greyscale, 0},
                    EncodeRow{"src.ppm", "cjpeg-q90-arithmetic.jpg", 90, JpegOption::Arithmetic, 0},
                    EncodeRow{"src.ppm", "cjpeg-q90-smooth50.jpg", 90, JpegOption::Smoothing, 50},
                    EncodeRow{"src.ppm", "cjpeg-q5.jpg", 5, 0, 0},
                    EncodeRow{"src.ppm", "cjpeg-q5-baseline.jpg", 5, JpegOption::ForceBaseline, 0},
                    // An 8-bit picture with the identity grey ramp gives a one-component file.
                    EncodeRow{"grey.pgm", "cjpeg-grey-q90.jpg", 90, 0, 0}));

// Our files through the independent decoders: djpeg gives the pixels cjpeg's file gives, and
// ImageMagick reads size and resolution.
TEST(Jpg, WrittenFilesDecodeInDjpegAndImageMagick) {
    const std::string djpeg = Tool("djpeg");
    if (djpeg.empty()) GTEST_SKIP() << "djpeg not installed";
    Picture pic;
    FromPnm(pic, ReadPnm(Fixture("src.ppm")));
    pic.SetXDpi(200);
    pic.SetYDpi(200);
    const std::string path = TempPath("written.jpg");
    ASSERT_TRUE(pic.Save(path.c_str(), ImageFormat::Jpg)) << pic.GetLastError();

    const Pnm decoded = ParsePnm(RunTool(djpeg + " -pnm " + path));
    Picture viaDjpeg;
    FromPnm(viaDjpeg, decoded);
    ExpectPixels(viaDjpeg, ReadPnm(Fixture("cjpeg-q90.ppm")));

    if (std::strlen(PANELLE_CONVERT) > 0) {
        const auto out = RunTool(std::string(PANELLE_CONVERT) + " " + path + " -format '%w %h %x %U' info:");
        EXPECT_EQ(std::string(out.begin(), out.end()), "97 61 200 PixelsPerInch");
        const Pnm viaMagick = ParsePnm(RunTool(std::string(PANELLE_CONVERT) + " " + path + " ppm:-"));
        ExpectPixels(viaDjpeg, viaMagick);
    }
    std::remove(path.c_str());
}

TEST(Jpg, RefusesColourPalettes) {
    Picture pic(8, 8, 4, 0);
    pic.SetGrayPalette();  // 0, 17, 34, ...: grey, but not the identity ramp
    MemoryStream ms;
    ms.Open();
    EXPECT_FALSE(pic.Encode(&ms, ImageFormat::Jpg));
    EXPECT_STREQ(pic.GetLastError(), "JPEG can save only RGB or GreyScale images");
    Picture empty;
    EXPECT_FALSE(empty.Encode(&ms, ImageFormat::Jpg));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

// A 4-bit picture with the identity ramp (entry i is grey level i) is widened to samples.
TEST(Jpg, PackedGreyPicturesAreWidened) {
    Picture pic(37, 9, 4, 0);
    for (uint8_t i = 0; i < 16; ++i) pic.SetPaletteColor(i, i, i, i);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) pic.SetPixelIndex(x, y, static_cast<uint8_t>((x + y) % 16));
    pic.SetJpegQuality(100);
    const auto bytes = EncodeJpeg(pic);
    ASSERT_FALSE(bytes.empty()) << pic.GetLastError();
    Picture back;
    ASSERT_TRUE(DecodeJpeg(back, bytes)) << back.GetLastError();
    ASSERT_EQ(back.GetBpp(), 8);
    int far = 0;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x)
            if (std::abs(back.GetPixelIndex(x, y) - (x + y) % 16) > 2) ++far;
    EXPECT_EQ(far, 0);
}

// A stream that takes a limited number of bytes.
class FullStream : public MemoryStream {
   public:
    explicit FullStream(uint32_t room) : room_(room) { Open(); }
    uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override {
        const uint64_t n = uint64_t{size} * count;
        if (n > room_) return 0;
        room_ -= static_cast<uint32_t>(n);
        return MemoryStream::Write(buffer, size, count);
    }

   private:
    uint32_t room_;
};

TEST(Jpg, WriteFailuresReportTheLibraryText) {
    Picture pic;
    FromPnm(pic, ReadPnm(Fixture("src.ppm")));
    pic.SetJpegQuality(100);  // more than one 4096-byte buffer
    for (const uint32_t room : {0u, 100u, 4096u, 6000u}) {
        FullStream full(room);
        EXPECT_FALSE(pic.Encode(&full, ImageFormat::Jpg)) << room;
        EXPECT_STREQ(pic.GetLastError(), "Output file write error --- out of disk space?") << room;
    }
}

// ---- EXIF carried through one codec object -------------------------------------------------

TEST(Jpg, SameObjectWritesTheExifBack) {
    auto bytes = ReadFile(Fixture("exif-mm.jpg"));
    PictureJPG codec;
    MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
    ASSERT_TRUE(codec.Decode(&in)) << codec.GetLastError();
    ASSERT_TRUE(codec.exifInfo.isExif);

    MemoryStream out;
    out.Open();
    ASSERT_TRUE(codec.Encode(&out)) << codec.GetLastError();
    const std::vector<uint8_t> written(out.buffer, out.buffer + out.Size());
    // The EXIF section comes right after the start-of-image marker; the JFIF one is gone.
    ASSERT_GT(written.size(), 12u);
    EXPECT_EQ(written[2], 0xFF);
    EXPECT_EQ(written[3], 0xE1);
    EXPECT_EQ(0, std::memcmp(&written[6], "Exif", 4));

    // The same picture written without EXIF decodes to the same pixels: only sections were
    // put in front.
    Picture again, plainBack;
    ASSERT_TRUE(DecodeJpeg(again, written)) << again.GetLastError();
    EXPECT_EQ(again.GetXDpi(), 300);
    EXPECT_EQ(again.GetYDpi(), 150);
    Picture source(codec, true);
    const auto plain = EncodeJpeg(source);
    ASSERT_TRUE(DecodeJpeg(plainBack, plain));
    ASSERT_EQ(again.GetSize(), plainBack.GetSize());
    EXPECT_EQ(0, std::memcmp(again.GetBits(0), plainBack.GetBits(0), again.header.biSizeImage));
    // Saved through the dispatch, a fresh codec object holds no EXIF.
    EXPECT_EQ(plain[3], 0xE0);

    const std::string exiftool = Tool("exiftool");
    if (!exiftool.empty()) {
        const std::string path = TempPath("exif-back.jpg");
        WriteFile(path, written);
        const auto out2 = RunTool(exiftool + " -n -S -EXIF:XResolution -EXIF:Make " + path);
        const std::string text(out2.begin(), out2.end());
        EXPECT_NE(text.find("Make: Acme\n"), std::string::npos) << text;
        EXPECT_NE(text.find("XResolution: 300\n"), std::string::npos) << text;
        std::remove(path.c_str());
    }
}

}  // namespace
