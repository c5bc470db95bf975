// The settings dialog over the settings file.
#include "settingform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>

#include "guitest.h"

namespace {

const char* const kCustomSettings = "[SETTING]\r\nwidth=240\r\nheight=320\r\nprice=3\r\nauthor=某人\r\n";

}  // namespace

class Settings : public Window {
   protected:
    std::string Ini() { return ReadText(dir / "panelle.INI"); }
    TSettingForm& Dialog() {
        form->SetClick();
        return *form->settingForm();
    }
    // The window over a settings file of other values than the defaults.
    void OpenWithCustomSettings() {
        WriteFile(dir / "panelle.INI", kCustomSettings);
        OpenWindow();
    }
    std::vector<std::string> Fields(const TSettingForm& d) {
        return {d.Edit1->text().toStdString(), d.WidthEdit->text().toStdString(),
                d.HeightEdit->text().toStdString(), d.PriceEdit->text().toStdString()};
    }
};

TEST_F(Settings, FirstStartWritesTheDefaultsAndTheDialogShowsThem) {
    EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
    EXPECT_EQ(form->settingForm(), nullptr);
    TSettingForm& d = Dialog();
    EXPECT_EQ(Fields(d), (std::vector<std::string>{"Kavoo网", "176", "208", "0"}));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("属性设置"));
    EXPECT_EQ(d.GroupBox1->title(), QStringLiteral("默认配置"));
    std::vector<std::string> labels;
    for (const QLabel* l : {d.Label1, d.Label2, d.Label3, d.Label4, d.Label5})
        labels.push_back(l->text().toStdString());
    EXPECT_EQ(labels,
              (std::vector<std::string>{"漫画书制作者：", "默认屏宽：", "默认屏高：", "默认单价：", "元"}));
    EXPECT_GT(d.Label5->x(), d.PriceEdit->geometry().right());
    EXPECT_EQ(d.defaultButton->text(), QStringLiteral("默认"));
    EXPECT_EQ(d.EnterButton->text(), QStringLiteral("确定"));
    EXPECT_FALSE(d.isModal());
    EXPECT_TRUE(d.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Settings, DefaultThenCloseChangesNothing) {
    OpenWithCustomSettings();
    TSettingForm& d = Dialog();
    EXPECT_EQ(Fields(d), (std::vector<std::string>{"某人", "240", "320", "3"}));
    QTest::mouseClick(d.defaultButton, Qt::LeftButton);
    EXPECT_EQ(Fields(d), (std::vector<std::string>{"Kavoo网", "176", "208", "0"}));
    d.close();  // the title bar's close button
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(Ini(), kCustomSettings);
    EXPECT_EQ(book().author, "某人");
    EXPECT_EQ(book().settingWidth, 240);
    EXPECT_EQ(book().settingHeight, 320);
    EXPECT_EQ(book().settingPrice, 3);
}

TEST_F(Settings, EnterKeepsAndWritesTheValuesAtOnce) {
    TSettingForm& d = Dialog();
    d.WidthEdit->setText("240");
    d.PriceEdit->setText("5");
    d.Edit1->setText(QStringLiteral("作者"));
    QTest::mouseClick(d.EnterButton, Qt::LeftButton);
    EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=240\r\nheight=208\r\nprice=5\r\nauthor=作者\r\n");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(book().settingWidth, 240);
    EXPECT_EQ(book().settingPrice, 5);
    EXPECT_EQ(book().author, "作者");
    OpenWindow();  // the next start reads them back
    EXPECT_EQ(book().settingWidth, 240);
    EXPECT_EQ(book().author, "作者");
}

TEST_F(Settings, ReopeningShowsUnsavedEditsAtTheNewPlace) {
    TSettingForm& d = Dialog();
    EXPECT_EQ(d.pos(), form->pos() + QPoint(120, 120));
    d.Edit1->setText(QStringLiteral("未保存"));
    d.HeightEdit->setText("99");
    d.close();
    d.move(3, 3);
    form->move(200, 100);
    TSettingForm& again = Dialog();
    EXPECT_EQ(&again, &d);
    int dialogs = 0;  // TSettingForm adds no meta-object of its own: look for the caption
    for (const QDialog* dialog : form->findChildren<QDialog*>())
        dialogs += dialog->windowTitle() == d.windowTitle();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(again.pos(), QPoint(320, 220));
    EXPECT_EQ(Fields(again), (std::vector<std::string>{"未保存", "176", "99", "0"}));
    EXPECT_EQ(book().author, "Kavoo网");
}

