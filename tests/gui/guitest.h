// A main window with everything it asks of the desktop replaced: file dialogs answer from a
// queue, addresses are recorded instead of opened, messages are recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QTest>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "panelle/format.h"
#include "panelle/picture.h"
#include "panelleform.h"
#include "support/archives.h"
#include "testutil.h"
#include "text.h"

// A BMP of one colour (0xRRGGBB) written by the engine.
inline std::string SolidPicture(const TempDir& dir, const std::string& name, uint32_t w, uint32_t h,
                                uint32_t rgb) {
    Picture picture(w, h, 24, 0);
    const RGBQUAD colour{static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8),
                         static_cast<uint8_t>(rgb >> 16), 0};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) picture.SetPixelColor(x, y, colour);
    const std::string path = dir / name;
    EXPECT_TRUE(picture.Save(path.c_str(), ImageFormat::Bmp)) << picture.GetLastError();
    return path;
}

// Types a text into a widget one character at a time, as keys that carry the character
// (QTest::keyClicks takes only ASCII).
inline void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// desc.txt as the phone reads it: the byte-order mark, then lines of UTF-16LE ending in CR LF.
inline std::string DescLines(const std::vector<std::string>& lines) {
    std::string text = "\xFF\xFE";
    for (const std::string& line : lines) text += Utf8ToUtf16Le(line + "\r\n");
    return text;
}

class Window : public ::testing::Test {
   protected:
    void SetUp() override { OpenWindow(); }
    void TearDown() override { form.reset(); }

    // A new window over the settings file dir/panelle.INI, with the hooks replaced.
    void OpenWindow() {
        form.reset();
        form = std::make_unique<TPanelleForm>(dir / "panelle.INI");
        runDialog = form->hooks.runFileDialog;  // the window's own, which runs the dialog
        form->hooks.runFileDialog = [this](QFileDialog& dialog) {
            dialogsRun.push_back(&dialog);
            if (answers.empty()) return QStringList{};
            QStringList answer = answers.front();
            answers.pop_front();
            return answer;
        };
        form->hooks.openUrl = [this](const QUrl& url) { opened.push_back(url.toString().toStdString()); };
        form->hooks.messages = &messages;
        form->move(40, 30);
        form->show();
        ASSERT_TRUE(Activate(form.get()));
    }
    // Focus moves between a window's controls only while the window is active.
    static bool Activate(QWidget* window) {
        QApplication::setActiveWindow(window);
        return QTest::qWaitForWindowActive(window);
    }

    Book& book() { return form->book(); }
    QListWidget& list() { return *form->FileNameListBox; }

    // Imports pictures through the menu, the dialog answering with their paths.
    void Import(const std::vector<std::string>& paths) {
        QStringList files;
        for (const std::string& p : paths) files << QString::fromStdString(p);
        answers.push_back(files);
        form->InsertPic->trigger();
    }
    // n solid pictures p0.bmp ... of w x h, imported.
    std::vector<std::string> ImportSolid(int n, uint32_t w = 8, uint32_t h = 6) {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i) {
            const std::string number = std::to_string(i);  // "p" + to_string(i) trips gcc 12 -Wrestrict
            paths.push_back(SolidPicture(dir, "p" + number + ".bmp", w, h, 0x102030u * (i + 1)));
        }
        Import(paths);
        return paths;
    }
    void PressRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                  Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(list().viewport(), button, modifiers,
                          list().visualItemRect(list().item(row)).center());
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int i = 0; i < list().count(); ++i) rows.push_back(list().item(i)->text().toStdString());
        return rows;
    }
    std::vector<int> SelectedRows() {
        std::vector<int> rows;
        for (int i = 0; i < list().count(); ++i)
            if (list().item(i)->isSelected()) rows.push_back(i);
        return rows;
    }

    // Waits for a condition that events still on their way make true: the window system
    // answers in its own time. The bound only keeps a broken run from hanging.
    static bool Eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }
    static bool OnXcb() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

    TempDir dir;
    std::unique_ptr<TPanelleForm> form;
    std::function<QStringList(QFileDialog&)> runDialog;
    std::deque<QStringList> answers;
    std::vector<QFileDialog*> dialogsRun;
    std::vector<std::string> opened;
    Recorder messages;
};

// A window whose book copies stand-ins for the viewer's files from dir/files and stages
// the book in a folder of its own (TMPDIR) that the test can look into.
class TemplateWindow : public Window {
   protected:
    void SetUp() override {
        Window::SetUp();
        for (const char* name :
             {"a.class", "GameMidlet.class", "logo1.png", "icon.png", "desc.txt", "META-INF/MANIFEST.MF"})
            WriteFile(dir / ("files/" + std::string(name)), TemplateText(name));
        book().SetTemplateFolder(dir / "files");
        setenv("TMPDIR", staging.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        Window::TearDown();
    }
    // What the stand-in for a template file holds: its own name.
    virtual std::string TemplateText(const std::string& name) const { return name; }

    TempDir staging;
};
