// The window on the desktop: Qt's standard buttons in Chinese, the program's icon, the word
// about a missing Chinese font, and pictures, folders and comic archives dropped onto the
// window or chosen in the picture dialog.
#include "desktop.h"

#include <zip.h>

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <cstring>

#include "comicarchive.h"
#include "guitest.h"
#include "panelle/stream.h"
#include "settingform.h"

namespace {

// Sends a drag carrying data over target and drops it there, as the window system does.
// True when the target took the drop.
bool Drop(QWidget* target, const QMimeData& data) {
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool DropFiles(QWidget* target, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    data.setUrls(urls);
    return Drop(target, data);
}

}  // namespace

TEST(Desktop, StandardButtonsReadInChinese) {
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Save | QDialogButtonBox::Cancel |
                         QDialogButtonBox::Ok);
    EXPECT_EQ(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("打开"));
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text(), QStringLiteral("保存"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    EXPECT_EQ(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    QMessageBox message(QMessageBox::NoIcon, "t", "x", QMessageBox::Ok);
    EXPECT_EQ(message.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

TEST(Desktop, TranslationsMissingFromAFolderAreReported) {
    TempDir empty;
    EXPECT_FALSE(LoadQtTranslations(*qApp, kProgramLocale, QString::fromStdString(empty.path())));
    // what was loaded at start stays
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

TEST(Desktop, EveryWindowHasTheProgramIconAtEverySize) {
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    // drawn from the logo, not a blank square
    const QImage small = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_NE(small.pixel(8, 8), small.pixel(0, 0));

    TempDir dir;
    TPanelleForm form(dir / "panelle.INI");
    form.SetClick();
    for (const QWidget* window :
         std::vector<const QWidget*>{&form, form.settingForm(), form.OpenPictureDialog1})
        EXPECT_EQ(window->windowIcon().cacheKey(), icon.cacheKey()) << window->objectName().toStdString();
}

TEST(Desktop, MissingChineseFontIsNoticedOnceNamingThePackages) {
    Recorder messages;
    std::vector<QString> asked;
    EXPECT_FALSE(NoticeMissingCjkFont(messages, [&](const QString& text) {
        asked.push_back(text);
        return false;
    }));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("图片文件列表")));
    ASSERT_EQ(messages.log.size(), 1u);
    const std::string& text = messages.log[0];
    for (const char* part : {"show:No installed font can show Chinese text", "fonts-wqy-microhei",
                             "fonts-noto-cjk", "没有安装能显示中文的字体"})
        EXPECT_NE(text.find(part), std::string::npos) << part;

    Recorder quiet;
    EXPECT_TRUE(NoticeMissingCjkFont(quiet, [](const QString&) { return true; }));
    EXPECT_TRUE(quiet.log.empty());
}

TEST(Desktop, InstalledFontCheckLooksAtEveryCharacter) {
    // this machine has the Chinese font the program asks for
    EXPECT_TRUE(InstalledFontCovers(CaptionSample()));
    EXPECT_TRUE(InstalledFontCovers(QStringLiteral("abc")));
    // a character from the private use plane is in no font
    EXPECT_FALSE(InstalledFontCovers(QStringLiteral("图片") + QString::fromUcs4(U"\U0010FFFD")));
}

using Drops = Window;

TEST_F(Drops, FilesDroppedOnTheListImportInTheOrderGiven) {
    const std::string c = SolidPicture(dir, "c.bmp", 4, 4, 0x111111);
    const std::string a = SolidPicture(dir, "a.bmp", 4, 4, 0x222222);
    const std::string b = SolidPicture(dir, "b10.bmp", 4, 4, 0x333333);
    EXPECT_EQ(form->CreateButton->isEnabled(), false);
    EXPECT_TRUE(DropFiles(list().viewport(), {c, a, b}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"c.bmp", "a.bmp", "b10.bmp"}));
    EXPECT_EQ(book().pages[1].path, a);
    EXPECT_FALSE(book().pages[1].measured);  // only the path is recorded
    EXPECT_TRUE(form->CreateButton->isEnabled());
    EXPECT_TRUE(form->CreateEBook->isEnabled());
    EXPECT_TRUE(form->ClearButton->isEnabled());
    EXPECT_FALSE(form->DelButton->isEnabled());
    // a second drop appends after the pages there
    EXPECT_TRUE(DropFiles(form.get(), {a}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"c.bmp", "a.bmp", "b10.bmp", "a.bmp"}));
    EXPECT_TRUE(messages.log.empty());
}

TEST_F(Drops, FolderDroppedOnTheWindowImportsItsPicturesInNaturalOrder) {
    for (const char* name : {"page10.bmp", "page2.bmp", "Page1.bmp", "notes.txt", ".hidden.bmp"})
        WriteFile(dir / ("comic/" + std::string(name)), std::string("x"));
    EXPECT_TRUE(DropFiles(form.get(), {dir / "comic"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Page1.bmp", "page2.bmp", "page10.bmp"}));
    EXPECT_TRUE(messages.log.empty());
}

TEST_F(Drops, ArchiveDroppedShowsItsPagesAndTheyLoadFromIt) {
    const std::string picture = ReadText(SolidPicture(dir, "solid.bmp", 6, 4, 0x00ff00));
    const std::string cbz =
        MakeZip(dir / "archive.cbz", {{"010.bmp", picture}, {"001.bmp", picture}, {"info.txt", "x"}});
    EXPECT_TRUE(DropFiles(list().viewport(), {cbz}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"archive.cbz: 001.bmp", "archive.cbz: 010.bmp"}));
    PressRow(1);
    EXPECT_TRUE(book().currentError.empty()) << book().currentError;
    EXPECT_EQ(book().pages[1].picWidth, 6);
    EXPECT_EQ(book().pages[1].picHeight, 4);
}

TEST_F(Drops, HostileArchiveGivesOneNoticeAndNoPage) {
    std::vector<std::pair<std::string, std::string>> entries{{"001.bmp", "x"}, {"../escape.bmp", "x"}};
    const std::string cbz = MakeZip(dir / "hostile.cbz", entries);
    EXPECT_TRUE(DropFiles(form.get(), {cbz}));
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(form->CreateButton->isEnabled());
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Not imported (未导入):\n" + cbz +
                                                     ": entry ../escape.bmp has a path outside the archive"});
}

TEST_F(Drops, DragsWithoutFilesAreRefused) {
    QMimeData text;
    text.setText("page1.bmp");
    EXPECT_FALSE(Drop(form.get(), text));
    EXPECT_FALSE(Drop(list().viewport(), text));
    QMimeData remote;
    remote.setUrls({QUrl("http://www.example.com/page1.bmp")});
    EXPECT_FALSE(Drop(form.get(), remote));
    EXPECT_TRUE(Rows().empty());
}

TEST_F(Drops, FolderChosenInThePictureDialogImportsItsPictures) {
    for (const char* name : {"b2.png", "b10.png", "a.jpg"})
        WriteFile(dir / ("pics/" + std::string(name)), std::string("x"));
    const std::string single = SolidPicture(dir, "single.bmp", 3, 3, 0);
    Import({single, dir / "pics"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"single.bmp", "a.jpg", "b2.png", "b10.png"}));
    ASSERT_EQ(dialogsRun.size(), 1u);
    EXPECT_EQ(dialogsRun[0], form->OpenPictureDialog1);
}

