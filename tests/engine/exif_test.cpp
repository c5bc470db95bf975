// The EXIF reader against files written by exiftool and wrjpgcom, and against forged blocks.
#include "exif.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "jpg_support.h"

using namespace jpgtest;

namespace {

// exiftool's reading of a fixture, keyed by the tags' names alone.
std::map<std::string, std::string> ExiftoolSays(const std::string& name) { return ExiftoolTags(name, false); }

float Number(const std::map<std::string, std::string>& tags, const char* name) {
    return std::stof(tags.at(name));
}

// Scans a fixture's sections with a reader that owns its record.
struct Scanned {
    ExifReader reader;
    bool ok = false;
    explicit Scanned(const std::vector<uint8_t>& bytes, int mode = ExifReader::ReadExif) {
        std::vector<uint8_t> copy = bytes;
        MemoryStream ms(copy.data(), static_cast<int32_t>(copy.size()));
        ok = reader.DecodeSections(&ms, mode);
    }
    const ExifData& r() const { return *reader.GetRecord(); }
};

TEST(Exif, BigEndianBlockAsExiftoolReadsIt) {
    const auto tags = ExiftoolSays("exif-mm.txt");
    Scanned s(ReadFile(Fixture("exif-mm.jpg")));
    ASSERT_TRUE(s.ok) << s.reader.GetLastError();
    const ExifData& r = s.r();
    EXPECT_TRUE(r.isExif);
    EXPECT_EQ(std::string(r.cameraMake), tags.at("Make"));
    EXPECT_EQ(std::string(r.cameraModel), tags.at("Model"));
    EXPECT_EQ(std::string(r.dateTime), tags.at("DateTimeOriginal"));
    EXPECT_EQ(std::string(r.version), tags.at("ExifVersion"));
    EXPECT_EQ(r.orientation, std::stoi(tags.at("Orientation")));
    EXPECT_FLOAT_EQ(r.xResolution, Number(tags, "XResolution"));
    EXPECT_FLOAT_EQ(r.yResolution, Number(tags, "YResolution"));
    EXPECT_EQ(tags.at("ResolutionUnit"), "2");
    EXPECT_FLOAT_EQ(r.resolutionUnit, 1.0f);  // inches
    EXPECT_FLOAT_EQ(r.exposureTime, Number(tags, "ExposureTime"));
    EXPECT_FLOAT_EQ(r.apertureFNumber, Number(tags, "FNumber"));
    EXPECT_FLOAT_EQ(r.focalLength, Number(tags, "FocalLength"));
    EXPECT_FLOAT_EQ(r.exposureBias, Number(tags, "ExposureCompensation"));
    EXPECT_EQ(r.meteringMode, std::stoi(tags.at("MeteringMode")));
    EXPECT_EQ(r.flashUsed, std::stoi(tags.at("Flash")) & 7 ? 1 : 0);
    // An ISO speed below 50 is taken as stored divided by 200.
    EXPECT_EQ(tags.at("ISO"), "2");
    EXPECT_EQ(r.isoEquivalent, 400);
    // "ASCII", three zero bytes, the word and trailing spaces.
    EXPECT_STREQ(r.comments, tags.at("UserComment").c_str());
    // The frame header.
    EXPECT_EQ(r.width, 97);
    EXPECT_EQ(r.height, 61);
    EXPECT_EQ(r.isColor, 1);
    EXPECT_EQ(r.process, 0xC0);
    EXPECT_STREQ(s.reader.GetLastError(), "");
}

TEST(Exif, LittleEndianCentimetresAndABadOrientation) {
    const auto tags = ExiftoolSays("exif-ii-cm.txt");
    Scanned s(ReadFile(Fixture("exif-ii-cm.jpg")));
    ASSERT_TRUE(s.ok);
    EXPECT_TRUE(s.r().isExif);
    EXPECT_FLOAT_EQ(s.r().xResolution, Number(tags, "XResolution"));
    EXPECT_FLOAT_EQ(s.r().resolutionUnit, 0.3937008f);
    EXPECT_EQ(tags.at("Orientation"), "9");
    EXPECT_EQ(s.r().orientation, 0);
    EXPECT_STREQ(s.reader.GetLastError(), "Undefined rotation value");
}

TEST(Exif, ThumbnailInTheSecondDirectoryInBothByteOrders) {
    const auto thumb = ReadFile(Fixture("thumb.jpg"));
    for (const char* order : {"MM", "II"}) {
        const auto tags = ExiftoolSays(std::string("exif-thumb-") + order + ".txt");
        Scanned s(ReadFile(Fixture(std::string("exif-thumb-") + order + ".jpg")));
        ASSERT_TRUE(s.ok) << order;
        ASSERT_NE(s.r().thumbnailPointer, nullptr) << order;
        EXPECT_EQ(s.r().thumbnailSize, std::stoul(tags.at("ThumbnailLength"))) << order;
        ASSERT_EQ(s.r().thumbnailSize, thumb.size()) << order;
        EXPECT_EQ(0, std::memcmp(s.r().thumbnailPointer, thumb.data(), thumb.size())) << order;
    }
}

// The directory after the first describes the thumbnail; its resolution (72 dots per inch
// from exiftool) must not replace the picture's own.
TEST(Exif, ThumbnailDirectoryKeepsItsResolutionToItself) {
    for (const std::string name :
         {"exif-240dpi-thumb-MM", "exif-240dpi-thumb-II", "exif-thumb-MM", "exif-thumb-II"}) {
        const auto tags = ExiftoolTags(name + ".txt");
        ASSERT_NE(tags.at("IFD1:XResolution"), tags.at("IFD0:XResolution")) << name;
        Scanned s(ReadFile(Fixture(name + ".jpg")));
        ASSERT_TRUE(s.ok) << name;
        EXPECT_TRUE(s.r().isExif) << name;
        EXPECT_FLOAT_EQ(s.r().xResolution, std::stof(tags.at("IFD0:XResolution"))) << name;
        EXPECT_FLOAT_EQ(s.r().yResolution, std::stof(tags.at("IFD0:YResolution"))) << name;
        // Units 1 (none) and 2 (inch) are both a length of one inch.
        EXPECT_FLOAT_EQ(s.r().resolutionUnit, 1.0f) << name;
        // The thumbnail itself is still found there.
        ASSERT_NE(s.r().thumbnailPointer, nullptr) << name;
        EXPECT_EQ(s.r().thumbnailSize, std::stoul(tags.at("IFD1:ThumbnailLength"))) << name;
    }
}

TEST(Exif, FrameHeaderOfGreyAndProgressiveFiles) {
    Scanned grey(ReadFile(Fixture("grey.jpg")));
    EXPECT_TRUE(grey.ok);
    EXPECT_FALSE(grey.r().isExif);
    EXPECT_EQ(grey.r().isColor, 0);
    Scanned prog(ReadFile(Fixture("progressive.jpg")));
    EXPECT_EQ(prog.r().process, 0xC2);
}

TEST(Exif, CommentSectionKeepsPrintableText) {
    // wrjpgcom wrote "line one\r\nline\ttwo \a end".
    Scanned s(ReadFile(Fixture("comment.jpg")));
    ASSERT_TRUE(s.ok);
    EXPECT_STREQ(s.r().comments, "line one\nline\ttwo ? end");
}

// ---- section table ------------------------------------------------------------------------

// baseline.jpg with `extra` APP2 sections put before its start-of-scan section.
std::vector<uint8_t> WithSections(int extra) {
    auto bytes = ReadFile(Fixture("baseline.jpg"));
    size_t sos = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    const std::vector<uint8_t> app2 = {0xFF, 0xE2, 0x00, 0x04, 'x', 'y'};
    for (int i = 0; i < extra; ++i)
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(sos), app2.begin(), app2.end());
    return bytes;
}

