// What a phone can hold: the heap and JAR-limit keys, the profiles, pages cut to fit the heap,
// books cut into volumes within the JAR limit, and the warning for pages the heap cannot hold.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <set>
#include <string>
#include <vector>

#include "book.h"
#include "convert.h"
#include "descriptors.h"
#include "fitpage.h"
#include "generate.h"
#include "panelle/format.h"
#include "profiles.h"
#include "settings.h"
#include "testutil.h"
#include "text.h"
#include "volumes.h"

namespace {

// ---- settings keys -------------------------------------------------------------------------

TEST(BudgetSettings, EveryKeyReadsItsValueOrTheDefault) {
    struct Row {
        const char* line;  // the key's line in section SETTING, empty: missing
        int32_t PhoneBudget::*field;
        int32_t expected;
    } rows[] = {
        {"", &PhoneBudget::heap, 0},
        {"heap=200", &PhoneBudget::heap, 200},
        {"heap= 1024 ", &PhoneBudget::heap, 1024},
        {"heap=1048576", &PhoneBudget::heap, 1048576},
        {"heap=1048577", &PhoneBudget::heap, 0},
        {"heap=-1", &PhoneBudget::heap, 0},
        {"heap=200k", &PhoneBudget::heap, 0},
        {"heap=", &PhoneBudget::heap, 0},
        {"heap=99999999999", &PhoneBudget::heap, 0},
        {"", &PhoneBudget::jarLimit, 0},
        {"jarlimit=64", &PhoneBudget::jarLimit, 64},
        {"JARLIMIT=100", &PhoneBudget::jarLimit, 100},
        {"jarlimit=-64", &PhoneBudget::jarLimit, 0},
        {"jarlimit=2000000", &PhoneBudget::jarLimit, 0},
        {"jarlimit=abc", &PhoneBudget::jarLimit, 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        const std::string ini = dir / "panelle.INI";
        const std::string text = SettingsWithLine(row.line);
        WriteFile(ini, text);
        const BookSettings s = ReadSettings(ini);
        PhoneBudget expected;
        expected.*row.field = row.expected;
        EXPECT_EQ(s.budget, expected) << "'" << row.line << "'";
        EXPECT_EQ(ReadText(ini), text) << "nothing is written back for " << row.line;
    }
}

TEST(BudgetSettings, SavedWhenChosenAndKeptInPlaceWhenReset) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    BookSettings s;
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
    s.budget = {200, 64};
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(
        ReadText(ini),
        "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nheap=200\r\njarlimit=64\r\n");
    EXPECT_EQ(ReadSettings(ini).budget, s.budget);
    s.budget.heap = 0;  // back to no check: the key stays where it was, with the default
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(
        ReadText(ini),
        "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nheap=0\r\njarlimit=64\r\n");
    EXPECT_EQ(ReadSettings(ini).budget, (PhoneBudget{0, 64}));
}

// ---- profiles ------------------------------------------------------------------------------

TEST(Profiles, TheCommonScreensAreFoundByNameWithTheirSize) {
    for (const char* name : {"128x128", "128x160", "176x208", "176x220", "240x320", "320x240", "352x416"}) {
        const PhoneProfile* p = FindProfile(name);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_EQ(std::to_string(p->width) + "x" + std::to_string(p->height), name);
        // every budget is one the settings keys can hold, and a volume holds more than the viewer
        EXPECT_GT(p->heap, 0) << name;
        EXPECT_LE(p->heap, kMaxBudgetKb) << name;
        EXPECT_GE(p->jarLimit, 32) << name;
        EXPECT_LE(p->jarLimit, kMaxBudgetKb) << name;
        EXPECT_NE(ProfileNames().find(name), std::string::npos) << name;
    }
    for (const char* unknown : {"", "176X220", "176x", "x220", "176x221", " 176x220"})
        EXPECT_EQ(FindProfile(unknown), nullptr) << "'" << unknown << "'";
    std::set<std::string> names;
    for (const PhoneProfile& p : PhoneProfiles())
        EXPECT_TRUE(names.insert(p.name).second) << p.name << " twice";
}

// ---- strips --------------------------------------------------------------------------------

TEST(Strips, PiecesFitTheHeapOverlapAndCoverThePage) {
    struct Row {
        int32_t width, height;
        int64_t heap;
    } rows[] = {
        {176, 2640, 200 * 1024},   {176, 264, 200 * 1024},   {176, 291, 200 * 1024},
        {176, 292, 200 * 1024},    {800, 12000, 200 * 1024}, {1, 100000, 4096},
        {176, 5000, 176 * 4 * 10}, {176, 100, 176 * 4 * 3},  {240, 7777, 64 * 1024},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height) + " in " +
                     std::to_string(r.heap));
        const std::vector<Strip> strips = StripsFor(r.width, r.height, r.heap);
        ASSERT_FALSE(strips.empty());
        const int64_t rows = r.heap / (int64_t{r.width} * 4);
        if (rows >= r.height) {
            ASSERT_EQ(strips.size(), 1u);
            EXPECT_EQ(strips[0].height, r.height);
            continue;
        }
        EXPECT_EQ(strips.front().top, 0);
        EXPECT_EQ(strips.back().top + strips.back().height, r.height);
        const int32_t overlap = std::min<int32_t>(kStripOverlap, static_cast<int32_t>(rows / 4));
        for (size_t k = 0; k < strips.size(); ++k) {
            EXPECT_LE(int64_t{r.width} * strips[k].height * 4, r.heap) << k;
            EXPECT_EQ(strips[k].height, strips[0].height) << k;
            if (k > 0) {
                EXPECT_GE(strips[k - 1].top + strips[k - 1].height - strips[k].top, overlap) << k;
                EXPECT_GT(strips[k].top, strips[k - 1].top) << k;
            }
        }
        // no more pieces than the budget needs: one fewer could not cover the page
        const int64_t fewer = static_cast<int64_t>(strips.size()) - 1;
        EXPECT_LT(fewer * rows - (fewer - 1) * overlap, r.height);
    }
    // without a budget, or when not even a row fits, the page stays whole
    for (const int64_t heap : {int64_t{0}, int64_t{-5}, int64_t{100}})
        EXPECT_EQ(StripsFor(176, 3000, heap).size(), 1u) << heap;
}

