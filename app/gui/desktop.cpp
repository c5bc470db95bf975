#include "desktop.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "messages.h"

bool LoadQtTranslations(QApplication& app, const QLocale& locale, const QString& folder) {
    QLocale::setDefault(locale);
    auto* translator = new QTranslator(&app);
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), where)) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

void SetProgramIcon(QApplication& app) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/panelle-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
}

bool InstalledFontCovers(const QString& text) {
    const QList<uint> characters = text.toUcs4();
    // Chinese fonts first: they are the ones that can hold the captions.
    QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString& family : QFontDatabase::families())
        if (!families.contains(family)) families << family;
    for (const QString& family : families) {
        const QFontMetrics metrics{QFont(family)};
        bool all = true;
        for (const uint c : characters)
            if (c > ' ' && !metrics.inFontUcs4(c)) {
                all = false;
                break;
            }
        if (all) return true;
    }
    return false;
}

QString CaptionSample() {
    return QStringLiteral("图片文件列表页码顺序自上而下预览描述生成手机程序书名可用中文漫画删除清空上移下移");
}

QString MissingCjkFontText() {
    return QStringLiteral(
        "No installed font can show Chinese text, so the window's captions show as boxes.\n"
        "Install a Chinese font, such as the package fonts-wqy-microhei or fonts-noto-cjk\n"
        "(sudo apt install fonts-wqy-microhei), and start the program again.\n\n"
        "没有安装能显示中文的字体，窗口中的文字会显示为方框。\n"
        "请安装中文字体，例如软件包 fonts-wqy-microhei 或 fonts-noto-cjk，然后重新启动程序。");
}

bool NoticeMissingCjkFont(Messages& messages, const std::function<bool(const QString&)>& covers) {
    if (covers(CaptionSample())) return true;
    messages.Show(MissingCjkFontText().toStdString());
    return false;
}
