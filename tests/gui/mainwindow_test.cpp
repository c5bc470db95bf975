// The main window's controls, its page list and the state of the controls that follow it.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "guitest.h"
#include "settingform.h"

namespace {

// Enabled state of CreateEBook, CreateButton, DelButton, ClearButton, MoveUpButton,
// MoveDownButton and PictureDescEdit, as seen on the widgets, "1" on and "0" off.
std::string States(const TPanelleForm& f) {
    std::string s;
    for (bool on : {f.CreateEBook->isEnabled(), f.CreateButton->isEnabled(), f.DelButton->isEnabled(),
                    f.ClearButton->isEnabled(), f.MoveUpButton->isEnabled(), f.MoveDownButton->isEnabled(),
                    f.PictureDescEdit->isEnabled()})
        s += on ? '1' : '0';
    return s;
}

QString Caption(const QWidget* w) {
    if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
    if (auto* button = qobject_cast<const QPushButton*>(w)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    return {};
}

}  // namespace

using MainWindow = Window;

TEST_F(MainWindow, ControlsSitAtTheirPlacesWithTheirCaptions) {
    struct Row {
        const char* name;
        const char* parent;
        int x, y, w, h;  // w and h 0: the size follows the caption
        const char* caption;
    };
    const Row rows[] = {
        {"GroupBox1", "client", 16, 104, 329, 489, "图片文件列表:(页码顺序自上而下)"},
        {"FileNameListBox", "GroupBox1", 16, 32, 217, 393, ""},
        {"DelButton", "GroupBox1", 32, 448, 73, 27, "删除"},
        {"ClearButton", "GroupBox1", 136, 448, 73, 27, "清空"},
        {"MoveUpButton", "GroupBox1", 256, 104, 48, 65, "上移"},
        {"MoveDownButton", "GroupBox1", 256, 272, 48, 65, "下移"},
        {"suiImageButton1", "client", 280, 128, 24, 24, ""},
        {"GroupBox2", "client", 384, 104, 329, 337, "图片预览："},
        {"PaintBox1", "GroupBox2", 16, 24, 249, 241, ""},
        {"Label5", "GroupBox2", 24, 280, 0, 0, "描述:"},
        {"PictureDescEdit", "GroupBox2", 16, 304, 265, 19, ""},
        {"GroupBox3", "client", 384, 448, 329, 145, "生成手机程序:(书名可用中文)"},
        {"Label7", "GroupBox3", 16, 32, 0, 0, "漫画书名："},
        {"BookNameEdit", "GroupBox3", 96, 30, 129, 19, ""},
        {"CreateButton", "GroupBox3", 240, 30, 73, 35, "生成"},
        {"Label4", "GroupBox3", 13, 70, 0, 0, "分享到Kavoo网电子书和电子杂志频道"},
        {"Label8", "GroupBox3", 66, 96, 0, 0, "参与下载分成计划"},
        {"suiButton1", "GroupBox3", 240, 92, 73, 35, "上传"},
        {"suiURLLabel1", "GroupBox3", 240, 92, 73, 35, "http://www.kavoo.example"},
        {"suiURLLabel2", "GroupBox3", 72, 116, 0, 0, "http://www.kavoo.example"},
        {"suiProgressBar", "client", 0, 600, 729, 12, ""},
        {"Label11", "client", 440, 60, 0, 0, "主题"},
        {"suiImageButton3", "client", 440, 80, 24, 24, ""},
        {"suiURLLabel3", "client", 442, 80, 24, 24, "1"},
        {"Label1", "client", 680, 60, 0, 0, "资讯"},
        {"suiImageButton2", "client", 680, 80, 24, 24, ""},
        {"suiURLLabel9", "client", 682, 80, 24, 24, "7"},
        {"suiImageButton9", "client", 386, 56, 48, 48, ""},
        {"suiURLLabel10", "client", 386, 56, 48, 48, "0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* w = form->findChild<QWidget*>(r.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), r.parent);
        EXPECT_EQ(w->pos(), QPoint(r.x, r.y));
        if (r.w) {
            EXPECT_EQ(w->size(), QSize(r.w, r.h));
        }
        EXPECT_EQ(Caption(w).toStdString(), r.caption);
    }
    EXPECT_EQ(form->suiImageButton1->toolTip(), QStringLiteral("导入图片"));
    EXPECT_EQ(form->portal[7].button->toolTip(), QStringLiteral("电子书和杂志"));
    // Digit labels lie beneath their buttons: the button is the one a click reaches.
    EXPECT_EQ(form->client->childAt(450, 90), form->portal[0].button);
    EXPECT_EQ(form->GroupBox3->childAt(250, 100), form->suiButton1);

    EXPECT_EQ(form->windowTitle(), QStringLiteral("Kavoo网 - 漫画书制作工具"));
    EXPECT_EQ(form->client->size(), QSize(729, 615));
    EXPECT_EQ(form->minimumSize(), QSize(130, 50));
    EXPECT_EQ(form->PictureDescEdit->maxLength(), 100);
    EXPECT_FALSE(form->suiProgressBar->isVisible());
    EXPECT_EQ(form->suiProgressBar->maximum(), 100);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 3000);
}

TEST_F(MainWindow, MenuItemsCarryTheirCaptionsAndRunTheirHandlers) {
    struct Item {
        QAction* action;
        const char* caption;
    };
    const Item file[] = {{form->NewBtn, "新建(&N)"},
                         {form->CreateEBook, "生成电子书(&B)"},
                         {form->InsertPic, "导入图片(&I)"},
                         {form->Set, "属性设置(&P)"},
                         {form->Exit, "退出(&E)"}};
    const Item help[] = {{form->AboutHelp, "使用帮助"},
                         {form->AboutKavoo, "关于Kavoo网"},
                         {form->AboutTR, "关于上海Tovren"},
                         {form->AboutSL, "关于Sanlum(&A)"}};
    EXPECT_EQ(form->FileMenu->title(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(form->HelpMenu->title(), QStringLiteral("帮助(&H)"));
    ASSERT_EQ(form->FileMenu->actions().size(), 5);
    ASSERT_EQ(form->HelpMenu->actions().size(), 4);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form->FileMenu->actions()[i], file[i].action);
        EXPECT_EQ(file[i].action->text().toStdString(), file[i].caption);
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(form->HelpMenu->actions()[i], help[i].action);
        EXPECT_EQ(help[i].action->text().toStdString(), help[i].caption);
    }

    form->NewBtn->trigger();  // does nothing
    EXPECT_TRUE(dialogsRun.empty());
    form->InsertPic->trigger();
    ASSERT_EQ(dialogsRun.size(), 1u);
    EXPECT_EQ(dialogsRun[0], form->OpenPictureDialog1);
    QTest::mouseClick(form->suiImageButton1, Qt::LeftButton);
    ASSERT_EQ(dialogsRun.size(), 2u);
    EXPECT_EQ(dialogsRun[1], form->OpenPictureDialog1);
    form->Set->trigger();
    ASSERT_NE(form->settingForm(), nullptr);
    EXPECT_TRUE(form->settingForm()->isVisible());
    form->Exit->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindow, PictureDialogKeepsItsFilterGroupsInQtSyntax) {
    const QFileDialog& open = *form->OpenPictureDialog1;
    EXPECT_EQ(open.windowTitle(), QStringLiteral("本地图形文件浏览"));
    EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open.nameFilters(),
              (QStringList{"All (*.png *.jpg *.jpeg *.bmp *.ico *.emf)", "JPEG Image File (*.jpg)",
                           "JPEG Image File (*.jpeg)", "Bitmaps (*.bmp)", "Icons (*.ico)",
                           "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)", "All(*)"}));