// A picture whose every row says which row it is, counted from the top: red and green hold the
// number, blue the column.
Picture NumberedRows(uint32_t w, uint32_t h) {
    Picture p(w, h, 24, 0);
    for (uint32_t t = 0; t < h; ++t)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelColor(
                static_cast<int32_t>(x), static_cast<int32_t>(h - 1 - t),
                RGBQUAD{static_cast<uint8_t>(x), static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(t), 0});
    return p;
}

uint32_t RowNumber(const Picture& p, uint32_t top, uint32_t x) {
    const RGBQUAD c =
        p.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(p.GetHeight() - 1 - top), false);
    return uint32_t{c.rgbGreen} << 8 | c.rgbRed;
}

TEST(Strips, EachPieceHoldsItsRowsOfThePageAndOnlyFitToWidthCuts) {
    const int64_t heap = 100 * 4 * 50;  // 50 rows of 100 pixels
    PageFit width;
    width.fit = 1;
    Picture page = NumberedRows(100, 333);
    std::string error;
    const std::vector<Picture> pieces = FitPage(page, {100, 333}, width, 176, 208, error, heap);
    const std::vector<Strip> strips = StripsFor(100, 333, heap);
    ASSERT_EQ(pieces.size(), strips.size()) << error;
    ASSERT_GT(pieces.size(), 1u);
    EXPECT_EQ(WrittenPageSizes(width, 100, 333, 176, 208, heap).size(), strips.size());
    for (size_t k = 0; k < pieces.size(); ++k) {
        ASSERT_EQ(pieces[k].GetWidth(), 100u);
        ASSERT_EQ(pieces[k].GetHeight(), static_cast<uint32_t>(strips[k].height));
        for (uint32_t t = 0; t < pieces[k].GetHeight(); ++t)
            for (uint32_t x : {0u, 57u, 99u})
                ASSERT_EQ(RowNumber(pieces[k], t, x), static_cast<uint32_t>(strips[k].top) + t)
                    << k << " row " << t;
    }
    // the whole page, fitted inside the screen, or without a budget, is one page
    for (const auto& [fit, budget] : {std::pair<int32_t, int64_t>{2, heap}, {0, heap}, {1, 0}}) {
        PageFit other;
        other.fit = fit;
        Picture again = NumberedRows(100, 333);
        EXPECT_EQ(FitPage(again, {100, 333}, other, 176, 208, error, budget).size(), 1u)
            << fit << " " << budget;
    }
}

