// panelle: the desktop program that makes comic books for phones.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "panelleform.h"
#include "qtmessages.h"
#include "settings.h"
#include "theme.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
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
    QApplication app(argc, argv);
    QApplication::setApplicationName("panelle");
    QApplication::setApplicationDisplayName(kApplicationTitle);
    ApplyTheme(app);
    TPanelleForm PanelleForm(SettingsPath());
    PanelleForm.show();
    return QApplication::exec();
}
