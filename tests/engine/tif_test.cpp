#include "tif.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"
#include "support/files.h"

namespace {

using testsupport::Bytes;
using testsupport::ReadFile;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/tif/";

// Decodes a block of bytes through the dispatch, as a loaded file would be.
bool DecodeBytes(Picture& p, const Bytes& bytes, uint32_t id = ImageFormat::Tif) {
    MemoryStream stream(const_cast<uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    return p.Decode(&stream, id);
}

Bytes EncodeBytes(Picture& p) {
    MemoryStream stream;
    stream.Open();
    if (!p.Encode(&stream, ImageFormat::Tif)) return {};
    return Bytes(stream.buffer, stream.buffer + stream.size);
}

// A fresh file name in /tmp, removed at the end of the test.
class TempFile {
   public:
    explicit TempFile(const char* suffix) {
        char pattern[] = "/tmp/panelle-tif-XXXXXX";
        close(mkstemp(pattern));
        base_ = pattern;
        path_ = base_ + suffix;
    }
    ~TempFile() { std::remove(path_.c_str()), std::remove(base_.c_str()); }
    const std::string& path() const { return path_; }

   private:
    std::string base_, path_;
};

// Runs a shell command; returns its exit status and what it printed.
int Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    std::string text;
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    if (output) *output = text;
    return pclose(pipe);
}

bool HaveTool(const char* name) { return Run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0; }

// The pixels ImageMagick reads from a file: 8-bit red, green, blue, alpha, top row first.
Bytes ImageMagickPixels(const std::string& file) {
    TempFile out(".rgba");
    const std::string command =
        std::string(PANELLE_CONVERT) + " '" + file + "' -depth 8 'RGBA:" + out.path() + "'";
    if (Run(command + " 2>&1") != 0) return {};
    return ReadFile(out.path());
}

// Compares a picture with reference RGBA pixels. Where the reference is translucent the
// colours are compared as the eye sees them, premultiplied by alpha.
::testing::AssertionResult MatchesPixels(const Picture& p, const Bytes& ref, int tolerance) {
    const uint32_t w = p.GetWidth(), h = p.GetHeight();
    if (ref.size() != static_cast<size_t>(w) * h * 4)
        return ::testing::AssertionFailure()
               << "reference holds " << ref.size() << " bytes for " << w << "x" << h;
    int worst = 0;
    for (uint32_t row = 0; row < h; ++row) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* r = &ref[(static_cast<size_t>(row) * w + x) * 4];
            const RGBQUAD c =
                p.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(h - 1 - row), true);
            const int alpha = p.AlphaIsValid() ? c.rgbReserved : 255;
            if (std::abs(alpha - r[3]) > tolerance)
                return ::testing::AssertionFailure()
                       << "alpha at " << x << "," << row << ": " << alpha << " vs " << int(r[3]);
            const int ours[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            for (int k = 0; k < 3; ++k) {
                const int d = std::abs(ours[k] * r[3] / 255 - r[k] * r[3] / 255);
                if (d > tolerance)
                    return ::testing::AssertionFailure() << "channel " << k << " at " << x << "," << row
                                                         << ": " << ours[k] << " vs " << int(r[k]);
                worst = std::max(worst, d);
            }
        }
    }
    return ::testing::AssertionSuccess() << "largest difference " << worst;
}

// The largest channel difference between two pictures of the same size, alpha included
// (a picture without a plane counts as opaque).
int MaxDifference(const Picture& a, const Picture& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return 256;
    int worst = 0;
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); ++x) {
            const RGBQUAD ca = a.GetPixelColor(x, y, true), cb = b.GetPixelColor(x, y, true);
            const int alphaA = a.AlphaIsValid() ? ca.rgbReserved : 255,
                      alphaB = b.AlphaIsValid() ? cb.rgbReserved : 255;
            worst = std::max({worst, std::abs(ca.rgbRed - cb.rgbRed), std::abs(ca.rgbGreen - cb.rgbGreen),
                              std::abs(ca.rgbBlue - cb.rgbBlue), std::abs(alphaA - alphaB)});
        }
    return worst;
}

// Tags of the first page of a file, as libtiff reads them.
struct Tags {
    uint16_t samples = 0, bits = 0, photometric = 0, compression = 0, predictor = 0, extra = 0;
    uint32_t rowsPerStrip = 0;
};

Tags ReadTags(const std::string& path) {
    Tags t;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return t;
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &t.predictor);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    uint16_t count = 0, *types = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &types) && count) t.extra = types[0];
    TIFFClose(tif);
    return t;
}

// tiffinfo -D reads every strip; it must finish without a word on its error stream.
void ExpectTiffinfoClean(const std::string& path) {
    if (!HaveTool("tiffinfo")) return;
    std::string errors;
    EXPECT_EQ(Run("tiffinfo -D '" + path + "' 2>&1 >/dev/null", &errors), 0);
    EXPECT_EQ(errors, "") << path;
}

// ---- files made by the independent tools --------------------------------------------

struct Fixture {
    const char* name;
    uint32_t width, height, bpp;
    bool alpha;
    uint32_t compression;  // the codec option the decoder leaves
    int tolerance;         // against the tool's reference pixels
};

