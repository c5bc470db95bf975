#include "png.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"
#include "support/files.h"

namespace {

using testsupport::Bytes;
using testsupport::ReadFile;

std::string Fixture(const std::string& name) { return std::string(PANELLE_TEST_DATA) + "/png/" + name; }

// A file removed when the test ends.
class TempFile {
   public:
    TempFile() {
        char pattern[] = "/tmp/panelle-png-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

bool HaveTool(const char* path) { return path && *path && access(path, X_OK) == 0; }
const char* Convert() { return PANELLE_CONVERT; }
const char* Pngcheck() { return "/usr/bin/pngcheck"; }

// Standard output of a shell command, and whether it exited with status 0.
bool Shell(const std::string& command, Bytes* out = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (out) out->insert(out->end(), buffer, buffer + n);
    return pclose(pipe) == 0;
}

// What a picture shows at column x, row r counted from the top: its colour and how opaque
// it is (alpha plane, palette alpha, or the transparent index).
struct Rgba {
    uint8_t r, g, b, a;
};

Rgba Seen(const Picture& p, int32_t x, int32_t r) {
    const int32_t y = static_cast<int32_t>(p.GetHeight()) - 1 - r;
    const RGBQUAD c = p.GetPixelColor(x, y, false);
    uint8_t a = 255;
    if (p.AlphaIsValid()) {
        a = p.AlphaGet(x, y);
    } else if (p.IsIndexed()) {
        const int32_t index = p.GetPixelIndex(x, y);
        if (index == p.GetTransIndex())
            a = 0;
        else if (p.info.alphaPaletteEnabled)
            a = c.rgbReserved;
    }
    return {c.rgbRed, c.rgbGreen, c.rgbBlue, a};
}

// Compares a picture with raw RGBA, top row first. Colours of fully transparent pixels are
// compared too. Returns a description of the first pixel that differs by more than
// tolerance, or an empty text.
std::string Differences(const Picture& p, const Bytes& rgba, int tolerance) {
    const uint32_t w = p.GetWidth(), h = p.GetHeight();
    if (rgba.size() != static_cast<size_t>(w) * h * 4)
        return "reference has " + std::to_string(rgba.size()) + " bytes";
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x) {
            const Rgba s = Seen(p, static_cast<int32_t>(x), static_cast<int32_t>(r));
            const uint8_t* ref = &rgba[(static_cast<size_t>(r) * w + x) * 4];
            const uint8_t got[4] = {s.r, s.g, s.b, s.a};
            for (int c = 0; c < 4; ++c)
                if (std::abs(got[c] - ref[c]) > tolerance) {
                    char text[160];
                    std::snprintf(text, sizeof text, "pixel (%u, %u) is %d %d %d %d, reference %d %d %d %d",
                                  x, r, got[0], got[1], got[2], got[3], ref[0], ref[1], ref[2], ref[3]);
                    return text;
                }
        }
    return "";
}

// The chunks of a PNG file, walked without libpng.
struct Chunk {
    std::string type;
    Bytes data;
};

std::vector<Chunk> Chunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length =
            (uint32_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        if (at + 12 + length > file.size()) break;
        chunks.push_back({std::string(file.begin() + at + 4, file.begin() + at + 8),
                          Bytes(file.begin() + at + 8, file.begin() + at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const char* type) {
    for (const Chunk& c : chunks)
        if (c.type == type) return &c;
    return nullptr;
}

uint32_t Be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// CRC-32 as PNG chunks use it, so that mutilated headers get past the CRC check.
uint32_t Crc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24), p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8), p[3] = static_cast<uint8_t>(v);
}

// IHDR is always the first chunk: its data starts at byte 16, its CRC at byte 29.
void SetIhdr(Bytes& file, uint32_t width, uint32_t height) {
    PutBe32(&file[16], width);
    PutBe32(&file[20], height);
    PutBe32(&file[29], Crc(&file[12], 17));
}

// A file whose IHDR declares another size (and interlacing) than its image data holds.
Bytes Resized(Bytes file, uint32_t width, uint32_t height, bool interlaced) {
    file[28] = interlaced ? 1 : 0;
    SetIhdr(file, width, height);
    return file;
}

bool DecodeBytes(Picture& p, Bytes bytes) {
    MemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    return p.Decode(&stream, ImageFormat::Png);
}

Bytes EncodeBytes(Picture& p) {
    MemoryStream stream;
    stream.Open();
    if (!p.Encode(&stream, ImageFormat::Png)) return {};
    return Bytes(stream.buffer, stream.buffer + stream.size);
}

// pngcheck's verdict on a file we wrote; true when the tool is not installed.
bool PngcheckAccepts(const Bytes& file) {
    if (!HaveTool(Pngcheck())) return true;
    TempFile out;
    std::ofstream(out.path(), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return Shell(std::string(Pngcheck()) + " -q " + out.path() + " >/dev/null");
}

Picture Load(const std::string& name) {
    Picture p;
    EXPECT_TRUE(p.Load(Fixture(name).c_str(), ImageFormat::Png)) << name << ": " << p.GetLastError();
    return p;
}

// A palette picture whose pixel at (x, y) has index f(x, y).
template <class F>
Picture Indexed(uint32_t w, uint32_t h, uint32_t bpp, F f) {
    Picture p(w, h, bpp, 0);
    for (uint32_t i = 0; i < p.GetNumColors(); ++i)
        p.SetPaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i),
                          static_cast<uint8_t>(i * 3));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y), f(x, y));
    return p;
}

