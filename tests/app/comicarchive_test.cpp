// Natural order, folders and comic archives as pages: what an import takes from each, and
// what a damaged or hostile archive gives (a reason, and no page).
#include "comicarchive.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "book.h"
#include "imports.h"
#include "measure.h"
#include "naturalorder.h"
#include "panelle/format.h"
#include "panelle/picture.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A BMP of w x h whose pixel (x, y) has the colour x * 16, y * 16, 0x80, as bytes.
std::string BmpBytes(uint32_t w, uint32_t h) {
    Picture picture(w, h, 24, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            picture.SetPixelColor(
                x, y, RGBQUAD{0x80, static_cast<uint8_t>(y * 16), static_cast<uint8_t>(x * 16), 0});
    TempDir dir;
    const std::string file = dir / "p.bmp";
    EXPECT_TRUE(picture.Save(file.c_str(), ImageFormat::Bmp));
    return ReadText(file);
}

// Sets every uncompressed-size field of the archive (local and central headers) to size.
void DeclareSize(const std::string& path, uint32_t size) {
    std::string bytes = ReadText(path);
    const auto put = [&](size_t at) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(size >> (8 * i));
    };
    for (size_t at = 0; at + 30 <= bytes.size(); ++at) {
        if (bytes.compare(at, 4, "PK\x03\x04", 4) == 0) put(at + 22);
        if (bytes.compare(at, 4, "PK\x01\x02", 4) == 0) put(at + 24);
    }
    WriteFile(path, bytes);
}

TEST(NaturalOrder, NumbersByValueLettersWithoutCase) {
    struct Row {
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        {"page2", "page10"},
        {"Page2.jpg", "page10.jpg"},
        {"page2", "PAGE10"},
        {"a", "B"},
        {"b", "C1"},
        {"1", "a"},
        {"01", "1"},
        {"1", "02"},
        {"9", "0010"},
        {"img", "img1"},
        {"x1y2", "x1y10"},
        {"x2y1", "x10y0"},
        {"99999999999999999999", "100000000000000000000"},
        {"ABC", "abc"},
        {"page 2", "page 10"},
        {"", "0"},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(NaturalLess(row.before, row.after)) << row.before << " < " << row.after;
        EXPECT_FALSE(NaturalLess(row.after, row.before)) << row.after << " !< " << row.before;
    }
    EXPECT_FALSE(NaturalLess("same", "same"));

    std::vector<std::string> names{"page10.jpg", "Page1.jpg", "page2.jpg",
                                   "page01.jpg", "cover.jpg", "PAGE3.jpg"};
    NaturalSort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"cover.jpg", "page01.jpg", "Page1.jpg", "page2.jpg",
                                               "PAGE3.jpg", "page10.jpg"}));
}

TEST(ComicArchive, PicturesInNaturalOrderWithoutFoldersHiddenFilesOrOtherFiles) {
    TempDir dir;
    const std::string cbz = MakeZip(dir / "book.cbz", {{"010.jpg", "x"},
                                                       {"2.png", "x"},
                                                       {"chapter/", ""},
                                                       {"chapter/1.GIF", "x"},
                                                       {".hidden.jpg", "x"},
                                                       {"chapter/.thumb.jpg", "x"},
                                                       {"__MACOSX/._2.png", "x"},
                                                       {"notes.txt", "x"},
                                                       {"ComicInfo.xml", "x"},
                                                       {"1.bmp", "x"}});
    std::vector<std::string> entries;
    std::string error;
    ASSERT_TRUE(ListArchivePictures(cbz, entries, error)) << error;
    EXPECT_EQ(entries, (std::vector<std::string>{"1.bmp", "2.png", "010.jpg", "chapter/1.GIF"}));
}

TEST(ComicArchive, PagePathsNameTheArchiveAndTheEntry) {
    const std::string page = ArchivePagePath("/books/My Book.cbz", "chapter/001.jpg");
    std::string archive, entry;
    ASSERT_TRUE(SplitArchivePage(page, archive, entry));
    EXPECT_EQ(archive, "/books/My Book.cbz");
    EXPECT_EQ(entry, "chapter/001.jpg");
    EXPECT_EQ(FileNamePart(page), "My Book.cbz: 001.jpg");
    EXPECT_EQ(PageSourceFile(page), "/books/My Book.cbz");
    EXPECT_EQ(FormatFromExtension(page), ImageFormat::Jpg);
    // plain files, and folders that only look like archives, are no archive pages
    for (const char* plain : {"/books/001.jpg", "/books/a.cbz", "/books/a.cbz/001.jpg", "/x.jpg//y.jpg"}) {
        EXPECT_FALSE(SplitArchivePage(plain, archive, entry)) << plain;
        EXPECT_EQ(PageSourceFile(plain), plain);
    }
}

