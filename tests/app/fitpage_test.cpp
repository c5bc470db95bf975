// Pages as the book holds them: the page-fit settings keys, the sizes pages are written at,
// split halves, reduced colours, and a conversion that lists split pages as written.
#include "fitpage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book.h"
#include "convert.h"
#include "panelle/format.h"
#include "settings.h"
#include "testutil.h"
#include "text.h"

namespace {

// ---- settings keys -------------------------------------------------------------------------

TEST(PageFitSettings, EveryKeyReadsItsValueOrTheDefault) {
    struct Row {
        const char* line;  // the key's line in section SETTING, empty: missing
        int32_t PageFit::*field;
        int32_t expected;
    } rows[] = {
        {"", &PageFit::fit, 0},
        {"fit=1", &PageFit::fit, 1},
        {"fit=2", &PageFit::fit, 2},
        {"fit=3", &PageFit::fit, 0},
        {"fit=-1", &PageFit::fit, 0},
        {"fit=width", &PageFit::fit, 0},
        {"", &PageFit::grey, 0},
        {"grey=1", &PageFit::grey, 1},
        {"grey=2", &PageFit::grey, 0},
        {"grey=yes", &PageFit::grey, 0},
        {"", &PageFit::colors, 0},
        {"colors=2", &PageFit::colors, 2},
        {"colors=16", &PageFit::colors, 16},
        {"colors=256", &PageFit::colors, 256},
        {"colors=1", &PageFit::colors, 0},
        {"colors=257", &PageFit::colors, 0},
        {"colors=99999999999", &PageFit::colors, 0},
        {"colors= 16 ", &PageFit::colors, 16},
        {"", &PageFit::dither, 0},
        {"dither=1", &PageFit::dither, 1},
        {"dither=5", &PageFit::dither, 0},
        {"", &PageFit::split, 0},
        {"split=1", &PageFit::split, 1},
        {"split=2", &PageFit::split, 2},
        {"split=3", &PageFit::split, 0},
        {"split=", &PageFit::split, 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        const std::string ini = dir / "panelle.INI";
        const std::string text = SettingsWithLine(row.line);
        WriteFile(ini, text);
        const BookSettings s = ReadSettings(ini);
        EXPECT_EQ(s.pageFit.*row.field, row.expected) << "'" << row.line << "'";
        // only the named key changes; nothing is written back for the page-fit keys
        PageFit expected;
        expected.*row.field = row.expected;
        EXPECT_EQ(s.pageFit, expected) << row.line;
        EXPECT_EQ(ReadText(ini), text) << row.line;
    }
}

TEST(PageFitSettings, SavedWhenChosenAndKeptInPlaceWhenReset) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    BookSettings s;
    s.pageFit = {1, 1, 16, 1, 2};
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nfit=1\r\ngrey="
              "1\r\ncolors=16\r\n"
              "dither=1\r\nsplit=2\r\n");
    EXPECT_EQ(ReadSettings(ini).pageFit, s.pageFit);

    // back to the defaults: keys already in the file are rewritten, absent ones stay absent
    s.pageFit = PageFit{};
    s.pageFit.colors = 256;
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nfit=0\r\ngrey="
              "0\r\ncolors=256\r\n"
              "dither=0\r\nsplit=0\r\n");
    EXPECT_EQ(ReadSettings(ini).pageFit, s.pageFit);
}

// ---- written sizes ------------------------------------------------------------------------

TEST(FittedPageSize, ShrinksToTheScreenAndNeverEnlarges) {
    struct Row {
        int32_t fit, w, h, sw, sh, ew, eh;
    } rows[] = {
        {0, 1200, 1800, 176, 208, 1200, 1800},  // own size
        {1, 1200, 1800, 176, 208, 176, 264},    // to the width, read by panning down
        {2, 1200, 1800, 176, 208, 138, 208},    // whole page: the height overflows more
        {2, 1800, 1200, 176, 208, 176, 117},    // whole page: the width overflows more
        {2, 352, 288, 176, 208, 176, 144},
        {2, 100, 300, 176, 208, 69, 208},
        {1, 100, 300, 176, 208, 100, 300},          // narrower than the screen: kept
        {2, 176, 208, 176, 208, 176, 208},          // exactly the screen
        {2, 150, 100, 176, 208, 150, 100},          // smaller: never enlarged
        {1, 4000, 3, 176, 208, 176, 1},             // at least one row
        {1, 1200, 1800, 0, 208, 1200, 1800},        // a screen of no size keeps the page
        {2, 1200, 1800, 176, 0, 176, 264},          // no screen height: fitted to the width
        {1, 2000000, 2000000, 176, 208, 176, 176},  // no overflow of 32-bit products
    };
    for (const Row& r : rows) {
        PageFit fit;
        fit.fit = r.fit;
        const PageSize s = FittedPageSize(fit, r.w, r.h, r.sw, r.sh);
        EXPECT_EQ(s.width, r.ew) << r.fit << ": " << r.w << "x" << r.h;
        EXPECT_EQ(s.height, r.eh) << r.fit << ": " << r.w << "x" << r.h;
    }
}

