#include "ico.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <string>

#include "ico_tga_reference.h"
#include "picture.h"
#include "stream.h"

using namespace reference;

namespace {

std::string Fixture(const std::string& name) { return std::string(PANELLE_TEST_DATA) + "/ico/" + name; }

bool DecodeIcon(Picture& p, const std::string& bytes) { return DecodeBytes(p, bytes, ImageFormat::Ico); }

uint32_t U32At(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

void PutU32At(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

enum class Transparency { None, Index, Colour, Plane };

Transparency KindOf(const Picture& p) {
    if (p.AlphaIsValid()) return Transparency::Plane;
    if (p.GetTransIndex() < 0) return Transparency::None;
    return p.GetBpp() <= 8 ? Transparency::Index : Transparency::Colour;
}

}  // namespace

// Icons written by netpbm, ImageMagick and icoutils decode to the pixels their own tools
// read back, with the AND mask held the way the depth and the colours allow.
TEST(Ico, FixturesShowWhatTheirToolsRead) {
    struct Row {
        const char* file;
        int32_t frame;
        const char* reference;
        uint16_t bpp;
        Transparency kind;
        int32_t transIndex;
    } rows[] = {
        // Both colours of a 1-bit icon are in use, so the mask stays an alpha plane.
        {"nb-1bit-mask.ico", 0, "nb-1bit-mask.0.pam", 1, Transparency::Plane, -1},
        // Fifteen colours leave index 15 free for the masked pixels; sixteen leave none.
        {"nb-4bit-mask.ico", 0, "nb-4bit-mask.0.pam", 4, Transparency::Index, 15},
        {"nb-4bit-full-mask.ico", 0, "nb-4bit-full-mask.0.pam", 4, Transparency::Plane, -1},
        {"nb-8bit-mask.ico", 0, "nb-8bit-mask.0.pam", 8, Transparency::Index, 18},
        // A 32-bit icon's alpha stands as it is: the mask does not cut into it.
        {"nb-32bit-alpha.ico", 0, "nb-32bit-alpha.0.pam", 24, Transparency::Plane, -1},
        {"nb-three.ico", 0, "nb-three.0.pam", 1, Transparency::Plane, -1},
        {"nb-three.ico", 1, "nb-three.1.pam", 4, Transparency::Index, 15},
        {"nb-three.ico", 2, "nb-three.2.pam", 8, Transparency::Index, 18},
        {"im-4bit.ico", 0, "im-4bit.0.pam", 4, Transparency::None, -1},
        {"im-8bit.ico", 0, "im-8bit.0.pam", 8, Transparency::None, -1},
        {"im-32bit-alpha.ico", 0, "im-32bit-alpha.0.pam", 24, Transparency::Plane, -1},
        // Masked pixels of several colours: an alpha plane; all black: black is transparent.
        {"ic-24bit-mask.ico", 0, "ic-24bit-mask.0.pam", 24, Transparency::Plane, -1},
        {"ic-24bit-black-mask.ico", 0, "ic-24bit-black-mask.0.pam", 24, Transparency::Colour, 0},
        {"ic-cursor.cur", 0, "ic-cursor.0.pam", 8, Transparency::Index, 16},
        // Images stored as PNG files decode through the PNG codec; a size byte of 0 is 256.
        {"ic-png-two.ico", 0, "ic-png-two.0.pam", 24, Transparency::Plane, -1},
        {"ic-png-two.ico", 1, "ic-png-two.1.pam", 4, Transparency::None, -1},
        {"ic-256-32bit.ico", 0, "ic-256-32bit.0.pam", 24, Transparency::Plane, -1},
    };
    for (const Row& row : rows) {
        const std::string what = std::string(row.file) + " frame " + std::to_string(row.frame);
        Picture p;
        p.SetFrame(row.frame);
        ASSERT_TRUE(p.Load(Fixture(row.file).c_str(), ImageFormat::Ico)) << what << ": " << p.GetLastError();
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Ico)) << what;
        EXPECT_EQ(p.GetBpp(), row.bpp) << what;
        EXPECT_EQ(KindOf(p), row.kind) << what;
        EXPECT_EQ(p.GetTransIndex(), row.transIndex) << what;
        if (row.kind == Transparency::Colour) {
            EXPECT_EQ(p.GetTransColor(), (RGBQUAD{0, 0, 0, 0})) << what;
        }
        ExpectShows(p, ReadNetpbm(Fixture(row.reference)), what);
    }
}