TEST_F(Settings, NumberFieldsTakeDigitsAndShowZeroWhenLeftEmpty) {
    TSettingForm& d = Dialog();
    ASSERT_TRUE(Activate(&d));
    for (TsuiNumberEdit* field : {d.WidthEdit, d.HeightEdit, d.PriceEdit}) {
        SCOPED_TRACE(field->objectName().toStdString());
        EXPECT_TRUE(field->alignment() & Qt::AlignRight);
        field->setFocus();
        field->clear();
        QTest::keyClicks(field, "2a4-0 x.");
        EXPECT_EQ(field->text(), "240");
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(field->text(), "24");
        field->clear();
        d.Edit1->setFocus();
        EXPECT_EQ(field->text(), "0");
    }
}

TEST_F(Settings, FieldThatIsNoIntegerStopsEnterThere) {
    OpenWithCustomSettings();
    TSettingForm& d = Dialog();
    ASSERT_TRUE(Activate(&d));
    d.Edit1->setText(QStringLiteral("新作者"));
    d.WidthEdit->setText("300");
    d.HeightEdit->setFocus();
    d.HeightEdit->clear();
    QTest::keyClick(d.HeightEdit, Qt::Key_Return);  // the default button, the field keeps the focus
    EXPECT_EQ(messages.log, std::vector<std::string>{"exception:'' is not a valid integer value"});
    EXPECT_EQ(book().author, "新作者");  // taken before the field that failed
    EXPECT_EQ(book().settingWidth, 300);
    EXPECT_EQ(book().settingHeight, 320);
    EXPECT_EQ(Ini(), kCustomSettings);
    EXPECT_TRUE(d.isVisible());

    d.HeightEdit->setText("400");
    d.PriceEdit->setText("99999999999");
    QTest::mouseClick(d.EnterButton, Qt::LeftButton);
    EXPECT_EQ(messages.log.back(), "exception:'99999999999' is not a valid integer value");
    EXPECT_EQ(book().settingHeight, 400);
    EXPECT_EQ(book().settingPrice, 3);
    EXPECT_EQ(Ini(), kCustomSettings);
}

// ---- how pages are written ----------------------------------------------------------------

namespace {

std::vector<std::string> PageFields(const TSettingForm& d) {
    return {d.FitBox->currentText().toStdString(), d.GreyCheck->isChecked() ? "灰度" : "-",
            d.ColorsEdit->text().toStdString(), d.DitherCheck->isChecked() ? "抖动" : "-",
            d.SplitBox->currentText().toStdString()};
}

}  // namespace

TEST_F(Settings, PageGroupLiesBelowTheOthersWithTheDefaults) {
    TSettingForm& d = Dialog();
    EXPECT_EQ(d.GroupBox1->geometry(), QRect(8, 8, 281, 153));  // the old group keeps its place
    EXPECT_GE(d.PageGroup->y(), d.GroupBox1->geometry().bottom());
    EXPECT_GT(d.defaultButton->y(), d.PageGroup->geometry().bottom());
    EXPECT_LE(d.EnterButton->geometry().bottom(), d.height());
    for (const QWidget* w : std::initializer_list<const QWidget*>{d.FitBox, d.ColorsEdit, d.SplitBox})
        EXPECT_LT(w->geometry().right(), d.PageGroup->width() - 8);
    EXPECT_LE(d.GreyCheck->x() + d.GreyCheck->sizeHint().width(), d.DitherCheck->x());  // captions in full
    EXPECT_LT(d.DitherCheck->x() + d.DitherCheck->sizeHint().width(), d.PageGroup->width() - 4);
    EXPECT_EQ(PageFields(d), (std::vector<std::string>{"原始大小", "-", "0", "-", "不拆分"}));
    std::vector<std::string> fits, splits;
    for (int i = 0; i < d.FitBox->count(); ++i) fits.push_back(d.FitBox->itemText(i).toStdString());
    for (int i = 0; i < d.SplitBox->count(); ++i) splits.push_back(d.SplitBox->itemText(i).toStdString());
    EXPECT_EQ(fits, (std::vector<std::string>{"原始大小", "适应屏宽", "适应屏幕"}));
    EXPECT_EQ(splits, (std::vector<std::string>{"不拆分", "左页在前", "右页在前"}));
    EXPECT_EQ(d.FitLabel->text(), QStringLiteral("页面适应："));
    EXPECT_EQ(d.ColorsLabel->text(), QStringLiteral("颜色数："));
    EXPECT_EQ(d.SplitLabel->text(), QStringLiteral("拆分跨页："));
}