TEST(WrittenPageSizes, OnlyPagesWiderThanTallAreSplit) {
    PageFit fit;
    fit.split = 1;
    EXPECT_EQ(WrittenPageSizes(fit, 600, 600, 176, 208).size(), 1u);
    EXPECT_EQ(WrittenPageSizes(fit, 600, 900, 176, 208).size(), 1u);
    const std::vector<PageSize> ltr = WrittenPageSizes(fit, 601, 400, 176, 208);
    ASSERT_EQ(ltr.size(), 2u);
    EXPECT_EQ(ltr[0].width, 300);
    EXPECT_EQ(ltr[1].width, 301);
    fit.split = 2;
    const std::vector<PageSize> rtl = WrittenPageSizes(fit, 601, 400, 176, 208);
    EXPECT_EQ(rtl[0].width, 301);
    EXPECT_EQ(rtl[1].width, 300);
    fit.fit = 1;
    const std::vector<PageSize> fitted = WrittenPageSizes(fit, 2400, 1800, 176, 208);
    ASSERT_EQ(fitted.size(), 2u);
    EXPECT_EQ(fitted[0].width, 176);
    EXPECT_EQ(fitted[0].height, 264);
}

// ---- the page pipeline --------------------------------------------------------------------

// A picture whose left half is red and right half blue, of any depth; palette pictures keep
// index 0 for red and 1 for blue.
Picture TwoHalves(uint32_t w, uint32_t h, uint32_t bpp) {
    Picture p(w, h, bpp, 0);
    if (bpp <= 8) {
        p.SetPaletteColor(0, 255, 0, 0);
        p.SetPaletteColor(1, 0, 0, 255);
    }
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool right = x >= w / 2;
            if (bpp <= 8)
                p.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y), right ? 1 : 0);
            else
                p.SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y),
                                right ? RGBQUAD{255, 0, 0, 0} : RGBQUAD{0, 0, 255, 0});
        }
    return p;
}

// Whether every pixel of a picture is red (or, with `blue`, blue).
bool AllOf(const Picture& p, bool blue) {
    for (uint32_t y = 0; y < p.GetHeight(); ++y)
        for (uint32_t x = 0; x < p.GetWidth(); ++x) {
            const RGBQUAD c = p.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y), false);
            if (blue ? (c.rgbBlue != 255 || c.rgbRed != 0) : (c.rgbRed != 255 || c.rgbBlue != 0))
                return false;
        }
    return true;
}

TEST(FitPage, SplitHalvesComeInReadingOrderAtEveryDepth) {
    for (const uint32_t bpp : {1u, 4u, 8u, 24u}) {
        for (const int32_t split : {1, 2}) {
            SCOPED_TRACE("bpp " + std::to_string(bpp) + ", split " + std::to_string(split));
            Picture page = TwoHalves(37, 20, bpp);  // odd width: the right half is a column wider
            PageFit fit;
            fit.split = split;
            std::string error;
            const std::vector<Picture> parts = FitPage(page, {37, 20}, fit, 176, 208, error);
            ASSERT_EQ(parts.size(), 2u) << error;
            const Picture& left = parts[split == 1 ? 0 : 1];
            const Picture& right = parts[split == 1 ? 1 : 0];
            EXPECT_EQ(left.GetWidth(), 18u);
            EXPECT_EQ(right.GetWidth(), 19u);
            EXPECT_EQ(left.GetHeight(), 20u);
            EXPECT_EQ(left.GetBpp(), bpp);
            EXPECT_TRUE(AllOf(left, false));
            EXPECT_TRUE(AllOf(right, true));
            EXPECT_EQ(page.GetWidth(), 0u);  // the page's pixels are gone
        }
    }
}