// Tolerances are the largest differences measured: CIELab, ImageMagick's exact conversion
// against the simplified one here; CMYK, the two tools' naive conversions round apart;
// premultiplied alpha, undone by rounding; 16-bit alpha, rounded by ImageMagick and cut to
// its high byte here; half-precision grey, rounded apart.
const Fixture kFixtures[] = {
    {"im-rgb", 40, 30, 24, false, 1, 0},
    {"im-bilevel-miniswhite", 40, 30, 1, false, 1, 0},
    {"im-bilevel-minisblack", 40, 30, 1, false, 1, 0},
    {"im-bilevel-g4", 40, 30, 1, false, 4, 0},
    {"im-palette8", 40, 30, 8, false, 1, 0},
    {"im-palette4", 40, 30, 4, false, 1, 0},
    {"im-grey16", 40, 30, 8, false, 1, 0},
    {"im-greyalpha", 40, 30, 8, true, 1, 0},
    {"im-rgba", 40, 30, 24, true, 1, 0},
    {"im-rgb16", 40, 30, 24, false, 1, 0},
    {"im-greyalpha16", 40, 30, 8, true, 1, 1},
    {"tiff2rgba-associated", 40, 30, 24, true, 32773, 1},
    {"im-grey-orient-TopRight", 40, 30, 8, false, 1, 0},
    {"im-grey-orient-BottomRight", 40, 30, 8, false, 1, 0},
    {"im-grey-orient-BottomLeft", 40, 30, 8, false, 1, 0},
    {"im-grey-orient-LeftTop", 30, 40, 8, false, 1, 0},
    {"im-grey-orient-RightTop", 30, 40, 8, false, 1, 0},
    {"im-grey-orient-RightBottom", 30, 40, 8, false, 1, 0},
    {"im-grey-orient-LeftBottom", 30, 40, 8, false, 1, 0},
    {"im-palette-orient-RightTop", 30, 40, 4, false, 1, 0},
    {"im-rgb-orient-BottomLeft", 40, 30, 24, false, 1, 0},
    {"im-rgb-orient-LeftTop", 30, 40, 24, false, 1, 0},
    {"im-rgb-orient-RightTop", 30, 40, 24, false, 1, 0},
    {"im-rgb-orient-RightBottom", 30, 40, 24, false, 1, 0},
    {"im-rgb-orient-LeftBottom", 30, 40, 24, false, 1, 0},
    {"tiffcp-jpeg-orient-RightTop", 30, 40, 24, false, 7, 0},
    {"im-res-cm", 40, 30, 24, false, 1, 0},
    {"im-lab", 40, 30, 24, false, 1, 3},
    {"im-cmyk", 40, 30, 24, false, 1, 1},
    {"tiffcp-cmyk-lzw", 40, 30, 24, false, 5, 1},
    {"im-float32-rgb", 40, 30, 24, false, 1, 0},
    {"im-float32-rgb-zip-predictor", 40, 30, 24, false, 8, 0},
    {"im-float16-grey", 40, 30, 8, false, 1, 1},
    {"im-float64-grey", 40, 30, 8, false, 1, 0},
    {"palette16", 40, 30, 24, false, 1, 0},
    {"tiffcp-none", 40, 30, 24, false, 1, 0},
    {"tiffcp-lzw-predictor", 40, 30, 24, false, 5, 0},
    {"tiffcp-deflate", 40, 30, 24, false, 8, 0},
    {"tiffcp-packbits", 40, 30, 24, false, 32773, 0},
    {"tiffcp-jpeg", 40, 30, 24, false, 7, 0},
    {"tiffcp-rgb-strips", 40, 30, 24, false, 1, 0},
    {"tiffcp-rgb-strips-orient-BottomLeft", 40, 30, 24, false, 1, 0},
    {"tiffcp-rgb-tiled", 40, 30, 24, false, 1, 0},
    {"tiffcp-rgb-tiled-lzw-orient-BottomLeft", 40, 30, 24, false, 5, 0},
    {"tiffcp-grey-tiled", 40, 30, 8, false, 1, 0},
    {"tiffcp-bilevel-tiled", 40, 30, 1, false, 1, 0},
    {"tiffcp-greyalpha-separate", 40, 30, 8, true, 1, 1},
    {"tiffcp-grey-lzw", 40, 30, 8, false, 5, 0},
    {"tiff2bw", 40, 30, 8, false, 1, 0},
    {"pnmtotiff-rgb", 40, 30, 24, false, 1, 0},
    {"pnmtotiff-grey", 40, 30, 8, false, 1, 0},
    {"pnmtotiff-grey2", 40, 30, 8, false, 1, 0},
    {"pnmtotiff-bilevel", 40, 30, 1, false, 1, 0},
    {"pnmtotiff-palette1", 40, 30, 8, false, 1, 0},
    {"pnmtotiff-palette2", 40, 30, 8, false, 1, 0},
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

class TifFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(TifFixture, DecodesAsTheToolsReadIt) {
    const Fixture& f = GetParam();
    Picture p;
    ASSERT_TRUE(p.Load((kData + f.name + ".tif").c_str(), ImageFormat::Tif)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Tif));
    EXPECT_EQ(p.GetWidth(), f.width);
    EXPECT_EQ(p.GetHeight(), f.height);
    EXPECT_EQ(p.GetBpp(), f.bpp);
    EXPECT_EQ(p.AlphaIsValid(), f.alpha);
    EXPECT_EQ(p.GetCodecOption(ImageFormat::Tif), f.compression);
    EXPECT_EQ(p.GetFrameCount(), 1);
    EXPECT_TRUE(MatchesPixels(p, ReadFile(kData + f.name + ".rgba"), f.tolerance));
}