Picture TrueColour(uint32_t w, uint32_t h) {
    Picture p(w, h, 24, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y),
                            RGBQUAD{static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 13),
                                    static_cast<uint8_t>(x ^ y), 0});
    return p;
}

// ---- their files through our decoder ------------------------------------------------------

struct FixtureRow {
    const char* name;
    uint16_t bpp;
    bool alphaPlane;
    uint32_t interlaced;  // the PNG codec option after loading
    int tolerance;        // 1 where the decoder composites: the tools round blends differently
};

// The picture each layout becomes: depth, alpha plane and interlace option, and the pixels
// the tools say the file holds (composited against the background where the decoder
// composites).
constexpr FixtureRow kFixtures[] = {
    {"im-rgb8.png", 24, false, 0, 0},
    {"im-rgb8-adam7.png", 24, false, 1, 0},
    {"im-rgba8.png", 24, true, 0, 0},
    {"im-rgba8-adam7.png", 24, true, 1, 0},
    {"im-rgb16.png", 24, false, 0, 0},
    {"im-rgba16.png", 24, true, 0, 1},  // composited on light grey; the plane is all 255
    {"im-pal8.png", 8, false, 0, 0},
    {"im-pal8-adam7.png", 8, false, 1, 0},
    {"im-pal-trns.png", 8, false, 0, 0},
    {"im-grey1.png", 1, false, 0, 0},
    {"im-grey2.png", 4, false, 0, 0},
    {"im-grey2-adam7.png", 4, false, 1, 0},
    {"im-grey4.png", 4, false, 0, 0},
    {"im-grey8.png", 8, false, 0, 0},
    {"im-grey16.png", 8, false, 0, 0},
    {"im-ga8.png", 8, false, 0, 1},  // composited on light grey
    {"im-ga16.png", 24, true, 0, 0},
    {"im-dpi72.png", 24, false, 0, 0},
    {"nb-pal2.png", 4, false, 0, 0},
    {"nb-pal2-adam7.png", 4, false, 1, 0},
    {"nb-transparent.png", 4, false, 0, 0},
    {"nb-alpha-pal.png", 8, false, 0, 0},
    {"nb-alpha-pal-bkgd.png", 8, false, 0, 0},  // the palette stays the file's own
    {"nb-alpha-rgb.png", 24, true, 0, 0},
    {"nb-ga8-bkgd.png", 8, false, 0, 1},     // composited on its bKGD grey
    {"nb-rgba16-bkgd.png", 24, true, 0, 1},  // composited on its bKGD colour
    {"nb-grey16.png", 8, false, 0, 0},       // high bytes, not rounded samples
    {"nb-grey-trns.png", 8, false, 0, 0},    // key pixels replaced by light grey
    // Below 8 bits the key level's palette entry shows light grey.
    {"nb-grey1-trns.png", 1, false, 0, 0},
    {"nb-grey2-trns.png", 4, false, 0, 0},
    {"nb-grey4-trns.png", 4, false, 0, 0},
    {"nb-grey16-trns.png", 8, false, 0, 1},  // high bytes; ImageMagick rounds to 8 bits
    {"nb-rgb-trns.png", 24, false, 0, 0},    // key pixels replaced by light grey
    {"nb-phys-aspect.png", 24, false, 0, 0},
    {"nb-phys-metre.png", 24, false, 0, 0},
};

