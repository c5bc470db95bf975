// The four information boxes of the help menu: a bordered panel of text and an "OK" button
// that hides the box. Each is created once and reused.
#pragma once

#include <QDialog>

#include "controls.h"

class QFrame;
class QLabel;
class QPushButton;

// What the four boxes share: a fixed client size, the panel and the default button.
class TInfoBox : public QDialog {
   public:
    QFrame* Panel1;
    QPushButton* OKButton;
    void OKButtonClick() { hide(); }

   protected:
    TInfoBox(const QString& caption, QSize client, QWidget* owner, Qt::WindowFlags flags);
    // A text in the panel at (x, y), wrapped to width when width is given.
    QLabel* AddText(const QString& text, int x, int y, int width = 0, bool heading = false);
};

// "关于Sanlum": the developing company, with a link to its site.
class TAboutBox : public TInfoBox {
   public:
    TAboutBox(QWidget* owner, const UrlOpener* opener);
    QLabel* ProductName;
    QLabel* Comments;
    TsuiURLLabel* suiURLLabel1;
};

// "使用帮助": where the portal explains the tool.
class TAboutHelpBoxForm : public TInfoBox {
   public:
    TAboutHelpBoxForm(QWidget* owner, const UrlOpener* opener);
    TsuiURLLabel* suiURLLabel1;
};

// "关于Kavoo网": the portal and the company that runs it. Stays above other windows.
class TAboutKavooForm : public TInfoBox {
   public:
    explicit TAboutKavooForm(QWidget* owner);
};

// "关于上海Tovren": the operating company.
class TAboutTRForm : public TInfoBox {
   public:
    explicit TAboutTRForm(QWidget* owner);
};
