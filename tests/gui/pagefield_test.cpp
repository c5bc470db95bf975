// The description field belongs to the page on screen: pages whose pictures cannot be read,
// deletions, clearing, and generations that fail, with the notice that names why.
#include <cstdlib>
#include <filesystem>

#include "guitest.h"
#include "text.h"

namespace {

// The messages that begin with prefix.
std::vector<std::string> Starting(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : log)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

}  // namespace

class PageField : public TemplateWindow {
   protected:
    void ClickField() { QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton); }
    void Generate(const std::string& name) {
        answers.push_back({QString::fromStdString(dir / name)});
        QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    }
};

TEST_F(PageField, UnreadablePageKeepsItsDescriptionThroughFailedAndMendedGenerations) {
    const std::string bad = dir / "b.bmp";
    WriteFile(bad, "BM not a bitmap at all");
    Import({SolidPicture(dir, "a.bmp", 8, 8, 0xff0000), bad, SolidPicture(dir, "c.bmp", 8, 8, 0x0000ff)});

    PressRow(0);
    ClickField();
    Type(form->PictureDescEdit, "page A");
    PressRow(1);
    // The unreadable page is current: its own (empty) description, the field on, the move
    // buttons by its place.
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_TRUE(form->PictureDescEdit->text().isEmpty());
    EXPECT_TRUE(form->PictureDescEdit->isEnabled());
    EXPECT_TRUE(form->MoveUpButton->isEnabled());
    EXPECT_TRUE(form->MoveDownButton->isEnabled());
    EXPECT_FALSE(book().currentError.empty());
    ClickField();
    QTest::keyClick(form->PictureDescEdit, Qt::Key_A, Qt::ControlModifier);
    Type(form->PictureDescEdit, "page B");
    PressRow(2);
    ClickField();
    Type(form->PictureDescEdit, "page C");
    PressRow(1);
    EXPECT_EQ(form->PictureDescEdit->text(), "page B");

    Generate("book");
    EXPECT_EQ(Starting(messages.log, "show:Uncomplete!").size(), 1u);
    const std::vector<std::string> notices = Starting(messages.log, "show:page 2, b.bmp: ");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(messages.log.back(), notices[0]);  // after the outcome
    EXPECT_EQ(book().pages[1].description, "page B");

    SolidPicture(dir, "b.bmp", 8, 8, 0x00ff00);
    messages.log.clear();
    Generate("book");
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Complete!"});
    EXPECT_EQ(ZipEntry(dir / "book.jar", "desc.txt"),
              DescLines({"bookname:", "piccount:3", "author:Kavoo网", "0:page A", "1:page B", "2:page C"}));
}

TEST_F(PageField, FieldIsEmptyAndOffWithoutACurrentPage) {
    struct Row {
        const char* action;
        QPushButton* TPanelleForm::*button;
    };
    const Row rows[] = {{"删除 of the current page", &TPanelleForm::DelButton},
                        {"清空", &TPanelleForm::ClearButton}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.action);
        OpenWindow();
        ImportSolid(3);
        PressRow(1);
        ClickField();
        Type(form->PictureDescEdit, "stale");
        QTest::mouseClick(form.get()->*r.button, Qt::LeftButton);
        EXPECT_EQ(book().currentPage, -1);
        EXPECT_TRUE(form->PictureDescEdit->text().isEmpty());
        EXPECT_FALSE(form->PictureDescEdit->isEnabled());
        EXPECT_NE(QApplication::focusWidget(), form->PictureDescEdit);
        Type(form->PictureDescEdit, "dropped");
        EXPECT_TRUE(form->PictureDescEdit->text().isEmpty());

        // The next page chosen gets the field back, with its own text.
        if (book().pageCount() == 0) ImportSolid(1);
        PressRow(0);
        EXPECT_TRUE(form->PictureDescEdit->isEnabled());
        EXPECT_TRUE(form->PictureDescEdit->text().isEmpty());
    }
}

TEST_F(PageField, DeletingAnotherPageKeepsTheCurrentOnesText) {
    ImportSolid(3);
    PressRow(2);
    ClickField();
    Type(form->PictureDescEdit, "last page");
    // A press on row 0 would make it current: mark it in the list alone, as the keyboard does.
    list().item(2)->setSelected(false);
    list().item(0)->setSelected(true);
    QTest::mouseClick(form->DelButton, Qt::LeftButton);
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_EQ(form->PictureDescEdit->text(), "last page");
    EXPECT_TRUE(form->PictureDescEdit->isEnabled());
}

TEST_F(PageField, FailedGenerationNamesPageFileAndReasonInOneNotice) {
    const std::vector<std::string> paths = ImportSolid(3);
    std::filesystem::remove(paths[1]);
    std::filesystem::remove(paths[2]);
    Generate("book");
    const std::vector<std::string> notices = Starting(messages.log, "show:page ");
    ASSERT_EQ(notices.size(), 1u) << "one notice for every failure";
    const std::string& notice = notices[0];
    EXPECT_EQ(messages.log.back(), notice);
    EXPECT_NE(notice.find("page 2, p1.bmp: the file is missing since it was imported"), std::string::npos);
    // conversion stops at the first page that does not load: the notice names what failed
    EXPECT_EQ(notice.find("p0.bmp"), std::string::npos);

    // A generation that ends well, or fails in a step whose box names the file, adds none.
    OpenWindow();
    book().SetTemplateFolder(dir / "files");
    ImportSolid(1);
    Generate("fine");
    EXPECT_EQ(messages.log.back(), "show:Complete!");
    std::filesystem::remove(dir / "files/a.class");
    messages.log.clear();
    Generate("fine");
    ASSERT_EQ(messages.log.size(), 1u);
    EXPECT_EQ(messages.log[0].rfind("exception:", 0), 0u);
}