TEST(ComicArchive, PageIsDecodedFromTheArchiveWithoutExtractingIt) {
    TempDir dir;
    const std::string cbz =
        MakeZip(dir / "book.cbz", {{"001.bmp", BmpBytes(5, 3)}, {"002", BmpBytes(2, 2)}, {"empty.bmp", ""}});
    Picture picture;
    ASSERT_TRUE(LoadPageFile(picture, ArchivePagePath(cbz, "001.bmp"), ImageFormat::Bmp))
        << picture.GetLastError();
    ASSERT_EQ(picture.GetWidth(), 5u);
    ASSERT_EQ(picture.GetHeight(), 3u);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x) {
            const RGBQUAD c = picture.GetPixelColor(x, y);
            EXPECT_EQ(c.rgbRed, x * 16);
            EXPECT_EQ(c.rgbGreen, y * 16);
            EXPECT_EQ(c.rgbBlue, 0x80);
        }
    // without a format from the name, detection finds it, as for a file
    Picture detected;
    EXPECT_TRUE(LoadPageFile(detected, ArchivePagePath(cbz, "002"), ImageFormat::Unknown));
    EXPECT_EQ(detected.GetWidth(), 2u);
    EXPECT_EQ(PageHead(ArchivePagePath(cbz, "001.bmp"), 2), (Bytes{'B', 'M'}));
    // nothing was written beside the archive
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"book.cbz"});

    Picture missing;
    EXPECT_FALSE(LoadPageFile(missing, ArchivePagePath(cbz, "003.bmp"), ImageFormat::Bmp));
    EXPECT_STREQ(missing.GetLastError(), "book.cbz: has no entry 003.bmp");
    Picture empty;
    EXPECT_FALSE(LoadPageFile(empty, ArchivePagePath(cbz, "empty.bmp"), ImageFormat::Bmp));
    EXPECT_STREQ(empty.GetLastError(), "Load: the picture is empty");
}

