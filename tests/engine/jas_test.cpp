// JPEG 2000, PGX, PNM and Sun raster (ids 11 to 15) against files written by OpenJPEG's
// tools, netpbm and ImageMagick (tests/data/jas, made by make-fixtures.sh with the pixels
// those tools read), against those tools reading our files, and against crafted and
// mutilated files.
#include <gtest/gtest.h>
#include <openjpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "codec_fixtures.h"
#include "format.h"
#include "picture.h"
#include "sizelimits.h"
#include "stream.h"

namespace {

using fixtures::Bytes;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/jas/";
constexpr const char* kLoadFailed = "error: cannot load image data";

bool Decode(Picture& p, const Bytes& bytes, uint32_t format) {
    return fixtures::DecodeBytes(p, bytes, format);
}

fixtures::Image Reference(const std::string& name) {
    return fixtures::ParseNetpbm(fixtures::ReadFile(kData + name + ".ref.ppm"));
}

bool HaveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) return false;
    return true;
}

using testsupport::TempDir;

bool Shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// Any netpbm file as 8-bit PPM, through netpbm.
fixtures::Image ReadAsPpm(const std::string& path) {
    return fixtures::ParseNetpbm(fixtures::ToolOutput("ppmtoppm", "< " + path));
}

// The picture a reference shows: 24-bit, or the identity grey ramp when every pixel is grey.
Picture FromReference(const fixtures::Image& ref, bool grey) {
    Picture p(static_cast<uint32_t>(ref.width), static_cast<uint32_t>(ref.height), grey ? 8 : 24, 0);
    if (grey) p.SetGrayPalette();
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t* v = &ref.rgba[(static_cast<size_t>(y) * ref.width + x) * 4];
            if (grey)
                p.SetPixelIndex(x, ref.height - 1 - y, v[0]);
            else
                p.SetPixelColor(x, ref.height - 1 - y, RGBQUAD{v[2], v[1], v[0], 0});
        }
    return p;
}

double Psnr(const fixtures::Image& a, const fixtures::Image& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = 0; c < 3; ++c, ++n) sum += std::pow(double(a.rgba[i + c]) - b.rgba[i + c], 2);
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * n / sum);
}

uint32_t IdOf(const std::string& name) {
    const std::string ext = name.substr(name.rfind('.') + 1);
    if (ext == "jp2") return ImageFormat::Jp2;
    if (ext == "j2k") return ImageFormat::Jpc;
    if (ext == "pgx") return ImageFormat::Pgx;
    if (ext == "ras") return ImageFormat::Ras;
    return ImageFormat::Pnm;
}

const struct Fixture {
    const char* name;
    int bpp;
} kFixtures[] = {
    {"opj-rgb.jp2", 24},     {"opj-rgb.j2k", 24},     {"opj-grey.jp2", 8},
    {"opj-grey12.j2k", 24},  {"opj-rgb16.jp2", 24},   {"opj-lossy.jp2", 24},
    {"opj-grey.pgx", 8},     {"opj-grey12.pgx", 24},  {"opj-rgba_3.pgx", 8},
    {"nb-p1.pbm", 1},        {"nb-p2.pgm", 8},        {"nb-p3.ppm", 24},
    {"nb-p4.pbm", 1},        {"nb-p5.pgm", 8},        {"nb-p6.ppm", 24},
    {"nb-p5-16bit.pgm", 24}, {"nb-p6-16bit.ppm", 24}, {"nb-p2-maxval100.pgm", 24},
    {"im-p3.ppm", 24},       {"im-p6-16bit.ppm", 24}, {"nb-std24.ras", 24},
    {"nb-rle24.ras", 24},    {"nb-std8-map.ras", 24}, {"nb-rle8-map.ras", 24},
    {"nb-std8-grey.ras", 8}, {"nb-std1.ras", 1},      {"nb-rle1.ras", 1},
    {"im-rgb.ras", 24},      {"im-map8.ras", 24},
};

