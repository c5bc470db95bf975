// A whole generation started from the window: the save dialog, the progress bar, the book
// name as the descriptors and desc.txt see it, and the archive a phone installs.
#include <zip.h>

#include <QGroupBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "descriptors.h"
#include "files.h"
#include "guitest.h"
#include "panelle/stream.h"
#include "text.h"

namespace {

// Records, with every progress report, what the progress bar showed at that moment.
class ProgressRecorder : public Recorder {
   public:
    explicit ProgressRecorder(const QProgressBar*& bar) : bar_(bar) {}
    void Progress(int done, int total) override {
        Recorder::Progress(done, total);
        bars.push_back((bar_->isVisible() ? "shown " : "hidden ") + std::to_string(bar_->value()) + " " +
                       bar_->text().toStdString());
    }
    void Show(const std::string& text) override {
        Recorder::Show(text);
        bars.push_back(std::string(bar_->isVisible() ? "shown" : "hidden") + " at " + text);
    }
    // Runs on the window's thread while the generation waits for it, before page `page`.
    void Converting(int page, int total, const std::string& path) override {
        Recorder::Converting(page, total, path);
        if (onConverting) onConverting(page);
    }
    std::vector<std::string> bars;
    std::function<void(int)> onConverting;

   private:
    const QProgressBar*& bar_;
};

class Generation : public TemplateWindow {
   protected:
    void SetUp() override {
        TemplateWindow::SetUp();
        UseTemplates();
    }
    // The builder only copies the templates; these stand in for the viewer's files.
    std::string TemplateText(const std::string& name) const override {
        static const std::map<std::string, std::string> texts = {
            {"a.class", "viewer class a"}, {"GameMidlet.class", "viewer class GameMidlet"},
            {"logo1.png", "logo"},         {"icon.png", "icon"},
            {"desc.txt", "template desc"}, {"META-INF/MANIFEST.MF", "template manifest\r\n"}};
        return texts.at(name);
    }
    // The window's book takes the templates above, its messages and bar are watched.
    void UseTemplates() {
        book().SetTemplateFolder(dir / "files");
        bar = form->suiProgressBar;
        form->hooks.messages = &progress;
    }
    void TearDown() override {
        EXPECT_TRUE(Entries(staging.path()).empty()) << "a staging folder was left behind";
        TemplateWindow::TearDown();
    }
    // Generates into dir/name through the menu item or the button.
    void Generate(const std::string& name, bool menu = false) {
        answers.push_back({QString::fromStdString(dir / name)});
        if (menu)
            form->CreateEBook->trigger();
        else
            QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    }

    const QProgressBar* bar = nullptr;
    ProgressRecorder progress{bar};
};

}  // namespace