    const QFileDialog& save = *form->SaveDialog;
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(save.defaultSuffix().isEmpty());
    EXPECT_TRUE(save.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_LE(save.nameFilters().size(), 1);  // Qt's own "every file" at most
}

TEST_F(MainWindow, ImportListsFileNamesAndAppendsToTheBook) {
    form->InsertPic->trigger();  // cancelled
    EXPECT_EQ(list().count(), 0);
    EXPECT_EQ(States(*form), "0000000");

    const std::vector<std::string> first = ImportSolid(2);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"p0.bmp", "p1.bmp"}));
    EXPECT_EQ(book().pages[1].path, first[1]);
    PressRow(0);
    form->PictureDescEdit->setFocus();
    Type(form->PictureDescEdit, QStringLiteral("封面"));
    form->FileNameListBox->setFocus();  // the field stores its text as it loses the focus

    Import({SolidPicture(dir, "a b.bmp", 3, 3, 0xff0000)});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"p0.bmp", "p1.bmp", "a b.bmp"}));
    EXPECT_EQ(book().pages[0].description, "封面");
    EXPECT_TRUE(book().pages[0].measured);
    EXPECT_FALSE(book().pages[2].measured);

    // After every row is gone, an import starts the book afresh.
    form->ClearButton->click();
    Import({dir / "p1.bmp"});
    EXPECT_EQ(Rows(), std::vector<std::string>{"p1.bmp"});
    ASSERT_EQ(book().pageCount(), 1);
    EXPECT_EQ(book().pages[0].description, "");
}