class PngFixture : public testing::TestWithParam<FixtureRow> {};

TEST_P(PngFixture, DecodesToTheToolsPixels) {
    const FixtureRow& row = GetParam();
    Picture p = Load(row.name);
    ASSERT_TRUE(p.IsValid());
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Png));
    EXPECT_EQ(p.GetWidth(), 23u);
    EXPECT_EQ(p.GetHeight(), 19u);
    EXPECT_EQ(p.GetBpp(), row.bpp);
    EXPECT_EQ(p.AlphaIsValid(), row.alphaPlane);
    EXPECT_EQ(p.GetCodecOption(ImageFormat::Png), row.interlaced);
    std::string name = row.name;
    const Bytes reference = ReadFile(Fixture(name.substr(0, name.size() - 4) + ".rgba"));
    EXPECT_EQ(Differences(p, reference, row.tolerance), "");
}

// Our encoder's files: valid for pngcheck, carrying bKGD and pHYs, and showing in
// ImageMagick exactly what the picture shows.
TEST_P(PngFixture, ReencodedFileReadsBackIdenticallyInImageMagick) {
    const FixtureRow& row = GetParam();
    Picture p = Load(row.name);
    ASSERT_TRUE(p.IsValid());
    TempFile out;
    ASSERT_TRUE(p.Save(out.path().c_str(), ImageFormat::Png)) << p.GetLastError();

    const std::vector<Chunk> chunks = Chunks(ReadFile(out.path()));
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_NE(Find(chunks, "bKGD"), nullptr);
    EXPECT_NE(Find(chunks, "pHYs"), nullptr);
    EXPECT_EQ(chunks.front().data[12], row.interlaced);

    Picture again;
    ASSERT_TRUE(again.Load(out.path().c_str(), ImageFormat::Png)) << again.GetLastError();
    EXPECT_EQ(again.GetCodecOption(ImageFormat::Png), row.interlaced);

    if (HaveTool(Pngcheck())) {
        EXPECT_TRUE(Shell(std::string(Pngcheck()) + " -q " + out.path() + " >/dev/null"));
    }
    if (!HaveTool(Convert())) GTEST_SKIP() << "ImageMagick's convert is not installed";
    Bytes rgba;
    ASSERT_TRUE(Shell(std::string(Convert()) + " " + out.path() + " -depth 8 rgba:-", &rgba));
    EXPECT_EQ(Differences(p, rgba, 0), "");
}

INSTANTIATE_TEST_SUITE_P(Png, PngFixture, testing::ValuesIn(kFixtures), [](const auto& info) {
    std::string name = info.param.name;
    name = name.substr(0, name.size() - 4);
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
});

TEST(Png, TwoBitPixelsBecomeFourBitAndAreSavedAsFourBitPalette) {
    Picture grey = Load("im-grey2.png");
    const uint8_t levels[4] = {0, 85, 170, 255};
    for (uint8_t i = 0; i < 4; ++i) {
        const RGBQUAD c = grey.GetPaletteColor(i);
        EXPECT_EQ(c.rgbRed, levels[i]);
        EXPECT_EQ(c.rgbGreen, levels[i]);
        EXPECT_EQ(c.rgbBlue, levels[i]);
    }
    Picture pal = Load("nb-pal2.png");
    const RGBQUAD first = pal.GetPaletteColor(pal.GetPixelIndex(0, 18));  // top-left pixel
    EXPECT_EQ(first.rgbRed, 200);
    EXPECT_EQ(first.rgbGreen, 30);
    EXPECT_EQ(first.rgbBlue, 30);

    for (Picture* p : {&grey, &pal}) {
        const std::vector<Chunk> chunks = Chunks(EncodeBytes(*p));
        ASSERT_FALSE(chunks.empty());
        EXPECT_EQ(chunks.front().data[8], 4);  // bit depth
        EXPECT_EQ(chunks.front().data[9], 3);  // palette
    }
}

