#include "activation.h"

#include <QApplication>
#include <QRect>
#include <QVariant>
#include <QWidget>

QWidget* RaisingWindow(QWidget* fallback) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallback ? fallback->window() : nullptr;
}

void PrepareModal(QWidget* box) {
    bool onTop = false;
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != box && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint)) onTop = true;
    // Changing the flags of a window recreates it: only when they change.
    if (static_cast<bool>(box->windowFlags() & Qt::WindowStaysOnTopHint) != onTop)
        box->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void BringBack(QWidget* window) {
    if (!window || !window->isVisible()) return;
    // A completer popup of a dialog closed by Return can outlive the dialog; while it is
    // open Qt ignores the activation of every other window.
    for (int open = 0; open < 8 && QApplication::activePopupWidget(); ++open)
        QApplication::activePopupWidget()->close();
    window->activateWindow();
    // The window system may already count the window as focused and tell Qt nothing more.
    if (QApplication::activeWindow() != window) QApplication::setActiveWindow(window);
}

void PlaceFrame(QWidget* window, QPoint frameTopLeft) {
    // QWidget::move places the frame by the frame's size as Qt last learnt it; a window that
    // was shown and hidden again has lost its frame to the window manager and counts none,
    // so its client area, not its frame, would land at the place.
    const QVariant offset = window->property("frameOffset");
    if (window->isVisible() || !window->windowHandle() || !offset.isValid())
        window->move(frameTopLeft);
    else
        window->setGeometry(QRect(frameTopLeft + offset.toPoint(), window->size()));
}

void RememberFrame(QWidget* window) {
    if (window->isVisible())
        window->setProperty("frameOffset", window->geometry().topLeft() - window->frameGeometry().topLeft());
}