// A J2K code stream that ends after its SIZ marker segment.
Bytes CodeStreamHeader(uint32_t width, uint32_t height, uint32_t components, uint32_t tile = 0) {
    Bytes b = {0xFF, 0x4F, 0xFF, 0x51};
    const auto u16 = [&](uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); };
    const auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
    u16(38 + 3 * components);
    u16(0);
    u32(width), u32(height), u32(0), u32(0);
    u32(tile ? tile : width), u32(tile ? tile : height), u32(0), u32(0);
    u16(components);
    for (uint32_t c = 0; c < components; ++c) b.insert(b.end(), {7, 1, 1});
    return b;
}

Bytes Box(const char* type, const Bytes& content) {
    const uint32_t length = static_cast<uint32_t>(content.size() + 8);
    Bytes b = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
               uint8_t(type[0]),      uint8_t(type[1]),      uint8_t(type[2]),     uint8_t(type[3])};
    b.resize(length);
    std::copy(content.begin(), content.end(), b.begin() + 8);
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A Sun raster header.
Bytes Ras(uint32_t width, uint32_t height, uint32_t depth, uint32_t type, uint32_t mapType, const Bytes& map,
          const Bytes& data) {
    Bytes b;
    for (uint32_t v : {0x59A66A95u, width, height, depth, static_cast<uint32_t>(data.size()), type, mapType,
                       static_cast<uint32_t>(map.size())})
        b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    return Concat({b, map, data});
}

}  // namespace

TEST(Jas, FilesOfIndependentWritersMatchTheirReadings) {
    for (const Fixture& f : kFixtures) {
        Picture p;
        const uint32_t id = IdOf(f.name);
        ASSERT_TRUE(p.Load((kData + f.name).c_str(), id)) << f.name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetType(), id) << f.name;
        EXPECT_EQ(p.GetBpp(), f.bpp) << f.name;
        fixtures::ExpectPixels(p, Reference(f.name), f.name);
    }
}

// Decoding finds the format itself: probing (id 0) keeps type 0, and an id naming another
// of the five formats still reads the data, under that id.
TEST(Jas, DecodingFindsTheFormatWhateverTheId) {
    for (const char* name : {"opj-rgb.jp2", "opj-rgb.j2k", "opj-grey.pgx", "nb-p1.pbm", "nb-rle8-map.ras"}) {
        const Bytes file = fixtures::ReadFile(kData + name);
        Picture probed;
        ASSERT_TRUE(Decode(probed, file, ImageFormat::Unknown)) << name << ": " << probed.GetLastError();
        EXPECT_EQ(probed.GetType(), 0u) << name;
        fixtures::ExpectPixels(probed, Reference(name), name);
        Picture named;
        ASSERT_TRUE(Decode(named, file, ImageFormat::Ras)) << name;
        EXPECT_EQ(named.GetType(), static_cast<uint32_t>(ImageFormat::Ras)) << name;
    }
    // The data need not start at the beginning of the stream.
    Bytes shifted(100, 0xAB);
    const Bytes jp2 = fixtures::ReadFile(kData + "opj-rgb.jp2");
    shifted.insert(shifted.end(), jp2.begin(), jp2.end());
    MemoryStream in(shifted.data(), static_cast<int32_t>(shifted.size()));
    ASSERT_TRUE(in.Seek(100, 0));
    Picture p;
    ASSERT_TRUE(p.Decode(&in, ImageFormat::Jp2)) << p.GetLastError();
    fixtures::ExpectPixels(p, Reference("opj-rgb.jp2"), "JP2 at offset 100");
}

// Four RGB components are colour with alpha, whether a JP2 file's colour box says RGB or a
// bare code stream says nothing: the fourth is the opacity.
TEST(Jas, FourColourComponentsAreColourWithAlpha) {
    for (const char* name : {"opj-rgba.jp2", "opj-rgba.j2k"}) {
        const fixtures::Image ref = fixtures::ParseNetpbm(fixtures::ReadFile(kData + name + ".ref.pam"));
        ASSERT_TRUE(ref.hasAlpha) << name;
        Picture p;
        p.SetFrame(3);  // no frames to choose from: the picture is the whole image
        ASSERT_TRUE(Decode(p, fixtures::ReadFile(kData + name), IdOf(name)))
            << name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetBpp(), 24) << name;
        fixtures::ExpectPixels(p, ref, name);
    }
}

