#include "tga.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ico_tga_reference.h"
#include "picture.h"
#include "stream.h"

using namespace reference;

namespace {

std::string Fixture(const std::string& name) { return std::string(PANELLE_TEST_DATA) + "/tga/" + name; }

bool DecodeTga(Picture& p, const std::string& bytes) { return DecodeBytes(p, bytes, ImageFormat::Tga); }

// An 18-byte TGA header; the caller appends the colour map and the pixels.
std::string Header(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t descriptor = 0,
                   uint8_t mapType = 0, uint16_t mapLength = 0, uint8_t mapEntrySize = 0) {
    std::string h(18, '\0');
    h[1] = static_cast<char>(mapType);
    h[2] = static_cast<char>(type);
    h[5] = static_cast<char>(mapLength & 0xFF);
    h[6] = static_cast<char>(mapLength >> 8);
    h[7] = static_cast<char>(mapEntrySize);
    h[12] = static_cast<char>(width & 0xFF);
    h[13] = static_cast<char>(width >> 8);
    h[14] = static_cast<char>(height & 0xFF);
    h[15] = static_cast<char>(height >> 8);
    h[16] = static_cast<char>(depth);
    h[17] = static_cast<char>(descriptor);
    return h;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// Colours of the rows of a picture, bottom row first, as (blue, green, red, alpha).
using Rows = std::vector<std::vector<RGBQUAD>>;

Rows RowsOf(const Picture& p) {
    Rows rows(p.GetHeight());
    for (int32_t y = 0; y < static_cast<int32_t>(p.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(p.GetWidth()); ++x)
            rows[y].push_back(p.GetPixelColor(x, y, true));
    return rows;
}

bool SameRows(const Rows& a, const Rows& b) {
    if (a.size() != b.size()) return false;
    for (size_t y = 0; y < a.size(); ++y) {
        if (a[y].size() != b[y].size()) return false;
        for (size_t x = 0; x < a[y].size(); ++x)
            if (!(a[y][x] == b[y][x])) return false;
    }
    return true;
}

}  // namespace

// Files written by ImageMagick and netpbm decode to the pixels their own tools read back.
TEST(Tga, FixturesShowWhatTheirToolsRead) {
    struct Row {
        const char* name;
        uint16_t bpp;
        bool alpha, grey;
    } rows[] = {
        {"im-24-bl", 24, false, false},
        {"im-24-tl-rle", 24, false, false},
        {"im-32-bl-rle", 24, true, false},
        {"im-32-tl", 24, true, false},
        {"im-8-mapped-bl", 8, false, false},
        {"im-8-mapped-tl-rle", 8, false, false},
        {"im-grey-bl", 8, false, true},
        {"im-grey-tl-rle", 8, false, true},
        {"nb-rgb-rle", 24, false, false},
        {"nb-rgb", 24, false, false},
        {"nb-rgba-rle", 24, true, false},
        {"nb-rgba", 24, true, false},
        {"nb-cmap-rle", 8, false, false},
        {"nb-cmap", 8, false, false},
        {"nb-mono-rle", 8, false, true},
        {"nb-mono", 8, false, true},
        // Colour maps of every entry size, the first entry standing for a later index.
        {"nbmap-15-first0", 8, false, false},
        {"nbmap-16-first100", 8, false, false},
        {"nbmap-24-first50", 8, false, false},
        {"nbmap-32-first7", 8, false, false},
    };
    for (const Row& row : rows) {
        Picture p;
        ASSERT_TRUE(p.Load(Fixture(std::string(row.name) + ".tga").c_str(), ImageFormat::Tga))
            << row.name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Tga)) << row.name;
        EXPECT_EQ(p.GetBpp(), row.bpp) << row.name;
        EXPECT_EQ(p.AlphaIsValid(), row.alpha) << row.name;
        EXPECT_EQ(p.IsGrayScale(), row.grey) << row.name;
        ExpectShows(p, ReadNetpbm(Fixture(std::string(row.name) + ".pam")), row.name);
    }
}

TEST(Tga, DetectedWithoutAFormat) {
    Picture p;
    ASSERT_TRUE(p.Load(Fixture("nb-rgb-rle.tga").c_str(), ImageFormat::Unknown)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Tga));
}

