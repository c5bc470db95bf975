#include "qtmessages.h"

#include <QMessageBox>

namespace {

void Box(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const std::string& text) {
    QMessageBox box(icon, caption, QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace

void QtMessages::Show(const std::string& text) { Box(owner_, QMessageBox::NoIcon, kApplicationTitle, text); }

void QtMessages::ShowError(const std::string& caption, const std::string& text) {
    Box(owner_, QMessageBox::Critical, QString::fromStdString(caption), text);
}

void QtMessages::ShowException(const std::string& text) {
    Box(owner_, QMessageBox::Critical, kApplicationTitle, text);
}
