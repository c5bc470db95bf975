// The portal strip, the upload links and the four information boxes.
#include "portal.h"

#include <QLabel>

#include "aboutboxes.h"
#include "guitest.h"

using Portal = Window;

TEST_F(Portal, PictureButtonAndDigitBeneathItOpenTheSameChannel) {
    struct Row {
        void (TPanelleForm::*handler)();
        const char* path;
    };
    const Row rows[] = {
        {&TPanelleForm::suiImageButton2Click, "/web/info/"},
        {&TPanelleForm::suiImageButton3Click, "/web/theme/"},
        {&TPanelleForm::suiImageButton4Click, "/web/pic/"},
        {&TPanelleForm::suiImageButton5Click, "/web/ring/"},
        {&TPanelleForm::suiImageButton6Click, "/web/video/"},
        {&TPanelleForm::suiImageButton7Click, "/web/soft/"},
        {&TPanelleForm::suiImageButton8Click, "/web/game/"},
        {&TPanelleForm::suiImageButton9Click, "/web/ebook/"},
        {&TPanelleForm::suiButton1Click, "/web/user/main.asp?url=/web/user/upload_ebook.asp"},
    };
    for (const Row& r : rows) {
        opened.clear();
        (form.get()->*r.handler)();
        EXPECT_EQ(opened, std::vector<std::string>{std::string(kPortalBase) + r.path});
    }

    for (const TPanelleForm::PortalControls& channel : form->portal) {
        SCOPED_TRACE(channel.link->objectName().toStdString());
        opened.clear();
        QTest::mouseClick(channel.button, Qt::LeftButton);
        QTest::mouseClick(channel.link, Qt::LeftButton);
        ASSERT_EQ(opened.size(), 2u);
        EXPECT_EQ(opened[0], opened[1]);
        EXPECT_EQ(opened[0], channel.link->toolTip().toStdString());
    }

    opened.clear();
    for (QWidget* upload :
         {static_cast<QWidget*>(form->suiButton1), static_cast<QWidget*>(form->suiURLLabel1),
          static_cast<QWidget*>(form->suiURLLabel2)})
        QTest::mouseClick(upload, Qt::LeftButton);
    const std::string upload = std::string(kPortalBase) + kUploadPath;
    EXPECT_EQ(opened, (std::vector<std::string>{upload, upload, upload}));
    EXPECT_EQ(form->suiURLLabel2->toolTip().toStdString(), upload);
}

TEST(LinkLabel, TrimsItsTargetAndOpensNothingWhenItIsBlank) {
    std::vector<std::string> opened;
    const UrlOpener opener = [&opened](const QUrl& url) { opened.push_back(url.toString().toStdString()); };
    TsuiURLLabel("a", "  http://x.example/a/ ", &opener, nullptr).Click();
    TsuiURLLabel("b", " \t ", &opener, nullptr).Click();
    TsuiURLLabel("c", "", &opener, nullptr).Click();
    EXPECT_EQ(opened, std::vector<std::string>{"http://x.example/a/"});
}

TEST_F(Portal, EachBoxOpensOnceAtItsPlaceAndOKHidesIt) {
    struct Row {
        void (TPanelleForm::*open)();
        std::function<TInfoBox*()> box;
        const char* caption;
        QSize client;
    };
    const Row rows[] = {
        {&TPanelleForm::AboutSLClick, [this] { return form->aboutBox(); }, "关于Sanlum", {529, 223}},
        {&TPanelleForm::AboutHelpClick, [this] { return form->aboutHelpBox(); }, "使用帮助", {315, 176}},
        {&TPanelleForm::AboutKavooClick,
         [this] { return form->aboutKavooForm(); },
         "关于Kavoo网",
         {474, 213}},
        {&TPanelleForm::AboutTRClick, [this] { return form->aboutTRForm(); }, "关于上海Tovren", {545, 241}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption);
        EXPECT_EQ(r.box(), nullptr);  // made on first use
        (form.get()->*r.open)();
        TInfoBox* box = r.box();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal());
        EXPECT_EQ(box->windowTitle().toStdString(), r.caption);
        EXPECT_EQ(box->size(), r.client);
        EXPECT_EQ(box->pos(), form->pos() + QPoint(120, 120));

        box->move(5, 5);
        box->showMinimized();
        form->move(70, 90);
        (form.get()->*r.open)();
        EXPECT_EQ(r.box(), box);
        EXPECT_EQ(form->findChildren<TInfoBox*>().count(box), 1);
        EXPECT_FALSE(box->isMinimized());
        EXPECT_EQ(box->pos(), QPoint(190, 210));
        QTest::mouseClick(box->OKButton, Qt::LeftButton);
        EXPECT_FALSE(box->isVisible());
        EXPECT_TRUE(box->OKButton->isDefault());
        form->move(40, 30);
    }
    EXPECT_TRUE(form->aboutKavooForm()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->aboutBox()->windowFlags() & Qt::WindowMinimizeButtonHint);

    opened.clear();
    QTest::mouseClick(form->aboutHelpBox()->suiURLLabel1, Qt::LeftButton);
    QTest::mouseClick(form->aboutBox()->suiURLLabel1, Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<std::string>{std::string(kPortalBase) + kHelpPath, kDeveloperSite}));
    EXPECT_EQ(form->aboutHelpBox()->suiURLLabel1->text().toStdString(), std::string(kPortalBase) + kHelpPath);
}