TEST(FitPage, AlphaGoesWithItsHalf) {
    Picture page = TwoHalves(40, 10, 24);
    page.AlphaCreate();
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 40; ++x) page.AlphaSet(x, y, x < 20 ? 0 : 200);
    PageFit fit;
    fit.split = 1;
    std::string error;
    const std::vector<Picture> parts = FitPage(page, {40, 10}, fit, 176, 208, error);
    ASSERT_EQ(parts.size(), 2u);
    ASSERT_TRUE(parts[0].AlphaIsValid());
    ASSERT_TRUE(parts[1].AlphaIsValid());
    EXPECT_EQ(parts[0].AlphaGet(19, 9), 0);
    EXPECT_EQ(parts[1].AlphaGet(0, 0), 200);
}

TEST(FitPage, FittedPagesTakeTheWrittenSizeAndTheColoursAsked) {
    struct Row {
        int32_t fit, grey, colors;
        uint32_t w, h, bpp;
        bool greyPalette;
    } rows[] = {
        {1, 0, 0, 176, 264, 24, false}, {2, 0, 0, 138, 208, 24, false},  {1, 1, 0, 176, 264, 8, true},
        {1, 1, 16, 176, 264, 4, true},  {1, 0, 256, 176, 264, 8, false}, {0, 0, 2, 600, 900, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.fit) + " " + std::to_string(r.grey) + " " + std::to_string(r.colors));
        Picture page(600, 900, 24, 0);
        for (int32_t y = 0; y < 900; ++y)
            for (int32_t x = 0; x < 600; ++x)
                page.SetPixelColor(x, y, RGBQUAD{uint8_t(x), uint8_t(y), uint8_t(x ^ y), 0});
        PageFit fit{r.fit, r.grey, r.colors, 1, 0};
        std::string error;
        // a decode at half size, as the JPEG path gives it, still gives the size of the whole picture
        const std::vector<Picture> parts = FitPage(page, {1200, 1800}, fit, 176, 208, error);
        ASSERT_EQ(parts.size(), 1u) << error;
        EXPECT_EQ(parts[0].GetWidth(), r.fit ? r.w : 600u);
        EXPECT_EQ(parts[0].GetHeight(), r.fit ? r.h : 900u);
        EXPECT_EQ(parts[0].GetBpp(), r.bpp);
        if (r.greyPalette) {
            const RGBQUAD c = parts[0].GetPaletteColor(1);
            EXPECT_TRUE(c.rgbRed == c.rgbGreen && c.rgbGreen == c.rgbBlue);
        }
    }
}

// ---- the JPEG fast path ---------------------------------------------------------------------

TEST(LoadPagePicture, ShrunkJpegPagesDecodeAtASmallerScale) {
    TempDir dir;
    Picture source(1200, 1800, 24, 0);
    for (int32_t y = 0; y < 1800; ++y)
        for (int32_t x = 0; x < 1200; ++x)
            source.SetPixelColor(x, y, RGBQUAD{uint8_t(x / 5), uint8_t(y / 7), 90, 0});
    const std::string jpeg = dir / "page.jpg", renamed = dir / "page.jpeg", png = dir / "page.png";
    ASSERT_TRUE(source.Save(jpeg.c_str(), ImageFormat::Jpg));
    ASSERT_TRUE(source.Save(png.c_str(), ImageFormat::Png));
    std::filesystem::copy_file(jpeg, renamed);
    struct Row {
        std::string path;
        uint32_t id;
        int32_t fit, split;
        uint32_t decodedWidth;
    } rows[] = {
        {jpeg, ImageFormat::Jpg, 0, 0, 1200},        // own size: the whole decode
        {jpeg, ImageFormat::Jpg, 1, 0, 600},         // 176 wide: 1/2 keeps at least 352
        {jpeg, ImageFormat::Jpg, 2, 0, 300},         // 138 wide: 1/4 keeps at least 276
        {renamed, ImageFormat::Unknown, 1, 0, 600},  // found by its content
        {jpeg, ImageFormat::Jpg, 0, 1, 1200},        // split alone shrinks nothing
        {png, ImageFormat::Png, 1, 0, 1200},         // other formats decode whole
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path + " fit " + std::to_string(r.fit));
        PageFit fit;
        fit.fit = r.fit;
        fit.split = r.split;
        Picture picture;
        PageSize full;
        ASSERT_TRUE(LoadPagePicture(picture, r.path, r.id, fit, 176, 208, full));
        EXPECT_EQ(picture.GetWidth(), r.decodedWidth);
        EXPECT_EQ(full.width, 1200);
        EXPECT_EQ(full.height, 1800);
        std::string error;
        const std::vector<Picture> parts = FitPage(picture, full, fit, 176, 208, error);
        ASSERT_FALSE(parts.empty()) << error;
        const PageSize expected = FittedPageSize(fit, 1200, 1800, 176, 208);
        EXPECT_EQ(parts[0].GetWidth(), static_cast<uint32_t>(expected.width));
        EXPECT_EQ(parts[0].GetHeight(), static_cast<uint32_t>(expected.height));
    }
}

