// Focus, activation, stacking, placing and titles of the windows, with real input: keys
// through Qt's event queue, mouse clicks too on the offscreen platform and, under a real X
// server (xcb), through xdotool, whose clicks go through the server and the window manager
// as a user's would.
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "aboutboxes.h"
#include "guitest.h"
#include "qtmessages.h"
#include "settingform.h"
#include "text.h"

namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// The client windows from the bottom of the stack to its top, as the window manager keeps them.
std::vector<unsigned long> Stacking() {
    const std::string line = Output("xprop -root -notype _NET_CLIENT_LIST_STACKING");
    std::vector<unsigned long> ids;
    const size_t hash = line.find('#');
    if (hash == std::string::npos) return ids;
    std::string rest = line.substr(hash + 1);
    for (char& c : rest)
        if (c == ',') c = ' ';
    std::istringstream in(rest);
    std::string id;
    while (in >> id) ids.push_back(std::stoul(id, nullptr, 16));
    return ids;
}

// True when window a is stacked above window b.
bool Above(const QWidget* a, const QWidget* b) {
    const std::vector<unsigned long> ids = Stacking();
    const auto find = [&ids](const QWidget* w) {
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == static_cast<unsigned long>(w->winId())) return static_cast<int>(i);
        return -1;
    };
    const int ia = find(a), ib = find(b);
    return ia >= 0 && ib >= 0 && ia > ib;
}

}  // namespace

class Focus : public TemplateWindow {
   protected:
    void SetUp() override {
        TemplateWindow::SetUp();
        for (QFileDialog* dialog : {form->OpenPictureDialog1, form->SaveDialog})
            dialog->setOption(QFileDialog::DontUseNativeDialog);
    }

    // A left click at the widget's centre (or at local): through the X server under xcb.
    void ClickOn(QWidget* w, QPoint local = {}) {
        if (local.isNull()) local = w->rect().center();
        if (!OnXcb()) {
            QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, local);
            return;
        }
        const QPoint at = w->mapToGlobal(local);
        Output("xdotool mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
               " click 1");
        QTest::qWait(0);
    }
    void ClickRow(int row) { ClickOn(list().viewport(), list().visualItemRect(list().item(row)).center()); }
    // Types ASCII text into the widget that has the keyboard, waiting until field shows it
    // (or, for a file name field that takes the folders of a path, its last part).
    void TypeInto(QLineEdit* field, const std::string& text, bool whole = true) {
        const QString typed = QString::fromStdString(text);
        const QString want = whole ? field->text() + typed : typed.section('/', -1);
        QTest::keyClicks(field, typed);
        EXPECT_TRUE(Eventually([&] { return whole ? field->text() == want : field->text().endsWith(want); }))
            << field->text().toStdString();
    }
    void PressKey(QWidget* w, Qt::Key key) { QTest::keyClick(w, key); }
};

TEST_F(Focus, ClickOnAButtonTakesTheFocusFromTheField) {
    ImportSolid(5);
    PressRow(2);  // every button below stays enabled after its click
    struct Row {
        QLineEdit* TPanelleForm::*field;
        QPushButton* TPanelleForm::*button;
    };
    const Row rows[] = {{&TPanelleForm::BookNameEdit, &TPanelleForm::MoveUpButton},
                        {&TPanelleForm::PictureDescEdit, &TPanelleForm::MoveDownButton},
                        {&TPanelleForm::BookNameEdit, &TPanelleForm::DelButton}};
    for (const Row& r : rows) {
        QLineEdit* field = form.get()->*r.field;
        QPushButton* button = form.get()->*r.button;
        SCOPED_TRACE(button->text().toStdString());
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_EQ(QApplication::focusWidget(), field);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(QApplication::focusWidget(), button);
    }
}

TEST_F(Focus, WhatIsTypedAndThenGeneratedWithAClickIsWritten) {
    ImportSolid(2);
    PressRow(0);
    QTest::mouseClick(form->BookNameEdit, Qt::LeftButton);
    Type(form->BookNameEdit, QStringLiteral("书名"));
    QTest::mouseClick(form->PictureDescEdit, Qt::LeftButton);
    Type(form->PictureDescEdit, QStringLiteral("第一页"));
    answers.push_back({QString::fromStdString(dir / "book")});
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);  // straight from the field
    ASSERT_EQ(messages.log.back(), "show:Complete!");
    std::string want = "\xFF\xFE";
    for (const char* line : {"bookname:书名", "piccount:2", "author:Kavoo网", "0:第一页", "1:"})
        want += Utf8ToUtf16Le(std::string(line) + "\r\n");
    EXPECT_EQ(ZipEntry(dir / "book.jar", "desc.txt"), want);
}