// Other layouts are grey frames, one per component; `frame` picks one and a frame past
// them fails. Two components that no channel definition names are two planes.
TEST(Jas, ComponentsOtherThanColourAreGreyFrames) {
    const Bytes file = fixtures::ReadFile(kData + "opj-greyalpha.j2k");
    for (int frame = 0; frame < 2; ++frame) {
        const std::string plane = "opj-greyalpha_" + std::to_string(frame) + ".j2k";
        Picture p;
        p.SetFrame(frame);
        ASSERT_TRUE(Decode(p, file, ImageFormat::Jpc)) << frame << ": " << p.GetLastError();
        EXPECT_EQ(p.GetFrameCount(), 2);
        ASSERT_EQ(p.GetBpp(), 8);
        ASSERT_TRUE(p.IsGrayScale());
        EXPECT_FALSE(p.AlphaIsValid());
        fixtures::ExpectPixels(p, Reference(plane), plane);
    }
    Picture past;
    past.SetFrame(2);
    EXPECT_FALSE(Decode(past, file, ImageFormat::Jpc));
    EXPECT_STREQ(past.GetLastError(), "wrong frame!");

    Picture grey;
    ASSERT_TRUE(Decode(grey, fixtures::ReadFile(kData + "opj-grey.jp2"), ImageFormat::Jp2));
    EXPECT_EQ(grey.GetFrameCount(), 1);
    grey.SetFrame(1);
    EXPECT_FALSE(Decode(grey, fixtures::ReadFile(kData + "opj-grey.jp2"), ImageFormat::Jp2));
    EXPECT_STREQ(grey.GetLastError(), "wrong frame!");
}

// Sizes are held to the picture cap, not to a count of samples: a 4800 x 4700 colour
// picture (67 million samples) loads, and the same file is refused under a lower cap.
TEST(Jas, LargePicturesAreBoundByThePictureCap) {
    constexpr uint32_t kWidth = 4800, kHeight = 4700;
    const std::string header = "P6\n4800 4700\n255\n";
    Bytes file(header.begin(), header.end());
    file.resize(header.size() + size_t{kWidth} * kHeight * 3);
    for (size_t i = header.size(); i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 >> 3);
    Picture p;
    ASSERT_TRUE(Decode(p, file, ImageFormat::Pnm)) << p.GetLastError();
    ASSERT_EQ(p.GetWidth(), kWidth);
    ASSERT_EQ(p.GetHeight(), kHeight);
    const size_t last = header.size() + (size_t{kWidth} * kHeight - 1) * 3;
    const RGBQUAD c = p.GetPixelColor(kWidth - 1, 0);
    EXPECT_EQ(c.rgbRed, file[last]);
    EXPECT_EQ(c.rgbBlue, file[last + 2]);

    const uint64_t cap = GetPictureCap();
    SetPictureCap(uint64_t{64} << 20);
    Picture refused;
    EXPECT_FALSE(Decode(refused, file, ImageFormat::Pnm));
    EXPECT_STREQ(refused.GetLastError(), kLoadFailed);
    SetPictureCap(cap);
}