TEST_F(MainWindow, DeleteRemovesTheSelectedRowsAndTheirPages) {
    ImportSolid(4);
    PressRow(1);
    PressRow(2, Qt::ControlModifier);
    form->DelButton->click();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"p0.bmp", "p3.bmp"}));
    ASSERT_EQ(book().pageCount(), 2);
    EXPECT_EQ(book().pages[1].path, dir / "p3.bmp");
    EXPECT_EQ(book().currentPage, -1);  // the current page was deleted
    // Not empty: the list's controls stay; the field, with no page to write into, goes off.
    EXPECT_EQ(States(*form), "1111110");

    PressRow(0);
    PressRow(1, Qt::ShiftModifier);
    form->DelButton->click();
    EXPECT_EQ(list().count(), 0);
    EXPECT_EQ(book().pageCount(), 0);
    EXPECT_EQ(States(*form), "0000000");
}

TEST_F(MainWindow, MovesCarryTheSelectedRowsAsABlock) {
    ImportSolid(5);
    const auto order = [this] {
        std::string s;
        for (const Description_T& p : book().pages) s += p.description;
        return s;
    };
    const auto rowOrder = [this] {
        std::string s;
        for (const std::string& r : Rows()) s += r.substr(1, 1);
        return s;
    };

    PressRow(2);
    PressRow(3, Qt::ControlModifier);
    for (int i = 0; i < 5; ++i) book().pages[i].description = std::to_string(i);  // after measuring
    form->MoveDownButton->click();
    EXPECT_EQ(order(), "01423");
    EXPECT_EQ(rowOrder(), "01423");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{3, 4}));
    EXPECT_FALSE(form->MoveDownButton->isEnabled());
    EXPECT_TRUE(form->MoveUpButton->isEnabled());
    form->MoveDownButton->click();  // the block is at the bottom: nothing moves
    EXPECT_EQ(order(), "01423");

    form->MoveUpButton->click();
    EXPECT_EQ(order(), "01234");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{2, 3}));
    form->MoveUpButton->click();
    form->MoveUpButton->click();
    EXPECT_EQ(order(), "23014");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 1}));
    EXPECT_FALSE(form->MoveUpButton->isEnabled());
    EXPECT_TRUE(form->MoveDownButton->isEnabled());
    form->MoveUpButton->click();
    EXPECT_EQ(order(), "23014");
    EXPECT_EQ(rowOrder(), "23014");
}

TEST_F(MainWindow, ControlStatesFollowEachEvent) {
    struct Step {
        const char* event;
        std::function<void()> run;
        const char* states;  // CreateEBook CreateButton Del Clear MoveUp MoveDown PictureDescEdit
    };
    const Step steps[] = {
        {"construction", [] {}, "0000000"},
        {"import of three", [this] { ImportSolid(3); }, "1101000"},
        {"selection of the middle row", [this] { PressRow(1); }, "1111111"},
        {"selection of the first row", [this] { PressRow(0); }, "1111011"},
        {"selection of the last row", [this] { PressRow(2); }, "1111101"},
        {"move up, not to the top", [this] { form->MoveUpButton->click(); }, "1111111"},
        {"move up to the top", [this] { form->MoveUpButton->click(); }, "1111011"},
        {"move down, not to the bottom", [this] { form->MoveDownButton->click(); }, "1111111"},
        {"move down to the bottom", [this] { form->MoveDownButton->click(); }, "1111101"},
        {"import keeps the rest", [this] { Import({dir / "p0.bmp"}); }, "1111101"},
        {"clear", [this] { form->ClearButton->click(); }, "0000000"},
        {"import after clear", [this] { ImportSolid(2); }, "1101000"},
        {"selection of the only rows",
         [this] {
             PressRow(0);
             PressRow(1, Qt::ShiftModifier);
         },
         "1111011"},
        {"delete that empties the list", [this] { form->DelButton->click(); }, "0000000"},
    };
    for (const Step& step : steps) {
        step.run();
        EXPECT_EQ(States(*form), step.states) << step.event;
    }
}

