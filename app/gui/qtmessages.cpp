#include "qtmessages.h"

#include <QMessageBox>

#include "activation.h"

namespace {

void Box(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const std::string& text) {
    // The box belongs to the window the user is working in (the settings dialog, say), so
    // that it comes up above it and that window gets the keyboard back afterwards.
    QWidget* raiser = RaisingWindow(owner);
    QMessageBox box(icon, caption, QString::fromStdString(text), QMessageBox::Ok, raiser);
    PrepareModal(&box);
    box.exec();
    BringBack(raiser);
}

}  // namespace

void QtMessages::Show(const std::string& text) { Box(owner_, QMessageBox::NoIcon, kApplicationTitle, text); }

void QtMessages::ShowError(const std::string& caption, const std::string& text) {
    Box(owner_, QMessageBox::Critical, QString::fromStdString(caption), text);
}

void QtMessages::ShowException(const std::string& text) {
    Box(owner_, QMessageBox::Critical, kApplicationTitle, text);
}
