#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book.h"
#include "measure.h"
#include "testutil.h"

namespace {

Book BookOf(int pages) {
    Book book;
    std::vector<std::string> files;
    for (int i = 0; i < pages; ++i) files.push_back("/pics/p" + std::to_string(i) + ".bmp");
    book.ImportPictures(files);
    for (int i = 0; i < pages; ++i) {
        const std::string number = std::to_string(i);  // "d" + to_string(i) trips gcc 12 -Wrestrict
        book.pages[i].description = "d" + number;
    }
    return book;
}

std::string Order(const Book& book) {
    std::string out;
    for (const Description_T& page : book.pages) out += page.description.substr(1);
    return out;
}

}  // namespace

TEST(PageList, ImportAppendsAndEnablesGeneration) {
    Book book;
    EXPECT_FALSE(book.controls.createButton);
    EXPECT_EQ(book.ImportPictures({}), 0u);  // a cancelled dialog changes nothing
    EXPECT_FALSE(book.controls.createButton);
    book.ImportPictures({"C:\\pics\\a.bmp", "/home/u/b.png"});
    book.pages[0].description = "kept";
    book.pages[0].measured = true;
    book.ImportPictures({"/x/c.jpg"});
    ASSERT_EQ(book.pageCount(), 3);
    EXPECT_EQ(book.pages[0].description, "kept");
    EXPECT_TRUE(book.pages[0].measured);
    EXPECT_EQ(book.pages[2].path, "/x/c.jpg");
    EXPECT_FALSE(book.pages[2].measured);
    EXPECT_TRUE(book.controls.createEBook && book.controls.createButton && book.controls.clearButton);
    EXPECT_FALSE(book.controls.delButton);
    EXPECT_EQ(FileNamePart(book.pages[0].path), "a.bmp");
    EXPECT_EQ(FileNamePart(book.pages[1].path), "b.png");
}

TEST(PageList, ImportStopsAtTheArchiveLimit) {
    Book book;
    std::vector<std::string> files(kMaxPages + 5, "/p.bmp");
    EXPECT_EQ(book.ImportPictures(files), static_cast<size_t>(kMaxPages));
    EXPECT_EQ(book.pageCount(), kMaxPages);
}

TEST(PageList, DeleteRemovesExactlyTheSelectedRows) {
    Book book = BookOf(4);
    book.SetSelected(1, true);
    book.SetSelected(2, true);
    book.DeleteSelected();
    EXPECT_EQ(Order(book), "03");
    EXPECT_TRUE(book.controls.createButton);
    book.SetSelected(0, true);
    book.SetSelected(1, true);
    book.DeleteSelected();
    EXPECT_EQ(book.pageCount(), 0);
    EXPECT_FALSE(book.controls.createEBook || book.controls.createButton || book.controls.delButton ||
                 book.controls.clearButton || book.controls.moveUpButton || book.controls.moveDownButton);
}

TEST(PageList, CurrentPageFollowsItsRecordOrIsDropped) {
    Book book = BookOf(5);
    book.currentPage = 3;
    book.SetSelected(1, true);
    book.DeleteSelected();
    EXPECT_EQ(book.currentPage, 2);
    EXPECT_EQ(book.pages[book.currentPage].description, "d3");
    book.SetSelected(2, true);
    book.DeleteSelected();
    EXPECT_EQ(book.currentPage, -1);
    book.SetDescription("nowhere");  // no current page: nothing is written
    for (const auto& page : book.pages) EXPECT_NE(page.description, "nowhere");
}