TEST_F(Settings, PageChoicesAreKeptSavedAndReadBack) {
    TSettingForm& d = Dialog();
    d.FitBox->setCurrentIndex(1);
    d.GreyCheck->setChecked(true);
    d.ColorsEdit->setText("16");
    d.DitherCheck->setChecked(true);
    d.SplitBox->setCurrentIndex(2);
    QTest::mouseClick(d.EnterButton, Qt::LeftButton);
    EXPECT_TRUE(messages.log.empty());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(Ini(),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nfit=1\r\ngrey=1\r\n"
              "colors=16\r\ndither=1\r\nsplit=2\r\n");
    EXPECT_EQ(book().pageFit, (PageFit{1, 1, 16, 1, 2}));
    OpenWindow();  // the next start reads them back and the dialog shows them
    EXPECT_EQ(book().pageFit, (PageFit{1, 1, 16, 1, 2}));
    TSettingForm& again = Dialog();
    EXPECT_EQ(PageFields(again), (std::vector<std::string>{"适应屏宽", "灰度", "16", "抖动", "右页在前"}));
    QTest::mouseClick(again.defaultButton, Qt::LeftButton);  // refills the fields only
    EXPECT_EQ(PageFields(again), (std::vector<std::string>{"原始大小", "-", "0", "-", "不拆分"}));
    EXPECT_EQ(book().pageFit, (PageFit{1, 1, 16, 1, 2}));
}

TEST_F(Settings, ReopeningShowsUnsavedPageChoices) {
    TSettingForm& d = Dialog();
    d.FitBox->setCurrentIndex(2);
    d.ColorsEdit->setText("256");
    d.GreyCheck->setChecked(true);
    d.close();
    TSettingForm& again = Dialog();
    EXPECT_EQ(PageFields(again), (std::vector<std::string>{"适应屏幕", "灰度", "256", "-", "不拆分"}));
    EXPECT_EQ(book().pageFit, PageFit{});
    EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
}

TEST_F(Settings, ColoursTakeDigitsAndOnlyCountsThePagesCanHold) {
    TSettingForm& d = Dialog();
    ASSERT_TRUE(Activate(&d));
    d.ColorsEdit->setFocus();
    d.ColorsEdit->clear();
    QTest::keyClicks(d.ColorsEdit, "1a6-x.");
    EXPECT_EQ(d.ColorsEdit->text(), "16");
    EXPECT_TRUE(d.ColorsEdit->alignment() & Qt::AlignRight);
    d.ColorsEdit->clear();
    d.Edit1->setFocus();
    EXPECT_EQ(d.ColorsEdit->text(), "0");
    for (const char* wrong : {"1", "257", "999"}) {
        messages.log.clear();
        d.ColorsEdit->setText(wrong);
        QTest::mouseClick(d.EnterButton, Qt::LeftButton);
        ASSERT_EQ(messages.log.size(), 1u) << wrong;
        EXPECT_EQ(messages.log[0].rfind("exception:'" + std::string(wrong) + "' colours", 0), 0u)
            << messages.log[0];
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
    }
}