TEST(Jas, SamplesAreScaledFromTheirRange) {
    const struct {
        const char* what;
        std::string file;
        int bpp;
        std::vector<int> expected;  // indices for palette pictures, else red of each pixel
    } rows[] = {
        {"4-bit grey", "P2 3 1 15 0 7 15", 4, {0, 7, 15}},
        {"2-bit grey", "P2 4 1 3 0 1 2 3", 24, {0, 85, 170, 255}},
        {"4-bit colour", "P3 2 1 15 15 0 0 3 3 3", 24, {255, 51}},
        {"1-bit colour", "P3 1 1 1 1 1 1", 24, {255}},
        {"signed 9-bit PGX",
         std::string("PG LM - 9 3 1\n") + std::string("\x00\xFF\x00\x00\xFF\x00", 6),
         24,
         {0, 128, 255}},
        {"unsigned 4-bit PGX", std::string("PG ML +4 2 1\n") + "\x0F\xF3", 4, {15, 3}},
        {"grey colour map", "", 8, {0, 200}},
    };
    for (const auto& row : rows) {
        Bytes file = Text(row.file);
        if (row.file.empty()) file = Ras(2, 1, 8, 1, 1, {0, 200, 0, 200, 0, 200}, {0, 1});
        Picture p;
        ASSERT_TRUE(Decode(p, file, ImageFormat::Pnm)) << row.what << ": " << p.GetLastError();
        ASSERT_EQ(p.GetBpp(), row.bpp) << row.what;
        for (size_t x = 0; x < row.expected.size(); ++x) {
            const int got = p.IsIndexed() ? p.GetPixelIndex(int(x), 0) : p.GetPixelColor(int(x), 0).rgbRed;
            EXPECT_EQ(got, row.expected[x]) << row.what << " pixel " << x;
        }
        if (p.IsIndexed() && row.file.empty()) {
            EXPECT_EQ(p.GetPaletteColor(200).rgbGreen, 200);
        }
    }
}

// A Y-Cb-Cr JP2 (colour space sYCC) becomes red, green and blue, as opj_decompress shows it.
TEST(Jas, SyccImagesAreConvertedToRgb) {
    const uint32_t width = 5, height = 3;
    opj_image_cmptparm_t parameters[3] = {};
    for (auto& c : parameters) c.dx = c.dy = 1, c.w = width, c.h = height, c.prec = 8;
    std::unique_ptr<opj_image_t, void (*)(opj_image_t*)> image(
        opj_image_create(3, parameters, OPJ_CLRSPC_SYCC), opj_image_destroy);
    ASSERT_TRUE(image);
    image->x1 = width, image->y1 = height;
    for (uint32_t i = 0; i < width * height; ++i) {
        image->comps[0].data[i] = static_cast<int32_t>(40 + 13 * i);
        image->comps[1].data[i] = static_cast<int32_t>(90 + 7 * i);
        image->comps[2].data[i] = static_cast<int32_t>(200 - 9 * i);
    }
    TempDir dir;
    const std::string jp2 = dir / "sycc.jp2";
    {
        opj_cparameters_t settings;
        opj_set_default_encoder_parameters(&settings);
        settings.tcp_numlayers = 1, settings.cp_disto_alloc = 1, settings.numresolution = 1;
        std::unique_ptr<opj_codec_t, void (*)(opj_codec_t*)> codec(opj_create_compress(OPJ_CODEC_JP2),
                                                                   opj_destroy_codec);
        std::unique_ptr<opj_stream_t, void (*)(opj_stream_t*)> out(
            opj_stream_create_default_file_stream(jp2.c_str(), OPJ_FALSE), opj_stream_destroy);
        ASSERT_TRUE(opj_setup_encoder(codec.get(), &settings, image.get()));
        ASSERT_TRUE(opj_start_compress(codec.get(), image.get(), out.get()) &&
                    opj_encode(codec.get(), out.get()) && opj_end_compress(codec.get(), out.get()));
    }
    Picture p;
    ASSERT_TRUE(p.Load(jp2.c_str(), ImageFormat::Jp2)) << p.GetLastError();
    ASSERT_EQ(p.GetBpp(), 24);
    // Red is Y + 1.402 (Cr - 128), blue Y + 1.772 (Cb - 128); pixel 0: 40 + 101.0, 40 - 67.3.
    EXPECT_EQ(p.GetPixelColor(0, 2).rgbRed, 141);
    EXPECT_EQ(p.GetPixelColor(0, 2).rgbBlue, 0);
    if (!HaveTools({"opj_decompress", "ppmtoppm"})) GTEST_SKIP() << "opj_decompress or netpbm missing";
    ASSERT_TRUE(Shell("opj_decompress -i " + jp2 + " -o " + (dir / "sycc.ppm")));
    const fixtures::Image ref = ReadAsPpm(dir / "sycc.ppm");
    ASSERT_EQ(ref.width, int(width));
    // opj_decompress truncates where we round: one level apart at most.
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const RGBQUAD got = p.GetPixelColor(int(x), int(height - 1 - y));
            const uint8_t* want = &ref.rgba[(y * width + x) * 4];
            EXPECT_NEAR(got.rgbRed, want[0], 1) << x << "," << y;
            EXPECT_NEAR(got.rgbGreen, want[1], 1) << x << "," << y;
            EXPECT_NEAR(got.rgbBlue, want[2], 1) << x << "," << y;
        }
}

