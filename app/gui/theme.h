// The look of the builder's windows: a dark-blue window theme with light, Windows-XP-like
// buttons and menus, and a font that holds the Chinese captions at the size the fixed
// control layout was made for.
#pragma once

#include <QColor>

class QApplication;

// The background of the group boxes, which the preview box shows around its picture.
inline const QColor kGroupBackground{0x24, 0x4a, 0x8c};

// Sets the application's style, style sheet and font.
void ApplyTheme(QApplication& app);

// What every run of the program sets up once the application exists: its name, Qt's
// translations for the program's language, its icon and its theme.
// The program's title is the caption of its boxes, not Qt's display name, which Qt would
// append to every window title.
void StartApplication(QApplication& app);
