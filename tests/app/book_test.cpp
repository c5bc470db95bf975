#include "book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measure.h"
#include "presenter.h"
#include "testutil.h"

namespace {

// Imports `pages` pages through the list, page i described "d<i>".
void Fill(BookPresenter& list, int pages) {
    std::vector<std::string> files;
    for (int i = 0; i < pages; ++i) files.push_back("/pics/p" + std::to_string(i) + ".bmp");
    list.ImportPictures(files);
    for (int i = 0; i < pages; ++i) {
        const std::string number = std::to_string(i);  // "d" + to_string(i) trips gcc 12 -Wrestrict
        list.book().pages[i].description = "d" + number;
    }
}

std::string Order(const Book& book) {
    std::string out;
    for (const Description_T& page : book.pages) out += page.description.substr(1);
    return out;
}

}  // namespace

TEST(PageList, ImportAppendsAndEnablesGeneration) {
    Book book;
    BookPresenter list(book);
    EXPECT_FALSE(list.controls().createButton);
    EXPECT_EQ(list.ImportPictures({}), 0u);  // a cancelled dialog changes nothing
    EXPECT_FALSE(list.controls().createButton);
    list.ImportPictures({"C:\\pics\\a.bmp", "/home/u/b.png"});
    book.pages[0].description = "kept";
    book.pages[0].measured = true;
    list.ImportPictures({"/x/c.jpg"});
    ASSERT_EQ(book.pageCount(), 3);
    EXPECT_EQ(book.pages[0].description, "kept");
    EXPECT_TRUE(book.pages[0].measured);
    EXPECT_EQ(book.pages[2].path, "/x/c.jpg");
    EXPECT_FALSE(book.pages[2].measured);
    EXPECT_TRUE(list.controls().createEBook && list.controls().createButton && list.controls().clearButton);
    EXPECT_FALSE(list.controls().delButton);
    EXPECT_EQ(FileNamePart(book.pages[0].path), "a.bmp");
    EXPECT_EQ(FileNamePart(book.pages[1].path), "b.png");
}

TEST(PageList, ImportStopsAtTheArchiveLimit) {
    Book book;
    BookPresenter list(book);
    std::vector<std::string> files(kMaxPages + 5, "/p.bmp");
    EXPECT_EQ(list.ImportPictures(files), static_cast<size_t>(kMaxPages));
    EXPECT_EQ(book.pageCount(), kMaxPages);
}

TEST(PageList, DeleteRemovesExactlyTheSelectedRows) {
    Book book;
    BookPresenter list(book);
    Fill(list, 4);
    list.SetSelected(1, true);
    list.SetSelected(2, true);
    list.DeleteSelected();
    EXPECT_EQ(Order(book), "03");
    EXPECT_TRUE(list.controls().createButton);
    list.SetSelected(0, true);
    list.SetSelected(1, true);
    list.DeleteSelected();
    EXPECT_EQ(book.pageCount(), 0);
    EXPECT_FALSE(list.controls().createEBook || list.controls().createButton || list.controls().delButton ||
                 list.controls().clearButton || list.controls().moveUpButton ||
                 list.controls().moveDownButton);
}

TEST(PageList, CurrentPageFollowsItsRecordOrIsDropped) {
    Book book;
    BookPresenter list(book);
    Fill(list, 5);
    book.currentPage = 3;
    list.SetSelected(1, true);
    list.DeleteSelected();
    EXPECT_EQ(book.currentPage, 2);
    EXPECT_EQ(book.pages[book.currentPage].description, "d3");
    list.SetSelected(2, true);
    list.DeleteSelected();
    EXPECT_EQ(book.currentPage, -1);
    list.SetDescription("nowhere");  // no current page: nothing is written
    for (const auto& page : book.pages) EXPECT_NE(page.description, "nowhere");
}