TEST(Png, SixteenBitGreyLoadsAsEightBitGreyPalette) {
    Picture p = Load("nb-grey16.png");
    EXPECT_EQ(p.GetBpp(), 8);
    EXPECT_TRUE(p.IsGrayScale());
}

TEST(Png, PaletteTransparencyBecomesTransIndexOrPaletteAlpha) {
    struct Row {
        const char* name;
        int32_t transIndex;
        bool alphaPalette;
    };
    for (const Row& row : {Row{"nb-transparent.png", 0, false}, Row{"im-pal-trns.png", 0, false},
                           Row{"nb-alpha-pal.png", -1, true}, Row{"im-pal8.png", -1, false}}) {
        Picture p = Load(row.name);
        EXPECT_EQ(p.GetTransIndex(), row.transIndex) << row.name;
        EXPECT_EQ(p.info.alphaPaletteEnabled, row.alphaPalette) << row.name;
    }
    // The file's tRNS has 148 entries; the entries after them are opaque.
    Picture p = Load("nb-alpha-pal.png");
    for (uint32_t i = 148; i < 256; ++i)
        EXPECT_EQ(p.GetPaletteColor(static_cast<uint8_t>(i)).rgbReserved, 255) << i;
}

TEST(Png, ResolutionComesFromPhys) {
    struct Row {
        const char* name;
        int32_t xDpi, yDpi;
    };
    for (const Row& row : {Row{"im-rgb8.png", 96, 96}, Row{"im-dpi72.png", 72, 72},
                           Row{"nb-phys-metre.png", 72, 72}, Row{"nb-phys-aspect.png", 3, 2}}) {
        Picture p = Load(row.name);
        EXPECT_EQ(p.GetXDpi(), row.xDpi) << row.name;
        EXPECT_EQ(p.GetYDpi(), row.yDpi) << row.name;
    }
    Picture p = TrueColour(4, 3);
    p.SetXDpi(300);
    p.SetYDpi(150);
    const std::vector<Chunk> chunks = Chunks(EncodeBytes(p));
    const Chunk* phys = Find(chunks, "pHYs");
    ASSERT_NE(phys, nullptr);
    EXPECT_EQ(Be32(&phys->data[0]), 11811u);
    EXPECT_EQ(Be32(&phys->data[4]), 5906u);
    EXPECT_EQ(phys->data[8], 1);  // metre
    Picture back;
    ASSERT_TRUE(DecodeBytes(back, EncodeBytes(p)));
    EXPECT_EQ(back.GetXDpi(), 300);
    EXPECT_EQ(back.GetYDpi(), 150);
}

TEST(Png, InterlaceOptionDecidesHowThePictureIsWritten) {
    for (uint32_t option : {0u, 1u}) {
        Picture p = TrueColour(13, 10);
        p.SetCodecOption(option, ImageFormat::Png);
        const Bytes file = EncodeBytes(p);
        EXPECT_EQ(Chunks(file).front().data[12], option);
        Picture back;
        ASSERT_TRUE(DecodeBytes(back, file));
        EXPECT_EQ(back.GetCodecOption(ImageFormat::Png), option);
        EXPECT_EQ(std::memcmp(back.GetBits(0), p.GetBits(0), p.header.biSizeImage), 0);
    }
}