TEST_F(MainWindow, MousePressMakesTheTopmostSelectedRowCurrent) {
    const std::vector<std::string> paths = ImportSolid(4, 30, 20);
    PressRow(2);
    EXPECT_EQ(book().currentPage, 2);
    EXPECT_EQ(list().toolTip().toStdString(), paths[2]);
    EXPECT_EQ(book().pages[2].picWidth, 30);
    EXPECT_EQ(book().pages[2].picHeight, 20);

    PressRow(1, Qt::ControlModifier);  // rows 1 and 2: the topmost counts
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 2}));
    PressRow(2);  // a press on a selected row narrows the selection to it at once
    EXPECT_EQ(book().currentPage, 2);
    EXPECT_EQ(SelectedRows(), std::vector<int>{2});

    // Selecting with the keyboard moves the selection but not the current page.
    QTest::keyClick(list().viewport(), Qt::Key_Down);
    EXPECT_EQ(SelectedRows(), std::vector<int>{3});
    EXPECT_EQ(book().currentPage, 2);

    // A right-button press selects nothing; with no row selected there is no current page
    // and no button changes.
    form->ClearButton->click();
    ImportSolid(3);
    const std::string before = States(*form);
    PressRow(1, Qt::NoModifier, Qt::RightButton);
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_EQ(book().currentPage, -1);
    EXPECT_EQ(States(*form), before);
}

TEST_F(MainWindow, PageThatNoLongerLoadsStaysUnmeasured) {
    ImportSolid(3);
    WriteFile(dir / "p1.bmp", "this is no longer a picture");
    PressRow(0);
    PressRow(1);
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_FALSE(book().pages[1].measured);
    EXPECT_EQ(States(*form), "1111111");  // current all the same, the buttons by its place
    SolidPicture(dir, "p1.bmp", 5, 7, 0x00ff00);
    PressRow(0);
    PressRow(1);  // the next selection tries again
    EXPECT_TRUE(book().pages[1].measured);
    EXPECT_EQ(book().pages[1].picHeight, 7);
}

TEST_F(MainWindow, DescriptionGoesToThePageThatWasCurrent) {
    ImportSolid(3);
    PressRow(0);
    QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
    Type(form->PictureDescEdit, QStringLiteral("第一页"));
    PressRow(1);  // the field loses the focus before the press selects row 1
    EXPECT_EQ(book().pages[0].description, "第一页");
    EXPECT_EQ(book().pages[1].description, "");
    EXPECT_TRUE(form->PictureDescEdit->text().isEmpty());
    PressRow(0);
    EXPECT_EQ(form->PictureDescEdit->text(), QStringLiteral("第一页"));

    // The page follows a move; the field keeps writing into it.
    form->MoveDownButton->click();
    QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
    Type(form->PictureDescEdit, QString(120, QChar(u'页')));
    form->FileNameListBox->setFocus();
    std::string full = "第一页";  // the field takes 100 characters
    for (int i = 0; i < 97; ++i) full += "页";
    EXPECT_EQ(book().pages[1].description, full);
    EXPECT_EQ(book().pages[0].description, "");

    // A window that loses the activation (a message box, another program) is no exit.
    QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
    form->PictureDescEdit->setText("not stored");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(form->PictureDescEdit, &away);
    EXPECT_EQ(book().pages[1].description.substr(0, 9), "第一页");
}

TEST_F(MainWindow, ImportBeyondTheArchiveLimitTakesWhatFitsAndSaysSo) {
    std::vector<std::string> paths;
    for (int i = 0; i < kMaxPages + 3; ++i) paths.push_back(dir / ("page" + std::to_string(i) + ".bmp"));
    Import(paths);
    EXPECT_EQ(list().count(), kMaxPages);
    EXPECT_EQ(book().pageCount(), kMaxPages);
    EXPECT_EQ(Rows().back(), "page4089.bmp");
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:A book holds at most 4090 pages."});
}