// Our files read back, in our decoder and in the tools, as the pixels we wrote: JPEG 2000
// losslessly at quality 100 in opj_decompress, PGX in opj_compress, PNM in netpbm and
// ImageMagick, Sun raster in rasttopnm and ImageMagick.
TEST(Jas, EncodedFilesReadBackIdenticallyInOtherReaders) {
    if (!HaveTools({"opj_compress", "opj_decompress", "ppmtoppm", "rasttopnm"}))
        GTEST_SKIP() << "OpenJPEG's tools or netpbm missing";
    TempDir dir;
    const std::string convert = PANELLE_CONVERT;
    for (const bool grey : {false, true}) {
        const fixtures::Image ref = Reference(grey ? "nb-p5.pgm" : "nb-p6.ppm");
        Picture source = FromReference(ref, grey);
        source.SetJpegQuality(100);
        const struct {
            uint32_t id;
            const char* name;
            std::vector<std::string> readers;  // commands that turn file IN into netpbm file OUT
        } rows[] = {
            {ImageFormat::Jp2, "ours.jp2", {"opj_decompress -i IN -o OUT.pnm"}},
            {ImageFormat::Jpc, "ours.j2k", {"opj_decompress -i IN -o OUT.pnm"}},
            {ImageFormat::Pgx,
             "ours.pgx",
             {"opj_compress -n 4 -i IN -o IN.j2k && opj_decompress -i IN.j2k -o OUT.pnm"}},
            {ImageFormat::Pnm,
             "ours.pnm",
             {"ppmtoppm < IN > OUT.pnm", convert + " pnm:IN -depth 8 ppm:OUT.pnm"}},
            {ImageFormat::Ras,
             "ours.ras",
             {"rasttopnm IN > OUT.pnm", convert + " ras:IN -depth 8 ppm:OUT.pnm"}},
        };
        for (const auto& row : rows) {
            if (row.id == ImageFormat::Pgx && !grey) continue;
            const std::string what = std::string(row.name) + (grey ? " grey" : " colour");
            const std::string path = dir / row.name;
            ASSERT_TRUE(source.Save(path.c_str(), row.id)) << what << ": " << source.GetLastError();
            Picture back;
            ASSERT_TRUE(back.Load(path.c_str(), row.id)) << what << ": " << back.GetLastError();
            EXPECT_EQ(back.GetBpp(), grey ? 8 : 24) << what;
            fixtures::ExpectPixels(back, ref, what + " in our decoder");
            for (std::string command : row.readers) {
                if (command.rfind(" ", 0) == 0) continue;  // ImageMagick is not installed
                const std::string out = path + ".out";
                for (size_t at; (at = command.find("IN")) != std::string::npos;) command.replace(at, 2, path);
                for (size_t at; (at = command.find("OUT")) != std::string::npos;) command.replace(at, 3, out);
                ASSERT_TRUE(Shell(command)) << command;
                fixtures::ExpectPixels(source, ReadAsPpm(out + ".pnm"), what + " in " + command);
            }
        }
    }
}