TEST(Ico, MissingFrameFailsAndReportsTheImageCount) {
    Picture p(3, 3, 24, 0);
    p.SetPixelColor(1, 1, RGBQUAD{1, 2, 3, 0});
    for (int32_t frame : {3, -1}) {
        p.SetFrame(frame);
        EXPECT_FALSE(p.Load(Fixture("nb-three.ico").c_str(), ImageFormat::Ico)) << frame;
        EXPECT_EQ(p.GetFrameCount(), 3) << frame;
        EXPECT_EQ(p.GetWidth(), 3u) << "the picture stays as it was";
        EXPECT_EQ(p.GetPixelColor(1, 1, false), (RGBQUAD{1, 2, 3, 0}));
    }
}

TEST(Ico, DetectedWithoutAFormat) {
    Picture p;
    ASSERT_TRUE(p.Load(Fixture("ic-cursor.cur").c_str(), ImageFormat::Unknown)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Ico));
}

// An AND mask with every bit set marks an inverted picture: the colours are inverted and
// index 0 becomes transparent.
TEST(Ico, MaskOfAllOnesInvertsTheColours) {
    std::string bytes = ReadText(Fixture("nb-8bit-mask.ico"));
    Picture plain;
    ASSERT_TRUE(DecodeIcon(plain, bytes));
    const size_t maskStart = 22 + 40 + 256 * 4 + 20 * 18;
    ASSERT_EQ(bytes.size(), maskStart + 4 * 18);
    std::memset(bytes.data() + maskStart, 0xFF, 4 * 18);
    Picture inverted;
    ASSERT_TRUE(DecodeIcon(inverted, bytes));
    EXPECT_EQ(inverted.GetTransIndex(), 0);
    EXPECT_FALSE(inverted.AlphaIsValid());
    // Where the plain picture is opaque it still has the file's own index there.
    for (int32_t y = 0; y < 18; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            if (Shown(plain, x, 17 - y).a == 0) continue;
            const RGBQUAD a = plain.GetPixelColor(x, y, false), b = inverted.GetPixelColor(x, y, false);
            ASSERT_EQ(b.rgbRed, 255 - a.rgbRed) << x << "," << y;
            ASSERT_EQ(b.rgbGreen, 255 - a.rgbGreen) << x << "," << y;
            ASSERT_EQ(b.rgbBlue, 255 - a.rgbBlue) << x << "," << y;
        }
}