// A packet may end in the next row: a run carries its one value over, a raw packet its
// following values. Rows in the file: A A A | A B C | P Q R | S T T (bottom row first,
// or top row first with descriptor bit 5).
TEST(Tga, PacketsContinueOnTheNextRow) {
    const RGBQUAD A{1, 2, 3, 11}, B{4, 5, 6, 12}, C{7, 8, 9, 13}, P{10, 11, 12, 14}, Q{13, 14, 15, 15},
        R{16, 17, 18, 16}, S{19, 20, 21, 17}, T{22, 23, 24, 18};
    const Rows fileRows = {{A, A, A}, {A, B, C}, {P, Q, R}, {S, T, T}};
    for (const uint8_t depth : {24, 32})
        for (const uint8_t descriptor : {0x00, 0x20}) {
            const auto px = [&](RGBQUAD c) {
                std::string s = Bytes({c.rgbBlue, c.rgbGreen, c.rgbRed});
                if (depth == 32) s += static_cast<char>(c.rgbReserved);
                return s;
            };
            std::string file = Header(10, 3, 4, depth, descriptor);
            file += Bytes({0x83}) + px(A) + Bytes({0x01}) + px(B) + px(C);
            file += Bytes({0x03}) + px(P) + px(Q) + px(R) + px(S) + Bytes({0x81}) + px(T);
            Picture p;
            ASSERT_TRUE(DecodeTga(p, file)) << p.GetLastError();
            Rows want = fileRows;
            if (descriptor & 0x20) want = {fileRows[3], fileRows[2], fileRows[1], fileRows[0]};
            for (auto& row : want)
                for (RGBQUAD& c : row)
                    if (depth == 24) c.rgbReserved = 0;
            EXPECT_TRUE(SameRows(RowsOf(p), want)) << int(depth) << " bits, descriptor " << int(descriptor);
        }
}

// The same 4 x 3 picture with alpha stored in all four orders, uncompressed and in raw
// packets, decodes to one picture.
TEST(Tga, EveryOriginGivesTheSamePicture) {
    Rows picture(3);  // bottom row first
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            picture[y].push_back(RGBQUAD{static_cast<uint8_t>(40 * x), static_cast<uint8_t>(70 * y), 9,
                                         static_cast<uint8_t>(20 * x + 60 * y + 5)});
    for (const bool rle : {false, true})
        for (const uint8_t descriptor : {0x08, 0x18, 0x28, 0x38}) {
            std::string file = Header(rle ? 10 : 2, 4, 3, 32, descriptor);
            for (int r = 0; r < 3; ++r) {
                const int y = (descriptor & 0x20) ? 2 - r : r;
                if (rle) file += Bytes({0x03});
                for (int i = 0; i < 4; ++i) {
                    const int x = (descriptor & 0x10) ? 3 - i : i;
                    const RGBQUAD c = picture[y][x];
                    file += Bytes({c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved});
                }
            }
            Picture p;
            ASSERT_TRUE(DecodeTga(p, file)) << p.GetLastError();
            EXPECT_TRUE(SameRows(RowsOf(p), picture)) << "rle " << rle << ", descriptor " << int(descriptor);
        }
}

// Five-bit channels are scaled to the full range and rounded: 31 is 255, 16 is 132, 3 is 25.
TEST(Tga, FifteenAndSixteenBitPixelsIgnoreBit15) {
    struct Row {
        uint16_t word;
        RGBQUAD colour;
    } rows[] = {
        {0x7FFF, {255, 255, 255, 0}}, {0xFFFF, {255, 255, 255, 0}}, {0x8000, {0, 0, 0, 0}},
        {0x001F, {255, 0, 0, 0}},     {0x03E0, {0, 255, 0, 0}},     {0x7C00, {0, 0, 255, 0}},
        {0x0421, {8, 8, 8, 0}},       {0x4210, {132, 132, 132, 0}}, {0x0C63, {25, 25, 25, 0}},
    };
    for (const uint8_t depth : {15, 16}) {
        std::string file = Header(2, std::size(rows), 1, depth);
        for (const Row& row : rows) file += Bytes({row.word & 0xFF, row.word >> 8});
        Picture p;
        ASSERT_TRUE(DecodeTga(p, file)) << p.GetLastError();
        EXPECT_EQ(p.GetBpp(), 24);
        for (size_t i = 0; i < std::size(rows); ++i)
            EXPECT_EQ(p.GetPixelColor(static_cast<int32_t>(i), 0, false), rows[i].colour)
                << int(depth) << " bits, word " << std::hex << rows[i].word;
    }
}