// One row per way an archive can be damaged or hostile: each is refused with a reason that
// says what is wrong, and gives no page.
TEST(ComicArchive, HostileArchivesAreRefusedWithAReason) {
    struct Row {
        const char* what;
        std::function<void(const std::string& path)> make;
        const char* reason;
    };
    const std::string zeros(1 << 20, '\0');
    const Row rows[] = {
        {"an entry declaring more than the cap",
         [&](const std::string& p) {
             MakeZip(p, {{"001.jpg", zeros}});
             DeclareSize(p, 0x7FFFFFFF);
         },
         "entry 001.jpg expands to 2147483647 bytes, more than 268435456"},
        {"an entry with ../",
         [](const std::string& p) {
             MakeZip(p, {{"001.jpg", "x"}, {"../../evil.jpg", "x"}});
         },
         "entry ../../evil.jpg has a path outside the archive"},
        {"an entry inside with ..",
         [](const std::string& p) {
             MakeZip(p, {{"a/../../b.txt", "x"}, {"001.jpg", "x"}});
         },
         "entry a/../../b.txt has a path outside the archive"},
        {"an absolute path",
         [](const std::string& p) {
             MakeZip(p, {{"/etc/evil.jpg", "x"}});
         },
         "has a path outside the archive"},
        {"10 000 empty entries",
         [](const std::string& p) {
             std::vector<std::pair<std::string, std::string>> many;
             for (int i = 0; i < 10000; ++i) many.push_back({std::to_string(i) + ".jpg", ""});
             MakeZip(p, many);
         },
         "holds 10000 entries, more than 4096"},
        {"a truncated central directory",
         [](const std::string& p) {
             MakeZip(p, {{"001.jpg", "some picture"}, {"002.jpg", "another picture"}});
             std::string bytes = ReadText(p);
             bytes.resize(bytes.size() - 30);  // the end record and part of the directory
             WriteFile(p, bytes);
         },
         "cannot be read as a zip archive"},
        {"no zip at all", [](const std::string& p) { WriteFile(p, std::string("not a zip archive")); },
         "cannot be read as a zip archive"},
        {"no pictures",
         [](const std::string& p) {
             MakeZip(p, {{"readme.txt", "x"}, {"pages/", ""}});
         },
         "holds no pictures"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string path = dir / "hostile.cbz";
        row.make(path);
        std::vector<std::string> entries{"left over"};
        std::string error;
        EXPECT_FALSE(ListArchivePictures(path, entries, error));
        EXPECT_TRUE(entries.empty());
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;

        const ImportedPaths imported = ExpandImports({path});
        EXPECT_TRUE(imported.pages.empty());
        ASSERT_EQ(imported.problems.size(), 1u);
        EXPECT_EQ(imported.problems[0], path + ": " + error);
    }
}

// An entry that expands further than it declares, or further than the reader allows, is
// not read into memory past its bound.
TEST(ComicArchive, EntriesExpandingPastTheirBoundAreNotRead) {
    TempDir dir;
    const std::string zeros(1 << 20, '\0');
    const std::string liar = MakeZip(dir / "liar.cbz", {{"001.bmp", zeros}});
    DeclareSize(liar, 1000);
    std::vector<std::string> entries;
    std::string error;
    ASSERT_TRUE(ListArchivePictures(liar, entries, error)) << error;  // 1000 bytes is harmless
    Bytes bytes;
    EXPECT_FALSE(ReadArchiveEntry(liar, "001.bmp", bytes, error));
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(error.find("entry 001.bmp"), std::string::npos) << error;
    Picture picture;
    EXPECT_FALSE(LoadPageFile(picture, ArchivePagePath(liar, "001.bmp"), ImageFormat::Bmp));
    EXPECT_NE(std::string(picture.GetLastError()).find("liar.cbz: entry 001.bmp"), std::string::npos)
        << picture.GetLastError();

    const std::string bomb = MakeZip(dir / "bomb.cbz", {{"001.bmp", zeros}});
    EXPECT_FALSE(ReadArchiveEntry(bomb, "001.bmp", bytes, error, 64 << 10));
    EXPECT_EQ(error, "entry 001.bmp expands to 1048576 bytes, more than 65536");
    EXPECT_TRUE(ReadArchiveEntry(bomb, "001.bmp", bytes, error, 1 << 20)) << error;
    EXPECT_EQ(bytes.size(), zeros.size());
}

TEST(Imports, FoldersGiveTheirPicturesInNaturalOrderFilesStayInTheOrderGiven) {
    TempDir dir;
    for (const char* name :
         {"page10.bmp", "page2.bmp", "Page1.BMP", ".hidden.bmp", "notes.txt", "page3.jpeg", "sub/page0.bmp"})
        WriteFile(dir / ("pages/" + std::string(name)), std::string("x"));
    WriteFile(dir / "z.bmp", std::string("x"));
    WriteFile(dir / "a.bmp", std::string("x"));
    const std::string cbz = MakeZip(dir / "book.cbz", {{"2.png", "x"}, {"1.png", "x"}});
    WriteFile(dir / "empty/notes.txt", std::string("x"));

    const ImportedPaths imported = ExpandImports(
        {dir / "z.bmp", dir / "pages/", cbz, dir / "a.bmp", dir / "empty", dir / "not-yet.bmp"});
    const std::string pages = dir / "pages/";
    EXPECT_EQ(imported.pages, (std::vector<std::string>{
                                  dir / "z.bmp", pages + "Page1.BMP", pages + "page2.bmp",
                                  pages + "page3.jpeg", pages + "page10.bmp", ArchivePagePath(cbz, "1.png"),
                                  ArchivePagePath(cbz, "2.png"), dir / "a.bmp", dir / "not-yet.bmp"}));
    EXPECT_EQ(imported.problems, std::vector<std::string>{dir / "empty" + ": holds no pictures"});
}

TEST(Imports, PictureNamesAreTheEngineFormatsInAnyCase) {
    for (const char* name : {"a.jpg", "a.JPEG", "a.png", "b/c.Tif", "a.tiff", "a.bmp", "a.gif", "a.ico",
                             "a.tga", "a.pcx", "a.wbmp", "a.wmf", "a.emf", "a.jp2", "a.pnm", "a.ppm"})
        EXPECT_TRUE(IsPictureName(name)) << name;
    for (const char* name : {"a.txt", "a", "a.", "jpg", "a.jpg/b", "ComicInfo.xml", "a.cbz", "a.jpg.part"})
        EXPECT_FALSE(IsPictureName(name)) << name;
}

}  // namespace