TEST_P(TifFixture, SurvivesOurEncoderAndReadsTheSameInImageMagick) {
    if (!*PANELLE_CONVERT) GTEST_SKIP() << "ImageMagick is not installed";
    const Fixture& f = GetParam();
    Picture p;
    ASSERT_TRUE(p.Load((kData + f.name + ".tif").c_str(), ImageFormat::Tif));
    // The decoded compression stays in the codec option; JPEG-compressed sources are
    // written losslessly here so that the comparison can be exact.
    if (p.GetCodecOption(ImageFormat::Tif) == COMPRESSION_JPEG)
        p.SetCodecOption(COMPRESSION_LZW, ImageFormat::Tif);
    if (p.GetBpp() == 24 && p.GetCodecOption(ImageFormat::Tif) == COMPRESSION_NONE)
        p.SetCodecOption(COMPRESSION_ADOBE_DEFLATE, ImageFormat::Tif);
    TempFile out(".tif");
    ASSERT_TRUE(p.Save(out.path().c_str(), ImageFormat::Tif)) << p.GetLastError();
    const Tags t = ReadTags(out.path());
    EXPECT_EQ(t.compression, p.GetCodecOption(ImageFormat::Tif));
    EXPECT_EQ(t.predictor == PREDICTOR_HORIZONTAL, t.compression == COMPRESSION_LZW && p.GetBpp() >= 8);
    ExpectTiffinfoClean(out.path());

    Picture back;
    ASSERT_TRUE(back.Load(out.path().c_str(), ImageFormat::Tif)) << back.GetLastError();
    EXPECT_EQ(MaxDifference(p, back), 0);
    EXPECT_TRUE(MatchesPixels(p, ImageMagickPixels(out.path()), 0));
}

INSTANTIATE_TEST_SUITE_P(Tools, TifFixture, ::testing::ValuesIn(kFixtures), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
});

TEST(TifDecode, BilevelPhotometricDecidesWhichEntryIsWhite) {
    const RGBQUAD white{255, 255, 255, 0}, black{0, 0, 0, 0};
    Picture p;
    ASSERT_TRUE(p.Load((kData + "im-bilevel-miniswhite.tif").c_str(), ImageFormat::Tif));
    EXPECT_EQ(p.GetPaletteColor(0), white);
    EXPECT_EQ(p.GetPaletteColor(1), black);
    ASSERT_TRUE(p.Load((kData + "im-bilevel-minisblack.tif").c_str(), ImageFormat::Tif));
    EXPECT_EQ(p.GetPaletteColor(0), black);
    EXPECT_EQ(p.GetPaletteColor(1), white);
}

TEST(TifDecode, ResolutionInCentimetresBecomesDotsPerInch) {
    Picture p;
    ASSERT_TRUE(p.Load((kData + "im-res-cm.tif").c_str(), ImageFormat::Tif));
    EXPECT_EQ(p.GetXDpi(), 300);
    EXPECT_EQ(p.GetYDpi(), 300);
}

TEST(TifDecode, PagesAreChosenByFrameAndCounted) {
    const Bytes file = ReadFile(kData + "tiffcp-pages.tif");
    const uint32_t bpps[] = {24, 4, 8};
    for (int32_t frame = 0; frame < 3; ++frame) {
        Picture p;
        p.SetFrame(frame);
        ASSERT_TRUE(DecodeBytes(p, file)) << frame << ": " << p.GetLastError();
        EXPECT_EQ(p.GetFrameCount(), 3);
        EXPECT_EQ(p.GetBpp(), bpps[frame]);
        EXPECT_TRUE(MatchesPixels(p, ReadFile(kData + "tiffcp-pages-" + std::to_string(frame) + ".rgba"), 0));
    }
    for (int32_t frame : {3, -1, 65536, INT32_MAX}) {
        Picture p;
        p.SetFrame(frame);
        EXPECT_FALSE(DecodeBytes(p, file)) << frame;
        EXPECT_STREQ(p.GetLastError(), "Error: page not present in TIFF file");
        EXPECT_EQ(p.GetFrameCount(), 3) << "the dispatch passes the page count on";
        EXPECT_FALSE(p.IsValid());
    }
}

TEST(TifDecode, EscapeMeasuresOrCancels) {
    const Bytes file = ReadFile(kData + "im-grey-orient-RightTop.tif");
    Picture measured;
    measured.SetEscape(-1);
    ASSERT_TRUE(DecodeBytes(measured, file));
    EXPECT_FALSE(measured.IsValid());
    EXPECT_EQ(measured.GetWidth(), 40u) << "the file's own width, before any turn";
    EXPECT_EQ(measured.GetHeight(), 30u);
    EXPECT_STREQ(measured.GetLastError(), "output dimensions returned");

    Picture cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(cancelled, file));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(TifDecode, OtherFormatsAreRefusedAndDetectionFindsTiff) {
    Picture p;
    EXPECT_FALSE(DecodeBytes(p, Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_STREQ(p.GetLastError(), "Error encountered while opening TIFF file");
    ASSERT_TRUE(DecodeBytes(p, ReadFile(kData + "tiffcp-grey-lzw.tif"), ImageFormat::Unknown));
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Tif));
}

// ---- encoding --------------------------------------------------------------------------

// A picture of the given depth with every palette index or colour in use.
Picture Pattern(uint32_t bpp, bool withAlpha, bool greyPalette) {
    Picture p(37, 21, bpp, 0);
    std::mt19937 rng(bpp);
    for (uint32_t i = 0; i < p.header.biSizeImage; ++i) p.GetBits(0)[i] = static_cast<uint8_t>(rng());
    const uint32_t n = p.GetNumColors();
    if (greyPalette)
        p.SetGrayPalette();
    else
        for (uint32_t i = 0; i < n; ++i)
            p.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 37),
                              static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 11));
    if (withAlpha) {
        p.AlphaCreate();
        for (int32_t y = 0; y < 21; ++y)
            for (int32_t x = 0; x < 37; ++x) p.AlphaSet(x, y, static_cast<uint8_t>(x * 7 + y));
    }
    return p;
}

struct EncodeCase {
    const char* label;
    uint32_t bpp;
    bool alpha, greyPalette;
    uint32_t option;
    // what the file must say
    uint16_t samples, bits, photometric, compression, predictor;
};