TEST_F(Focus, AfterTheImportDialogTheFieldsGetTheirFocusEvents) {
    const std::string picture = SolidPicture(dir, "page0.bmp", 8, 8, 0x336699);
    SolidPicture(dir, "page1.bmp", 8, 8, 0x996633);  // the completer has two names to offer
    form->hooks.runFileDialog = runDialog;
    QFileDialog* dialog = form->OpenPictureDialog1;
    dialog->setDirectory(QString::fromStdString(dir.path()));
    bool typed = false, popupOpen = false;
    QTimer::singleShot(0, dialog, [&] {
        // Whatever fails below, the dialog goes, so that the test ends.
        struct Closer {
            QFileDialog* d;
            ~Closer() {
                if (d->isVisible()) d->reject();
            }
        } closer{dialog};
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setFocus();
        TypeInto(name, FileNamePart(picture));
        // The dialog takes the name once it has read the folder; Return comes while the
        // completer's popup is open, as a quick typist presses it.
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
        ASSERT_NE(buttons, nullptr);
        ASSERT_TRUE(Eventually([&] { return buttons->button(QDialogButtonBox::Open)->isEnabled(); }));
        Eventually([] { return QApplication::activePopupWidget() != nullptr; });
        popupOpen = QApplication::activePopupWidget() != nullptr;
        PressKey(name, Qt::Key_Return);
        typed = true;
    });
    form->InsertPic->trigger();
    ASSERT_TRUE(typed);
    RecordProperty("completer_popup_open_at_return", popupOpen ? "yes" : "no");
    ASSERT_EQ(Rows(), std::vector<std::string>{"page0.bmp"});
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(Eventually([this] { return QApplication::activeWindow() == form.get(); }));

    ClickRow(0);
    ASSERT_TRUE(Eventually([this] { return book().currentPage == 0; }));
    ClickOn(form->PictureDescEdit);
    EXPECT_TRUE(Eventually([this] { return QApplication::focusWidget() == form->PictureDescEdit; }));
    TypeInto(form->PictureDescEdit, "cover");
    ClickOn(form->BookNameEdit);
    EXPECT_TRUE(Eventually([this] { return QApplication::focusWidget() == form->BookNameEdit; }));
    TypeInto(form->BookNameEdit, "My book");
    PressKey(form->BookNameEdit, Qt::Key_Tab);
    EXPECT_TRUE(Eventually([this] { return QApplication::focusWidget() != form->BookNameEdit; }));
    EXPECT_EQ(book().pages[0].description, "cover");
    EXPECT_EQ(book().bookName, "My book");
}

