// The settings dialog: the author and the default screen size and unit price, below them
// how pages are written (fitted, grey, fewer colours, split) and which reader the book
// carries (the classic one, or the flowing one), and what the phone holds (a profile by
// screen, the heap a page may take, the largest archive). Modeless, on top, created once;
// "确定" keeps and saves the values, "默认" only refills the fields.
#pragma once

#include <QDialog>

#include "controls.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
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
    // what the phone holds
    QGroupBox* PhoneGroup;
    QLabel* ProfileLabel;
    QComboBox* ProfileBox;  // 自定义, then the profiles by name
    QLabel* HeapLabel;
    QSpinBox* HeapEdit;  // KB, 0: no check
    QLabel* JarLimitLabel;
    QSpinBox* JarLimitEdit;  // KB, 0: no limit
    QPushButton* defaultButton;
    QPushButton* EnterButton;

    void defaultButtonClick();
    void EnterButtonClick();
    // A profile chosen: its screen, heap and JAR limit fill the fields.
    void ProfileBoxChange(int index);

   private:
    // The profile whose values the fields hold, or 自定义.
    void ShowMatchingProfile();

    TPanelleForm& owner_;
};