const EncodeCase kEncodeCases[] = {
    {"bilevel_default_g4", 1, false, true, 0, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 1},
    {"bilevel_packbits", 1, false, true, COMPRESSION_PACKBITS, 1, 1, PHOTOMETRIC_MINISWHITE,
     COMPRESSION_PACKBITS, 1},
    {"grey4_lzw_no_predictor", 4, false, true, 0, 1, 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 1},
    {"palette4_lzw", 4, false, false, 0, 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, 1},
    {"grey8_lzw_predictor", 8, false, true, 0, 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 2},
    {"palette8_deflate", 8, false, false, COMPRESSION_ADOBE_DEFLATE, 1, 8, PHOTOMETRIC_PALETTE,
     COMPRESSION_ADOBE_DEFLATE, 1},
    {"grey8_alpha", 8, true, true, 0, 2, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 2},
    {"palette8_alpha_none", 8, true, false, COMPRESSION_NONE, 2, 8, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, 1},
    {"rgb_lzw_predictor", 24, false, false, COMPRESSION_LZW, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, 2},
    {"rgb_packbits", 24, false, false, COMPRESSION_PACKBITS, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS, 1},
    {"rgba_deflate", 24, true, false, COMPRESSION_ADOBE_DEFLATE, 4, 8, PHOTOMETRIC_RGB,
     COMPRESSION_ADOBE_DEFLATE, 1},
    // options libtiff cannot write for the picture give way to the default by depth
    {"grey8_g4_falls_back", 8, false, true, COMPRESSION_CCITTFAX4, 1, 8, PHOTOMETRIC_MINISBLACK,
     COMPRESSION_LZW, 2},
    {"palette8_jpeg_falls_back", 8, false, false, COMPRESSION_JPEG, 1, 8, PHOTOMETRIC_PALETTE,
     COMPRESSION_LZW, 2},
    {"bilevel_oldjpeg_falls_back", 1, false, true, COMPRESSION_OJPEG, 1, 1, PHOTOMETRIC_MINISWHITE,
     COMPRESSION_CCITTFAX4, 1},
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.label; }

class TifEncode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(TifEncode, WritesWhatTheToolsReadBackUnchanged) {
    const EncodeCase& c = GetParam();
    Picture p = Pattern(c.bpp, c.alpha, c.greyPalette);
    p.SetCodecOption(c.option, ImageFormat::Tif);
    TempFile out(".tif");
    ASSERT_TRUE(p.Save(out.path().c_str(), ImageFormat::Tif)) << p.GetLastError();

    const Tags t = ReadTags(out.path());
    EXPECT_EQ(t.samples, c.samples);
    EXPECT_EQ(t.bits, c.bits);
    EXPECT_EQ(t.photometric, c.photometric);
    EXPECT_EQ(t.compression, c.compression);
    EXPECT_EQ(t.predictor == PREDICTOR_HORIZONTAL, c.predictor == PREDICTOR_HORIZONTAL);
    EXPECT_EQ(t.extra, c.samples % 2 == 0 ? EXTRASAMPLE_UNASSALPHA : 0);
    ExpectTiffinfoClean(out.path());