// The rate is the target size as a fraction of the uncompressed size: quality 90 gives
// 0.9. Noise does not compress, so the file must give up detail to meet it: against the
// source, opj_decompress's pixels measured 45.3 dB PSNR at quality 90 and 27.9 dB at 50
// (colour noise, 64 x 64). Our decoder sees the same pixels as opj_decompress.
TEST(Jas, LossyJpeg2000MeetsTheRateAndDecodesInOpenJpeg) {
    if (!HaveTools({"opj_decompress", "ppmtoppm"})) GTEST_SKIP() << "opj_decompress or netpbm missing";
    const uint32_t side = 64;
    Picture noise(side, side, 24, 0);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t c[3];
            for (uint8_t& v : c) seed = seed * 1103515245 + 12345, v = static_cast<uint8_t>(seed >> 16);
            noise.SetPixelColor(int(x), int(y), RGBQUAD{c[0], c[1], c[2], 0});
        }
    TempDir dir;
    for (const int quality : {90, 50}) {
        noise.SetJpegQuality(static_cast<uint8_t>(quality));
        const std::string path = dir / ("noise" + std::to_string(quality) + ".jp2");
        ASSERT_TRUE(noise.Save(path.c_str(), ImageFormat::Jp2)) << noise.GetLastError();
        const auto size = std::filesystem::file_size(path);
        EXPECT_LE(size, side * side * 3 * quality / 100 + 256) << quality;
        EXPECT_GE(size, side * side * 3 * quality / 100 * 9 / 10) << quality;

        ASSERT_TRUE(Shell("opj_decompress -i " + path + " -o " + path + ".ppm"));
        const fixtures::Image theirs = ReadAsPpm(path + ".ppm");
        Picture ours;
        ASSERT_TRUE(ours.Load(path.c_str(), ImageFormat::Jp2)) << ours.GetLastError();
        fixtures::ExpectPixels(ours, theirs, "quality " + std::to_string(quality));

        fixtures::Image source = theirs;
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x) {
                const RGBQUAD c = noise.GetPixelColor(int(x), int(side - 1 - y));
                uint8_t* p = &source.rgba[(y * side + x) * 4];
                p[0] = c.rgbRed, p[1] = c.rgbGreen, p[2] = c.rgbBlue;
            }
        const double psnr = Psnr(source, theirs);
        EXPECT_GT(psnr, quality == 90 ? 44.0 : 26.0) << quality;
        EXPECT_LT(psnr, INFINITY) << quality;
    }
}

TEST(Jas, EncoderRefusesWhatTheFormatsCannotHold) {
    Picture rgb(4, 2, 24, 0);
    Picture ramp(3, 2, 8, 0);
    ramp.SetGrayPalette();
    ramp.SetPixelIndex(0, 1, 7), ramp.SetPixelIndex(2, 0, 250);
    Picture sixteen(4, 2, 4, 0);
    sixteen.SetPaletteColor(3, 10, 20, 30);
    Picture mono(4, 2, 1, 0);
    mono.SetGrayPalette();
    Picture empty;
    const struct {
        const char* what;
        Picture* picture;
        uint32_t id;
        const char* error;  // none: succeeds
    } rows[] = {
        {"colour as PGX", &rgb, ImageFormat::Pgx, "PGX can save only GrayScale images"},
        {"16 colours", &sixteen, ImageFormat::Jp2, "JasPer can save only RGB or GrayScale images"},
        {"black and white", &mono, ImageFormat::Pnm, "JasPer can save only RGB or GrayScale images"},
        {"nothing", &empty, ImageFormat::Ras, "null image!!!"},
        {"grey ramp as PGX", &ramp, ImageFormat::Pgx, nullptr},
    };
    for (const auto& row : rows) {
        const Bytes file = fixtures::EncodeBytes(*row.picture, row.id);
        if (row.error) {
            EXPECT_TRUE(file.empty()) << row.what;
            EXPECT_STREQ(row.picture->GetLastError(), row.error) << row.what;
        } else {
            EXPECT_EQ(file, Concat({Text("PG ML + 8 3 2\n"), {7, 0, 0, 0, 0, 250}})) << row.what;
        }
    }
    Picture p;
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Jp2));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
}