TEST_F(Focus, BoxesComeUpAboveTheStayOnTopWindowThatRaisedThem) {
    QtMessages boxes(form.get());
    form->hooks.messages = &boxes;

    // The settings dialog's invalid-integer box belongs to the dialog.
    form->SetClick();
    TSettingForm* settings = form->settingForm();
    ASSERT_TRUE(Activate(settings));
    settings->WidthEdit->setText("99999999999");
    QWidget* boxParent = nullptr;
    bool boxOnTop = false, boxAbove = false;
    QTimer::singleShot(0, settings, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        boxParent = box->parentWidget();
        boxOnTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
        boxAbove = !OnXcb() || Eventually([&] { return Above(box, settings); });
        static_cast<QMessageBox*>(box)->accept();
    });
    QTest::mouseClick(settings->EnterButton, Qt::LeftButton);
    EXPECT_EQ(boxParent, settings);
    EXPECT_TRUE(boxOnTop);
    EXPECT_TRUE(boxAbove);
    EXPECT_TRUE(Eventually([&] { return QApplication::activeWindow() == settings; }));
    settings->hide();
    EXPECT_TRUE(Eventually([this] { return QApplication::activeWindow() == form.get(); }));

    // With the portal's box open, the save dialog still opens above it.
    form->AboutKavooClick();
    TAboutKavooForm* kavoo = form->aboutKavooForm();
    ImportSolid(1);
    form->hooks.runFileDialog = runDialog;
    ASSERT_TRUE(Activate(form.get()));
    bool dialogOnTop = false, dialogAbove = false;
    QWidget* dialog = nullptr;
    QTimer::singleShot(0, form.get(), [&] {
        dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialogOnTop = dialog->windowFlags() & Qt::WindowStaysOnTopHint;
        dialogAbove = !OnXcb() || Eventually([&] { return Above(dialog, kavoo); });
        static_cast<QDialog*>(dialog)->reject();
    });
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    EXPECT_EQ(dialog, form->SaveDialog);
    EXPECT_TRUE(dialogOnTop);
    EXPECT_TRUE(dialogAbove);
    EXPECT_TRUE(Eventually([this] { return QApplication::activeWindow() == form.get(); }));

    // Once no window of ours stays on top, neither do the boxes.
    QTest::mouseClick(kavoo->OKButton, Qt::LeftButton);
    EXPECT_TRUE(Eventually([this] { return QApplication::activeWindow() == form.get(); }));
    QTimer::singleShot(0, form.get(), [&] {
        dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialogOnTop = dialog->windowFlags() & Qt::WindowStaysOnTopHint;
        static_cast<QDialog*>(dialog)->reject();
    });
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    EXPECT_FALSE(dialogOnTop);
}

TEST_F(Focus, ReopenedBoxPutsItsFrameBackAfterAMove) {
    const auto framed = [](QWidget* w) {
        // Under a window manager the frame is known once it is not the client area any more.
        return !OnXcb() || w->frameGeometry() != w->geometry();
    };
    ASSERT_TRUE(Eventually([&] { return framed(form.get()); }));
    form->AboutKavooClick();
    TAboutKavooForm* box = form->aboutKavooForm();
    ASSERT_TRUE(Eventually([&] { return box->isVisible() && framed(box); }));
    const QPoint first = form->frameGeometry().topLeft() + QPoint(120, 120);
    EXPECT_TRUE(Eventually([&] { return box->frameGeometry().topLeft() == first; }))
        << box->frameGeometry().x() << "," << box->frameGeometry().y();

    box->move(300, 260);  // the user drags it away, then closes it
    ASSERT_TRUE(Eventually([&] { return box->frameGeometry().topLeft() == QPoint(300, 260); }));
    QTest::mouseClick(box->OKButton, Qt::LeftButton);
    EXPECT_TRUE(Eventually([this] { return QApplication::activeWindow() == form.get(); }));
    form->move(90, 70);
    ASSERT_TRUE(Eventually([this] { return form->frameGeometry().topLeft() == QPoint(90, 70); }));

    form->AboutKavooClick();
    const QPoint again(210, 190);
    EXPECT_TRUE(Eventually([&] { return box->isVisible() && box->frameGeometry().topLeft() == again; }))
        << box->frameGeometry().x() << "," << box->frameGeometry().y();
}

TEST_F(Focus, WindowTitlesAreTheCaptionsAlone) {
    if (!OnXcb()) GTEST_SKIP() << "the window system's titles exist under a real X server only";
    const auto shownTitle = [](const QWidget* w) {
        return Output("xdotool getwindowname " + std::to_string(w->winId()));
    };
    EXPECT_TRUE(Eventually([&] { return shownTitle(form.get()) == "Kavoo网 - 漫画书制作工具"; }))
        << shownTitle(form.get());
    form->AboutTRClick();
    EXPECT_TRUE(Eventually([&] { return shownTitle(form->aboutTRForm()) == "关于上海Tovren"; }))
        << shownTitle(form->aboutTRForm());

    QtMessages boxes(form.get());
    std::string boxTitle;
    QTimer::singleShot(0, form.get(), [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        Eventually([&] { return shownTitle(box) == "Error"; });
        boxTitle = shownTitle(box);
        static_cast<QMessageBox*>(box)->accept();
    });
    boxes.ShowError("Error", "Error reading BMP info");
    EXPECT_EQ(boxTitle, "Error");
}