// Damaged and hostile files, each a change to a real 8-bit icon of 20 x 18 pixels.
TEST(Ico, DamagedFilesFailCleanlyOrDecodeWhatIsThere) {
    const std::string good = ReadText(Fixture("nb-8bit-mask.ico"));
    ASSERT_EQ(good.size(), 1518u);
    constexpr const char* kUnchanged = "(unchanged)";
    constexpr const char* kTooShort = "ICO image too short for its size";
    struct Row {
        const char* what;
        std::function<void(std::string&)> damage;
        bool ok;
        const char* error;  // kUnchanged: the caller's text stays
    } rows[] = {
        {"empty file", [](std::string& b) { b.clear(); }, false, kUnchanged},
        {"header cut short", [](std::string& b) { b.resize(5); }, false, kUnchanged},
        {"reserved field set", [](std::string& b) { b[0] = 1; }, false, kUnchanged},
        {"type 3", [](std::string& b) { b[2] = 3; }, false, kUnchanged},
        {"no images", [](std::string& b) { b[4] = 0; }, false, kUnchanged},
        {"directory cut short", [](std::string& b) { b.resize(6 + 10); }, false, "Corrupted ICO directory"},
        {"second image announced, none there", [](std::string& b) { b[4] = 2; }, true, nullptr},
        {"offset past the end", [](std::string& b) { PutU32At(b, 18, 0x7FFFFF00); }, false,
         "Corrupted ICO image header"},
        {"offset past 2 GiB", [](std::string& b) { PutU32At(b, 18, 0xFFFFFFFF); }, false,
         "Corrupted ICO image header"},
        {"image header cut short", [](std::string& b) { b.resize(22 + 30); }, false,
         "Corrupted ICO image header"},
        // The entry must hold its header, palette and colour rows; the mask may be missing.
        {"palette cut short", [](std::string& b) { b.resize(22 + 40 + 100); }, false, kTooShort},
        {"pixels cut short", [](std::string& b) { b.resize(22 + 40 + 1024 + 100); }, false, kTooShort},
        {"entry declares fewer bytes than its pixels", [](std::string& b) { PutU32At(b, 14, 40 + 1024); },
         false, kTooShort},
        {"mask cut short", [](std::string& b) { b.resize(1500); }, true, nullptr},
        {"depth 0", [](std::string& b) { b[22 + 14] = 0; }, true, nullptr},
        {"depth 16", [](std::string& b) { b[22 + 14] = 16; }, true, nullptr},
        {"depth 65535", [](std::string& b) { b[22 + 14] = b[22 + 15] = '\xff'; }, true, nullptr},
        {"image size 255 x 255 over a small image", [](std::string& b) { b[6] = b[7] = '\xff'; }, false,
         kTooShort},
        {"size bytes 0 (256 x 256) over a small image", [](std::string& b) { b[6] = b[7] = 0; }, false,
         kTooShort},
    };
    for (const Row& row : rows) {
        std::string bytes = good;
        row.damage(bytes);
        Picture p;
        p.SetLastError(kUnchanged);
        const bool ok = DecodeIcon(p, bytes);
        EXPECT_EQ(ok, row.ok) << row.what;
        if (row.error) {
            EXPECT_STREQ(p.GetLastError(), row.error) << row.what;
        }
        if (ok) ExpectWritable(p, row.what);
    }
}