TEST(Png, MeasuringRequestFailsAndKeepsLastError) {
    Bytes file = ReadFile(Fixture("im-rgb8.png"));
    Picture p;
    p.SetLastError("before");
    p.SetEscape(-1);
    EXPECT_FALSE(DecodeBytes(p, file));
    EXPECT_STREQ(p.GetLastError(), "before");
    EXPECT_FALSE(p.IsValid());

    // The codec object itself keeps the size it read, without pixels.
    PicturePNG codec;
    codec.SetEscape(-1);
    MemoryStream stream(file.data(), static_cast<int32_t>(file.size()));
    EXPECT_FALSE(codec.Decode(&stream));
    EXPECT_EQ(codec.GetWidth(), 23u);
    EXPECT_EQ(codec.GetHeight(), 19u);
    EXPECT_FALSE(codec.IsValid());
}

// Detection tries BMP first, whose long-header check reads a PNG's signature as sizes.
TEST(Png, DetectionFindsPngAmongTheFormats) {
    Picture p;
    ASSERT_TRUE(p.Load(Fixture("im-pal8.png").c_str(), ImageFormat::Unknown)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Png));
}

// ---- hostile input ------------------------------------------------------------------------

TEST(Png, MutilatedFilesFailWithTheLibrarysText) {
    const Bytes good = ReadFile(Fixture("im-rgb8.png"));
    ASSERT_GT(good.size(), 100u);
    struct Row {
        const char* what;
        Bytes file;
        const char* text;
    };
    Bytes flipped = good;
    flipped[17] ^= 0x40;  // inside the IHDR width
    Bytes wide = good;
    SetIhdr(wide, 0x7FFFFFFF, 19);
    Bytes empty = good;
    SetIhdr(empty, 0, 19);
    Bytes huge = good;
    SetIhdr(huge, 900000, 900000);
    Bytes notPng(good.begin(), good.end());
    std::memcpy(notPng.data(), "hello, w", 8);
    const Row rows[] = {
        {"empty", {}, "Read Error"},
        {"signature only", Bytes(good.begin(), good.begin() + 8), "Read Error"},
        {"cut inside IHDR", Bytes(good.begin(), good.begin() + 20), "Read Error"},
        {"cut inside IDAT", Bytes(good.begin(), good.begin() + 80), "Read Error"},
        {"IEND missing", Bytes(good.begin(), good.end() - 12), "Read Error"},
        {"text", notPng, "Not a PNG file"},
        {"bit flipped in IHDR", flipped, "IHDR: CRC error"},
        {"width past 2^31", wide, "Invalid IHDR data"},
        {"width 0", empty, "Invalid IHDR data"},
        {"900000 x 900000", huge, "PICTURE_MAX_MEMORY exceeded"},
        {"3000 x 3000 in 23 x 19's bytes", Resized(good, 3000, 3000, false),
         "PNG file too short for its picture"},
        {"interlaced, 3000 x 3000", Resized(good, 3000, 3000, true), "PNG file too short for its picture"},
        {"1 x 4000000", Resized(good, 1, 4000000, false), "PNG file too short for its picture"},
    };
    for (const Row& row : rows) {
        Picture p;
        EXPECT_FALSE(DecodeBytes(p, row.file)) << row.what;
        EXPECT_STREQ(p.GetLastError(), row.text) << row.what;
        EXPECT_FALSE(p.IsValid()) << row.what;
    }
}

// Pictures that compress as far as zlib goes (a single colour) are just within what the
// image data must hold for its size; our encoder's files and ImageMagick's both load.
TEST(Png, SingleColourPicturesAreNotTooShort) {
    Picture black(3000, 2000, 8, 0);
    black.SetGrayPalette();
    black.Clear(0);
    const Bytes ours = EncodeBytes(black);
    ASSERT_FALSE(ours.empty());
    Picture back;
    ASSERT_TRUE(DecodeBytes(back, ours)) << back.GetLastError();
    EXPECT_EQ(back.GetWidth(), 3000u);

    if (!HaveTool(Convert())) GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (const char* type : {"PNG8", "PNG24", "-define png:color-type=0 -define png:bit-depth=1 PNG"}) {
        TempFile out;
        std::string target = type;
        const size_t space = target.rfind(' ');
        const std::string options = space == std::string::npos ? "" : target.substr(0, space);
        target = target.substr(space == std::string::npos ? 0 : space + 1);
        ASSERT_TRUE(Shell(std::string(Convert()) + " -size 3000x2000 xc:white " + options +
                          " -define png:compression-level=9 " + target + ":" + out.path()));
        Picture p;
        ASSERT_TRUE(p.Load(out.path().c_str(), ImageFormat::Png)) << type << ": " << p.GetLastError();
        EXPECT_EQ(Seen(p, 2999, 1999).r, 255) << type;
    }
}