// ---- conversion and generation ---------------------------------------------------------------

void MakeTemplates(const std::string& folder) {
    WriteFile(folder + "/a.class", std::string(3000, 'a'));
    WriteFile(folder + "/GameMidlet.class", "class GameMidlet");
    WriteFile(folder + "/logo1.png", "logo");
    WriteFile(folder + "/icon.png", "icon");
    WriteFile(folder + "/desc.txt", "template desc");
    WriteFile(folder + "/META-INF/MANIFEST.MF", "template manifest\r\n");
}

// Pictures that hardly compress, so that their sizes in a volume are what they are on disk.
Picture Noise(uint32_t w, uint32_t h, uint32_t seed) {
    Picture p(w, h, 24, 0);
    uint32_t v = seed * 2654435761u + 1;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            v = v * 1664525u + 1013904223u;
            p.SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y),
                            RGBQUAD{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                                    static_cast<uint8_t>(v >> 8), 0});
        }
    return p;
}

int64_t EntryCount(const std::string& archive) {
    int error = 0;
    zip_t* z = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!z) return -1;
    const int64_t n = zip_get_num_entries(z, 0);
    zip_discard(z);
    return n;
}

std::string Desc(const std::string& name, const std::vector<std::string>& pages) {
    std::string text =
        "bookname:" + name + "\r\npiccount:" + std::to_string(pages.size()) + "\r\nauthor:Kavoo网\r\n";
    for (size_t i = 0; i < pages.size(); ++i) text += std::to_string(i) + ":" + pages[i] + "\r\n";
    return "\xFF\xFE" + Utf8ToUtf16Le(text);
}

class Budget : public ::testing::Test {
   protected:
    void SetUp() override {
        MakeTemplates(dir / "files");
        std::filesystem::create_directories(dir / "out");
        setenv("TMPDIR", staging.path().c_str(), 1);
        book.SetTemplateFolder(dir / "files");
        book.author = "Kavoo网";
        book.bookName = book.descriptorName = "我的书";
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        EXPECT_TRUE(Entries(staging.path()).empty()) << "a staging folder was left behind";
    }
    // Pages of noise, each about `side` x `side` x 3 bytes as a PNG, described "第N页".
    void AddPages(int count, uint32_t side) {
        for (int i = 0; i < count; ++i) {
            const std::string file = dir / ("p" + std::to_string(i) + ".png");
            ASSERT_TRUE(Noise(side, side + static_cast<uint32_t>(i), static_cast<uint32_t>(i))
                            .Save(file.c_str(), ImageFormat::Png));
            book.ImportPictures({file});
            book.MeasurePageFromFile(book.pageCount() - 1);
            book.pages.back().description = "第" + std::to_string(i + 1) + "页";
        }
    }
    TempDir dir, staging;
    Book book;
    Recorder messages;
};

TEST_F(Budget, AHeapBudgetCutsTallPagesAndListsThePiecesAsWritten) {
    const std::string tall = dir / "tall.png";
    ASSERT_TRUE(NumberedRows(100, 333).Save(tall.c_str(), ImageFormat::Png));
    const std::string small = dir / "small.png";
    ASSERT_TRUE(NumberedRows(100, 40).Save(small.c_str(), ImageFormat::Png));
    book.ImportPictures({small, tall, small});
    for (int32_t i = 0; i < 3; ++i) {
        book.pages[i].measured = true;
        book.pages[i].description = "页" + std::to_string(i);
    }
    book.pageFit.fit = 1;
    book.budget.heap = 20;  // 20480 bytes: 51 rows of 100 pixels
    const size_t pieces = StripsFor(100, 333, 20480).size();
    ASSERT_GT(pieces, 2u);
    for (const unsigned workers : {1u, 3u}) {
        SCOPED_TRACE(workers);
        TempDir out;
        const int32_t listed = ConvertPages(book, out.path(), messages, workers);
        EXPECT_EQ(listed, static_cast<int32_t>(pieces) + 2);
        std::vector<std::string> lines = {"页0", "页1"};
        lines.resize(pieces + 1);
        lines.push_back("页2");
        std::string desc = "bookname:我的书\r\npiccount:" + std::to_string(listed) + "\r\nauthor:Kavoo网\r\n";
        for (size_t i = 0; i < lines.size(); ++i) desc += std::to_string(i) + ":" + lines[i] + "\r\n";
        EXPECT_EQ(ReadText(out / "desc.txt"), "\xFF\xFE" + Utf8ToUtf16Le(desc));
        ASSERT_EQ(book.written.size(), static_cast<size_t>(listed));
        for (int32_t k = 0; k < listed; ++k) {
            Picture p;
            ASSERT_TRUE(p.Load((out / (std::to_string(k) + ".png")).c_str(), ImageFormat::Png)) << k;
            EXPECT_LE(int64_t{p.GetWidth()} * p.GetHeight() * 4, 20480) << k;
            EXPECT_EQ(book.written[k].width, static_cast<int32_t>(p.GetWidth())) << k;
            EXPECT_EQ(book.written[k].height, static_cast<int32_t>(p.GetHeight())) << k;
            EXPECT_EQ(book.written[k].source, k == 0 ? 0 : k == listed - 1 ? 2 : 1) << k;
        }
        EXPECT_EQ(Entries(out.path()).size(), static_cast<size_t>(listed) + 1)
            << "no piece left under another name";
        messages.details.clear();
    }
}