TEST(Jas, HostileFilesFailWithTheirReason) {
    const Bytes jp2 = fixtures::ReadFile(kData + "opj-rgb.jp2");
    const Bytes signature = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    const Bytes smallCodeStream = CodeStreamHeader(16, 16, 1);
    const auto pclr = [&](uint8_t columns) {
        return Concat({signature, Box("jp2h", Box("pclr", {0, 2, columns})), Box("jp2c", smallCodeStream)});
    };
    const auto with = [](Bytes b, size_t at, uint8_t v) { return b[at] = v, b; };
    const Bytes rasRle = Ras(4, 2, 8, 2, 0, {}, {0x80, 9, 7});
    const struct {
        const char* what;
        Bytes file;
        const char* error;  // none: decodes
    } rows[] = {
        {"JP2 cut in half", Bytes(jp2.begin(), jp2.begin() + jp2.size() / 2), kLoadFailed},
        {"JP2 header only", Bytes(jp2.begin(), jp2.begin() + 12), kLoadFailed},
        {"65 components", CodeStreamHeader(16, 16, 65), "error: too much components"},
        {"65536 x 65536 in a few bytes", CodeStreamHeader(65536, 65536, 1), kLoadFailed},
        {"a million tiles", CodeStreamHeader(1000, 1000, 1, 1), kLoadFailed},
        {"code stream without tiles", smallCodeStream, kLoadFailed},
        {"palette of 200 columns", pclr(200), "error: too much components"},
        {"box longer than the file", Concat({signature, with(Box("jp2c", smallCodeStream), 2, 0x7F)}),
         kLoadFailed},
        {"PNM maxval 0", Text("P5 1 1 0\n\x00"), kLoadFailed},
        {"PNM maxval 65536", Text("P2 1 1 65536 7"), kLoadFailed},
        {"PNM sample above maxval", Text("P2 2 1 10 3 11"), kLoadFailed},
        {"PNM width 0", Text("P6 0 1 255\n"), kLoadFailed},
        {"PNM huge size", Text("P6 2000000000 2000000000 255\n\x01\x02\x03"), kLoadFailed},
        {"PNM raw data cut", Text("P5 2 2 255\n\x01\x02\x03"), kLoadFailed},
        {"PNM bitmap digit 2", Text("P1 2 1 0 2"), kLoadFailed},
        {"PNM width past 2^31", Text("P4 9999999999 1\n\x00"), kLoadFailed},
        {"PGX precision 0", Text("PG ML + 0 1 1\n\x00"), kLoadFailed},
        {"PGX precision 17", Text("PG ML + 17 1 1\n\x00\x00\x00\x00"), kLoadFailed},
        {"PGX byte order XY", Text("PG XY + 8 1 1\n\x00"), kLoadFailed},
        {"PGX data cut", Text("PG ML + 16 2 1\n\x00\x01\x02"), kLoadFailed},
        {"RAS depth 7", Ras(1, 1, 7, 1, 0, {}, {0, 0}), kLoadFailed},
        {"RAS type 5", Ras(1, 1, 8, 5, 0, {}, {0, 0}), kLoadFailed},
        {"RAS raw map", Ras(1, 1, 8, 1, 2, {1, 2, 3}, {0, 0}), kLoadFailed},
        {"RAS map of 4 bytes", Ras(1, 1, 8, 1, 1, {1, 2, 3, 4}, {0, 0}), kLoadFailed},
        {"RAS map past 256 entries", Ras(1, 1, 8, 1, 1, Bytes(771, 0), {0, 0}), kLoadFailed},
        {"RAS index past the map", Ras(2, 1, 8, 1, 1, {1, 2, 3}, {0, 1}), kLoadFailed},
        {"RAS map longer than the file", with(Ras(1, 1, 8, 1, 0, {}, {0, 0}), 31, 200), kLoadFailed},
        {"RAS rows cut", Ras(4, 4, 24, 1, 0, {}, Bytes(40, 9)), kLoadFailed},
        {"RAS runs end early", Ras(8, 2, 8, 2, 0, {}, {0x80, 3, 7, 0x80}), kLoadFailed},
        {"RAS huge runs from few bytes", Ras(60000, 60000, 8, 2, 0, {}, {0x80, 255, 1}), kLoadFailed},
        {"RAS run past the last row", rasRle, nullptr},
        {"RAS escape as a literal", Ras(2, 1, 8, 2, 0, {}, {0x80, 0, 5, 0}), nullptr},
    };
    for (const auto& row : rows) {
        for (const uint32_t id : {ImageFormat::Unknown, ImageFormat::Pnm}) {
            Picture p;
            const bool ok = Decode(p, row.file, id);
            if (!row.error) {
                ASSERT_TRUE(ok) << row.what << ": " << p.GetLastError();
                continue;
            }
            EXPECT_FALSE(ok) << row.what;
            EXPECT_STREQ(p.GetLastError(), id ? row.error : "Decode: Unknown or wrong format") << row.what;
        }
    }
    // The run of 10 copies of 7 fills both rows of 4 (each padded to 4 bytes) and stops.
    Picture p;
    ASSERT_TRUE(Decode(p, rasRle, ImageFormat::Ras));
    EXPECT_EQ(p.GetPixelIndex(3, 0), 7);
    Picture literal;
    ASSERT_TRUE(Decode(literal, Ras(2, 1, 8, 2, 0, {}, {0x80, 0, 5, 0}), ImageFormat::Ras));
    EXPECT_EQ(literal.GetPixelIndex(0, 0), 0x80);
    EXPECT_EQ(literal.GetPixelIndex(1, 0), 5);
}

