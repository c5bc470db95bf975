// Which of the program's windows a box belongs to, how it comes up above the others, and
// how the window that raised it gets the keyboard back once it closes.
#pragma once

#include <QPoint>

class QWidget;

// The window of ours that the user is working in: a modal dialog that is running, else the
// active window when it is one of ours, else fallback's window.
QWidget* RaisingWindow(QWidget* fallback);

// Before a modal box or dialog runs: it stays on top while another window of the program
// does (the settings dialog, the portal's box), so that it never opens underneath one.
void PrepareModal(QWidget* box);

// After a box or dialog of ours has closed: a popup it left open goes, and window becomes
// the active window again, so that its fields get their focus events.
void BringBack(QWidget* window);

// Puts a window's frame (not its client area) with its top-left corner at frameTopLeft.
// A hidden window knows its frame only as RememberFrame last saw it.
void PlaceFrame(QWidget* window, QPoint frameTopLeft);
// Notes where a shown window's client area lies within its frame.
void RememberFrame(QWidget* window);
