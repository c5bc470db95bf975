// The settings dialog over the settings file.
#include "settingform.h"

#include <QGroupBox>
#include <QLabel>

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
