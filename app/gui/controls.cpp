#include "controls.h"

#include <QIcon>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

// ---- link label ---------------------------------------------------------------------------

TsuiURLLabel::TsuiURLLabel(const QString& caption, const QString& target, const UrlOpener* opener,
                           QWidget* parent)
    : QLabel(caption, parent), target_(target), opener_(opener) {
    setProperty("link", true);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void TsuiURLLabel::Click() {
    const QString trimmed = target_.trimmed();
    if (!trimmed.isEmpty() && opener_ && *opener_) (*opener_)(QUrl(trimmed, QUrl::TolerantMode));
}

void TsuiURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
}

// ---- picture button -----------------------------------------------------------------------

namespace {

QPixmap GlyphTile(const QString& glyph, int size) {
    QPixmap tile(size, size);
    tile.fill(Qt::transparent);
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, QColor(0x8f, 0xc4, 0xff));
    fill.setColorAt(1, QColor(0x1f, 0x5f, 0xc8));
    QPainterPath tileShape;
    tileShape.addRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
    p.fillPath(tileShape, fill);
    p.setPen(QColor(0x0a, 0x2a, 0x66));
    p.drawPath(tileShape);
    QFont font = p.font();
    font.setPixelSize(glyph.size() > 1 ? size / 3 : size * 2 / 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter | Qt::TextWordWrap, glyph);
    return tile;
}

}  // namespace

TsuiImageButton::TsuiImageButton(const QString& glyph, const QString& hint, const QRect& place,
                                 QWidget* parent)
    : QPushButton(parent) {
    setProperty("picture", true);
    setToolTip(hint);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setGeometry(place);
    setIcon(QIcon(GlyphTile(glyph, place.width() - 2)));
    setIconSize(QSize(place.width() - 2, place.height() - 2));
}

// ---- number field -------------------------------------------------------------------------

TsuiNumberEdit::TsuiNumberEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TsuiNumberEdit::focusOutEvent(QFocusEvent* event) {
    if (text().isEmpty()) setText("0");
    QLineEdit::focusOutEvent(event);
}

// ---- list box -----------------------------------------------------------------------------

namespace {

class FixedRowDelegate : public QStyledItemDelegate {
   public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), TsuiListBox::kRowHeight};
    }
};

}  // namespace

TsuiListBox::TsuiListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setItemDelegate(new FixedRowDelegate(this));
}

void TsuiListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    if (onMouseDown) onMouseDown(event->button());
}

QItemSelectionModel::SelectionFlags TsuiListBox::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
    if (event && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<const QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton) return QItemSelectionModel::NoUpdate;
        // Qt waits for the release before it narrows a selection to a row that is already
        // selected (a drag might start there); a Windows list box narrows it at the press,
        // and the press is what makes a page current.
        if (index.isValid() && !(press->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) &&
            selectionModel()->isSelected(index))
            return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return QListWidget::selectionCommand(index, event);
}

// ---- paint box ----------------------------------------------------------------------------

void TPaintBox::paintEvent(QPaintEvent*) {
    if (!onPaint) return;
    QPainter painter(this);
    onPaint(painter);
}
