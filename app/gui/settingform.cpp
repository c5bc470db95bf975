#include "settingform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "panelleform.h"
#include "profiles.h"
#include "settings.h"

namespace {

const BookSettings kDefaults;

// The value of a number field, or none (reported as the standard invalid-integer error)
// when it holds no 32-bit integer: an empty field that still has the focus, or too many digits.
bool FieldValue(const QLineEdit& field, int32_t& value, Messages& messages) {
    bool ok = false;
    const int number = field.text().toInt(&ok);
    if (!ok) {
        messages.ShowException(("'" + field.text() + "' is not a valid integer value").toStdString());
        return false;
    }
    value = number;
    return true;
}

void ShowPageFit(TSettingForm& d, const PageFit& fit) {
    d.FitBox->setCurrentIndex(fit.fit);
    d.GreyCheck->setChecked(fit.grey != 0);
    d.ColorsEdit->setText(QString::number(fit.colors));
    d.DitherCheck->setChecked(fit.dither != 0);
    d.SplitBox->setCurrentIndex(fit.split);
}

void ShowBudget(TSettingForm& d, const PhoneBudget& budget) {
    d.HeapEdit->setValue(budget.heap);
    d.JarLimitEdit->setValue(budget.jarLimit);
}

QSpinBox* KbBox(QWidget* parent, const QString& none, const QRect& place) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, kMaxBudgetKb);
    box->setSuffix(QStringLiteral(" KB"));
    box->setSpecialValueText(none);  // 0 is no budget
    box->setAlignment(Qt::AlignRight);
    box->setGeometry(place);
    return box;
}

}  // namespace

TSettingForm::TSettingForm(TPanelleForm& owner)
    : QDialog(&owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      owner_(owner) {
    setWindowTitle(QStringLiteral("属性设置"));
    setFixedSize(297, 479);

    GroupBox1 = new QGroupBox(QStringLiteral("默认配置"), this);
    GroupBox1->setGeometry(8, 8, 281, 153);
    const auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, GroupBox1);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    Label1 = label(QStringLiteral("漫画书制作者："), 16, 28);
    Label2 = label(QStringLiteral("默认屏宽："), 16, 60);
    Label3 = label(QStringLiteral("默认屏高："), 16, 92);
    Label4 = label(QStringLiteral("默认单价："), 16, 124);
    Label5 = label(QStringLiteral("元"), 224, 124);

    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setGeometry(112, 25, 153, 21);
    WidthEdit = new TsuiNumberEdit(GroupBox1);
    WidthEdit->setGeometry(112, 57, 105, 21);
    HeightEdit = new TsuiNumberEdit(GroupBox1);
    HeightEdit->setGeometry(112, 89, 105, 21);
    PriceEdit = new TsuiNumberEdit(GroupBox1);
    PriceEdit->setGeometry(112, 121, 105, 21);

    PageGroup = new QGroupBox(QStringLiteral("页面"), this);
    PageGroup->setGeometry(8, 168, 281, 143);
    const auto pageLabel = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, PageGroup);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    FitLabel = pageLabel(QStringLiteral("页面适应："), 16, 24);
    FitBox = new QComboBox(PageGroup);
    FitBox->addItems({QStringLiteral("原始大小"), QStringLiteral("适应屏宽"), QStringLiteral("适应屏幕")});
    FitBox->setGeometry(112, 20, 153, 23);
    ColorsLabel = pageLabel(QStringLiteral("颜色数："), 16, 54);
    ColorsEdit = new TsuiNumberEdit(PageGroup);
    ColorsEdit->setGeometry(112, 51, 49, 21);
    ColorsEdit->setMaxLength(3);
    ColorsEdit->setToolTip(QStringLiteral("0 保留原色，2 至 256"));
    GreyCheck = new QCheckBox(QStringLiteral("灰度"), PageGroup);
    GreyCheck->move(168, 52);
    DitherCheck = new QCheckBox(QStringLiteral("抖动"), PageGroup);
    DitherCheck->move(218, 52);
    SplitLabel = pageLabel(QStringLiteral("拆分跨页："), 16, 84);
    SplitBox = new QComboBox(PageGroup);
    SplitBox->addItems({QStringLiteral("不拆分"), QStringLiteral("左页在前"), QStringLiteral("右页在前")});
    SplitBox->setGeometry(112, 80, 153, 23);
    FlowCheck = new QCheckBox(QStringLiteral("连续阅读"), PageGroup);
    FlowCheck->move(16, 112);
    FlowCheck->setToolTip(QStringLiteral("在页底按下键接着看下一页，并记住读到的页"));

    PhoneGroup = new QGroupBox(QStringLiteral("手机"), this);
    PhoneGroup->setGeometry(8, 318, 281, 113);
    const auto phoneLabel = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, PhoneGroup);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    ProfileLabel = phoneLabel(QStringLiteral("机型："), 16, 24);
    ProfileBox = new QComboBox(PhoneGroup);
    ProfileBox->addItem(QStringLiteral("自定义"));
    for (const PhoneProfile& p : PhoneProfiles()) ProfileBox->addItem(QString::fromLatin1(p.name));
    ProfileBox->setGeometry(112, 20, 153, 23);
    HeapLabel = phoneLabel(QStringLiteral("堆内存："), 16, 54);
    HeapEdit = KbBox(PhoneGroup, QStringLiteral("不检查"), {112, 51, 105, 21});
    HeapEdit->setToolTip(QStringLiteral("一页解码后 (宽 x 高 x 4) 可占的内存，0 不检查"));
    JarLimitLabel = phoneLabel(QStringLiteral("JAR上限："), 16, 84);
    JarLimitEdit = KbBox(PhoneGroup, QStringLiteral("不限"), {112, 81, 105, 21});
    JarLimitEdit->setToolTip(QStringLiteral("超过上限的书分成几卷，0 不限"));
    connect(ProfileBox, &QComboBox::activated, this, [this](int index) { ProfileBoxChange(index); });
    for (QSpinBox* box : {HeapEdit, JarLimitEdit})
        connect(box, &QSpinBox::valueChanged, this, [this] { ShowMatchingProfile(); });
    for (QLineEdit* edit : {static_cast<QLineEdit*>(WidthEdit), static_cast<QLineEdit*>(HeightEdit)})
        connect(edit, &QLineEdit::textChanged, this, [this] { ShowMatchingProfile(); });

    defaultButton = new QPushButton(QStringLiteral("默认"), this);
    defaultButton->setGeometry(112, 442, 75, 27);
    EnterButton = new QPushButton(QStringLiteral("确定"), this);
    EnterButton->setGeometry(206, 442, 75, 27);
    EnterButton->setDefault(true);
    connect(defaultButton, &QPushButton::clicked, this, [this] { defaultButtonClick(); });
    connect(EnterButton, &QPushButton::clicked, this, [this] { EnterButtonClick(); });

    const Book& book = owner_.book();
    Edit1->setText(QString::fromStdString(book.author));
    WidthEdit->setText(QString::number(book.settingWidth));
    HeightEdit->setText(QString::number(book.settingHeight));
    PriceEdit->setText(QString::number(book.settingPrice));
    ShowPageFit(*this, book.pageFit);
    FlowCheck->setChecked(book.reader() == 1);
    ShowBudget(*this, book.budget);
    ShowMatchingProfile();
}