// Colour map entries are read at their stated size and stored from the first index on;
// a grey image uses the grey ramp even when it carries a map.
TEST(Tga, ColourMapHandling) {
    const std::string map = Bytes({10, 20, 30, 40, 50, 60});
    Picture mapped;
    ASSERT_TRUE(DecodeTga(mapped, Header(1, 2, 1, 8, 0, 1, 2, 24) + map + Bytes({1, 0})));
    EXPECT_EQ(mapped.GetPixelColor(0, 0, false), (RGBQUAD{40, 50, 60, 0}));
    EXPECT_EQ(mapped.GetPixelColor(1, 0, false), (RGBQUAD{10, 20, 30, 0}));

    // Two 16-bit entries for indexes 254 and 255; a third would fall past the palette.
    std::string words =
        Header(1, 3, 1, 8, 0, 1, 3, 16) + Bytes({0x1F, 0x00, 0x00, 0x7C, 0xE0, 0x03}) + Bytes({254, 255, 0});
    words[3] = static_cast<char>(254);
    Picture high;
    ASSERT_TRUE(DecodeTga(high, words)) << high.GetLastError();
    EXPECT_EQ(high.GetPixelColor(0, 0, false), (RGBQUAD{255, 0, 0, 0}));
    EXPECT_EQ(high.GetPixelColor(1, 0, false), (RGBQUAD{0, 0, 255, 0}));
    EXPECT_EQ(high.GetPixelColor(2, 0, false), (RGBQUAD{0, 0, 0, 0})) << "index 0 is not in the map";

    // 32-bit entries are blue, green, red and an alpha byte that is not kept.
    Picture quads;
    ASSERT_TRUE(DecodeTga(quads, Header(1, 1, 1, 8, 0, 1, 1, 32) + Bytes({1, 2, 3, 4}) + Bytes({0})));
    EXPECT_EQ(quads.GetPixelColor(0, 0, false), (RGBQUAD{1, 2, 3, 0}));

    Picture odd;
    EXPECT_FALSE(DecodeTga(odd, Header(1, 1, 1, 8, 0, 1, 1, 8) + Bytes({1}) + Bytes({0})));
    EXPECT_STREQ(odd.GetLastError(), "bad TGA header") << "an 8-bit map entry";

    Picture grey;
    ASSERT_TRUE(DecodeTga(grey, Header(3, 2, 1, 8, 0, 1, 2, 24) + map + Bytes({1, 77})));
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_EQ(grey.GetPixelColor(1, 0, false), (RGBQUAD{77, 77, 77, 0}));
}

// Damaged and hostile files: each row a mutilation, the expected result and text.
TEST(Tga, DamagedFilesFailCleanly) {
    const std::string rgb = ReadText(Fixture("nb-rgb.tga"));
    const std::string rle = ReadText(Fixture("nb-rgb-rle.tga"));
    const std::string mapped = ReadText(Fixture("nb-cmap.tga"));
    const std::string pixel = Bytes({1, 2, 3});
    struct Row {
        const char* what;
        std::string file;
        bool ok;
        const char* error;
    } rows[] = {
        {"empty", "", false, "Not a TGA"},
        {"header cut short", rgb.substr(0, 17), false, "Not a TGA"},
        {"image type 0", Header(0, 1, 1, 24) + pixel, false, "Unknown TGA image type"},
        {"image type 4", Header(4, 1, 1, 24) + pixel, false, "Unknown TGA image type"},
        {"image type 32", Header(32, 1, 1, 24) + pixel, false, "Unknown TGA image type"},
        {"width 0", Header(2, 0, 1, 24) + pixel, false, "bad TGA header"},
        {"height 0", Header(2, 1, 0, 24) + pixel, false, "bad TGA header"},
        {"depth 0", Header(2, 1, 1, 0) + pixel, false, "bad TGA header"},
        {"depth 12", Header(2, 1, 1, 12) + pixel, false, "bad TGA header"},
        {"depth 255", Header(2, 1, 1, 255) + pixel, false, "bad TGA header"},
        {"colour map of 257", Header(1, 1, 1, 8, 0, 1, 257, 24) + std::string(771, '\0') + "\1", false,
         "bad TGA header"},
        {"colour map cut short", mapped.substr(0, 18 + 8 + 50), false, "corrupted TGA"},
        {"identification past the end", Header(2, 1, 1, 24).replace(0, 1, "\xff") + pixel, false,
         "corrupted TGA"},
        {"pixels cut short", rgb.substr(0, rgb.size() - 1), false, "corrupted TGA"},
        {"packets cut short", rle.substr(0, rle.size() / 2), false, "corrupted TGA"},
        {"last run value cut short", Header(10, 2, 2, 24) + Bytes({0x83, 1, 2}), false, "corrupted TGA"},
        {"raw packet past the data", Header(10, 2, 2, 24) + Bytes({0x7F, 1, 2, 3, 4, 5, 6}), false,
         "corrupted TGA"},
        {"65535 x 65535 with three bytes", Header(2, 65535, 65535, 8) + pixel, false, "corrupted TGA"},
        {"65535 x 65535 run-length with three bytes", Header(11, 65535, 65535, 8) + pixel, false,
         "corrupted TGA"},
        // A run of 128 covers the 4 pixels and the rest of it is left unused.
        {"run past the last row", Header(10, 2, 2, 24) + Bytes({0xFF, 1, 2, 3}), true, nullptr},
        {"raw packet past the last row", Header(9, 1, 2, 8) + Bytes({0x03, 1, 2, 3, 4}), true, nullptr},
    };
    for (const Row& row : rows) {
        Picture p;
        EXPECT_EQ(DecodeTga(p, row.file), row.ok) << row.what;
        if (row.error) {
            EXPECT_STREQ(p.GetLastError(), row.error) << row.what;
        }
        if (row.ok) ExpectWritable(p, row.what);
    }
}