// Every fixture cut short, and with bytes flipped throughout, either fails with a reader's
// text or gives a whole picture; the binary formats of our own refuse any cut.
TEST(Jas, MutilatedFixturesFailCleanly) {
    const std::vector<std::string> known = {kLoadFailed, "error: too much components", "wrong frame!",
                                            "cannot convert to sRGB"};
    int decoded = 0, refused = 0;
    for (const Fixture& f : kFixtures) {
        const Bytes file = fixtures::ReadFile(kData + f.name);
        // A cut inside the last number of a plain PNM file leaves a shorter number.
        const std::string name = f.name;
        const bool plain = name.rfind("nb-p1", 0) == 0 || name.rfind("nb-p2", 0) == 0 ||
                           name.rfind("nb-p3", 0) == 0 || name.rfind("im-p3", 0) == 0;
        const bool strict = !plain && IdOf(name) != ImageFormat::Jp2 && IdOf(name) != ImageFormat::Jpc;
        for (size_t cut = 0; cut < file.size(); cut += 1 + file.size() / 40) {
            Picture p;
            const bool ok = Decode(p, Bytes(file.begin(), file.begin() + cut), ImageFormat::Pnm);
            EXPECT_TRUE(ok ? !strict && p.IsValid() : std::string(p.GetLastError()) == kLoadFailed)
                << f.name << " cut at " << cut << ": " << p.GetLastError();
        }
        for (size_t at = 0; at < file.size(); at += 1 + file.size() / 64) {
            Bytes flipped = file;
            flipped[at] ^= static_cast<uint8_t>(1u << (at % 8));
            Picture p;
            if (Decode(p, flipped, ImageFormat::Pnm)) {
                ++decoded;
                EXPECT_TRUE(p.IsValid() && p.GetWidth() > 0) << f.name << " flipped at " << at;
            } else {
                ++refused;
                EXPECT_NE(std::find(known.begin(), known.end(), p.GetLastError()), known.end())
                    << f.name << " flipped at " << at << ": " << p.GetLastError();
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}