TEST(Exif, TwentySectionsAtMost) {
    // The sections cjpeg writes that stay in the table, start-of-scan included (APP0 goes).
    Scanned plain(WithSections(0));
    ASSERT_TRUE(plain.ok);
    const int kept = plain.reader.GetSectionCount();
    const int to19 = 19 - (kept - 1);  // 19 kept sections before start-of-scan
    ASSERT_GT(to19, 0);

    Scanned exifMode(WithSections(to19));
    EXPECT_TRUE(exifMode.ok);
    EXPECT_EQ(exifMode.reader.GetSectionCount(), 20);
    // In image mode the rest of the file would be a 21st entry.
    Scanned imageMode(WithSections(to19), ExifReader::ReadImage);
    EXPECT_FALSE(imageMode.ok);
    EXPECT_STREQ(imageMode.reader.GetLastError(), "Too many sections in jpg file");
    Scanned tooMany(WithSections(to19 + 1));
    EXPECT_FALSE(tooMany.ok);
    EXPECT_STREQ(tooMany.reader.GetLastError(), "Too many sections in jpg file");
}

// A table that starts with a quantisation table gets a JFIF header in front; the file written
// is the same picture.
TEST(Exif, WriterPutsAJfifHeaderInFront) {
    Scanned s(ReadFile(Fixture("nojfif.jpg")), ExifReader::ReadImage);
    ASSERT_TRUE(s.ok) << s.reader.GetLastError();
    ASSERT_EQ(s.reader.GetSection(0).type, 0xDB);
    MemoryStream out;
    out.Open();
    ASSERT_TRUE(s.reader.WriteSections(&out));
    const std::vector<uint8_t> written(out.buffer, out.buffer + out.Size());
    const uint8_t jfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46,
                            0x00, 0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
    ASSERT_GT(written.size(), sizeof jfif);
    EXPECT_EQ(0, std::memcmp(written.data(), jfif, sizeof jfif));
    // Apart from the header the file is the one read.
    const auto original = ReadFile(Fixture("nojfif.jpg"));
    EXPECT_TRUE(std::vector<uint8_t>(written.begin() + 20, written.end()) ==
                std::vector<uint8_t>(original.begin() + 2, original.end()));
    Picture pic;
    ASSERT_TRUE(DecodeJpeg(pic, written)) << pic.GetLastError();
    EXPECT_EQ(pic.GetXDpi(), 300);
    ExpectPixels(pic, ReadPnm(Fixture("baseline.ppm")));
}