TEST_F(Budget, AJarLimitCutsTheBookIntoVolumesEachWithinIt) {
    AddPages(12, 40);  // about 5 KB a page
    // the same book without a limit, for its pages
    ASSERT_TRUE(Generate(book, dir / "whole", messages, 2));
    const int64_t whole = std::filesystem::file_size(dir / "whole.jar");
    const int64_t limit = 16 * 1024;
    ASSERT_GT(whole, limit);
    book.budget.jarLimit = 16;
    messages.log.clear();
    ASSERT_TRUE(Generate(book, dir / "out/book", messages, 2))
        << (messages.details.empty() ? "" : messages.details[0]);
    EXPECT_EQ(messages.log.back(), "show:Complete!");
    const size_t n = book.outcome.size();
    ASSERT_GE(n, 3u);
    std::set<std::string> names;
    int32_t page = 0;
    for (size_t k = 0; k < n; ++k) {
        const JarOutcome& jar = book.outcome[k];
        SCOPED_TRACE(jar.jarPath);
        const std::string volume = "我的书 " + std::to_string(k + 1) + "/" + std::to_string(n);
        EXPECT_EQ(jar.jarPath, dir / ("out/book-" + std::to_string(k + 1) + ".jar"));
        EXPECT_EQ(jar.bytes, static_cast<int64_t>(std::filesystem::file_size(jar.jarPath)));
        EXPECT_LE(jar.bytes, limit);
        EXPECT_EQ(EntryCount(jar.jarPath), jar.pages + 6);
        std::vector<std::string> lines;
        for (int32_t i = 0; i < jar.pages; ++i) {
            lines.push_back("第" + std::to_string(page + 1) + "页");
            // the volume's page i is the whole book's page, byte for byte
            EXPECT_EQ(ZipEntry(jar.jarPath, std::to_string(i) + ".png"),
                      ZipEntry(dir / "whole.jar", std::to_string(page) + ".png"))
                << i;
            ++page;
        }
        EXPECT_EQ(ZipEntry(jar.jarPath, "desc.txt"), Desc(volume, lines));
        EXPECT_EQ(ZipEntry(jar.jarPath, "META-INF/MANIFEST.MF"), ManifestText(volume));
        EXPECT_EQ(ZipEntry(jar.jarPath, "a.class"), std::string(3000, 'a'));
        const std::string jad = ReadText(JadPathFor(jar.jarPath));
        EXPECT_NE(jad.find("MIDlet-Name: " + volume + "\r\n"), std::string::npos) << jad;
        EXPECT_NE(jad.find("MIDlet-Jar-Size: " + std::to_string(jar.bytes) + "\r\n"), std::string::npos)
            << jad;
        EXPECT_NE(jad.find("MIDlet-Jar-URL: book-" + std::to_string(k + 1) + ".jar\r\n"), std::string::npos)
            << jad;
        EXPECT_TRUE(names.insert(volume).second);
        // a volume holds as many pages as fit: the next page, with its entry's headers and its
        // line, leaves no room
        if (k + 1 < n) {
            const int64_t next =
                static_cast<int64_t>(ZipEntry(dir / "whole.jar", std::to_string(page) + ".png").size());
            EXPECT_GT(jar.bytes + next + 160, limit);
        }
    }
    EXPECT_EQ(page, 12);
    EXPECT_EQ(Entries(dir / "out").size(), 2 * n) << "the volumes and their JADs only";
}

