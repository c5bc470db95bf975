// Pictures of the windows for a person to look at, written into the build tree.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPixmap>

#include "aboutboxes.h"
#include "guitest.h"
#include "settingform.h"

#ifndef PANELLE_SCREENSHOTS
#define PANELLE_SCREENSHOTS "screenshots"
#endif

namespace {

void Save(QWidget& widget, const char* name) {
    QDir().mkpath(PANELLE_SCREENSHOTS);
    const QString path = QString(PANELLE_SCREENSHOTS) + "/" + name;
    const QPixmap shot = widget.grab();
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(path, "PNG")) << path.toStdString();
}

}  // namespace

using Screenshot = Window;

TEST_F(Screenshot, MainWindowSettingsDialogAndInformationBoxes) {
    ImportSolid(4, 120, 90);
    Import({PANELLE_TEST_SOURCE "/../samples/page.bmp"});
    form->BookNameEdit->setText(QStringLiteral("我的漫画书"));
    PressRow(4);
    form->PictureDescEdit->setText(QStringLiteral("第五页：两格漫画"));
    Save(*form, "main-window.png");
    form->SetClick();
    Save(*form->settingForm(), "settings.png");
    form->settingForm()->FitBox->setCurrentIndex(1);
    form->settingForm()->ColorsEdit->setText("16");
    form->settingForm()->GreyCheck->setChecked(true);
    form->settingForm()->DitherCheck->setChecked(true);
    form->settingForm()->SplitBox->setCurrentIndex(2);
    form->settingForm()->FlowCheck->setChecked(true);
    Save(*form->settingForm(), "settings-pages.png");
    form->settingForm()->defaultButtonClick();
    form->AboutKavooClick();
    Save(*form->aboutKavooForm(), "about-kavoo.png");
    form->AboutSLClick();
    Save(*form->aboutBox(), "about-sanlum.png");
    form->AboutHelpClick();
    Save(*form->aboutHelpBox(), "about-help.png");
}

// The phone view of a page four times the screen's width, fitted to it and reduced to 16
// dithered greys.
TEST_F(Screenshot, PhoneViewOfAFittedPage) {
    Picture large;
    ASSERT_TRUE(large.Load(PANELLE_TEST_SOURCE "/../samples/page.bmp", ImageFormat::Bmp));
    ASSERT_TRUE(large.Resample(704, 832, Picture::ResampleFilter::CatmullRom));
    const std::string path = dir / "large.bmp";
    ASSERT_TRUE(large.Save(path.c_str(), ImageFormat::Bmp));
    Import({path});
    PressRow(0);
    book().pageFit = PageFit{1, 1, 16, 1, 0};
    form->PhoneViewCheck->setChecked(true);
    Save(*form, "main-window-phone-view.png");
    EXPECT_TRUE(form->PhoneViewCheck->isChecked());
}

namespace {

// Takes a picture of the window when the generation announces page `page`.
class ShotAtPage : public Recorder {
   public:
    ShotAtPage(QWidget*& window, int page) : window_(window), page_(page) {}
    void Converting(int page, int total, const std::string& path) override {
        Recorder::Converting(page, total, path);
        if (page == page_) Save(*window_, "main-window-generating.png");
    }

   private:
    QWidget*& window_;
    int page_;
};

}  // namespace

using GenerationScreenshot = TemplateWindow;

TEST_F(GenerationScreenshot, MainWindowDuringAGeneration) {
    ImportSolid(12, 120, 90);
    form->BookNameEdit->setText(QStringLiteral("我的漫画书"));
    PressRow(2);
    QWidget* window = form.get();
    ShotAtPage shot(window, 5);
    form->hooks.messages = &shot;
    answers.push_back({QString::fromStdString(dir / "book")});
    QTest::mouseClick(form->CreateButton, Qt::LeftButton);
    EXPECT_EQ(shot.converting.size(), 12u);
    EXPECT_EQ(shot.log.back(), "show:Complete!");
}