void TSettingForm::ProfileBoxChange(int index) {
    const auto profiles = PhoneProfiles();
    if (index < 1 || static_cast<size_t>(index) > profiles.size()) return;  // 自定义 keeps the fields
    const PhoneProfile& p = profiles[static_cast<size_t>(index - 1)];
    WidthEdit->setText(QString::number(p.width));
    HeightEdit->setText(QString::number(p.height));
    ShowBudget(*this, {p.heap, p.jarLimit});
    ShowMatchingProfile();
}

void TSettingForm::ShowMatchingProfile() {
    int match = 0;
    const auto profiles = PhoneProfiles();
    for (size_t i = 0; i < profiles.size() && match == 0; ++i) {
        const PhoneProfile& p = profiles[i];
        if (WidthEdit->text() == QString::number(p.width) &&
            HeightEdit->text() == QString::number(p.height) && HeapEdit->value() == p.heap &&
            JarLimitEdit->value() == p.jarLimit)
            match = static_cast<int>(i) + 1;
    }
    const QSignalBlocker quiet(ProfileBox);
    ProfileBox->setCurrentIndex(match);
}

void TSettingForm::defaultButtonClick() {
    Edit1->setText(QString::fromStdString(kDefaults.author));
    WidthEdit->setText(QString::number(kDefaults.width));
    HeightEdit->setText(QString::number(kDefaults.height));
    PriceEdit->setText(QString::number(kDefaults.price));
    ShowPageFit(*this, kDefaults.pageFit);
    FlowCheck->setChecked(kDefaults.reader == 1);
    ShowBudget(*this, kDefaults.budget);
    ShowMatchingProfile();
}

void TSettingForm::EnterButtonClick() {
    Book& book = owner_.book();
    Messages& messages = *owner_.hooks.messages;
    // Values are taken one by one: a field that does not convert stops here, leaving the
    // ones before it changed in memory, nothing written and the dialog open.
    book.author = Edit1->text().toStdString();
    if (!FieldValue(*WidthEdit, book.settingWidth, messages) ||
        !FieldValue(*HeightEdit, book.settingHeight, messages) ||
        !FieldValue(*PriceEdit, book.settingPrice, messages))
        return;
    int32_t colors = 0;
    if (!FieldValue(*ColorsEdit, colors, messages)) return;
    if (colors == 1 || colors > 256) {
        messages.ShowException(
            ("'" + ColorsEdit->text() + "' colours: give 0 to keep them, or 2 to 256").toStdString());
        return;
    }
    book.pageFit = {FitBox->currentIndex(), GreyCheck->isChecked() ? 1 : 0, colors,
                    DitherCheck->isChecked() ? 1 : 0, SplitBox->currentIndex()};
    book.SetReader(FlowCheck->isChecked() ? 1 : 0);
    book.budget = {HeapEdit->value(), JarLimitEdit->value()};
    if (!SaveSettings(owner_.settingsPath(), {book.author, book.settingWidth, book.settingHeight,
                                              book.settingPrice, book.pageFit, book.reader(), book.budget})) {
        messages.ShowException("Cannot write " + owner_.settingsPath() + ".");
        return;  // the dialog stays open with the values, so they can be saved again
    }
    hide();
}
