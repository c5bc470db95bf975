// What makes the program fit the desktop it runs on: Qt's own texts (the standard buttons
// and dialogs) in the program's language, the program's icon on every window, and a word
// at start when no installed font can show the Chinese captions.
#pragma once

#include <QLocale>
#include <QString>
#include <functional>

class QApplication;
class Messages;

// The program's own texts are Chinese, and so is the language it runs in.
inline const QLocale kProgramLocale{QLocale::Chinese, QLocale::China};

// Makes locale the default and installs Qt's translations for it (qtbase_<locale>.qm from
// Qt's translations folder, or from folder when one is given). False when none was found;
// the standard buttons then stay in English.
bool LoadQtTranslations(QApplication& app, const QLocale& locale, const QString& folder = {});

// Sets the program's icon, drawn at 16 to 256 pixels, on the application, so that every
// window has it.
void SetProgramIcon(QApplication& app);

// Whether some installed font holds every character of text.
bool InstalledFontCovers(const QString& text);

// The text shown when no installed font holds the captions, in English and Chinese.
QString MissingCjkFontText();

// Captions of the main window whose characters every Chinese font must hold.
QString CaptionSample();

// Looks once whether a font covers the captions (covers defaults to InstalledFontCovers) and
// when none does, says so through messages. True when a font covers them.
bool NoticeMissingCjkFont(Messages& messages,
                          const std::function<bool(const QString&)>& covers = InstalledFontCovers);