    Picture back;
    ASSERT_TRUE(back.Load(out.path().c_str(), ImageFormat::Tif)) << back.GetLastError();
    EXPECT_EQ(MaxDifference(p, back), 0);
    if (*PANELLE_CONVERT) {
        EXPECT_TRUE(MatchesPixels(p, ImageMagickPixels(out.path()), 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, TifEncode, ::testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(TifEncodeJpeg, TrueColourDefaultsToJpegInWholeBlocksOfRows) {
    Picture p(37, 21, 24, 0);
    for (int32_t y = 0; y < 21; ++y)  // smooth content, which JPEG keeps close
        for (int32_t x = 0; x < 37; ++x)
            p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 10), 128, 0});
    size_t sizes[2] = {};
    for (uint8_t quality : {90, 40}) {
        p.SetJpegQuality(quality);
        TempFile out(".tif");
        ASSERT_TRUE(p.Save(out.path().c_str(), ImageFormat::Tif)) << p.GetLastError();
        sizes[quality == 40] = ReadFile(out.path()).size();
        const Tags t = ReadTags(out.path());
        EXPECT_EQ(t.compression, COMPRESSION_JPEG);
        EXPECT_EQ(t.photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(t.rowsPerStrip % 8, 0u);
        ExpectTiffinfoClean(out.path());
        Picture back;
        ASSERT_TRUE(back.Load(out.path().c_str(), ImageFormat::Tif)) << back.GetLastError();
        EXPECT_LE(MaxDifference(p, back), quality == 90 ? 6 : 12);
        if (*PANELLE_CONVERT) {
            EXPECT_TRUE(MatchesPixels(back, ImageMagickPixels(out.path()), 0));
        }
    }
    EXPECT_LT(sizes[1], sizes[0]) << "the lower quality makes the smaller file";
}

// White-is-zero files want the lighter colour first; a picture with the darker one first is
// written inverted, and the caller's picture, its transparent index included, is left as it
// was (exchanging its entries would move the transparency to the other colour).
TEST(TifEncodeBilevel, DarkFirstPaletteIsWrittenInvertedAndTheCallersPictureKept) {
    for (bool darkFirst : {false, true}) {
        for (int32_t transparent : {-1, 0, 1}) {
            SCOPED_TRACE(std::to_string(darkFirst) + " " + std::to_string(transparent));
            Picture p(19, 5, 1, 0);
            for (uint32_t i = 0; i < p.header.biSizeImage; ++i)
                p.GetBits(0)[i] = static_cast<uint8_t>(i * 29);
            p.SetPaletteColor(0, darkFirst ? 0 : 255, darkFirst ? 0 : 255, darkFirst ? 0 : 255);
            p.SetPaletteColor(1, darkFirst ? 255 : 0, darkFirst ? 255 : 0, darkFirst ? 255 : 0);
            p.SetTransIndex(transparent);
            const Picture before(p, true);

            const Bytes file = EncodeBytes(p);
            ASSERT_FALSE(file.empty()) << p.GetLastError();
            EXPECT_EQ(p.GetTransIndex(), transparent);
            EXPECT_EQ(std::memcmp(p.dib, before.dib, p.GetSize()), 0) << "palette and pixels untouched";

            Picture back;
            ASSERT_TRUE(DecodeBytes(back, file));
            EXPECT_EQ(back.GetPaletteColor(0).rgbRed, 255) << "white first either way";
            EXPECT_EQ(MaxDifference(back, before), 0);
        }
    }
}

TEST(TifEncodeMultiPage, AppendingWritesNumberedPagesThatToolsCount) {
    TempFile out(".tif");
    {
        FILE* file = std::fopen(out.path().c_str(), "w+b");  // libtiff reads a page back to link the next
        ASSERT_NE(file, nullptr);
        FileStream stream(file);
        PictureTIF writer;
        const Picture pages[] = {Pattern(24, false, false), Pattern(8, false, true), Pattern(1, false, true)};
        for (int i = 0; i < 3; ++i) {
            writer.Ghost(&pages[i]);
            ASSERT_TRUE(writer.Encode(&stream, i < 2)) << writer.GetLastError();
        }
        std::fclose(file);
    }
    ExpectTiffinfoClean(out.path());
    TIFF* tif = TIFFOpen(out.path().c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 3u);
    for (uint16_t page = 1; page <= 3; ++page) {
        ASSERT_TRUE(TIFFSetDirectory(tif, page - 1));
        uint32_t type = 0;
        uint16_t number = 0, count = 0;
        char* name = nullptr;
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        TIFFGetField(tif, TIFFTAG_PAGENUMBER, &number, &count);
        TIFFGetField(tif, TIFFTAG_PAGENAME, &name);
        EXPECT_EQ(type, static_cast<uint32_t>(FILETYPE_PAGE));
        EXPECT_EQ(number, page);
        EXPECT_EQ(count, page);
        EXPECT_STREQ(name, ("Page " + std::to_string(page)).c_str());
    }
    TIFFClose(tif);

    Picture second;
    second.SetFrame(1);
    ASSERT_TRUE(second.Load(out.path().c_str(), ImageFormat::Tif));
    EXPECT_EQ(second.GetFrameCount(), 3);
    EXPECT_EQ(MaxDifference(second, Pattern(8, false, true)), 0);
}

TEST(TifEncodeMultiPage, DestroyingTheWriterFinishesAnAppendedFile) {
    MemoryStream stream;
    stream.Open();
    {
        PictureTIF writer;
        const Picture page = Pattern(8, false, false);
        writer.Ghost(&page);
        ASSERT_TRUE(writer.Encode(&stream, true));
        ASSERT_TRUE(writer.Encode(&stream, true));
    }
    Bytes file(stream.buffer, stream.buffer + stream.size);
    Picture p;
    p.SetFrame(1);
    ASSERT_TRUE(DecodeBytes(p, file)) << p.GetLastError();
    EXPECT_EQ(p.GetFrameCount(), 2);
}

TEST(TifEncodeMultiPage, EncodingIntoAStreamHoldingATiffAddsAPage) {
    Picture first = Pattern(4, false, false), second = Pattern(24, true, false);
    second.SetCodecOption(COMPRESSION_ADOBE_DEFLATE, ImageFormat::Tif);  // lossless, to compare exactly
    const Bytes one = EncodeBytes(first);
    MemoryStream stream;
    stream.Open();
    stream.Write(one.data(), 1, static_cast<uint32_t>(one.size()));
    stream.Seek(0, 0);
    ASSERT_TRUE(second.Encode(&stream, ImageFormat::Tif)) << second.GetLastError();
    const Bytes two(stream.buffer, stream.buffer + stream.size);
    for (int32_t frame = 0; frame < 2; ++frame) {
        Picture p;
        p.SetFrame(frame);
        ASSERT_TRUE(DecodeBytes(p, two)) << p.GetLastError();
        EXPECT_EQ(p.GetFrameCount(), 2);
        EXPECT_EQ(MaxDifference(p, frame ? second : first), 0);
    }
}

TEST(TifEncodeFailures, TextsOfTheEncoder) {
    Picture empty;
    MemoryStream stream;
    stream.Open();
    EXPECT_FALSE(empty.Encode(&stream, ImageFormat::Tif));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    Picture p = Pattern(8, false, true);
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Tif));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
    MemoryStream closed(nullptr, 0);  // no block: every write fails
    EXPECT_FALSE(p.Encode(&closed, ImageFormat::Tif));
    EXPECT_STREQ(p.GetLastError(), "initialization fail");
    Bytes junk(64, 'x');  // a stream that holds something other than a TIFF cannot be added to
    MemoryStream holding(junk.data(), static_cast<int32_t>(junk.size()));
    EXPECT_FALSE(p.Encode(&holding, ImageFormat::Tif));
    EXPECT_STREQ(p.GetLastError(), "initialization fail");
}

// ---- hostile input ---------------------------------------------------------------------

// A little-endian classic TIFF with one directory of SHORT and LONG tags and the given
// pixel data after it; strip offsets point at that data unless a tag says otherwise.
struct Tag {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG
    uint32_t value;
};

Bytes TinyTiff(std::vector<Tag> tags, const Bytes& data, uint32_t nextIfd = 0) {
    std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) { return a.tag < b.tag; });
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](uint32_t v) { out.push_back(v & 255), out.push_back((v >> 8) & 255); };
    const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t dataOffset = 8 + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
    u16(static_cast<uint32_t>(tags.size()));
    for (const Tag& t : tags) {
        u16(t.tag), u16(t.type), u32(1);
        const uint32_t v = t.tag == TIFFTAG_STRIPOFFSETS && t.value == 0 ? dataOffset : t.value;
        if (t.type == 3)
            u16(v), u16(0);
        else
            u32(v);
    }
    u32(nextIfd);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

constexpr uint16_t kShort = 3, kLong = 4;