TEST(Ico, IconWithoutItsMaskKeepsItsPixelsAndIsOpaque) {
    std::string bytes = ReadText(Fixture("nb-8bit-mask.ico"));
    const size_t pixels = 22 + 40 + 1024;
    bytes.resize(pixels + 20 * 18);
    Picture cut;
    ASSERT_TRUE(DecodeIcon(cut, bytes));
    EXPECT_EQ(KindOf(cut), Transparency::None);
    for (int32_t y = 0; y < 18; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(cut.GetPixelIndex(x, y), static_cast<uint8_t>(bytes[pixels + 20 * y + x]))
                << x << "," << y;
}

// A 32-bit icon whose fourth bytes are all 0 carries no alpha: its AND mask says which
// pixels are transparent, as it does for 24 bits.
TEST(Ico, ThirtyTwoBitIconWithoutAlphaUsesItsMask) {
    std::string bytes = ReadText(Fixture("nb-32bit-alpha.ico"));
    const uint32_t w = static_cast<uint8_t>(bytes[6]), h = static_cast<uint8_t>(bytes[7]);
    const size_t quads = U32At(bytes, 18) + 40, mask = quads + 4 * w * h, maskRow = (w + 31) / 32 * 4;
    ASSERT_EQ(bytes.size(), mask + maskRow * h);
    for (size_t i = 0; i < w * h; ++i) bytes[quads + 4 * i + 3] = 0;
    uint32_t masked = 0;
    for (size_t i = 0; i < maskRow * h; ++i) masked += std::popcount(static_cast<uint8_t>(bytes[mask + i]));
    ASSERT_GT(masked, 0u) << "the fixture's mask hides some pixels";
    Picture p;
    ASSERT_TRUE(DecodeIcon(p, bytes)) << p.GetLastError();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool hidden = (bytes[mask + y * maskRow + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(Shown(p, static_cast<int32_t>(x), static_cast<int32_t>(h - 1 - y)).a, hidden ? 0 : 255)
                << x << "," << y;
        }
}

TEST(Ico, WritesTheDirectoryAndHeaderOfAnEightBitIcon) {
    Picture p(16, 16, 8, 0);
    const std::string b = EncodeBytes(p, ImageFormat::Ico);
    ASSERT_EQ(b.size(), 22u + 40 + 1024 + 256 + 64);
    EXPECT_EQ(b.substr(0, 6), std::string("\0\0\1\0\1\0", 6));
    EXPECT_EQ(b[6], 16);
    EXPECT_EQ(b[7], 16);
    EXPECT_EQ(b[8], 0) << "256 colours are written as 0";
    EXPECT_EQ(U32At(b, 14), 1384u) << "bytes in resource";
    EXPECT_EQ(U32At(b, 18), 22u) << "image offset";
    EXPECT_EQ(U32At(b, 22), 40u);
    EXPECT_EQ(U32At(b, 30), 32u) << "biHeight covers the colour rows and the mask";
    EXPECT_EQ(static_cast<uint8_t>(b[22 + 14]), 8);
    EXPECT_EQ(U32At(b, 22 + 20), 256u) << "biSizeImage";
}

TEST(Ico, RefusesWhatAnIconCannotHold) {
    Picture big(256, 10, 24, 0);
    MemoryStream stream;
    stream.Open();
    EXPECT_FALSE(big.Encode(&stream, ImageFormat::Ico));
    EXPECT_STREQ(big.GetLastError(), "Can't save this image as icon");
    Picture tall(10, 256, 8, 0);
    EXPECT_FALSE(tall.Encode(&stream, ImageFormat::Ico));
    EXPECT_STREQ(tall.GetLastError(), "Can't save this image as icon");
    Picture empty;
    EXPECT_FALSE(empty.Encode(&stream, ImageFormat::Ico));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    Picture largest(255, 255, 24, 0);
    largest.Clear(0);
    EXPECT_TRUE(largest.Encode(&stream, ImageFormat::Ico)) << largest.GetLastError();
}

namespace {

// Pictures of every depth the encoder writes, each with a kind of transparency.
Picture OneBit() {
    Picture p = PalettePicture(13, 9, 1);
    p.SetTransIndex(1);
    return p;
}

Picture FourBit() {
    Picture p = PalettePicture(21, 7, 4);
    p.SetTransIndex(3);
    return p;
}

Picture EightBit() { return PalettePicture(33, 17, 8); }

Picture TrueColour(bool withAlpha) {
    Picture p = TrueColourPicture(19, 11, withAlpha);
    if (!withAlpha) {
        // A colour of its own marks the transparent pixels.
        for (int32_t x = 2; x < 7; ++x) p.SetPixelColor(x, 4, RGBQUAD{1, 2, 3, 0});
        p.SetTransColor(RGBQUAD{1, 2, 3, 0});
        p.SetTransIndex(0);
    }
    return p;
}

}  // namespace

// Our icons read back in our decoder, ImageMagick and netpbm as the picture that was saved.
TEST(Ico, WrittenIconsReadBackInOtherReaders) {
    const std::string winicontopam = Tool("winicontopam");
    struct Row {
        const char* what;
        Picture (*make)();
        uint16_t depth;
    } rows[] = {
        {"1-bit, transparent index", &OneBit, 1},
        {"4-bit, transparent index", &FourBit, 4},
        {"8-bit, opaque", &EightBit, 8},
        {"24-bit, transparent colour", [] { return TrueColour(false); }, 24},
        {"24-bit with alpha", [] { return TrueColour(true); }, 32},
    };
    for (const Row& row : rows) {
        Picture p = row.make();
        TempFile file("ours.ico");
        ExpectReadBackEverywhere(p, ImageFormat::Ico, file,
                                 winicontopam.empty() ? "" : "'" + winicontopam + "' -quiet {in} > {out}",
                                 row.what);
        EXPECT_EQ(static_cast<uint8_t>(ReadText(file.path())[22 + 14]), row.depth) << row.what;
    }
    if (std::string(PANELLE_CONVERT).empty() || winicontopam.empty())
        GTEST_SKIP() << "ImageMagick or netpbm missing";
}
