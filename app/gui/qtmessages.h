// The builder's messages as modal message boxes over a window.
#pragma once

#include <QString>

#include "messages.h"

class QWidget;

// The program's title, shown on its message boxes and by the desktop for the program.
inline const QString kApplicationTitle = QStringLiteral("Kavoo网电子杂志");

class QtMessages : public Messages {
   public:
    explicit QtMessages(QWidget* owner) : owner_(owner) {}
    // The builder's own texts: a plain box captioned with the program's title.
    void Show(const std::string& text) override;
    // Engine failures: an error box with the given caption.
    void ShowError(const std::string& caption, const std::string& text) override;
    // An error that ended a step: the standard error box, captioned with the program's title.
    void ShowException(const std::string& text) override;

   private:
    QWidget* owner_;
};