TEST(Exif, WriterNeedsTheWholeFile) {
    Scanned s(ReadFile(Fixture("baseline.jpg")));  // EXIF mode: nothing after start-of-scan
    MemoryStream out;
    out.Open();
    EXPECT_FALSE(s.reader.WriteSections(&out));
    EXPECT_STREQ(s.reader.GetLastError(), "Can't write exif : didn't read all");
    EXPECT_EQ(out.Size(), 0);
}

TEST(Exif, KeepExifOnlyLeavesExifThenComment) {
    // A comment section before the EXIF one.
    auto bytes = ReadFile(Fixture("exif-mm.jpg"));
    const std::vector<uint8_t> com = {0xFF, 0xFE, 0x00, 0x05, 'h', 'i', '!'};
    bytes.insert(bytes.begin() + 2, com.begin(), com.end());
    Scanned s(bytes);
    ASSERT_TRUE(s.ok);
    EXPECT_STREQ(s.r().comments, "word");  // the user comment tag came after the section
    s.reader.KeepExifOnly();
    ASSERT_EQ(s.reader.GetSectionCount(), 2);
    EXPECT_EQ(s.reader.GetSection(0).type, 0xE1);
    EXPECT_EQ(s.reader.GetSection(1).type, 0xFE);
    EXPECT_EQ(s.reader.FindSection(0xDA), nullptr);
}

struct ScanRow {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* text;
};

TEST(Exif, BrokenFilesEndTheScan) {
    const auto baseline = ReadFile(Fixture("baseline.jpg"));
    const std::vector<ScanRow> rows = {
        {"not a jpeg", {'B', 'M', 0, 0}, ""},
        {"empty", {}, ""},
        {"seven fill bytes", {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0}, ""},
        {"length below 2", {0xFF, 0xD8, 0xFF, 0xE2, 0x00, 0x01}, "invalid marker"},
        {"no length", {0xFF, 0xD8, 0xFF, 0xE2, 0x00}, "invalid marker"},
        {"section cut short", {0xFF, 0xD8, 0xFF, 0xE2, 0x00, 0x10, 1, 2, 3}, "Premature end of file?"},
        {"end of image before a scan", {0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02}, ""},
        {"cut before its scan", std::vector<uint8_t>(baseline.begin(), baseline.begin() + 400),
         "Premature end of file?"},
    };
    for (const ScanRow& row : rows) {
        Scanned s(row.bytes, ExifReader::ReadExif | ExifReader::ReadImage);
        EXPECT_FALSE(s.ok) << row.name;
        EXPECT_STREQ(s.reader.GetLastError(), row.text) << row.name;
    }
}