TEST_F(Generation, ProducesAJarAPhoneAcceptsWhileTheBarCountsPages) {
    Import({SolidPicture(dir, "cover.bmp", 40, 30, 0xff0000), SolidPicture(dir, "two.bmp", 12, 50, 0x00ff00),
            SolidPicture(dir, "three.bmp", 9, 9, 0x0000ff)});
    PressRow(1);
    QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
    Type(form->PictureDescEdit, QStringLiteral("第二页"));
    QTest::mouseClick(form->BookNameEdit, Qt::LeftButton);
    Type(form->BookNameEdit, QStringLiteral("我的书"));
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, list().visualItemRect(list().item(1)).center());
    const QImage before = form->GroupBox2->grab(form->PaintBox1->geometry()).toImage();

    Generate("book");
    EXPECT_EQ(progress.log, std::vector<std::string>{"show:Complete!"});
    EXPECT_EQ(progress.bars, (std::vector<std::string>{"shown 33 1/3 cover.bmp", "shown 66 2/3 two.bmp",
                                                       "shown 100 3/3 three.bmp", "shown at Complete!"}));
    EXPECT_FALSE(form->suiProgressBar->isVisible());
    ASSERT_EQ(dialogsRun.back(), form->SaveDialog);

    const std::string jar = dir / "book.jar";
    EXPECT_EQ(ZipEntry(jar, "desc.txt"),
              DescLines({"bookname:我的书", "piccount:3", "author:Kavoo网", "0:", "1:第二页", "2:"}));
    EXPECT_EQ(ZipEntry(jar, "META-INF/MANIFEST.MF"), ManifestText("我的书"));
    EXPECT_EQ(ZipEntry(jar, "a.class"), "viewer class a");
    EXPECT_EQ(ReadText(dir / "book.jad"),
              JadText("我的书", static_cast<int64_t>(std::filesystem::file_size(jar)), "book.jar", 0));
    const std::string png = ZipEntry(jar, "1.png");
    Picture page;
    MemoryStream in(reinterpret_cast<uint8_t*>(const_cast<char*>(png.data())),
                    static_cast<int32_t>(png.size()));
    ASSERT_TRUE(page.Decode(&in, ImageFormat::Png)) << page.GetLastError();
    EXPECT_EQ(page.GetWidth(), 12u);
    EXPECT_EQ(page.GetHeight(), 50u);
    EXPECT_EQ(page.GetPixelColor(5, 5, false).rgbGreen, 0xff);

    if (std::system("command -v unzip >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("unzip -tq '" + jar + "' >/dev/null").c_str()), 0);
    }
    if (std::system("command -v java >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(
                      ("java " PANELLE_TEST_SOURCE "/app/JarCheck.java '" + jar + "' 3 >/dev/null").c_str()),
                  0);
    }

    // The preview still shows the page that was current, not the last one converted.
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_EQ(form->GroupBox2->grab(form->PaintBox1->geometry()).toImage(), before);
}

