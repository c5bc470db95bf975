// The few controls the forms need beyond Qt's own: link labels, picture buttons, number
// fields, the page list box and the paint box. They keep the behaviour the forms rely on;
// their look comes from the theme's style sheet.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <functional>

class QMouseEvent;
class QPainter;

// Asks the desktop to open an address, normally QDesktopServices::openUrl.
using UrlOpener = std::function<void(const QUrl&)>;

// A link label: drawn in link colour, another colour under the mouse, and a click opens its
// target. The opener is looked up at each click, so it can be replaced after construction.
class TsuiURLLabel : public QLabel {
   public:
    TsuiURLLabel(const QString& caption, const QString& target, const UrlOpener* opener, QWidget* parent);
    const QString& target() const { return target_; }
    // A click: the trimmed target, when anything is left of it, goes to the opener.
    void Click();

   protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

   private:
    QString target_;
    const UrlOpener* opener_;
};

// A small button showing a picture at its place; the hint is its tooltip. The picture is a
// glyph on a rounded tile, drawn at the button's size.
class TsuiImageButton : public QPushButton {
   public:
    TsuiImageButton(const QString& glyph, const QString& hint, const QRect& place, QWidget* parent);
};

// A number field: takes only digits (and backspace), shows its text right-aligned, and
// shows 0 once it loses the focus empty.
class TsuiNumberEdit : public QLineEdit {
   public:
    explicit TsuiNumberEdit(QWidget* parent);

   protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// A multiple-selection list box with rows of fixed height. It selects the way a Windows
// list box does: a left press selects at once, even on a row that is already selected;
// presses with other buttons leave the selection alone. onMouseDown runs after the press
// has been applied to the selection.
class TsuiListBox : public QListWidget {
   public:
    explicit TsuiListBox(QWidget* parent);
    std::function<void(Qt::MouseButton)> onMouseDown;
    static constexpr int kRowHeight = 16;

   protected:
    void mousePressEvent(QMouseEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
};

// A plain area that leaves its painting to onPaint.
class TPaintBox : public QWidget {
   public:
    explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> onPaint;

   protected:
    void paintEvent(QPaintEvent* event) override;
};
