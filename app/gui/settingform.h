// The settings dialog: the author and the default screen size and unit price, and below
// them how pages are written (fitted, grey, fewer colours, split) and which reader the book
// carries (the classic one, or the flowing one). Modeless, on
// top, created once; "确定" keeps and saves the values, "默认" only refills the fields.
#pragma once

#include <QDialog>

#include "controls.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TPanelleForm;

class TSettingForm : public QDialog {
public:
    // Fills the fields from the window's settings.
    explicit TSettingForm(TPanelleForm& owner);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLineEdit* Edit1;
    TsuiNumberEdit* WidthEdit;
    TsuiNumberEdit* HeightEdit;
    TsuiNumberEdit* PriceEdit;
    // how pages are written
    QGroupBox* PageGroup;
    QLabel* FitLabel;
    QComboBox* FitBox;
    QCheckBox* GreyCheck;
    QLabel* ColorsLabel;
    TsuiNumberEdit* ColorsEdit;
    QCheckBox* DitherCheck;
    QLabel* SplitLabel;
    QComboBox* SplitBox;
    QCheckBox* FlowCheck;  // the flowing reader instead of the classic one
    QPushButton* defaultButton;
    QPushButton* EnterButton;

    void defaultButtonClick();
    void EnterButtonClick();

private:
    TPanelleForm& owner_;
};