// Text chunks are skipped unread: a zTXt that would inflate to 8 MB costs nothing, and
// the picture loads as without it.
TEST(Png, CompressedTextIsSkipped) {
    const Bytes good = ReadFile(Fixture("im-rgb8.png"));
    // A zlib stream of 8 MiB of zeros at level 9, made with the fixed Huffman code: one
    // literal 0, then matches of 258 bytes at distance 1 (13 bits each).
    Bytes z = {0x78, 0xDA};
    uint32_t bitBuffer = 0, bitCount = 0;
    const auto put = [&](uint32_t bits, uint32_t n) {  // least significant bit first
        bitBuffer |= bits << bitCount;
        bitCount += n;
        while (bitCount >= 8) {
            z.push_back(static_cast<uint8_t>(bitBuffer));
            bitBuffer >>= 8;
            bitCount -= 8;
        }
    };
    const auto huffman = [&](uint32_t code, uint32_t n) {  // Huffman codes go most significant bit first
        uint32_t reversed = 0;
        for (uint32_t i = 0; i < n; ++i) reversed |= ((code >> i) & 1) << (n - 1 - i);
        put(reversed, n);
    };
    const uint32_t total = 8u << 20;
    put(1, 1), put(1, 2);  // last block, fixed codes
    huffman(0x30, 8);      // literal 0
    for (uint32_t done = 1; done + 258 <= total; done += 258) {
        huffman(0xC5, 8);  // length 258
        huffman(0, 5);     // distance 1
    }
    huffman(0, 7);  // end of block
    if (bitCount) put(0, 8 - bitCount);
    for (int i = 0; i < 4; ++i) z.push_back(0);  // the Adler-32 (a reader that gets this far fails)

    Bytes chunk(4 + 4 + 5 + 1 + z.size() + 4);
    PutBe32(&chunk[0], static_cast<uint32_t>(chunk.size() - 12));
    std::memcpy(&chunk[4], "zTXtbomb\0\0", 10);
    std::memcpy(&chunk[14], z.data(), z.size());
    PutBe32(&chunk[chunk.size() - 4], Crc(&chunk[4], chunk.size() - 8));
    Bytes file(good.begin(), good.begin() + 33);  // signature and IHDR
    for (int i = 0; i < 40; ++i) file.insert(file.end(), chunk.begin(), chunk.end());
    file.insert(file.end(), good.begin() + 33, good.end());

    Picture p;
    ASSERT_TRUE(DecodeBytes(p, file)) << p.GetLastError();
    Picture plain = Load("im-rgb8.png");
    EXPECT_EQ(std::memcmp(p.GetBits(0), plain.GetBits(0), plain.header.biSizeImage), 0);
}

// Every single-bit change of small files, the CRCs left as they are or fixed up, either
// decodes or fails with a text; the sanitizers watch the rest.
TEST(Png, EveryBitFlipEndsCleanly) {
    for (const char* name : {"im-grey2-adam7.png", "im-rgba8-adam7.png", "nb-alpha-pal.png"}) {
        const Bytes good = ReadFile(Fixture(name));
        const std::vector<Chunk> chunks = Chunks(good);
        for (size_t at = 8; at < good.size(); ++at) {
            for (bool fixCrc : {false, true}) {
                Bytes bad = good;
                bad[at] ^= static_cast<uint8_t>(1u << (at % 8));
                if (fixCrc) {
                    size_t start = 8;
                    for (const Chunk& c : chunks) {
                        const size_t end = start + 12 + c.data.size();
                        if (at >= start + 4 && at < end - 4) {
                            PutBe32(&bad[end - 4], Crc(&bad[start + 4], c.data.size() + 4));
                            break;
                        }
                        start = end;
                    }
                }
                Picture p;
                if (!DecodeBytes(p, bad)) {
                    EXPECT_STRNE(p.GetLastError(), "") << name << " byte " << at;
                }
            }
        }
    }
}