TEST_F(Budget, ABookWithinTheLimitStaysOneBookUnderItsOwnName) {
    AddPages(2, 20);
    book.budget.jarLimit = 64;
    ASSERT_TRUE(Generate(book, dir / "out/book", messages, 1));
    ASSERT_EQ(book.outcome.size(), 1u);
    EXPECT_EQ(book.outcome[0].jarPath, dir / "out/book.jar");
    EXPECT_EQ(ZipEntry(dir / "out/book.jar", "desc.txt"), Desc("我的书", {"第1页", "第2页"}));
    EXPECT_EQ(ZipEntry(dir / "out/book.jar", "META-INF/MANIFEST.MF"), ManifestText("我的书"));
    EXPECT_NE(ReadText(dir / "out/book.jad").find("MIDlet-Name: 我的书\r\n"), std::string::npos);
    EXPECT_EQ(book.outcome[0].pages, 2);
    EXPECT_EQ(book.outcome[0].largestWidth, 20);
    EXPECT_EQ(book.outcome[0].largestHeight, 21);
}

TEST_F(Budget, APageLargerThanTheLimitFailsAndLeavesTheOldBookAsItWas) {
    AddPages(3, 20);
    const std::string big = dir / "big.png";
    ASSERT_TRUE(Noise(120, 120, 7).Save(big.c_str(), ImageFormat::Png));  // about 43 KB
    book.ImportPictures({big});
    WriteFile(dir / "out/book.jar", "old archive");
    WriteFile(dir / "out/book.jad", "old jad");
    book.budget.jarLimit = 16;
    EXPECT_FALSE(Generate(book, dir / "out/book", messages, 2));
    EXPECT_EQ(messages.log.back(), "show:Uncomplete!");
    ASSERT_FALSE(messages.details.empty());
    EXPECT_EQ(messages.details[0].rfind("page 4 (big.png) alone makes an archive of ", 0), 0u)
        << messages.details[0];
    EXPECT_NE(messages.details[0].find("more than the JAR limit of 16384 bytes"), std::string::npos);
    EXPECT_TRUE(book.outcome.empty());
    std::vector<std::string> left = Entries(dir / "out");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"book.jad", "book.jar"}));
    EXPECT_EQ(ReadText(dir / "out/book.jar"), "old archive");
}

TEST(Volumes, NamesAndPathsCarryTheNumberOnlyWhenThereAreSeveral) {
    EXPECT_EQ(VolumeName("书", 1, 1), "书");
    EXPECT_EQ(VolumeName("书", 2, 3), "书 2/3");
    EXPECT_EQ(VolumePath("/a/book.jar", 1, 1), "/a/book.jar");
    EXPECT_EQ(VolumePath("/a/book.jar", 10, 12), "/a/book-10.jar");
    EXPECT_EQ(VolumePath("/a.b/book", 2, 3), "/a.b/book-2");
    EXPECT_EQ(VolumePath("book.zip", 2, 3), "book-2.zip");
}

TEST(HeapWarning, NamesEveryPageTooLargeInOneLine) {
    Book book;
    book.written = {{0, "", 176, 264}, {1, "", 800, 12000}, {2, "", 176, 290}, {3, "", 176, 291}};
    EXPECT_EQ(HeapWarning(book), "") << "no budget, no check";
    book.budget.heap = 200;  // 204800 bytes: 176 x 290 fits, 176 x 291 does not
    EXPECT_EQ(HeapWarning(book),
              "2 pages decode larger than the heap of 200 KB: page 2 (800x12000, 37500 KB), page 4 (176x291, "
              "201 KB)");
    book.outcome = {{"/a/b-1.jar", 2, 1, 0, 0}, {"/a/b-2.jar", 2, 1, 0, 0}};
    EXPECT_EQ(HeapWarning(book),
              "2 pages decode larger than the heap of 200 KB: page 2 of b-1.jar (800x12000, 37500 KB), "
              "page 2 of b-2.jar (176x291, 201 KB)");
    book.written.resize(1);
    EXPECT_EQ(HeapWarning(book), "");
}

}  // namespace