TEST_F(Settings, FlowingReaderBoxChoosesTheViewerAndIsSavedAndReadBack) {
    TSettingForm& d = Dialog();
    EXPECT_EQ(d.FlowCheck->text(), QStringLiteral("连续阅读"));
    EXPECT_EQ(d.FlowCheck->parentWidget(), d.PageGroup);
    EXPECT_GT(d.FlowCheck->y(), d.SplitBox->geometry().bottom());  // a row of its own
    EXPECT_LE(d.FlowCheck->y() + d.FlowCheck->sizeHint().height(), d.PageGroup->height());
    EXPECT_FALSE(d.FlowCheck->isChecked());
    const std::string classic = book().templatePaths[0];

    d.FlowCheck->setChecked(true);
    QTest::mouseClick(d.EnterButton, Qt::LeftButton);
    EXPECT_TRUE(messages.log.empty());
    EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nreader=1\r\n");
    EXPECT_EQ(book().reader(), 1);
    EXPECT_EQ(book().templatePaths[0], classic.substr(0, classic.size() - 7) + "flow/a.class");

    OpenWindow();  // the next start reads the choice back
    EXPECT_EQ(book().reader(), 1);
    TSettingForm& again = Dialog();
    EXPECT_TRUE(again.FlowCheck->isChecked());
    QTest::mouseClick(again.defaultButton, Qt::LeftButton);  // refills the box only
    EXPECT_FALSE(again.FlowCheck->isChecked());
    EXPECT_EQ(book().reader(), 1);
    QTest::mouseClick(again.EnterButton, Qt::LeftButton);
    EXPECT_EQ(book().reader(), 0);
    EXPECT_EQ(book().templatePaths[0], classic);
    EXPECT_EQ(Ini(), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nreader=0\r\n");
}

// ---- what the phone holds -------------------------------------------------------------------

namespace {

std::vector<std::string> PhoneFields(const TSettingForm& d) {
    return {d.ProfileBox->currentText().toStdString(), d.WidthEdit->text().toStdString(),
            d.HeightEdit->text().toStdString(), d.HeapEdit->text().toStdString(),
            d.JarLimitEdit->text().toStdString()};
}

}  // namespace

TEST_F(Settings, PhoneGroupLiesBelowThePageGroupWithTheProfiles) {
    TSettingForm& d = Dialog();
    EXPECT_EQ(d.PhoneGroup->title(), QStringLiteral("手机"));
    EXPECT_GE(d.PhoneGroup->y(), d.PageGroup->geometry().bottom());
    EXPECT_EQ(d.PhoneGroup->width(), d.PageGroup->width());
    EXPECT_GT(d.defaultButton->y(), d.PhoneGroup->geometry().bottom());
    EXPECT_LE(d.EnterButton->geometry().bottom(), d.height());
    for (const QWidget* w : std::initializer_list<const QWidget*>{d.ProfileBox, d.HeapEdit, d.JarLimitEdit})
        EXPECT_LT(w->geometry().right(), d.PhoneGroup->width() - 8);
    EXPECT_EQ(d.ProfileLabel->text(), QStringLiteral("机型："));
    EXPECT_EQ(d.HeapLabel->text(), QStringLiteral("堆内存："));
    EXPECT_EQ(d.JarLimitLabel->text(), QStringLiteral("JAR上限："));
    std::vector<std::string> profiles;
    for (int i = 0; i < d.ProfileBox->count(); ++i)
        profiles.push_back(d.ProfileBox->itemText(i).toStdString());
    EXPECT_EQ(profiles, (std::vector<std::string>{"自定义", "128x128", "128x160", "176x208", "176x220",
                                                  "240x320", "320x240", "352x416"}));
    EXPECT_EQ(PhoneFields(d), (std::vector<std::string>{"自定义", "176", "208", "不检查", "不限"}));
}

TEST_F(Settings, ChoosingAProfileFillsTheFieldsAndEditingOneMakesItCustom) {
    TSettingForm& d = Dialog();
    ASSERT_TRUE(Activate(&d));
    d.ProfileBox->setFocus();
    QTest::keyClick(d.ProfileBox, Qt::Key_Down);  // 128x128
    EXPECT_EQ(PhoneFields(d), (std::vector<std::string>{"128x128", "128", "128", "200 KB", "64 KB"}));
    QTest::keyClick(d.ProfileBox, Qt::Key_Down);
    QTest::keyClick(d.ProfileBox, Qt::Key_Down);
    QTest::keyClick(d.ProfileBox, Qt::Key_Down);  // 176x220
    EXPECT_EQ(PhoneFields(d), (std::vector<std::string>{"176x220", "176", "220", "800 KB", "100 KB"}));
    // a value typed by hand is the user's own: the drop-down says so, the other fields stay
    d.HeapEdit->setFocus();
    d.HeapEdit->selectAll();
    QTest::keyClicks(d.HeapEdit, "200");
    EXPECT_EQ(PhoneFields(d), (std::vector<std::string>{"自定义", "176", "220", "200 KB", "100 KB"}));
    QTest::mouseClick(d.EnterButton, Qt::LeftButton);
    EXPECT_TRUE(messages.log.empty());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(
        Ini(),
        "[SETTING]\r\nwidth=176\r\nheight=220\r\nprice=0\r\nauthor=Kavoo网\r\nheap=200\r\njarlimit=100\r\n");
    EXPECT_EQ(book().budget, (PhoneBudget{200, 100}));
    EXPECT_EQ(book().settingHeight, 220);

    OpenWindow();  // read back at the next start; values that are a profile's show its name
    EXPECT_EQ(book().budget, (PhoneBudget{200, 100}));
    TSettingForm& again = Dialog();
    EXPECT_EQ(PhoneFields(again), (std::vector<std::string>{"自定义", "176", "220", "200 KB", "100 KB"}));
    ASSERT_TRUE(Activate(&again));
    again.HeapEdit->setFocus();
    again.HeapEdit->selectAll();
    QTest::keyClicks(again.HeapEdit, "800");
    EXPECT_EQ(again.ProfileBox->currentText(), QStringLiteral("176x220"));
    QTest::mouseClick(again.defaultButton, Qt::LeftButton);  // refills the fields only
    EXPECT_EQ(PhoneFields(again), (std::vector<std::string>{"自定义", "176", "208", "不检查", "不限"}));
    EXPECT_EQ(book().budget, (PhoneBudget{200, 100}));
    again.close();
    EXPECT_EQ(
        Ini(),
        "[SETTING]\r\nwidth=176\r\nheight=220\r\nprice=0\r\nauthor=Kavoo网\r\nheap=200\r\njarlimit=100\r\n");
}