TEST(PageList, MoveDownMovesSelectedRowsAsABlock) {
    Book book;
    BookPresenter list(book);
    Fill(list, 5);
    list.SetSelected(2, true);
    list.SetSelected(3, true);
    book.currentPage = 2;
    list.MoveDown();
    EXPECT_EQ(Order(book), "01423");
    EXPECT_EQ(list.selected(), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(book.currentPage, 3);
    EXPECT_FALSE(list.controls().moveDownButton);
    EXPECT_TRUE(list.controls().moveUpButton);
    list.MoveDown();  // the lowest selected row is last: nothing moves
    EXPECT_EQ(Order(book), "01423");
}

TEST(PageList, MoveUpMirrorsMoveDown) {
    Book book;
    BookPresenter list(book);
    Fill(list, 5);
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    list.MoveUp();
    EXPECT_EQ(Order(book), "10324");
    EXPECT_FALSE(list.controls().moveUpButton);
    EXPECT_TRUE(list.controls().moveDownButton);
    list.MoveUp();  // row 0 is selected: nothing moves
    EXPECT_EQ(Order(book), "10324");
}

TEST(PageList, ClearEmptiesTheBookButKeepsTheWorkingPicture) {
    Book book;
    BookPresenter list(book);
    Fill(list, 3);
    book.currentPage = 1;
    book.currentImage = std::make_unique<Picture>(2, 2, 24, 0);
    list.Clear();
    EXPECT_EQ(book.pageCount(), 0);
    EXPECT_EQ(book.currentPage, -1);
    EXPECT_TRUE(book.currentImage && book.currentImage->IsValid());
    EXPECT_FALSE(list.controls().clearButton);
}

TEST(PageList, DescriptionIsCutAtAHundredCharacters) {
    Book book;
    BookPresenter list(book);
    Fill(list, 1);
    book.currentPage = 0;
    std::string text;
    for (int i = 0; i < 120; ++i) text += "页";
    list.SetDescription(text);
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
        {352, 288, 176, 208, 176, 144},       {100, 300, 176, 208, 69, 208},
        {176, 208, 176, 208, 176, 208},  // a tie fits the width
        {100000, 100000, 176, 208, 176, 176}, {5, 5, 0, 208, 0, 0},
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
    BookPresenter list(book);
    list.ImportPictures({dir / "missing.bmp", dir / "p.bmp", dir / "p.bmp"});
    EXPECT_FALSE(list.SelectPage());  // nothing selected: no current page, no control changes
    EXPECT_EQ(book.currentPage, -1);
    EXPECT_FALSE(list.controls().delButton);

    book.pages[1].description = "typed before measuring";
    list.SelectOnly(1);
    ASSERT_TRUE(list.SelectPage());
    EXPECT_EQ(book.currentPage, 1);
    EXPECT_TRUE(book.pages[1].measured);
    EXPECT_EQ(book.pages[1].description, "typed before measuring");  // measuring keeps it
    EXPECT_EQ(book.pages[1].picWidth, 352);
    EXPECT_EQ(book.pages[1].fitWidth, 176);
    EXPECT_EQ(book.pages[1].fitHeight, 144);
    EXPECT_TRUE(list.controls().delButton && list.controls().moveUpButton && list.controls().moveDownButton &&
                list.controls().pictureDescEdit);
    list.SetDescription("第二页");
    list.SelectOnly(1);
    list.SelectPage();
    EXPECT_EQ(book.pages[1].description, "第二页");

    // A page whose picture does not load stays unmeasured, so the next selection tries
    // again; it is current all the same, with the buttons set by its place and the reason kept.
    BookPresenter again(book);  // a list whose controls are all off
    again.SelectOnly(0);
    ASSERT_TRUE(again.SelectPage());
    EXPECT_EQ(book.currentPage, 0);
    EXPECT_FALSE(book.pages[0].measured);
    EXPECT_EQ(book.currentError, "Load: No such file or directory");
    EXPECT_TRUE(again.controls().delButton && again.controls().moveDownButton &&
                again.controls().pictureDescEdit);
    EXPECT_FALSE(again.controls().moveUpButton);
    again.SetDescription("kept for the missing page");
    EXPECT_EQ(book.pages[0].description, "kept for the missing page");

    again.SelectOnly(2);
    again.SelectPage();
    EXPECT_FALSE(again.controls().moveDownButton);  // the last row
}

TEST(Selection, WithoutACurrentPageTheDescriptionFieldIsOff) {
    struct Row {
        const char* action;
        void (*run)(BookPresenter&);
        int32_t current;
        bool field;
    };
    const Row rows[] = {
        {"delete of the current page",
         [](BookPresenter& l) {
             l.SelectOnly(2);
             l.DeleteSelected();
         },
         -1, false},
        {"delete of another page",
         [](BookPresenter& l) {
             l.SelectOnly(0);
             l.DeleteSelected();
         },
         1, true},
        {"clear", [](BookPresenter& l) { l.Clear(); }, -1, false},
    };
    TempDir dir;
    Picture picture(4, 4, 24, 0);
    ASSERT_TRUE(picture.Save((dir / "p.bmp").c_str(), ImageFormat::Bmp));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.action);
        Book book;
        BookPresenter list(book);
        list.ImportPictures({dir / "p.bmp", dir / "p.bmp", dir / "p.bmp"});
        list.SelectOnly(2);
        ASSERT_TRUE(list.SelectPage());
        list.SetDescription("current");
        r.run(list);
        EXPECT_EQ(book.currentPage, r.current);
        EXPECT_EQ(list.controls().pictureDescEdit, r.field);
        if (r.current >= 0) {
            EXPECT_EQ(book.pages[r.current].description, "current");
        }
        list.SetDescription("typed");
        int written = 0;
        for (const Description_T& page : book.pages) written += page.description == "typed";
        EXPECT_EQ(written, r.current >= 0 ? 1 : 0);
    }
}