// ---- forged EXIF blocks ------------------------------------------------------------------

// Builds an EXIF block: "Exif", two zero bytes, then TIFF data in the chosen byte order.
struct Block {
    bool mm;
    std::vector<uint8_t> b{'E', 'x', 'i', 'f', 0, 0};
    explicit Block(bool motorola, uint32_t firstDir = 8, uint16_t magic = 42) : mm(motorola) {
        b.push_back(mm ? 'M' : 'I');
        b.push_back(mm ? 'M' : 'I');
        U16(magic);
        U32(firstDir);
    }
    uint32_t Here() const { return static_cast<uint32_t>(b.size() - 6); }
    void U16(uint16_t v) {
        if (mm)
            b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
        else
            b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    void U32(uint32_t v) {
        if (mm)
            b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
        else
            b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    // A short value sits in the first two bytes of the value field.
    void Short(uint16_t tag, uint16_t v) { U16(tag), U16(3), U32(1), U16(v), U16(0); }
    void Entry(uint16_t tag, uint16_t format, uint32_t count, uint32_t value) {
        U16(tag), U16(format), U32(count), U32(value);
    }
};

struct BlockRow {
    const char* name;
    std::vector<uint8_t> block;
    bool ok;
    const char* text;
};

std::vector<uint8_t> Dir(Block blk, std::initializer_list<std::array<uint32_t, 4>> entries, uint32_t next = 0,
                         size_t pad = 0) {
    blk.U16(static_cast<uint16_t>(entries.size()));
    for (const auto& e : entries) blk.Entry(uint16_t(e[0]), uint16_t(e[1]), e[2], e[3]);
    blk.U32(next);
    blk.b.resize(blk.b.size() + pad);
    return blk.b;
}

TEST(Exif, ForgedBlocksFailWithTheirTexts) {
    std::vector<uint8_t> wrongHeader = Dir(Block(true), {});
    wrongHeader[4] = 1;
    std::vector<uint8_t> alignment = Dir(Block(true), {});
    alignment[6] = 'X';
    std::vector<uint8_t> tooManyEntries = Block(false).b;
    tooManyEntries.insert(tooManyEntries.end(), {100, 0, 0, 0, 0, 0});

    const std::vector<BlockRow> rows = {
        {"short header", {'E', 'x', 'i'}, false, "Incorrect Exif header"},
        {"no zero bytes", wrongHeader, false, "Incorrect Exif header"},
        {"alignment", alignment, false, "Invalid Exif alignment marker."},
        {"only the alignment", {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'}, false, "Invalid Exif start (1)"},
        {"magic 43", Dir(Block(false, 8, 43), {}), false, "Invalid Exif start (1)"},
        {"no directory", Block(true).b, false, "Illegally sized directory"},
        {"entries past the end", tooManyEntries, false, "Illegally sized directory"},
        {"first directory far away", Dir(Block(true, 0x7FFFFFF0), {}), false, "Illegally sized directory"},
        {"format 13", Dir(Block(true), {{0x010F, 13, 1, 0}}), false, "Illegal format code in EXIF dir"},
        {"value far away", Dir(Block(false), {{0x011A, 5, 1, 0xFFFFFFF8}}), false,
         "Illegal pointer offset value in EXIF."},
        {"value count wraps 32 bits", Dir(Block(true), {{0x010F, 12, 0x20000000, 8}}), false,
         "Illegal pointer offset value in EXIF."},
        {"text one byte too long", Dir(Block(true), {{0x010F, 2, 11, 26}}, 0, 10), false,
         "Illegal pointer offset value in EXIF."},
        {"sub-directory outside", Dir(Block(true), {{0x8769, 4, 1, 0x7FFFFFFF}}), false,
         "Illegal subdirectory link"},
        {"next directory outside", Dir(Block(false), {}, 0x1000), false, "Illegal subdirectory link"},
        // A directory that ends at the end of the data has no link to a next one.
        {"no room for the link",
         [] {
             auto b = Dir(Block(true), {});
             b.resize(b.size() - 4);
             return b;
         }(),
         true, ""},
        {"text that fits", Dir(Block(true), {{0x010F, 2, 10, 26}}, 0, 10), true, ""},
        // Rational with a zero denominator is 0; format 0 takes no room.
        {"zero denominator", Dir(Block(true), {{0x011A, 5, 1, 26}}, 0, 8), true, ""},
        {"format 0", Dir(Block(false), {{0x011A, 0, 0xFFFFFFFF, 0xFFFFFFFF}}), true, ""},
    };
    for (const BlockRow& row : rows) {
        ExifReader reader;
        EXPECT_EQ(reader.ProcessExif(row.block.data(), static_cast<uint32_t>(row.block.size())), row.ok)
            << row.name;
        EXPECT_STREQ(reader.GetLastError(), row.text) << row.name;
    }
}

// Links that lead back to directories already walked end the walk instead of looping, and a
// directory whose every entry links to the same sub-directory does not multiply the work.
TEST(Exif, DirectoryLoopsEnd) {
    std::vector<std::vector<uint8_t>> blocks;
    for (const bool mm : {true, false}) {
        blocks.push_back(Dir(Block(mm), {{0x0110, 2, 4, 0x41424300}}, 8));  // next -> itself
        blocks.push_back(Dir(Block(mm), {{0x8769, 4, 1, 8}}));              // offset 8 is no sub-link
        // IFD0 links on to a directory at 26 that links back to IFD0 and to itself.
        Block cycle(mm, 26);
        cycle.U16(1), cycle.Entry(0xA005, 4, 1, 26), cycle.U32(26);
        cycle.U16(1), cycle.Entry(0xA005, 4, 1, 26), cycle.U32(8);
        blocks.push_back(cycle.b);
        Block fan(mm);
        fan.U16(5000);
        const uint32_t sub = 8 + 2 + 5000 * 12 + 4;
        for (int i = 0; i < 5000; ++i) fan.Entry(0x8769, 4, 1, sub);  // every entry -> one directory
        fan.U32(sub);
        fan.U16(0), fan.U32(0);
        blocks.push_back(fan.b);
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        ExifReader reader;
        EXPECT_TRUE(reader.ProcessExif(blocks[i].data(), static_cast<uint32_t>(blocks[i].size()))) << i;
        EXPECT_STREQ(reader.GetLastError(), "") << i;
    }
    // The model text of the self-linked directory was read once.
    ExifReader reader;
    ASSERT_TRUE(reader.ProcessExif(blocks[0].data(), static_cast<uint32_t>(blocks[0].size())));
    EXPECT_STREQ(reader.GetRecord()->cameraModel, blocks[0][6] == 'M' ? "ABC" : "");
    // The two-directory cycle of a real file: IFD1's link pointed back at IFD0.
    auto bytes = ReadFile(Fixture("exif-thumb-II.jpg"));
    Scanned s(bytes);
    ASSERT_TRUE(s.r().isExif);
}

// Every prefix and every single-bit change of a real EXIF block: each parse ends, either
// sound or with a text, without reading outside the block (the sanitizer build checks that).
TEST(Exif, MutilatedBlocksEndCleanly) {
    for (const char* name : {"exif-mm.jpg", "exif-thumb-II.jpg"}) {
        const auto file = ReadFile(Fixture(name));
        size_t at = 0;
        for (size_t i = 2; i + 10 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == 0xE1) {
                at = i + 4;
                break;
            }
        ASSERT_GT(at, 0u);
        const uint32_t length = static_cast<uint32_t>((file[at - 2] << 8 | file[at - 1]) - 2);
        const std::vector<uint8_t> block(file.begin() + static_cast<std::ptrdiff_t>(at),
                                         file.begin() + static_cast<std::ptrdiff_t>(at + length));
        for (uint32_t n = 0; n <= length; ++n) {
            ExifReader reader;
            std::vector<uint8_t> cut(block.begin(), block.begin() + n);  // exactly n bytes on the heap
            if (!reader.ProcessExif(cut.data(), n)) {
                EXPECT_STRNE(reader.GetLastError(), "") << name << " cut at " << n;
            }
        }
        for (uint32_t i = 0; i < length * 8; ++i) {
            std::vector<uint8_t> flipped = block;
            flipped[i / 8] ^= static_cast<uint8_t>(1u << (i % 8));
            ExifReader reader;
            if (!reader.ProcessExif(flipped.data(), length)) {
                EXPECT_STRNE(reader.GetLastError(), "") << name << " bit " << i;
            }
        }
    }
}

}  // namespace
