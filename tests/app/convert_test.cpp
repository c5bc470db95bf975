// Page conversion on several threads must leave exactly what one thread leaves: the same
// desc.txt bytes, the same pictures in the staging folder, the same messages in the same
// order, the same page records and the same working picture.
#include "convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "book.h"
#include "panelle/picture.h"
#include "testutil.h"

namespace {

// What a conversion leaves behind, everything a user or the archive step can see.
struct Outcome {
    std::string desc;
    std::map<std::string, std::string> staged;  // file name -> bytes ("<dir>" for a folder)
    std::vector<std::string> log, progress;
    std::vector<std::string> pages;  // measured, sizes, fitted sizes and description per page
    uint32_t imageWidth = 0, imageHeight = 0;
    std::string imageError;
};

enum class Page {
    Good,              // loads and saves
    MeasuredBroken,    // measured earlier, its file is no picture now: an "Error" box
    UnmeasuredBroken,  // never measured and no picture: the loop ends here
    Unsaveable,        // loads, but its picture name is taken by a folder: an "Error" box
};

struct BookPlan {
    const char* name;
    std::map<int, Page> special;  // pages that are not Good
    int pages;
    bool descToFullDevice;  // desc.txt lines fail to be written part way through
};

void PrintTo(const BookPlan& plan, std::ostream* os) { *os << plan.name; }

class ParallelConversion : public ::testing::TestWithParam<BookPlan> {
   protected:
    // Pages of six formats and of varied sizes.
    void MakeSources(const BookPlan& plan) {
        for (int i = 0; i < plan.pages; ++i) {
            const auto it = plan.special.find(i);
            const Page kind = it == plan.special.end() ? Page::Good : it->second;
            static const char* const kExtensions[] = {".bmp", ".png", ".jpg", ".tif", ".tga", ".pcx"};
            const uint32_t formats[] = {ImageFormat::Bmp, ImageFormat::Png, ImageFormat::Jpg,
                                        ImageFormat::Tif, ImageFormat::Tga, ImageFormat::Pcx};
            const std::string file = sources / ("p" + std::to_string(i) + kExtensions[i % 6]);
            if (kind == Page::MeasuredBroken || kind == Page::UnmeasuredBroken) {
                WriteFile(file, "no picture in here " + std::to_string(i));
            } else {
                const uint32_t w = 17 + 13 * (i % 7), h = 11 + 29 * (i % 5);
                Picture p(w, h, 24, 0);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x)
                        p.SetPixelColor(x, y,
                                        RGBQUAD{uint8_t(x * 9 + i), uint8_t(y * 3), uint8_t(i * 31), 0});
                ASSERT_TRUE(p.Save(file.c_str(), formats[i % 6])) << file;
            }
            files.push_back(file);
        }
    }

    Outcome Convert(const BookPlan& plan, unsigned workers) {
        TempDir staging;
        Book book;
        book.bookName = "并行";
        book.author = "Kavoo网";
        book.settingWidth = 120;
        book.settingHeight = 160;
        book.ImportPictures(files);
        // Two pages in three were measured before and keep their descriptions; measuring
        // empties the others'. The lines are long enough to fill the stdio buffer of a
        // desc.txt on /dev/full some way into the book.
        for (int i = 0; i < plan.pages; ++i) {
            book.pages[i].description = "第" + std::to_string(i) + "页" + std::string(90 + i % 7, 'x');
            book.pages[i].measured = i % 3 != 1;
        }
        for (const auto& [i, kind] : plan.special) {
            if (kind != Page::Good && kind != Page::Unsaveable)
                book.pages[i].measured = kind == Page::MeasuredBroken;
            if (kind == Page::Unsaveable)
                std::filesystem::create_directory(staging / (std::to_string(i) + ".png"));
        }
        if (plan.descToFullDevice) std::filesystem::create_symlink("/dev/full", staging / "desc.txt");
        book.currentImage = std::make_unique<Picture>(5, 5, 24, 0);  // a page selected before

        Recorder messages;
        ConvertPages(book, staging.path(), messages, workers);

        Outcome out;
        out.log = messages.log;
        out.progress = messages.progress;
        for (const auto& e : std::filesystem::directory_iterator(staging.path())) {
            const std::string name = e.path().filename().string();
            if (name == "desc.txt") continue;
            out.staged[name] = e.is_directory() ? "<dir>" : ReadText(e.path().string());
        }
        if (!plan.descToFullDevice) out.desc = ReadText(staging / "desc.txt");
        for (const Description_T& p : book.pages)
            out.pages.push_back(std::to_string(p.measured) + " " + std::to_string(p.picWidth) + "x" +
                                std::to_string(p.picHeight) + " " + std::to_string(p.fitWidth) + "x" +
                                std::to_string(p.fitHeight) + " " + p.description);
        if (book.currentImage) {
            out.imageWidth = book.currentImage->GetWidth();
            out.imageHeight = book.currentImage->GetHeight();
            out.imageError = book.currentImage->GetLastError();
        }
        return out;
    }