// A 3 x 2 grey picture of six bytes in one strip, with some tags changed or added.
Bytes Crafted(std::initializer_list<Tag> changes, const Bytes& data = {10, 20, 30, 40, 50, 60},
              uint32_t nextIfd = 0) {
    std::vector<Tag> tags = {{TIFFTAG_IMAGEWIDTH, kLong, 3},     {TIFFTAG_IMAGELENGTH, kLong, 2},
                             {TIFFTAG_BITSPERSAMPLE, kShort, 8}, {TIFFTAG_PHOTOMETRIC, kShort, 1},
                             {TIFFTAG_STRIPOFFSETS, kLong, 0},   {TIFFTAG_ROWSPERSTRIP, kLong, 2},
                             {TIFFTAG_STRIPBYTECOUNTS, kLong, 6}};
    for (const Tag& t : changes) {
        auto old = std::find_if(tags.begin(), tags.end(), [&](const Tag& o) { return o.tag == t.tag; });
        if (old != tags.end())
            *old = t;
        else
            tags.push_back(t);
    }
    return TinyTiff(tags, data, nextIfd);
}

TEST(TifHostile, TinyGreyFileIsTheBaseline) {
    Picture p;
    ASSERT_TRUE(DecodeBytes(p, Crafted({}))) << p.GetLastError();
    EXPECT_EQ(p.GetPixelIndex(0, 1), 10);
    EXPECT_EQ(p.GetPixelIndex(2, 0), 60);
}

struct HostileCase {
    const char* label;
    Bytes file;
    const char* text;  // the failure text, or nullptr when libtiff makes a picture of it
};

std::vector<HostileCase> HostileCases() {
    const char* open = "Error encountered while opening TIFF file";
    const char* corrupt = "Corrupted TIFF file!";
    const Tag rgb = {TIFFTAG_PHOTOMETRIC, kShort, 2};
    return {
        {"huge_rgb",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 65535},
                  {TIFFTAG_IMAGELENGTH, kLong, 65535},
                  rgb,
                  {TIFFTAG_SAMPLESPERPIXEL, kShort, 3},
                  {TIFFTAG_COMPRESSION, kShort, 5}}),
         corrupt},  // six bytes of LZW codes cannot fill it
        // claims 4 GB of uncompressed samples in a file of a hundred bytes
        {"huge_uncompressed_grey",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 65535}, {TIFFTAG_IMAGELENGTH, kLong, 65535}}), corrupt},
        {"large_grey_missing_data",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 6000}, {TIFFTAG_IMAGELENGTH, kLong, 5000}}), corrupt},
        // libtiff splits a large uncompressed strip itself, so this one is compressed, in a
        // scheme whose expansion has no bound
        {"single_strip_beyond_cap",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 40000},
                  {TIFFTAG_IMAGELENGTH, kLong, 40000},
                  {TIFFTAG_ROWSPERSTRIP, kLong, 40000},
                  {TIFFTAG_COMPRESSION, kShort, 4}}),
         "PictureTIF can't create image"},
        {"lzw_strip_too_short",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 3000},
                  {TIFFTAG_IMAGELENGTH, kLong, 3000},
                  {TIFFTAG_ROWSPERSTRIP, kLong, 3000},
                  {TIFFTAG_COMPRESSION, kShort, 5}}),
         corrupt},
        {"packbits_strip_too_short",
         Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 100},
                  {TIFFTAG_IMAGELENGTH, kLong, 10},
                  {TIFFTAG_ROWSPERSTRIP, kLong, 10},
                  {TIFFTAG_COMPRESSION, kShort, 32773}}),
         corrupt},
        // one byte short of its declared strip
        {"raw_strip_one_byte_short", Crafted({}, {10, 20, 30, 40, 50}), corrupt},
        {"raw_second_strip_missing",
         Crafted({{TIFFTAG_ROWSPERSTRIP, kLong, 1}, {TIFFTAG_STRIPBYTECOUNTS, kLong, 3}}, {10, 20, 30}),
         corrupt},
        {"width_zero", Crafted({{TIFFTAG_IMAGEWIDTH, kLong, 0}}), open},
        {"strip_past_end", Crafted({{TIFFTAG_STRIPOFFSETS, kLong, 1u << 30}}), corrupt},
        {"strip_count_huge", Crafted({{TIFFTAG_STRIPBYTECOUNTS, kLong, 0xFFFFFFF0u}}), nullptr},
        {"rows_per_strip_zero", Crafted({{TIFFTAG_ROWSPERSTRIP, kLong, 0}}), open},
        // the second strip has no offset or byte count: no data in the file
        {"rows_per_strip_one", Crafted({{TIFFTAG_ROWSPERSTRIP, kLong, 1}}), corrupt},
        {"bits_zero", Crafted({{TIFFTAG_BITSPERSAMPLE, kShort, 0}}), open},
        {"bits_33", Crafted({{TIFFTAG_BITSPERSAMPLE, kShort, 33}}), corrupt},
        {"bits_64", Crafted({{TIFFTAG_BITSPERSAMPLE, kShort, 64}}), corrupt},
        {"samples_zero", Crafted({{TIFFTAG_SAMPLESPERPIXEL, kShort, 0}}), open},
        {"samples_many", Crafted({{TIFFTAG_SAMPLESPERPIXEL, kShort, 60000}}), corrupt},
        {"palette_without_map", Crafted({{TIFFTAG_PHOTOMETRIC, kShort, 3}}), nullptr},
        {"lab_short_rows", Crafted({{TIFFTAG_PHOTOMETRIC, kShort, 8}, {TIFFTAG_SAMPLESPERPIXEL, kShort, 3}}),
         corrupt},
        {"rgb_4bit", Crafted({rgb, {TIFFTAG_SAMPLESPERPIXEL, kShort, 3}, {TIFFTAG_BITSPERSAMPLE, kShort, 4}}),
         corrupt},
        // colour pages with too few samples for red, green and blue
        {"rgb_one_sample_64bit", Crafted({rgb, {TIFFTAG_BITSPERSAMPLE, kShort, 64}}, Bytes(48, 7)), corrupt},
        {"rgb_two_separate_planes",
         Crafted({rgb, {TIFFTAG_SAMPLESPERPIXEL, kShort, 2}, {TIFFTAG_PLANARCONFIG, kShort, 2}}), corrupt},
        // one tile offset for six tiles
        {"tile_width_1",
         Crafted({{TIFFTAG_TILEWIDTH, kLong, 1},
                  {TIFFTAG_TILELENGTH, kLong, 1},
                  {TIFFTAG_TILEOFFSETS, kLong, 0}}),
         "Corrupted tiled TIFF file!"},
        {"tile_huge",
         Crafted({{TIFFTAG_TILEWIDTH, kLong, 0x40000000}, {TIFFTAG_TILELENGTH, kLong, 0x40000000}}),
         "Corrupted tiled TIFF file!"},
        {"tile_huge_compressed",
         Crafted({{TIFFTAG_TILEWIDTH, kLong, 0x40000000},
                  {TIFFTAG_TILELENGTH, kLong, 0x40000000},
                  {TIFFTAG_COMPRESSION, kShort, 4}}),
         "PictureTIF can't allocate memory"},
        // samples libtiff hands over that are no plain unsigned numbers
        {"float_cmyk",
         Crafted({{TIFFTAG_PHOTOMETRIC, kShort, 5},
                  {TIFFTAG_SAMPLESPERPIXEL, kShort, 4},
                  {TIFFTAG_SAMPLEFORMAT, kShort, 3},
                  {TIFFTAG_BITSPERSAMPLE, kShort, 32}},
                 Bytes(96, 0)),
         "Unsupported floating-point TIFF samples"},
        {"float_lab",
         Crafted({{TIFFTAG_PHOTOMETRIC, kShort, 8},
                  {TIFFTAG_SAMPLESPERPIXEL, kShort, 3},
                  {TIFFTAG_SAMPLEFORMAT, kShort, 3},
                  {TIFFTAG_BITSPERSAMPLE, kShort, 32}},
                 Bytes(72, 0)),
         "Unsupported floating-point TIFF samples"},
        {"float_24bit",
         Crafted({{TIFFTAG_SAMPLEFORMAT, kShort, 3}, {TIFFTAG_BITSPERSAMPLE, kShort, 24}}, Bytes(18, 0)),
         "Unsupported floating-point TIFF samples"},
        {"complex_samples",
         Crafted({{TIFFTAG_SAMPLEFORMAT, kShort, 6}, {TIFFTAG_BITSPERSAMPLE, kShort, 64}}, Bytes(48, 0)),
         "Unsupported TIFF sample format"},

        {"unknown_compression", Crafted({{TIFFTAG_COMPRESSION, kShort, 12345}}), corrupt},
        {"lzw_garbage", Crafted({{TIFFTAG_COMPRESSION, kShort, 5}}), corrupt},
        {"jpeg_garbage", Crafted({{TIFFTAG_COMPRESSION, kShort, 7}}), corrupt},
        {"orientation_bad", Crafted({{TIFFTAG_ORIENTATION, kShort, 99}}), nullptr},
        {"directory_loop", Crafted({}, {10, 20, 30, 40, 50, 60}, 8), nullptr},
        {"header_only", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}, open},
        {"big_endian_header_only", Bytes{'M', 'M', 0, 42, 0, 0, 0, 8}, open},
        {"empty", Bytes{}, open},
    };
}