TEST(Tga, MeasuringOrCancellingStopsBeforeThePixels) {
    for (const int32_t escape : {-1, 1}) {
        Picture p;
        p.SetEscape(escape);
        EXPECT_FALSE(p.Load(Fixture("nb-rgb.tga").c_str(), ImageFormat::Tga));
        EXPECT_STREQ(p.GetLastError(), "Cancelled");
    }
}

TEST(Tga, WritesEightBitPicturesWithAFullColourMap) {
    Picture p(3, 2, 8, 0);
    p.SetPaletteColor(5, 200, 100, 50);
    p.Clear(5);
    const std::string b = EncodeBytes(p, ImageFormat::Tga);
    ASSERT_EQ(b.size(), 18u + 768 + 6);
    EXPECT_EQ(b.substr(0, 18), Header(1, 3, 2, 8, 0, 1, 256, 24));
    EXPECT_EQ(b.substr(18 + 15, 3), Bytes({50, 100, 200})) << "entry 5 as blue, green, red";
    EXPECT_EQ(b.substr(18 + 768), std::string(6, '\5')) << "rows without filler";
}

TEST(Tga, AlphaIsScaledByAlphaMax) {
    Picture p(2, 1, 24, 0);
    p.AlphaCreate();
    p.AlphaSet(0, 0, 255);
    p.AlphaSet(1, 0, 100);
    p.info.alphaMax = 128;
    const std::string b = EncodeBytes(p, ImageFormat::Tga);
    ASSERT_EQ(b.size(), 18u + 8);
    EXPECT_EQ(static_cast<uint8_t>(b[16]), 32);
    EXPECT_EQ(static_cast<uint8_t>(b[17]), 8) << "the descriptor states 8 alpha bits";
    EXPECT_EQ(static_cast<uint8_t>(b[18 + 3]), 128);
    EXPECT_EQ(static_cast<uint8_t>(b[18 + 7]), 128 * 100 / 255);
}

TEST(Tga, RefusesWhatItCannotWrite) {
    MemoryStream stream;
    stream.Open();
    for (const uint32_t bpp : {1, 4}) {
        Picture p(4, 4, bpp, 0);
        EXPECT_FALSE(p.Encode(&stream, ImageFormat::Tga));
        EXPECT_STREQ(p.GetLastError(), "Bit depth must be 8 or 24");
    }
    Picture wide(65536, 1, 8, 0);
    EXPECT_FALSE(wide.Encode(&stream, ImageFormat::Tga));
    EXPECT_STREQ(wide.GetLastError(), "Image too large for TGA");
    Picture empty;
    EXPECT_FALSE(empty.Encode(&stream, ImageFormat::Tga));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

namespace {

Picture Mapped() { return PalettePicture(23, 13, 8); }

Picture TrueColour(bool withAlpha) { return TrueColourPicture(23, 13, withAlpha); }

}  // namespace

// Our files read back in our decoder, ImageMagick and netpbm as the picture that was saved.
TEST(Tga, WrittenFilesReadBackInOtherReaders) {
    const std::string tgatoppm = Tool("tgatoppm"), pamstack = Tool("pamstack");
    const bool netpbm = !tgatoppm.empty() && !pamstack.empty();
    struct Row {
        const char* what;
        Picture (*make)();
    } rows[] = {
        {"8-bit", &Mapped},
        {"24-bit", [] { return TrueColour(false); }},
        {"24-bit with alpha", [] { return TrueColour(true); }},
    };
    for (const Row& row : rows) {
        Picture p = row.make();
        TempFile file("ours.tga");
        std::string command;
        if (netpbm && p.AlphaIsValid()) {
            const std::string colour = file.Sibling("nb.ppm"), alpha = file.Sibling("nb.pgm");
            command = "'" + tgatoppm + "' -alphaout='" + alpha + "' {in} > '" + colour + "' && '" + pamstack +
                      "' -quiet -tupletype=RGB_ALPHA '" + colour + "' '" + alpha + "' > {out}";
        } else if (netpbm) {
            command = "'" + tgatoppm + "' {in} > {out}";
        }
        ExpectReadBackEverywhere(p, ImageFormat::Tga, file, command, row.what);
    }
    if (std::string(PANELLE_CONVERT).empty() || !netpbm) GTEST_SKIP() << "ImageMagick or netpbm missing";
}