// ---- a conversion with split pages ---------------------------------------------------------

std::string Utf16Desc(const std::string& name, const std::string& author,
                      const std::vector<std::string>& pages) {
    std::string text =
        "bookname:" + name + "\r\npiccount:" + std::to_string(pages.size()) + "\r\nauthor:" + author + "\r\n";
    for (size_t i = 0; i < pages.size(); ++i) text += std::to_string(i) + ":" + pages[i] + "\r\n";
    return "\xFF\xFE" + Utf8ToUtf16Le(text);
}

TEST(ConvertPages, SplitPagesAreListedAndNumberedAsWritten) {
    TempDir sources;
    // a tall page, a double page, a tall page, a double page
    const std::vector<std::pair<uint32_t, uint32_t>> sizes = {{300, 400}, {800, 500}, {200, 300}, {61, 20}};
    std::vector<std::string> files;
    for (size_t i = 0; i < sizes.size(); ++i) {
        Picture p = TwoHalves(sizes[i].first, sizes[i].second, 24);
        files.push_back(sources / ("p" + std::to_string(i) + ".png"));
        ASSERT_TRUE(p.Save(files.back().c_str(), ImageFormat::Png));
    }
    for (const int32_t split : {1, 2}) {
        std::string firstRun;
        for (const unsigned workers : {1u, 3u}) {
            SCOPED_TRACE("split " + std::to_string(split) + ", workers " + std::to_string(workers));
            TempDir staging;
            Book book;
            book.bookName = "跨页";
            book.author = "Kavoo网";
            book.pageFit.split = split;
            book.pageFit.fit = 1;
            book.ImportPictures(files);
            for (int32_t i = 0; i < book.pageCount(); ++i) {
                book.pages[i].measured = true;  // measured before, so their descriptions stay
                book.pages[i].description = "第" + std::to_string(i + 1) + "页";
            }
            Recorder messages;
            EXPECT_EQ(ConvertPages(book, staging.path(), messages, workers), 6);
            EXPECT_TRUE(messages.log.empty());
            EXPECT_EQ(messages.progress.back(), "4/4");
            const std::string desc = ReadText(staging / "desc.txt");
            EXPECT_EQ(desc, Utf16Desc("跨页", "Kavoo网", {"第1页", "第2页", "", "第3页", "第4页", ""}));
            // the pictures as written: 0 tall, 1 and 2 the halves, 3 tall, 4 and 5 the halves
            const uint32_t widths[] = {176, 176, 176, 176, 30, 31};
            for (int k = 0; k < 6; ++k) {
                Picture written;
                ASSERT_TRUE(written.Load((staging / (std::to_string(k) + ".png")).c_str(), ImageFormat::Png))
                    << k;
                const uint32_t w = split == 2 && k >= 4 ? widths[9 - k] : widths[k];
                EXPECT_EQ(written.GetWidth(), w) << k;
                if (k == 1 || k == 4) {
                    EXPECT_TRUE(AllOf(written, split == 2)) << k;  // the first half
                }
                if (k == 2 || k == 5) {
                    EXPECT_TRUE(AllOf(written, split == 1)) << k;
                }
            }
            EXPECT_EQ(Entries(staging.path()).size(), 7u);  // no picture left under another name
            std::string all = desc;
            for (int k = 0; k < 6; ++k) all += ReadText(staging / (std::to_string(k) + ".png"));
            if (firstRun.empty())
                firstRun = all;
            else
                EXPECT_TRUE(all == firstRun) << "threads wrote other bytes";
        }
    }
}

TEST(ConvertPages, WithoutSplitTheCountIsThePages) {
    TempDir sources, staging;
    Picture p = TwoHalves(80, 40, 24);
    const std::string file = sources / "wide.png";
    ASSERT_TRUE(p.Save(file.c_str(), ImageFormat::Png));
    Book book;
    book.pageFit.fit = 2;
    book.pageFit.colors = 16;
    book.ImportPictures({file, file});
    Recorder messages;
    EXPECT_EQ(ConvertPages(book, staging.path(), messages, 1), 2);
    const std::string png = ReadText(staging / "0.png");
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png[24], 4);                  // IHDR bit depth: 16 colours in 4 bits
    EXPECT_EQ(png[25], 3);                  // palette colour type
    EXPECT_EQ(book.pages[0].picWidth, 80);  // measured at the picture's own size
}

}  // namespace