TEST(TifHostile, CraftedDirectoriesFailCleanly) {
    for (const HostileCase& c : HostileCases()) {
        SCOPED_TRACE(c.label);
        Picture p;
        const bool ok = DecodeBytes(p, c.file);
        EXPECT_EQ(ok, c.text == nullptr) << p.GetLastError();
        EXPECT_EQ(ok, p.IsValid());
        if (c.text) {
            EXPECT_STREQ(p.GetLastError(), c.text);
        }
    }
}

// Floating-point grey runs from 0 (black) to 1 (white); values outside, and NaN, are clipped.
TEST(TifDecode, FloatSamplesAreClippedToTheUnitRange) {
    const float values[6] = {0.0f, 0.5f, 1.0f, 2.0f, -1.0f, NAN};
    Bytes data(sizeof values);
    std::memcpy(data.data(), values, sizeof values);
    Picture p;
    ASSERT_TRUE(DecodeBytes(p, Crafted({{TIFFTAG_SAMPLEFORMAT, kShort, 3},
                                        {TIFFTAG_BITSPERSAMPLE, kShort, 32},
                                        {TIFFTAG_STRIPBYTECOUNTS, kLong, 24}},
                                       data)))
        << p.GetLastError();
    ASSERT_EQ(p.GetBpp(), 8);
    const uint8_t expected[6] = {0, 128, 255, 255, 0, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.GetPixelIndex(i % 3, 1 - i / 3), expected[i]) << values[i];
}