TEST_F(Generation, BookNameAsTypedReachesDescTxtAndDescriptorsAlike) {
    struct Row {
        bool leaveField;
        const char* descName;  // in desc.txt
        const char* jadName;   // in the manifest and the JAD
    };
    // Left or still focused (the menu's shortcut), the name as typed is the book's name.
    const Row rows[] = {{true, "新名", "新名"}, {false, "新名", "新名"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.leaveField ? "field left" : "field still focused");
        OpenWindow();
        UseTemplates();
        ImportSolid(1);
        QTest::mouseClick(form->BookNameEdit, Qt::LeftButton);
        Type(form->BookNameEdit, QStringLiteral("旧名"));
        form->FileNameListBox->setFocus(Qt::TabFocusReason);
        QTest::mouseClick(form->BookNameEdit, Qt::LeftButton);
        form->BookNameEdit->selectAll();
        Type(form->BookNameEdit, QStringLiteral("新名"));
        if (r.leaveField) {
            form->FileNameListBox->setFocus(Qt::TabFocusReason);
        } else {
            // Opening the menu takes the keyboard but is no exit from the field.
            QFocusEvent menu(QEvent::FocusOut, Qt::PopupFocusReason);
            QApplication::sendEvent(form->BookNameEdit, &menu);
        }
        Generate("named", true);
        const std::string jar = dir / "named.jar";
        const std::string firstLine = DescLines({std::string("bookname:") + r.descName});
        EXPECT_EQ(ZipEntry(jar, "desc.txt").substr(0, firstLine.size()), firstLine);
        EXPECT_EQ(ZipEntry(jar, "META-INF/MANIFEST.MF"), ManifestText(r.jadName));
        EXPECT_NE(ReadText(dir / "named.jad").find(std::string("MIDlet-Name: ") + r.jadName + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(Generation, CancelledDialogOrMissingTemplateLeavesTheBarHidden) {
    ImportSolid(2);
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);  // the dialog answers nothing
    EXPECT_TRUE(progress.log.empty());
    EXPECT_TRUE(Entries(dir.path()).size() == 4u);  // settings, files/, two pictures

    std::filesystem::remove(dir / "files/a.class");
    Generate("book");
    ASSERT_EQ(progress.log.size(), 1u);
    EXPECT_EQ(progress.log[0].rfind("exception:Cannot open file", 0), 0u) << progress.log[0];
    EXPECT_TRUE(progress.bars.empty());
    EXPECT_FALSE(form->suiProgressBar->isVisible());
    EXPECT_FALSE(FileExists(dir / "book.jar"));
}

namespace {

std::vector<std::string> SortedEntries(const std::string& folder) {
    std::vector<std::string> names = Entries(folder);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(Generation, CancelMidGenerationKeepsTheOldBookAndLeavesNothingBehind) {
    ImportSolid(4);
    WriteFile(dir / "book.jar", "previous book");
    WriteFile(dir / "book.jad", "previous jad");
    const std::vector<std::string> before = SortedEntries(dir.path());
    bool cancelShown = false, cancelOffAfterClick = false;
    std::string barText;
    progress.onConverting = [&](int page) {
        if (page != 2) return;
        cancelShown = form->CancelButton->isVisible() && form->CancelButton->isEnabled();
        barText = form->suiProgressBar->text().toStdString();
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        cancelOffAfterClick = !form->CancelButton->isEnabled();
    };
    Generate("book");
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(barText, "2/4 p1.bmp");
    EXPECT_TRUE(cancelOffAfterClick);
    // Page 2 was in hand when Cancel came; no page after it was taken up.
    EXPECT_EQ(progress.converting, (std::vector<std::string>{"1/4 p0.bmp", "2/4 p1.bmp"}));
    EXPECT_EQ(progress.log,
              (std::vector<std::string>{"show:Uncomplete!",
                                        "show:the generation was cancelled: nothing of the new book "
                                        "was written; " +
                                            (dir / "book.jar") + " is as it was"}));
    EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
    EXPECT_EQ(ReadText(dir / "book.jad"), "previous jad");
    EXPECT_EQ(SortedEntries(dir.path()), before) << "something of the new book was left beside it";
    EXPECT_FALSE(form->CancelButton->isVisible());
    EXPECT_FALSE(form->suiProgressBar->isVisible());
    EXPECT_TRUE(form->CreateButton->isEnabled());

    // The next generation, not cancelled, replaces the old pair.
    progress.onConverting = nullptr;
    Generate("book");
    EXPECT_EQ(progress.log.back(), "show:Complete!");
    EXPECT_EQ(ZipEntry(dir / "book.jar", "3.png").substr(1, 3), "PNG");
}

TEST_F(Generation, WhileItRunsTheWindowTakesInputButNothingChangesTheBook) {
    ImportSolid(3);
    PressRow(1);  // a middle page: delete and both moves are on
    const auto states = [&] {
        std::vector<bool> on;
        for (QWidget* w :
             std::initializer_list<QWidget*>{form->CreateButton, form->DelButton, form->ClearButton,
                                             form->MoveUpButton, form->MoveDownButton, form->suiImageButton1})
            on.push_back(w->isEnabled());
        on.push_back(form->CreateEBook->isEnabled());
        on.push_back(form->InsertPic->isEnabled());
        return on;
    };
    const std::vector<bool> idle = states();
    ASSERT_EQ(idle, std::vector<bool>(8, true));
    form->Timer1->setInterval(5);  // the preview's timer, quicker for the test
    std::vector<bool> during, afterRowPress;
    bool ticked = false;
    progress.onConverting = [&](int page) {
        if (page != 2) return;
        during = states();
        QSignalSpy ticks(form->Timer1, &QTimer::timeout);
        ticked = ticks.wait(10000);
        // Another page becomes current and gets a description; the book's buttons stay off.
        PressRow(2);
        afterRowPress = states();
        QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
        Type(form->PictureDescEdit, QStringLiteral("新的"));
        QTest::mouseClick(form->DelButton, Qt::LeftButton);
        form->DelButtonClick();  // as a shortcut would: refused while generating
    };
    Generate("book");
    EXPECT_EQ(during, std::vector<bool>(8, false));
    EXPECT_EQ(afterRowPress, std::vector<bool>(8, false));
    EXPECT_TRUE(ticked);
    EXPECT_EQ(progress.log, std::vector<std::string>{"show:Complete!"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"p0.bmp", "p1.bmp", "p2.bmp"}));
    // Restored by the list's rules: the last row, selected meanwhile, cannot move down.
    EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, false, true, true, true}));
    // The book was made as it stood at the click; the description typed meanwhile is the
    // window's for the next book.
    EXPECT_EQ(book().currentPage, 2);
    EXPECT_EQ(book().pages[2].description, "新的");
    EXPECT_EQ(ZipEntry(dir / "book.jar", "desc.txt"),
              DescLines({"bookname:", "piccount:3", "author:Kavoo网", "0:", "1:", "2:"}));
    for (const Description_T& page : book().pages) EXPECT_TRUE(page.measured) << page.path;
}

TEST_F(Generation, ClosingTheWindowDuringAGenerationStopsItFirst) {
    ImportSolid(3);
    WriteFile(dir / "book.jar", "previous book");
    bool stillShown = false;
    progress.onConverting = [&](int page) {
        if (page != 1) return;
        form->close();
        stillShown = form->isVisible();
    };
    Generate("book");
    EXPECT_TRUE(stillShown);  // the window waits for the generation to stop
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(progress.converting, std::vector<std::string>{"1/3 p0.bmp"});
    EXPECT_EQ(progress.log, std::vector<std::string>{"show:Uncomplete!"});
    EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
    EXPECT_FALSE(FileExists(dir / "book.jad"));
}

TEST_F(Generation, StatusLineListsTheArchivesAndOneNoticeNamesPagesTooLargeForTheHeap) {
    Import({SolidPicture(dir, "big.bmp", 300, 200, 0xff0000),
            SolidPicture(dir, "small.bmp", 20, 10, 0x00ff00),
            SolidPicture(dir, "wide.bmp", 400, 130, 0x0000ff)});
    book().budget.heap = 200;  // 204800 bytes: 300 x 200 and 400 x 130 pixels take more
    Generate("book");
    const std::string heap =
        "2 pages decode larger than the heap of 200 KB: page 1 (300x200, 235 KB), page 3 (400x130, 204 KB)";
    ASSERT_EQ(progress.log, (std::vector<std::string>{"show:Complete!", "show:" + heap}));
    const std::string size = std::to_string(std::filesystem::file_size(dir / "book.jar"));
    EXPECT_TRUE(form->StatusLabel->isVisible());
    EXPECT_EQ(form->StatusLabel->text().toStdString(),
              "book.jar: 3 pages, " + size + " bytes, largest page 300x200");
    EXPECT_GE(form->StatusLabel->y(), form->GroupBox1->geometry().bottom());
    EXPECT_LE(form->StatusLabel->geometry().bottom(), form->client->height());

    // a book cut into volumes has a line for each; a failed one clears the line
    book().budget = {0, 16};
    progress.log.clear();
    Import({SolidPicture(dir, "more.bmp", 60, 60, 0x123456)});
    book().pages.back().measured = false;
    std::vector<std::string> noisy;
    for (int i = 0; i < 3; ++i) {
        Picture p(90, 90, 24, 0);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 90; ++x)
                p.SetPixelColor(
                    x, y, RGBQUAD{uint8_t(x * 37 ^ y * 11 ^ i), uint8_t(x * y), uint8_t(y * 91 + i), 0});
        noisy.push_back(dir / ("noisy" + std::to_string(i) + ".bmp"));
        ASSERT_TRUE(p.Save(noisy.back().c_str(), ImageFormat::Bmp));
    }
    Import(noisy);
    Generate("vol");
    ASSERT_EQ(progress.log, std::vector<std::string>{"show:Complete!"});
    ASSERT_GE(book().outcome.size(), 2u);
    const QString status = form->StatusLabel->toolTip();
    EXPECT_EQ(status.count('\n') + 1, static_cast<qsizetype>(book().outcome.size()));
    EXPECT_TRUE(status.startsWith(QStringLiteral("vol-1.jar: "))) << status.toStdString();
    EXPECT_TRUE(std::filesystem::exists(dir / "vol-2.jad"));

    book().budget = {0, 1};  // the first page alone takes more than 1 KB
    progress.log.clear();
    Generate("none");
    ASSERT_EQ(progress.log.size(), 2u);
    EXPECT_EQ(progress.log[0], "show:Uncomplete!");
    EXPECT_EQ(progress.log[1].rfind("show:page 1 (big.bmp) alone makes an archive of ", 0), 0u)
        << progress.log[1];
    EXPECT_EQ(form->StatusLabel->text(), QString());
    EXPECT_FALSE(std::filesystem::exists(dir / "none.jar"));
}