TEST_F(Drops, PictureDialogAcceptsAFolder) {
    WriteFile(dir / "pics/1.png", std::string("x"));
    QFileDialog& dialog = *form->OpenPictureDialog1;
    dialog.setDirectory(QString::fromStdString(dir.path()));
    dialog.selectFile(QString::fromStdString(dir / "pics"));
    ASSERT_EQ(dialog.selectedFiles(), QStringList{QString::fromStdString(dir / "pics")});
    QMetaObject::invokeMethod(&dialog, "accept");  // the Open button
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // rather than opening the folder to look inside
    EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(dir.path()));
    EXPECT_EQ(dialog.selectedFiles(), QStringList{QString::fromStdString(dir / "pics")});
}

using ArchiveGeneration = TemplateWindow;

TEST_F(ArchiveGeneration, PagesOfAnArchiveGoIntoTheBook) {
    const std::string picture = ReadText(SolidPicture(dir, "solid.bmp", 7, 5, 0x0000ff));
    const std::string cbz = MakeZip(dir / "book.cbz", {{"2.bmp", picture}, {"1.bmp", picture}});
    EXPECT_TRUE(DropFiles(form.get(), {cbz}));
    answers.push_back({QString::fromStdString(dir / "out")});
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Complete!"});
    for (const char* name : {"0.png", "1.png"}) {
        const std::string png = ZipEntry(dir / "out.jar", name);
        Picture page;
        MemoryStream in(reinterpret_cast<uint8_t*>(const_cast<char*>(png.data())),
                        static_cast<int32_t>(png.size()));
        ASSERT_TRUE(page.Decode(&in, ImageFormat::Png)) << name << ": " << page.GetLastError();
        EXPECT_EQ(page.GetWidth(), 7u);
        EXPECT_EQ(page.GetPixelColor(3, 3, false).rgbBlue, 0xff);
    }
    // the archive is read, never extracted
    EXPECT_TRUE(Entries(staging.path()).empty());
}