    TempDir sources;
    std::vector<std::string> files;
};

TEST_P(ParallelConversion, LeavesWhatOneThreadLeaves) {
    const BookPlan& plan = GetParam();
    MakeSources(plan);
    const Outcome one = Convert(plan, 1);

    // The single-threaded run itself is the loop the book's users know.
    int ended = plan.pages;  // the page the loop ends at, if any
    for (const auto& [i, kind] : plan.special)
        if (kind == Page::UnmeasuredBroken) ended = std::min(ended, i);
    int errorBoxes = 0;
    for (const auto& [i, kind] : plan.special)
        if (i < ended && (kind == Page::MeasuredBroken || kind == Page::Unsaveable)) ++errorBoxes;
    if (!plan.descToFullDevice) {
        const bool endedEarly = ended < plan.pages;
        ASSERT_EQ(one.log.size(), static_cast<size_t>(errorBoxes + (endedEarly ? 1 : 0)));
        if (endedEarly) {
            EXPECT_EQ(one.log.back(), "show:LoadFile error!");
        }
        EXPECT_EQ(one.progress.size(), static_cast<size_t>(ended));
        for (int i = 0; i < plan.pages; ++i) {
            const auto it = plan.special.find(i);
            const bool saved = i < ended && it == plan.special.end();
            EXPECT_EQ(one.staged.count(std::to_string(i) + ".png") == 1 &&
                          one.staged.at(std::to_string(i) + ".png") != "<dir>",
                      saved)
                << "page " << i;
        }
        // The working picture is the last page loaded, not the one selected before.
        const auto last = plan.special.find(ended < plan.pages ? ended : plan.pages - 1);
        if (last != plan.special.end() && last->second != Page::Unsaveable) {
            EXPECT_EQ(one.imageWidth, 0u);  // a page that did not load
            EXPECT_NE(one.imageError, "");
        } else {
            EXPECT_GT(one.imageWidth, 5u);
        }
    } else {
        // The loop ends at the first line that cannot be written; the pages after it stay out.
        ASSERT_FALSE(one.log.empty());
        EXPECT_EQ(one.log.back(), "show:LoadFile error!");
        EXPECT_LT(one.progress.size(), static_cast<size_t>(plan.pages) - 3);
        EXPECT_GT(one.imageWidth, 5u);
        EXPECT_EQ(one.staged.count(std::to_string(one.progress.size() + 1) + ".png"), 0u);
    }

    for (unsigned workers : {2u, 3u, 4u}) {
        for (int run = 0; run < 3; ++run) {  // threads interleave differently on every run
            SCOPED_TRACE("workers " + std::to_string(workers) + ", run " + std::to_string(run));
            const Outcome many = Convert(plan, workers);
            EXPECT_EQ(many.desc, one.desc);
            EXPECT_EQ(many.log, one.log);
            EXPECT_EQ(many.progress, one.progress);
            EXPECT_EQ(many.pages, one.pages);
            EXPECT_EQ(many.imageWidth, one.imageWidth);
            EXPECT_EQ(many.imageHeight, one.imageHeight);
            EXPECT_EQ(many.imageError, one.imageError);
            ASSERT_EQ(many.staged.size(), one.staged.size());
            for (const auto& [name, bytes] : one.staged) {
                ASSERT_EQ(many.staged.count(name), 1u) << name;
                EXPECT_TRUE(many.staged.at(name) == bytes) << name << " differs";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Books, ParallelConversion,
    ::testing::Values(BookPlan{"AllPagesWithErrorBoxes",
                               {{4, Page::MeasuredBroken}, {9, Page::Unsaveable}, {22, Page::MeasuredBroken}},
                               30,
                               false},
                      BookPlan{"LoadFileErrorInTheMiddle",
                               {{3, Page::MeasuredBroken},
                                {7, Page::Unsaveable},
                                {13, Page::UnmeasuredBroken},
                                {20, Page::MeasuredBroken}},
                               30,
                               false},
                      BookPlan{"LoadFileErrorOnTheFirstPage", {{0, Page::UnmeasuredBroken}}, 12, false},
                      BookPlan{"LoadFileErrorOnTheLastPage",
                               {{6, Page::MeasuredBroken}, {11, Page::UnmeasuredBroken}},
                               12,
                               false},
                      BookPlan{"BrokenLastPageMeasured", {{11, Page::MeasuredBroken}}, 12, false},
                      BookPlan{"DescLinesFailPartWay", {{2, Page::MeasuredBroken}}, 40, true}),
    [](const ::testing::TestParamInfo<BookPlan>& info) { return std::string(info.param.name); });

}  // namespace
