#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "wbmp.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/wbmp/";

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A binary PBM (P4): rows padded to whole bytes, a set bit black.
struct Bitmap {
    int width = 0, height = 0;
    Bytes rows;
    bool Black(int x, int y) const { return rows[y * ((width + 7) / 8) + x / 8] & (0x80 >> (x % 8)); }
};

Bitmap ParsePbm(const Bytes& file) {
    Bitmap b;
    int fields[2] = {}, field = -1;
    size_t at = 2;
    if (file.size() < 2 || file[0] != 'P' || file[1] != '4') return b;
    // The magic, then width and height, each after white space; one white-space byte ends the header.
    for (bool inNumber = false; at < file.size(); ++at) {
        const bool digit = file[at] >= '0' && file[at] <= '9';
        if (file[at] == '#') {
            while (at < file.size() && file[at] != '\n') ++at;
        } else if (digit && !inNumber) {
            if (++field > 1) break;
            inNumber = true;
        } else if (!digit && inNumber) {
            inNumber = false;
            if (field == 1) {
                ++at;
                break;
            }
        }
        if (digit) fields[field] = fields[field] * 10 + (file[at] - '0');
    }
    b.width = fields[0], b.height = fields[1];
    const size_t size = static_cast<size_t>((b.width + 7) / 8) * b.height;
    if (at + size <= file.size()) b.rows.assign(file.begin() + at, file.begin() + at + size);
    return b;
}

void ExpectPixels(const Picture& p, const Bitmap& ref, const std::string& what) {
    ASSERT_EQ(static_cast<int>(p.GetWidth()), ref.width) << what;
    ASSERT_EQ(static_cast<int>(p.GetHeight()), ref.height) << what;
    ASSERT_EQ(ref.rows.size(), static_cast<size_t>((ref.width + 7) / 8) * ref.height) << what;
    int wrong = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const RGBQUAD c = p.GetPixelColor(x, ref.height - 1 - y, false);
            const bool white = c.rgbRed == 255 && c.rgbGreen == 255 && c.rgbBlue == 255;
            const bool black = c.rgbRed == 0 && c.rgbGreen == 0 && c.rgbBlue == 0;
            if (!(ref.Black(x, y) ? black : white) && wrong++ < 3)
                ADD_FAILURE() << what << ": pixel " << x << "," << y << " differs";
        }
    EXPECT_EQ(wrong, 0) << what;
}

bool Decode(Picture& p, Bytes bytes) {
    MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
    return p.Decode(&in, ImageFormat::Wbmp);
}

Bytes Encode(Picture& p) {
    MemoryStream out;
    out.Open();
    if (!p.Encode(&out, ImageFormat::Wbmp)) return {};
    const uint8_t* data = out.GetBuffer(false);
    return Bytes(data, data + out.Size());
}

// Standard output of a shell command, or nothing when the tool is not installed.
Bytes ToolOutput(const std::string& tool, const std::string& arguments) {
    if (tool.empty() || std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) return {};
    Bytes out;
    if (FILE* pipe = popen((tool + " " + arguments + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.insert(out.end(), buffer, buffer + n);
        pclose(pipe);
    }
    return out;
}

}  // namespace

TEST(Wbmp, FilesOfIndependentWritersMatchTheirReadings) {
    for (const char* name : {"pbmtowbmp-small", "pbmtowbmp-wide", "pbmtowbmp-tall", "im-small"}) {
        Picture p;
        ASSERT_TRUE(p.Load((kData + name + ".wbmp").c_str(), ImageFormat::Wbmp))
            << name << ": " << p.GetLastError();
        EXPECT_EQ(p.GetBpp(), 1) << name;
        ExpectPixels(p, ParsePbm(ReadFile(kData + name + ".pbm")), name);
    }
    Picture detected;
    ASSERT_TRUE(detected.Load((kData + "pbmtowbmp-wide.wbmp").c_str(), ImageFormat::Unknown));
    EXPECT_EQ(detected.GetType(), static_cast<uint32_t>(ImageFormat::Wbmp));
}

TEST(Wbmp, EncodedFilesReadBackIdenticallyInOtherReaders) {
    Picture largest(255, 255, 1, 0);
    largest.SetGrayPalette();
    for (int y = 0; y < 255; ++y)
        for (int x = 0; x < 255; ++x)
            largest.SetPixelIndex(x, y, static_cast<uint8_t>((x * x + 3 * y) % 7 < 3));

    char path[] = "/tmp/panelle-wbmp-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    int checked = 0;
    for (const char* source : {"pbmtowbmp-small", "pbmtowbmp-wide", ""}) {
        Picture loaded;
        if (*source) {
            ASSERT_TRUE(loaded.Load((kData + source + ".wbmp").c_str(), ImageFormat::Wbmp));
        }
        Picture& p = *source ? loaded : largest;
        const Bytes file = Encode(p);
        ASSERT_FALSE(file.empty()) << source << ": " << p.GetLastError();
        if (*source) {
            EXPECT_EQ(file, ReadFile(kData + source + ".wbmp")) << source;  // byte for byte
        }
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

        const std::string what = std::string("ours from ") + (*source ? source : "255 x 255");
        const Bytes netpbm = ToolOutput("wbmptopbm", path);
        if (!netpbm.empty()) ExpectPixels(p, ParsePbm(netpbm), what + " in wbmptopbm"), ++checked;
        const Bytes im = ToolOutput(PANELLE_CONVERT, std::string("wbmp:") + path + " pbm:-");
        if (!im.empty()) ExpectPixels(p, ParsePbm(im), what + " in ImageMagick"), ++checked;
    }
    std::remove(path);
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
        {"2^31 x 1", {0, 0, 0x88, 0x80, 0x80, 0x80, 0x00, 1, 0}, "WBMP Create failed"},
    };
    for (const auto& row : rows) {
        Picture p(3, 3, 1, 0);
        EXPECT_FALSE(Decode(p, row.file)) << row.name;
        EXPECT_STREQ(p.GetLastError(), row.error) << row.name;
        EXPECT_EQ(p.GetWidth(), 3u) << row.name;  // the picture it had stays
    }

    // A file that ends early still gives the rows it holds; the rest are black.
    Picture cut;
    ASSERT_TRUE(Decode(cut, {0, 0, 8, 3, 0xFF, 0xF0}));
    EXPECT_EQ(cut.GetPixelIndex(0, 1), 1);
    EXPECT_EQ(cut.GetPixelIndex(4, 1), 0);
    EXPECT_EQ(cut.GetPixelIndex(0, 0), 0);

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