// ---- encoding -----------------------------------------------------------------------------

TEST(Png, PaletteIsTrimmedToTheIndicesInUseOnlyForSmallPictures) {
    struct Row {
        uint32_t w, h, bpp;
        uint8_t highest;
        size_t entries;
    };
    for (const Row& row : {Row{100, 100, 8, 37, 38}, Row{300, 300, 8, 37, 256}, Row{10, 10, 1, 0, 2},
                           Row{10, 10, 4, 5, 6}, Row{255, 257, 8, 9, 10}, Row{256, 256, 8, 9, 256}}) {
        Picture p = Indexed(row.w, row.h, row.bpp, [&](uint32_t x, uint32_t y) {
            return static_cast<uint8_t>((x * 7 + y) % (row.highest + 1u));
        });
        const Bytes file = EncodeBytes(p);
        EXPECT_TRUE(PngcheckAccepts(file));
        const std::vector<Chunk> chunks = Chunks(file);
        const Chunk* plte = Find(chunks, "PLTE");
        ASSERT_NE(plte, nullptr);
        EXPECT_EQ(plte->data.size(), row.entries * 3) << row.w << "x" << row.h << " at " << row.bpp;
        EXPECT_EQ(plte->data[3 * row.highest],
                  static_cast<uint8_t>(row.highest * 7));  // red of the last used entry
        EXPECT_EQ(Find(chunks, "tRNS"), nullptr);
    }
}

TEST(Png, TransparentIndexMovesToEntryZeroInTheCallersPicture) {
    Picture p = Indexed(9, 7, 8, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x + y) % 8); });
    p.SetTransIndex(5);
    std::vector<RGBQUAD> before;
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 9; ++x) before.push_back(p.GetPixelColor(x, y, false));
    const RGBQUAD entry0 = p.GetPaletteColor(0), entry5 = p.GetPaletteColor(5);
    EXPECT_EQ(p.GetNearestIndex(entry5), 5);  // primes the caller's colour cache

    const Bytes file = EncodeBytes(p);
    EXPECT_TRUE(PngcheckAccepts(file));
    EXPECT_EQ(p.GetTransIndex(), 0);
    EXPECT_EQ(p.GetPaletteColor(0), entry5);
    EXPECT_EQ(p.GetPaletteColor(5), entry0);
    EXPECT_EQ(p.GetPixelIndex(5, 0), 0);
    EXPECT_EQ(p.GetPixelIndex(0, 0), 5);
    EXPECT_EQ(p.GetNearestIndex(entry5), 0);
    size_t i = 0;
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(p.GetPixelColor(x, y, false), before[i++]);

    const std::vector<Chunk> chunks = Chunks(file);
    const Chunk* trns = Find(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, Bytes{0});
    const Chunk* bkgd = Find(chunks, "bKGD");
    ASSERT_NE(bkgd, nullptr);
    EXPECT_EQ(bkgd->data, Bytes{0});

    Picture back;
    ASSERT_TRUE(DecodeBytes(back, file));
    EXPECT_EQ(back.GetTransIndex(), 0);
    EXPECT_EQ(Seen(back, 5, 6).a, 0);  // pixel (5, 0): index 5 before, index 0 now
    EXPECT_EQ(Seen(back, 4, 6).a, 255);
}

TEST(Png, PaletteAlphaIsWrittenAsTrns) {
    Picture p = Indexed(6, 5, 4, [](uint32_t x, uint32_t) { return static_cast<uint8_t>(x); });
    p.info.alphaPaletteEnabled = true;
    for (uint8_t i = 0; i < 16; ++i) {
        RGBQUAD c = p.GetPaletteColor(i);
        c.rgbReserved = static_cast<uint8_t>(i * 40);
        p.SetPaletteColor(i, c);
    }
    EXPECT_TRUE(PngcheckAccepts(EncodeBytes(p)));
    const std::vector<Chunk> chunks = Chunks(EncodeBytes(p));
    const Chunk* trns = Find(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, (Bytes{0, 40, 80, 120, 160, 200}));
    EXPECT_EQ(Find(chunks, "PLTE")->data.size(), 18u);
}

