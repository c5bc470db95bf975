#include "aboutboxes.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "portal.h"

namespace {

constexpr Qt::WindowFlags kBoxFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

const QString kSanlumParagraph = QStringLiteral(
    "Sanlum是一家专注于桌面工具和手机应用的软件开发公司。我们相信好用的工具应当简单："
    "只需导入图片、排好页序、写上几句描述，就能把自己的漫画做成可以在支持MIDP 1.0的"
    "手机上翻阅的电子书，并与更多的读者分享。");

const QString kKavooParagraph = QStringLiteral(
    "Kavoo网是面向手机用户的内容门户，设有主题、彩图、铃声、短片、软件、游戏、资讯以及"
    "电子书和电子杂志等频道。用户可以把自己制作的漫画书上传到电子书频道，供其他用户下载，"
    "并参与下载分成计划。Kavoo网由上海Tovren负责运营。");

const QString kTovrenParagraph = QStringLiteral(
    "上海Tovren是一家从事移动增值服务的公司，负责Kavoo网的日常运营。公司与众多内容提供者"
    "和作者合作，为手机用户提供内容下载、在线分享和作者分成等服务，努力把优秀的作品带到"
    "更多用户的手机上。");

}  // namespace

TInfoBox::TInfoBox(const QString& caption, QSize client, QWidget* owner, Qt::WindowFlags flags)
    : QDialog(owner, flags) {
    setWindowTitle(caption);
    setFixedSize(client);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("panel");
    Panel1->setGeometry(8, 8, client.width() - 16, client.height() - 53);
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry((client.width() - 75) / 2, client.height() - 37, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

QLabel* TInfoBox::AddText(const QString& text, int x, int y, int width, bool heading) {
    auto* label = new QLabel(text, Panel1);
    if (heading) {
        QFont font = label->font();
        font.setBold(true);
        font.setPixelSize(16);
        label->setFont(font);
    }
    if (width > 0) {
        label->setWordWrap(true);
        label->setFixedWidth(width);
    }
    label->adjustSize();
    label->move(x, y);
    return label;
}

TAboutBox::TAboutBox(QWidget* owner, const UrlOpener* opener)
    : TInfoBox(QStringLiteral("关于Sanlum"), {529, 223}, owner,
               Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint) {
    ProductName = AddText(QStringLiteral("本软件由Sanlum开发制作。"), 16, 14, 0, true);
    Comments = AddText(kSanlumParagraph, 16, 48, Panel1->width() - 32);
    suiURLLabel1 = new TsuiURLLabel(kDeveloperSite, kDeveloperSite, opener, Panel1);
    suiURLLabel1->setObjectName("suiURLLabel1");
    suiURLLabel1->adjustSize();
    suiURLLabel1->move(16, Panel1->height() - 28);
}

TAboutHelpBoxForm::TAboutHelpBoxForm(QWidget* owner, const UrlOpener* opener)
    : TInfoBox(QStringLiteral("使用帮助"), {315, 176}, owner, kBoxFlags) {
    AddText(QStringLiteral("使用帮助"), 16, 14, 0, true);
    AddText(QStringLiteral("参见Kavoo网-知道吧-电子书和电子杂志使用"), 16, 50);
    const QString help = QString(kPortalBase) + kHelpPath;
    suiURLLabel1 = new TsuiURLLabel(help, help, opener, Panel1);
    suiURLLabel1->setObjectName("suiURLLabel1");
    suiURLLabel1->adjustSize();
    suiURLLabel1->move(16, 80);
}

TAboutKavooForm::TAboutKavooForm(QWidget* owner)
    : TInfoBox(QStringLiteral("关于Kavoo网"), {474, 213}, owner, kBoxFlags | Qt::WindowStaysOnTopHint) {
    AddText(QStringLiteral("关于Kavoo网"), 16, 14, 0, true);
    AddText(kKavooParagraph, 16, 48, Panel1->width() - 32);
}

TAboutTRForm::TAboutTRForm(QWidget* owner)
    : TInfoBox(QStringLiteral("关于上海Tovren"), {545, 241}, owner, kBoxFlags) {
    AddText(QStringLiteral("关于上海Tovren"), 16, 14, 0, true);
    AddText(kTovrenParagraph, 16, 48, Panel1->width() - 32);
}
