// panelle: the desktop program that makes comic books for phones.
#include <QApplication>
#include <QByteArray>
#include <QList>
#include <cstdio>
#include <cstdlib>

#include "desktop.h"
#include "panelleform.h"
#include "settings.h"
#include "theme.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// While the application object connects to the display, Qt's own messages wait here: when
// no display can be opened, Qt ends the program with a fatal message that offers to
// reinstall it; we say instead in one line what went wrong and stop with status 1.
QList<QByteArray> heldMessages;
QtMessageHandler qtHandler = nullptr;

void HoldDuringStart(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        heldMessages << text.toLocal8Bit();
        return;
    }
    (void)context;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "panelle: no display could be opened (DISPLAY=%s, WAYLAND_DISPLAY=%s).\n",
                 display ? display : "", wayland ? wayland : "");
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    // Without a display Qt would stop with a terse message of its own; say what to do instead.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "panelle: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                     "Start it from a desktop session, or over ssh -X; QT_QPA_PLATFORM=offscreen runs it\n"
                     "without showing anything. panelle-cli build makes a book without a window.\n");
        return 1;
    }
    qtHandler = qInstallMessageHandler(HoldDuringStart);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    for (const QByteArray& held : heldMessages) std::fprintf(stderr, "%s\n", held.constData());
    heldMessages.clear();
    StartApplication(app);
    TPanelleForm PanelleForm(SettingsPath());
    PanelleForm.show();
    NoticeMissingCjkFont(*PanelleForm.hooks.messages);
    return QApplication::exec();
}