// Palettes of 16-bit indices give the colours of their map (the fixture palette16 shows
// them against ImageMagick); other depths above 8 bits are refused, not read as bytes.
TEST(TifDecode, PaletteIndicesAboveEightBitsAreSixteenOrRefused) {
    for (const uint16_t bits : {uint16_t{16}, uint16_t{12}}) {
        SCOPED_TRACE(bits);
        TempFile file(".tif");
        {
            TIFF* out = TIFFOpen(file.path().c_str(), "w");
            ASSERT_NE(out, nullptr);
            TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 4);
            TIFFSetField(out, TIFFTAG_IMAGELENGTH, 1);
            TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, bits);
            TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
            std::vector<uint16_t> red(size_t{1} << bits), green(red.size()), blue(red.size());
            for (size_t i = 0; i < red.size(); ++i)
                red[i] = static_cast<uint16_t>(i), green[i] = static_cast<uint16_t>(~i),
                blue[i] = static_cast<uint16_t>(i * 3);
            TIFFSetField(out, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
            const uint16_t row16[4] = {0, 300, 40000, 65535};
            const uint8_t row12[6] = {0x00, 0x01, 0x2C, 0x9C, 0x4F, 0xFF};  // 0, 300, 2500, 4095
            ASSERT_GE(TIFFWriteScanline(out,
                                        bits == 16 ? static_cast<void*>(const_cast<uint16_t*>(row16))
                                                   : static_cast<void*>(const_cast<uint8_t*>(row12)),
                                        0, 0),
                      0);
            TIFFClose(out);
        }
        Picture p;
        const bool ok = p.Load(file.path().c_str(), ImageFormat::Tif);
        if (bits == 12) {
            EXPECT_FALSE(ok);
            EXPECT_STREQ(p.GetLastError(), "Unsupported TIFF palette depth");
            continue;
        }
        ASSERT_TRUE(ok) << p.GetLastError();
        ASSERT_EQ(p.GetBpp(), 24);
        const uint32_t indices[4] = {0, 300, 40000, 65535};
        for (int x = 0; x < 4; ++x) {
            const uint32_t i = indices[x];
            const RGBQUAD c = p.GetPixelColor(x, 0);
            EXPECT_EQ(c.rgbRed, i * 255 / 65535) << x;
            EXPECT_EQ(c.rgbGreen, (65535 - i) * 255 / 65535) << x;
            EXPECT_EQ(c.rgbBlue, (i * 3 % 65536) * 255 / 65535) << x;
        }
    }
}

// A single LZW strip of 9500 x 9500 RGB pixels needs a strip buffer of 270 MB, within the
// picture cap. The file is written in the test's temporary folder, row by row.
TEST(TifDecode, LargeSingleStripLzwFileLoads) {
    constexpr uint32_t kSide = 9500;
    TempFile file(".tif");
    {
        TIFF* out = TIFFOpen(file.path().c_str(), "w");
        ASSERT_NE(out, nullptr);
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, kSide);
        std::vector<uint8_t> row(kSide * 3);
        for (uint32_t y = 0; y < kSide; ++y) {
            for (uint32_t x = 0; x < kSide; ++x) {
                row[3 * x] = static_cast<uint8_t>(x >> 5);
                row[3 * x + 1] = static_cast<uint8_t>(y >> 5);
                row[3 * x + 2] = static_cast<uint8_t>((x ^ y) >> 7);
            }
            ASSERT_GE(TIFFWriteScanline(out, row.data(), y, 0), 0);
        }
        TIFFClose(out);
    }
    const Tags tags = ReadTags(file.path());
    ASSERT_EQ(tags.rowsPerStrip, kSide) << "one strip";
    Picture p;
    ASSERT_TRUE(p.Load(file.path().c_str(), ImageFormat::Tif)) << p.GetLastError();
    ASSERT_EQ(p.GetWidth(), kSide);
    ASSERT_EQ(p.GetHeight(), kSide);
    for (const uint32_t x : {0u, 4321u, kSide - 1})
        for (const uint32_t y : {0u, 777u, kSide - 1}) {
            const RGBQUAD c = p.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(kSide - 1 - y));
            EXPECT_EQ(c.rgbRed, static_cast<uint8_t>(x >> 5)) << x << "," << y;
            EXPECT_EQ(c.rgbGreen, static_cast<uint8_t>(y >> 5)) << x << "," << y;
            EXPECT_EQ(c.rgbBlue, static_cast<uint8_t>((x ^ y) >> 7)) << x << "," << y;
        }
}

TEST(TifHostile, DirectoryLoopCountsOnePage) {
    const Bytes loop = Crafted({}, {10, 20, 30, 40, 50, 60}, 8);  // the directory points at itself
    Picture p;
    ASSERT_TRUE(DecodeBytes(p, loop)) << p.GetLastError();
    EXPECT_EQ(p.GetFrameCount(), 1);
    p.SetFrame(1);
    EXPECT_FALSE(DecodeBytes(p, loop));
}

// Every prefix and many bit-flipped copies of files that use each reading path.
TEST(TifHostile, TruncatedAndBitFlippedFilesNeverCrash) {
    const char* sources[] = {"tiffcp-lzw-predictor",  "tiffcp-jpeg",   "tiffcp-grey-tiled",
                             "tiffcp-rgb-tiled",      "im-bilevel-g4", "tiffcp-greyalpha-separate",
                             "im-palette4",           "tiffcp-pages",  "im-lab",
                             "im-grey-orient-LeftTop"};
    std::mt19937 rng(7);
    int decoded = 0, failed = 0;
    for (const char* name : sources) {
        const Bytes file = ReadFile(kData + name + ".tif");
        ASSERT_FALSE(file.empty()) << name;
        for (size_t cut = 0; cut < file.size(); cut += 1 + cut / 16) {
            Picture p;
            p.SetFrame(static_cast<int32_t>(cut % 3));
            (DecodeBytes(p, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut))) ? decoded
                                                                                                  : failed)++;
        }
        for (int round = 0; round < 150; ++round) {
            Bytes copy = file;
            const int flips = 1 + round % 4;
            for (int k = 0; k < flips; ++k) {
                // the first kilobyte holds the directories of these small files more often
                const size_t at = rng() % (round % 2 ? copy.size() : std::min<size_t>(copy.size(), 1024));
                copy[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            Picture p;
            p.SetFrame(round % 3);
            (DecodeBytes(p, copy) ? decoded : failed)++;
            if (p.IsValid()) {
                ASSERT_GT(p.GetWidth() * p.GetHeight(), 0u);
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(failed, 0);
}

}  // namespace