TEST(Png, TransparentColourOfATrueColourPictureBecomesAnAlphaChannel) {
    Picture p = TrueColour(8, 6);
    const RGBQUAD key{27, 26, 1, 0};  // the colour of (3, 2)
    ASSERT_EQ(p.GetPixelColor(3, 2, false), key);
    p.SetTransColor(key);
    p.SetTransIndex(0);
    const Bytes file = EncodeBytes(p);
    EXPECT_TRUE(PngcheckAccepts(file));
    EXPECT_FALSE(p.AlphaIsValid());
    const std::vector<Chunk> chunks = Chunks(file);
    EXPECT_EQ(chunks.front().data[9], 6);  // RGBA
    const Chunk* bkgd = Find(chunks, "bKGD");
    ASSERT_NE(bkgd, nullptr);
    EXPECT_EQ(bkgd->data, (Bytes{0, 1, 0, 26, 0, 27}));

    Picture back;
    ASSERT_TRUE(DecodeBytes(back, file));
    ASSERT_TRUE(back.AlphaIsValid());
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(back.AlphaGet(x, y), (x == 3 && y == 2) ? 0 : 255) << x << "," << y;

    // A plane the picture has is its own and keeps the zeros.
    p.AlphaCreate();
    EncodeBytes(p);
    EXPECT_EQ(p.AlphaGet(3, 2), 0);
    EXPECT_EQ(p.AlphaGet(4, 2), 255);
}

TEST(Png, PalettePictureWithAlphaPlaneIsWrittenAsRgbaWithSuggestedPalette) {
    Picture p = Indexed(5, 4, 8, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(x + y); });
    p.AlphaCreate();
    p.AlphaSet(1, 1, 100);
    p.info.alphaMax = 128;
    EXPECT_TRUE(PngcheckAccepts(EncodeBytes(p)));
    const std::vector<Chunk> chunks = Chunks(EncodeBytes(p));
    EXPECT_EQ(chunks.front().data[9], 6);
    EXPECT_EQ(Find(chunks, "PLTE")->data.size(), 8u * 3);
    EXPECT_EQ(Find(chunks, "tRNS"), nullptr);
    Picture back;
    ASSERT_TRUE(DecodeBytes(back, EncodeBytes(p)));
    EXPECT_EQ(back.AlphaGet(1, 1), 128 * 100 / 255);
    EXPECT_EQ(back.AlphaGet(0, 0), 128);
    const RGBQUAD c = back.GetPixelColor(3, 2, false), e = p.GetPaletteColor(5);
    EXPECT_EQ(c.rgbRed, e.rgbRed);
    EXPECT_EQ(c.rgbGreen, e.rgbGreen);
    EXPECT_EQ(c.rgbBlue, e.rgbBlue);
}

// A stream that accepts a given number of bytes and then refuses.
class FullStream : public MemoryStream {
   public:
    explicit FullStream(uint32_t room) : room_(room) { Open(); }
    uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override {
        if (static_cast<uint64_t>(size) * count > room_) return 0;
        room_ -= size * count;
        return MemoryStream::Write(buffer, size, count);
    }

   private:
    uint32_t room_;
};

TEST(Png, EncoderFailuresHaveTheirTexts) {
    Picture p = TrueColour(40, 30);
    for (uint32_t room : {0u, 8u, 40u, 100u}) {
        FullStream full(room);
        EXPECT_FALSE(p.Encode(&full, ImageFormat::Png)) << room;
        EXPECT_STREQ(p.GetLastError(), "Error saving PNG file") << room;
    }
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Png));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
    Picture empty;
    MemoryStream stream;
    stream.Open();
    EXPECT_FALSE(empty.Encode(&stream, ImageFormat::Png));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

}  // namespace
