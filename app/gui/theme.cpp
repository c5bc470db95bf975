#include "theme.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

#include "desktop.h"

namespace {

// Window and groups in dark blue ("DeepBlue"); buttons, menus and the progress bar drawn
// like the Windows XP "Luna" controls: light gradients inside a dark-blue rounded border,
// an orange rim under the mouse.
constexpr const char* kStyleSheet = R"(
QMainWindow, QDialog, QMainWindow > QWidget#client { background: #16386e; }
QLabel { color: #ffffff; background: transparent; }
QGroupBox {
    color: #ffffff; background: #244a8c; border: 1px solid #7fa4e0; border-radius: 4px;
    margin-top: 7px;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
QListWidget, QLineEdit {
    color: #000000; background: #ffffff; border: 1px solid #7f9db9;
    selection-background-color: #316ac5; selection-color: #ffffff;
}
QLineEdit:disabled { background: #d8dfea; color: #6d6d6d; }
QListWidget:disabled { background: #d8dfea; }
QPushButton {
    color: #000000; border: 1px solid #003c74; border-radius: 3px; padding: 2px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.85 #ecebe6, stop:1 #d6d0c5);
}
QPushButton:hover { border: 1px solid #e59700; }
QPushButton:pressed {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #d1ccc1, stop:1 #f0f0ea);
}
QPushButton:disabled { color: #aca899; border-color: #c9c7ba; background: #f5f4ea; }
QPushButton[picture="true"] { padding: 0; border-radius: 2px; }
QLabel[link="true"] { color: #9fd0ff; }
QLabel[link="true"]:hover { color: #ff3c3c; }
QFrame#panel { background: #ece9d8; border: 2px inset #7f9db9; }
QFrame#panel QLabel { color: #000000; }
QFrame#panel QLabel[link="true"] { color: #0000ff; }
QFrame#panel QLabel[link="true"]:hover { color: #ff0000; }
QMenuBar { background: #ece9d8; color: #000000; }
QMenuBar::item { padding: 3px 8px; background: transparent; }
QMenuBar::item:selected { background: #316ac5; color: #ffffff; }
QMenu { background: #ffffff; color: #000000; border: 1px solid #8a867a; }
QMenu::item { padding: 3px 24px 3px 20px; }
QMenu::item:selected { background: #316ac5; color: #ffffff; }
QMenu::item:disabled { color: #aca899; }
QProgressBar {
    color: #000000; background: #ffffff; border: 1px solid #7f9db9; border-radius: 2px;
    text-align: center; font-size: 9px;
}
QProgressBar::chunk { background: #2fbd2f; width: 6px; margin: 1px; }
QToolTip { color: #000000; background: #ffffe1; border: 1px solid #000000; }
)";

}  // namespace

void ApplyTheme(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create("Fusion")) app.setStyle(fusion);
    // The controls sit at fixed pixel places, so the font has a fixed pixel size too; the
    // first family that holds Chinese wins, others fall back through fontconfig.
    QFont font;
    font.setFamilies(
        {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC", "Droid Sans Fallback", "sans-serif"});
    font.setPixelSize(12);
    app.setFont(font);
    app.setStyleSheet(kStyleSheet);
}

void StartApplication(QApplication& app) {
    QApplication::setApplicationName("panelle");
    LoadQtTranslations(app, kProgramLocale);
    SetProgramIcon(app);
    ApplyTheme(app);
}