TEST(Templates, TheFlowingReaderTakesOnlyItsTwoClassesFromFlow) {
    Book book;
    book.SetTemplateFolder("/t");
    const std::array<std::string, 6> classic = {"/t/a.class",   "/t/GameMidlet.class",
                                                "/t/logo1.png", "/t/icon.png",
                                                "/t/desc.txt",  "/t/META-INF/MANIFEST.MF"};
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

// The book's own page operations take the rows to work on; no selection lives in the book.
TEST(PageList, BookOperationsTakeTheirRowsAndDescriptionsTheirPage) {
    Book book;
    book.ImportPictures({"/a.bmp", "/b.bmp", "/c.bmp"});
    book.SetDescription(2, "third");
    book.SetDescription(3, "no such page");
    book.SetDescription(-1, "none either");
    EXPECT_EQ(book.pages[2].description, "third");
    EXPECT_EQ(book.currentPage, -1);  // describing a page does not make it current

    std::vector<bool> rows = {false, true, true};
    EXPECT_FALSE(book.MoveDown(rows));  // the lowest marked row is already last
    EXPECT_TRUE(book.MoveUp(rows));
    EXPECT_EQ(rows, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(book.pages[1].description, "third");
    std::vector<bool> wrongSize = {true};
    EXPECT_FALSE(book.MoveDown(wrongSize));

    book.DeletePages({true});  // marks shorter than the pages leave the rest
    ASSERT_EQ(book.pageCount(), 2);
    EXPECT_EQ(book.pages[0].description, "third");

    // pages added to the book beside the list are unmarked rows of it
    BookPresenter list(book);
    book.ImportPictures({"/d.bmp"});
    list.SetSelected(2, true);
    ASSERT_EQ(list.selected(), (std::vector<bool>{false, false, true}));
    list.MoveUp();
    EXPECT_EQ(book.pages[1].path, "/d.bmp");
    EXPECT_TRUE(list.controls().moveDownButton);
}