TEST(PageList, MoveDownMovesSelectedRowsAsABlock) {
    Book book = BookOf(5);
    book.SetSelected(2, true);
    book.SetSelected(3, true);
    book.currentPage = 2;
    book.MoveDown();
    EXPECT_EQ(Order(book), "01423");
    EXPECT_EQ(book.selected, (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(book.currentPage, 3);
    EXPECT_FALSE(book.controls.moveDownButton);
    EXPECT_TRUE(book.controls.moveUpButton);
    book.MoveDown();  // the lowest selected row is last: nothing moves
    EXPECT_EQ(Order(book), "01423");
}

TEST(PageList, MoveUpMirrorsMoveDown) {
    Book book = BookOf(5);
    book.SetSelected(1, true);
    book.SetSelected(3, true);
    book.MoveUp();
    EXPECT_EQ(Order(book), "10324");
    EXPECT_FALSE(book.controls.moveUpButton);
    EXPECT_TRUE(book.controls.moveDownButton);
    book.MoveUp();  // row 0 is selected: nothing moves
    EXPECT_EQ(Order(book), "10324");
}

TEST(PageList, ClearEmptiesTheBookButKeepsTheWorkingPicture) {
    Book book = BookOf(3);
    book.currentPage = 1;
    book.currentImage = std::make_unique<Picture>(2, 2, 24, 0);
    book.Clear();
    EXPECT_EQ(book.pageCount(), 0);
    EXPECT_EQ(book.currentPage, -1);
    EXPECT_TRUE(book.currentImage && book.currentImage->IsValid());
    EXPECT_FALSE(book.controls.clearButton);
}

TEST(PageList, DescriptionIsCutAtAHundredCharacters) {
    Book book = BookOf(1);
    book.currentPage = 0;
    std::string text;
    for (int i = 0; i < 120; ++i) text += "页";
    book.SetDescription(text);
    std::string want;
    for (int i = 0; i < 100; ++i) want += "页";
    EXPECT_EQ(book.pages[0].description, want);
}

TEST(FileNamePart, TakesTheTextAfterTheLastSeparator) {
    EXPECT_EQ(FileNamePart("C:\\my.books\\book.jar"), "book.jar");
    EXPECT_EQ(FileNamePart("/out/book.jar"), "book.jar");
    EXPECT_EQ(FileNamePart("book.jar"), "book.jar");
    EXPECT_EQ(FileNamePart("dir\\"), "");
}

TEST(Measure, FittedSizeFollowsTheOverflowingSide) {
    const struct {
        int32_t w, h, sw, sh, fw, fh;
    } rows[] = {
        {352, 288, 176, 208, 176, 144},
        {100, 300, 176, 208, 69, 208},
        {176, 208, 176, 208, 176, 208},  // a tie fits the width
        {100000, 100000, 176, 208, 176, 176},
        {5, 5, 0, 208, 0, 0},
    };
    for (const auto& r : rows) {
        const FittedSize fit = FitToScreen(r.w, r.h, r.sw, r.sh);
        EXPECT_EQ(fit.width, r.fw) << r.w << "x" << r.h;
        EXPECT_EQ(fit.height, r.fh) << r.w << "x" << r.h;
    }
}

TEST(Selection, FirstSelectionMeasuresLaterOnesKeepTheDescription) {
    TempDir dir;
    Picture picture(352, 288, 24, 0);
    ASSERT_TRUE(picture.Save((dir / "p.bmp").c_str(), ImageFormat::Bmp));
    Book book;
    book.ImportPictures({dir / "missing.bmp", dir / "p.bmp", dir / "p.bmp"});
    EXPECT_FALSE(book.SelectPage());  // nothing selected: no current page, no control changes
    EXPECT_EQ(book.currentPage, -1);
    EXPECT_FALSE(book.controls.delButton);

    book.pages[1].description = "typed before measuring";
    book.SelectOnly(1);
    ASSERT_TRUE(book.SelectPage());
    EXPECT_EQ(book.currentPage, 1);
    EXPECT_TRUE(book.pages[1].measured);
    EXPECT_EQ(book.pages[1].description, "typed before measuring");  // measuring keeps it
    EXPECT_EQ(book.pages[1].picWidth, 352);
    EXPECT_EQ(book.pages[1].fitWidth, 176);
    EXPECT_EQ(book.pages[1].fitHeight, 144);
    EXPECT_TRUE(book.controls.delButton && book.controls.moveUpButton && book.controls.moveDownButton &&
                book.controls.pictureDescEdit);
    book.SetDescription("第二页");
    book.SelectOnly(1);
    book.SelectPage();
    EXPECT_EQ(book.pages[1].description, "第二页");

    // A page whose picture does not load stays unmeasured, so the next selection tries
    // again; it is current all the same, with the buttons set by its place and the reason kept.
    book.controls = ControlStates{};
    book.SelectOnly(0);
    ASSERT_TRUE(book.SelectPage());
    EXPECT_EQ(book.currentPage, 0);
    EXPECT_FALSE(book.pages[0].measured);
    EXPECT_EQ(book.currentError, "Load: No such file or directory");
    EXPECT_TRUE(book.controls.delButton && book.controls.moveDownButton && book.controls.pictureDescEdit);
    EXPECT_FALSE(book.controls.moveUpButton);
    book.SetDescription("kept for the missing page");
    EXPECT_EQ(book.pages[0].description, "kept for the missing page");

    book.SelectOnly(2);
    book.SelectPage();
    EXPECT_FALSE(book.controls.moveDownButton);  // the last row
}

TEST(Selection, WithoutACurrentPageTheDescriptionFieldIsOff) {
    struct Row {
        const char* action;
        void (*run)(Book&);
        int32_t current;
        bool field;
    };
    const Row rows[] = {
        {"delete of the current page", [](Book& b) { b.SelectOnly(2); b.DeleteSelected(); }, -1, false},
        {"delete of another page", [](Book& b) { b.SelectOnly(0); b.DeleteSelected(); }, 1, true},
        {"clear", [](Book& b) { b.Clear(); }, -1, false},
    };
    TempDir dir;
    Picture picture(4, 4, 24, 0);
    ASSERT_TRUE(picture.Save((dir / "p.bmp").c_str(), ImageFormat::Bmp));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.action);
        Book book;
        book.ImportPictures({dir / "p.bmp", dir / "p.bmp", dir / "p.bmp"});
        book.SelectOnly(2);
        ASSERT_TRUE(book.SelectPage());
        book.SetDescription("current");
        r.run(book);
        EXPECT_EQ(book.currentPage, r.current);
        EXPECT_EQ(book.controls.pictureDescEdit, r.field);
        if (r.current >= 0) {
            EXPECT_EQ(book.pages[r.current].description, "current");
        }
        book.SetDescription("typed");
        int written = 0;
        for (const Description_T& page : book.pages) written += page.description == "typed";
        EXPECT_EQ(written, r.current >= 0 ? 1 : 0);
    }
}

TEST(Templates, TheFlowingReaderTakesOnlyItsTwoClassesFromFlow) {
    Book book;
    book.SetTemplateFolder("/t");
    const std::array<std::string, 6> classic = {"/t/a.class", "/t/GameMidlet.class", "/t/logo1.png",
                                                "/t/icon.png", "/t/desc.txt", "/t/META-INF/MANIFEST.MF"};
    EXPECT_EQ(book.templatePaths, classic);
    book.SetReader(1);
    std::array<std::string, 6> flowing = classic;
    flowing[0] = "/t/flow/a.class";
    flowing[1] = "/t/flow/GameMidlet.class";
    EXPECT_EQ(book.templatePaths, flowing);
    book.SetTemplateFolder("/u");  // a new folder keeps the reader chosen
    EXPECT_EQ(book.templatePaths[0], "/u/flow/a.class");
    EXPECT_EQ(book.templatePaths[2], "/u/logo1.png");
    book.SetTemplateFolder("/t");
    for (int32_t other : {0, 2, -1}) {  // anything but 1 is the classic reader
        book.SetReader(1);
        book.SetReader(other);
        EXPECT_EQ(book.reader(), 0) << other;
        EXPECT_EQ(book.templatePaths, classic) << other;
    }
}
