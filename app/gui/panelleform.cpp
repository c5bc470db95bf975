#include "panelleform.h"

#include <unistd.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "aboutboxes.h"
#include "activation.h"
#include "comicarchive.h"
#include "files.h"
#include "fitpage.h"
#include "generate.h"
#include "generationthread.h"
#include "imports.h"
#include "measure.h"
#include "portal.h"
#include "preview.h"
#include "settingform.h"
#include "settings.h"
#include "theme.h"

const QString TPanelleForm::kPictureFilter = QStringLiteral(
    "All (*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf)|*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;|JPEG Image File "
    "(*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|Enhanced "
    "Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf|All(*.*)|*.*");

namespace {

// The progress bar across the window's foot; while a generation runs it makes room for
// the Cancel button at its right end.
const QRect kIdleBarPlace(0, 600, 729, 12);
const QRect kBusyBarPlace(0, 600, 649, 12);
const QRect kCancelPlace(653, 594, 72, 19);

std::string PathOf(const QString& file) { return QFile::encodeName(file).toStdString(); }

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// Passes a generation's messages on and shows its progress in the window's bar: the page
// being converted with its file's name, and how much of the book is done. The lines that
// name what failed are gathered for one notice after the outcome.
class GenerationMessages : public Messages {
   public:
    GenerationMessages(Messages& boxes, QProgressBar& bar) : boxes_(boxes), bar_(bar) {}
    void Detail(const std::string& text) override {
        if (seen_.insert(text).second) details.push_back(text);
    }
    std::vector<std::string> details;
    void Show(const std::string& text) override { boxes_.Show(text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        boxes_.ShowError(caption, text);
    }
    void ShowException(const std::string& text) override { boxes_.ShowException(text); }
    void Converting(int page, int total, const std::string& path) override {
        bar_.setValue(Percent(page - 1, total));
        bar_.setFormat(QStringLiteral("%1/%2 %3").arg(page).arg(total).arg(Text(FileNamePart(path))));
        boxes_.Converting(page, total, path);
    }
    void Progress(int done, int total) override {
        bar_.setValue(Percent(done, total));
        boxes_.Progress(done, total);
    }

   private:
    static int Percent(int done, int total) {
        return total > 0 ? static_cast<int>(int64_t{done} * 100 / total) : 100;
    }
    Messages& boxes_;
    QProgressBar& bar_;
    std::set<std::string> seen_;
};

std::string PageName(int32_t i, const Description_T& page) {
    return "page " + std::to_string(i + 1) + ", " + FileNamePart(page.path);
}

// What the window itself can tell about a generation that failed without naming anything:
// pages whose files are gone or whose pictures never loaded, and an output folder that
// cannot be written.
std::vector<std::string> FailureDetails(const Book& book, const std::string& chosenName) {
    std::vector<std::string> lines;
    for (int32_t i = 0; i < book.pageCount(); ++i) {
        const Description_T& page = book.pages[i];
        if (!FileExists(PageSourceFile(page.path))) {
            lines.push_back(PageName(i, page) + ": the file is missing since it was imported");
        } else if (!page.measured) {
            Picture picture;
            if (!LoadPageFile(picture, page.path, FormatFromExtension(page.path)) || !picture.IsValid())
                lines.push_back(PageName(i, page) + ": " + LoadFailure(page.path, picture));
        }
    }
    const size_t slash = chosenName.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : chosenName.substr(0, std::max<size_t>(slash, 1));
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        lines.push_back(folder + ": the output folder cannot be written (" + std::strerror(errno) + ")");
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

// The picture dialog takes a folder as well as files: Open with a folder selected imports
// the folder's pictures (a double click still opens the folder to look inside).
class TPictureDialog : public QFileDialog {
   public:
    using QFileDialog::QFileDialog;
    void accept() override {
        const QStringList chosen = selectedFiles();
        const bool folder =
            std::any_of(chosen.begin(), chosen.end(), [](const QString& f) { return QFileInfo(f).isDir(); });
        const bool exist =
            std::all_of(chosen.begin(), chosen.end(), [](const QString& f) { return QFileInfo::exists(f); });
        if (!chosen.isEmpty() && folder && exist)
            QDialog::accept();
        else
            QFileDialog::accept();
    }
};

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* NewLabel(const QString& text, int x, int y, QWidget* parent, const char* name) {
    auto* label = Named(new QLabel(text, parent), name);
    label->adjustSize();
    label->move(x, y);
    return label;
}

QPushButton* NewButton(const QString& caption, const QRect& place, QWidget* parent, const char* name) {
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setGeometry(place);
    // A click takes the focus, so that a field being left runs its exit handler.
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

}  // namespace

TPanelleForm::TPanelleForm(std::string settingsPath, QWidget* parent)
    : QMainWindow(parent), settingsPath_(std::move(settingsPath)), boxes_(this) {
    hooks.runFileDialog = [this](QFileDialog& dialog) {
        PrepareModal(&dialog);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        BringBack(this);
        return accepted ? dialog.selectedFiles() : QStringList{};
    };
    hooks.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    hooks.messages = &boxes_;

    setObjectName("PanelleForm");
    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("Kavoo网 - 漫画书制作工具"));
    BuildControls();
    BuildPortal();
    BuildMenu();
    BuildDialogs();
    setMinimumSize(130, 50);
    resize(729, 615 + menuBar()->sizeHint().height());

    // The book starts empty with every list control off (Book's own state); the settings
    // come from the file, which gets the defaults it lacked.
    const BookSettings settings = ReadSettings(settingsPath_);
    book_.settingWidth = settings.width;
    book_.settingHeight = settings.height;
    book_.settingPrice = settings.price;
    book_.author = settings.author;
    book_.pageFit = settings.pageFit;
    book_.SetReader(settings.reader);
    book_.budget = settings.budget;
    ShowControls();

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

TPanelleForm::~TPanelleForm() {
    // The children outlive the book; nothing they do while they go may reach it.
    Timer1->stop();
    PictureDescEdit->removeEventFilter(this);
    FileNameListBox->removeEventFilter(this);
    FileNameListBox->viewport()->removeEventFilter(this);
    BookNameEdit->removeEventFilter(this);
    FileNameListBox->onMouseDown = nullptr;
    PaintBox1->onPaint = nullptr;
}

void TPanelleForm::BuildControls() {
    client = Named(new QWidget(this), "client");
    setCentralWidget(client);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("图片文件列表:(页码顺序自上而下)"), client), "GroupBox1");
    GroupBox1->setGeometry(16, 104, 329, 489);
    FileNameListBox = Named(new TsuiListBox(GroupBox1), "FileNameListBox");
    FileNameListBox->setGeometry(16, 32, 217, 393);
    FileNameListBox->onMouseDown = [this](Qt::MouseButton button) { FileNameListBoxMouseDown(button); };
    // Files dropped onto the list import as onto the window; the list moves no rows itself.
    FileNameListBox->setAcceptDrops(true);
    FileNameListBox->viewport()->setAcceptDrops(true);
    FileNameListBox->installEventFilter(this);
    FileNameListBox->viewport()->installEventFilter(this);
    DelButton = NewButton(QStringLiteral("删除"), {32, 448, 73, 27}, GroupBox1, "DelButton");
    ClearButton = NewButton(QStringLiteral("清空"), {136, 448, 73, 27}, GroupBox1, "ClearButton");
    MoveUpButton = NewButton(QStringLiteral("上移"), {256, 104, 48, 65}, GroupBox1, "MoveUpButton");
    MoveDownButton = NewButton(QStringLiteral("下移"), {256, 272, 48, 65}, GroupBox1, "MoveDownButton");
    connect(DelButton, &QPushButton::clicked, this, [this] { DelButtonClick(); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearButtonClick(); });
    connect(MoveUpButton, &QPushButton::clicked, this, [this] { MoveUpButtonClick(); });
    connect(MoveDownButton, &QPushButton::clicked, this, [this] { MoveDownButtonClick(); });
    suiImageButton1 = Named(new TsuiImageButton("+", QStringLiteral("导入图片"), {280, 128, 24, 24}, client),
                            "suiImageButton1");
    connect(suiImageButton1, &QPushButton::clicked, this, [this] { suiImageButton1Click(); });

    GroupBox2 = Named(new QGroupBox(QStringLiteral("图片预览："), client), "GroupBox2");
    GroupBox2->setGeometry(384, 104, 329, 337);
    PaintBox1 = Named(new TPaintBox(GroupBox2), "PaintBox1");
    PaintBox1->setGeometry(16, 24, 249, 241);
    PaintBox1->onPaint = [this](QPainter& painter) { PaintBox1Paint(painter); };
    Label5 = NewLabel(QStringLiteral("描述:"), 24, 280, GroupBox2, "Label5");
    PictureDescEdit = Named(new QLineEdit(GroupBox2), "PictureDescEdit");
    PictureDescEdit->setGeometry(16, 304, 265, 19);
    PictureDescEdit->setMaxLength(static_cast<int>(kMaxDescription));
    PictureDescEdit->installEventFilter(this);
    // What is typed reaches the page at once, whatever the focus does afterwards.
    connect(PictureDescEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { presenter_.SetDescription(text.toStdString()); });
    PhoneViewCheck = Named(new QCheckBox(QStringLiteral("手机预览"), GroupBox2), "PhoneViewCheck");
    PhoneViewCheck->setGeometry(200, 278, 113, 19);
    connect(PhoneViewCheck, &QCheckBox::toggled, this, [this] { PaintBox1->update(); });

    GroupBox3 = Named(new QGroupBox(QStringLiteral("生成手机程序:(书名可用中文)"), client), "GroupBox3");
    GroupBox3->setGeometry(384, 448, 329, 145);
    Label7 = NewLabel(QStringLiteral("漫画书名："), 16, 32, GroupBox3, "Label7");
    BookNameEdit = Named(new QLineEdit(GroupBox3), "BookNameEdit");
    BookNameEdit->setGeometry(96, 30, 129, 19);
    BookNameEdit->installEventFilter(this);
    connect(BookNameEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { book_.bookName = presenter_.nameText = text.toStdString(); });
    CreateButton = NewButton(QStringLiteral("生成"), {240, 30, 73, 35}, GroupBox3, "CreateButton");
    connect(CreateButton, &QPushButton::clicked, this, [this] { CreateButtonClick(); });
    Label4 = NewLabel(QStringLiteral("分享到Kavoo网电子书和电子杂志频道"), 13, 70, GroupBox3, "Label4");
    Label8 = NewLabel(QStringLiteral("参与下载分成计划"), 66, 96, GroupBox3, "Label8");

    // The first upload link lies beneath the upload button, which activates it.
    const QString upload = QString(kPortalBase) + kUploadPath;
    suiURLLabel1 = Named(new TsuiURLLabel(kPortalBase, upload, &hooks.openUrl, GroupBox3), "suiURLLabel1");
    suiURLLabel2 = Named(new TsuiURLLabel(kPortalBase, upload, &hooks.openUrl, GroupBox3), "suiURLLabel2");
    for (TsuiURLLabel* link : {suiURLLabel1, suiURLLabel2}) {
        QFont bold = link->font();
        bold.setBold(true);
        link->setFont(bold);
        link->setToolTip(upload);
        link->adjustSize();
    }
    suiURLLabel1->setGeometry(240, 92, 73, 35);
    suiURLLabel2->move(72, 116);
    suiButton1 = NewButton(QStringLiteral("上传"), {240, 92, 73, 35}, GroupBox3, "suiButton1");
    connect(suiButton1, &QPushButton::clicked, this, [this] { suiButton1Click(); });

    suiProgressBar = Named(new QProgressBar(client), "suiProgressBar");
    suiProgressBar->setGeometry(kIdleBarPlace);
    suiProgressBar->setRange(0, 100);
    suiProgressBar->hide();
    CancelButton = NewButton(QStringLiteral("取消"), kCancelPlace, client, "CancelButton");
    CancelButton->setShortcut(Qt::Key_Escape);
    CancelButton->hide();
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
    StatusLabel = Named(new QLabel(client), "StatusLabel");
    StatusLabel->setGeometry(8, 598, 713, 16);
}

void TPanelleForm::BuildPortal() {
    for (size_t i = 0; i < kPortalChannels.size(); ++i) {
        const PortalChannel& c = kPortalChannels[i];
        const QString caption = QString::fromUtf8(c.caption);
        const QRect place = c.size == 48 ? QRect(c.x, 56, 48, 48) : QRect(c.x, 80, c.size, c.size);
        PortalControls& controls = portal[i];
        controls.caption = *c.labelName ? NewLabel(caption, c.x, 60, client, c.labelName) : nullptr;
        // The digit label lies beneath its picture button; a click on either opens the channel.
        const QString target = QString(kPortalBase) + c.path;
        controls.link = Named(new TsuiURLLabel(c.digit, target, &hooks.openUrl, client), c.linkName);
        controls.link->setToolTip(target);
        QFont underlined = controls.link->font();
        underlined.setUnderline(true);
        controls.link->setFont(underlined);
        controls.link->setGeometry(c.size == 48 ? place : place.translated(2, 0));
        controls.button = Named(
            new TsuiImageButton(caption.left(c.size == 48 ? 3 : 1), caption, place, client), c.buttonName);
    }
    const std::pair<TsuiImageButton*, void (TPanelleForm::*)()> handlers[] = {
        {portal[6].button, &TPanelleForm::suiImageButton2Click},
        {portal[0].button, &TPanelleForm::suiImageButton3Click},
        {portal[1].button, &TPanelleForm::suiImageButton4Click},
        {portal[2].button, &TPanelleForm::suiImageButton5Click},
        {portal[3].button, &TPanelleForm::suiImageButton6Click},
        {portal[4].button, &TPanelleForm::suiImageButton7Click},
        {portal[5].button, &TPanelleForm::suiImageButton8Click},
        {portal[7].button, &TPanelleForm::suiImageButton9Click},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this, [this, handler = handler] { (this->*handler)(); });
}

void TPanelleForm::PortalLink(const char* linkName) {
    for (size_t i = 0; i < kPortalChannels.size(); ++i)
        if (std::string_view(kPortalChannels[i].linkName) == linkName) portal[i].link->Click();
}

void TPanelleForm::BuildMenu() {
    const auto item = [this](QMenu* menu, const QString& caption, const char* name,
                             void (TPanelleForm::*handler)()) {
        QAction* action = Named(menu->addAction(caption), name);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    FileMenu = Named(menuBar()->addMenu(QStringLiteral("文件(&F)")), "FileMenu");
    NewBtn = item(FileMenu, QStringLiteral("新建(&N)"), "NewBtn", &TPanelleForm::NewBtnClick);
    CreateEBook =
        item(FileMenu, QStringLiteral("生成电子书(&B)"), "CreateEBook", &TPanelleForm::CreateEBookClick);
    InsertPic = item(FileMenu, QStringLiteral("导入图片(&I)"), "InsertPic", &TPanelleForm::InsertPicClick);
    Set = item(FileMenu, QStringLiteral("属性设置(&P)"), "Set", &TPanelleForm::SetClick);
    Exit = item(FileMenu, QStringLiteral("退出(&E)"), "Exit", &TPanelleForm::ExitClick);
    HelpMenu = Named(menuBar()->addMenu(QStringLiteral("帮助(&H)")), "HelpMenu");
    AboutHelp = item(HelpMenu, QStringLiteral("使用帮助"), "AboutHelp", &TPanelleForm::AboutHelpClick);
    AboutKavoo = item(HelpMenu, QStringLiteral("关于Kavoo网"), "AboutKavoo", &TPanelleForm::AboutKavooClick);
    AboutTR = item(HelpMenu, QStringLiteral("关于上海Tovren"), "AboutTR", &TPanelleForm::AboutTRClick);
    AboutSL = item(HelpMenu, QStringLiteral("关于Sanlum(&A)"), "AboutSL", &TPanelleForm::AboutSLClick);
}

void TPanelleForm::BuildDialogs() {
    OpenPictureDialog1 =
        Named(new TPictureDialog(this, QStringLiteral("本地图形文件浏览")), "OpenPictureDialog1");
    OpenPictureDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenPictureDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenPictureDialog1->setFileMode(QFileDialog::ExistingFiles);
    OpenPictureDialog1->setNameFilters(PictureNameFilters(kPictureFilter));
    OpenPictureDialog1->setSizeGripEnabled(true);
    // The archive name as typed: no filter, no title, no extension added, no overwrite question.
    SaveDialog = Named(new QFileDialog(this), "SaveDialog");
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
}

QStringList TPanelleForm::PictureNameFilters(const QString& windowsFilter) {
    // Windows lists "label|patterns" pairs, the patterns separated by ";"; Qt wants the
    // patterns, separated by spaces, in parentheses at the end of the label.
    const QStringList parts = windowsFilter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            if (p == "*.*") p = "*";
        QString label = parts[i];
        if (label.endsWith(')') && label.contains('(')) label.truncate(label.lastIndexOf('('));
        filters << label + '(' + patterns.join(' ') + ')';
    }
    return filters;
}

// ---- page list ----------------------------------------------------------------------------

void TPanelleForm::PullSelection() {
    for (int i = 0; i < FileNameListBox->count() && i < book_.pageCount(); ++i)
        presenter_.SetSelected(i, FileNameListBox->item(i)->isSelected());
}

void TPanelleForm::ShowPages() {
    const QSignalBlocker quiet(FileNameListBox);
    const int count = book_.pageCount();
    while (FileNameListBox->count() > count) delete FileNameListBox->takeItem(FileNameListBox->count() - 1);
    for (int i = 0; i < count; ++i) {
        const QString text = Text(FileNamePart(book_.pages[i].path));
        if (i == FileNameListBox->count()) FileNameListBox->addItem(text);
        QListWidgetItem* row = FileNameListBox->item(i);
        if (row->text() != text) row->setText(text);
        const bool marked = static_cast<size_t>(i) < presenter_.selected().size() && presenter_.selected()[i];
        if (row->isSelected() != marked) row->setSelected(marked);
    }
}

void TPanelleForm::ShowControls() {
    // While a generation runs, nothing that changes the pages or starts another one is on;
    // the list's selection, the preview and the fields stay usable.
    const bool idle = !Generating();
    const ControlStates& c = presenter_.controls();
    CreateEBook->setEnabled(c.createEBook && idle);
    CreateButton->setEnabled(c.createButton && idle);
    DelButton->setEnabled(c.delButton && idle);
    ClearButton->setEnabled(c.clearButton && idle);
    MoveUpButton->setEnabled(c.moveUpButton && idle);
    MoveDownButton->setEnabled(c.moveDownButton && idle);
    PictureDescEdit->setEnabled(c.pictureDescEdit);
    InsertPic->setEnabled(idle);
    suiImageButton1->setEnabled(idle);
}

void TPanelleForm::InsertPicClick() {
    if (Generating()) return;
    const QStringList chosen = hooks.runFileDialog(*OpenPictureDialog1);
    if (chosen.isEmpty()) return;
    ImportPaths(chosen);
}

void TPanelleForm::ImportPaths(const QStringList& paths) {
    std::vector<std::string> given;
    for (const QString& path : paths) given.push_back(PathOf(path));
    const ImportedPaths imported = ExpandImports(given);
    PullSelection();
    const size_t taken = presenter_.ImportPictures(imported.pages);
    ShowPages();
    ShowControls();
    std::vector<std::string> notes;
    if (!imported.problems.empty()) {
        notes.push_back("Not imported (未导入):");
        notes.insert(notes.end(), imported.problems.begin(), imported.problems.end());
    }
    if (taken < imported.pages.size())
        notes.push_back("A book holds at most " + std::to_string(kMaxPages) + " pages.");
    if (!notes.empty()) hooks.messages->Show(Joined(notes));
}

QStringList TPanelleForm::DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

bool TPanelleForm::TakeDrag(QDropEvent* event, bool drop) {
    if (DroppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (drop) ImportPaths(DroppedPaths(event->mimeData()));
    return true;
}

void TPanelleForm::dragEnterEvent(QDragEnterEvent* event) { TakeDrag(event, false); }

void TPanelleForm::dragMoveEvent(QDragMoveEvent* event) { TakeDrag(event, false); }

void TPanelleForm::dropEvent(QDropEvent* event) { TakeDrag(event, true); }

void TPanelleForm::DelButtonClick() {
    if (Generating()) return;
    PullSelection();
    presenter_.DeleteSelected();
    ShowPages();
    ShowDescription();
    ShowControls();
    PaintBox1->update();  // a deleted current page leaves the preview empty
}

void TPanelleForm::ClearButtonClick() {
    if (Generating()) return;
    presenter_.Clear();
    ShowPages();
    ShowDescription();
    ShowControls();
    PaintBox1->update();
}

void TPanelleForm::ShowDescription() {
    const int32_t r = book_.currentPage;
    PictureDescEdit->setText(r >= 0 && r < book_.pageCount() ? Text(book_.pages[r].description) : QString());
}

void TPanelleForm::MoveUpButtonClick() {
    if (Generating()) return;
    PullSelection();
    presenter_.MoveUp();
    ShowPages();
    ShowControls();
}

void TPanelleForm::MoveDownButtonClick() {
    if (Generating()) return;
    PullSelection();
    presenter_.MoveDown();
    ShowPages();
    ShowControls();
}

void TPanelleForm::FileNameListBoxMouseDown(Qt::MouseButton) {
    PullSelection();
    if (!presenter_.SelectPage()) {
        PaintBox1->update();
        return;
    }
    // A page whose picture did not load is current all the same: the field shows and takes
    // its own description, and the preview says why it shows no picture.
    ShowControls();
    FileNameListBox->setToolTip(Text(book_.pages[book_.currentPage].path));
    ShowDescription();
    PaintBox1->repaint();
}

// ---- preview, description, book name --------------------------------------------------------

void TPanelleForm::PaintBox1Paint(QPainter& painter) {
    const Picture* image = book_.currentImage.get();
    const int32_t r = book_.currentPage;
    if (!image || r < 0 || r >= book_.pageCount()) return;
    const Description_T& page = book_.pages[r];
    if (!book_.currentError.empty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(PaintBox1->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         UnreadableText(page.path, book_.currentError));
        return;
    }
    if (PhoneViewCheck->isChecked()) {
        const PhoneView& view = PhoneViewOf(*image);
        if (!view.picture) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(PaintBox1->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                             Text(view.error));
            return;
        }
        const QImage phone = RenderPhoneView(*view.picture, QSize(view.screenWidth, view.screenHeight),
                                             PaintBox1->size(), kGroupBackground);
        if (!phone.isNull()) painter.drawImage(0, 0, phone);
        return;
    }
    const auto place = FitPreview(page.picWidth, page.picHeight, PaintBox1->width(), PaintBox1->height());
    if (!place) return;  // a page whose picture never loaded has no size
    const QImage preview = RenderPreview(*image, *place, PaintBox1->size(), kGroupBackground);
    if (!preview.isNull()) painter.drawImage(0, 0, preview);
}

const TPanelleForm::PhoneView& TPanelleForm::PhoneViewOf(const Picture& image) {
    PhoneView& view = phoneView_;
    if (view.source == &image && view.page == book_.currentPage && view.fit == book_.pageFit &&
        view.screenWidth == book_.settingWidth && view.screenHeight == book_.settingHeight)
        return view;
    view = PhoneView{
        &image, book_.currentPage, book_.pageFit, book_.settingWidth, book_.settingHeight, nullptr, {}};
    auto page = std::make_unique<Picture>();
    if (FirstWrittenPage(image, view.fit, view.screenWidth, view.screenHeight, *page, view.error))
        view.picture = std::move(page);
    else if (view.error.empty())
        view.error = "the page cannot be shown as the phone will";
    return view;
}

QString TPanelleForm::UnreadableText(const std::string& path, const std::string& reason) {
    return QStringLiteral("Cannot read %1:\n%2").arg(Text(FileNamePart(path)), Text(reason));
}

void TPanelleForm::Timer1Timer() { PaintBox1->repaint(); }

void TPanelleForm::PictureDescEditEnter() {
    presenter_.SetDescription(PictureDescEdit->text().toStdString());
}

void TPanelleForm::PictureDescEditExit() { presenter_.SetDescription(PictureDescEdit->text().toStdString()); }

void TPanelleForm::BookNameEditExit() { book_.bookName = BookNameEdit->text().toStdString(); }

bool TPanelleForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((watched == FileNameListBox || watched == FileNameListBox->viewport()) &&
        (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop))
        return TakeDrag(static_cast<QDropEvent*>(event), type == QEvent::Drop);
    if (watched != this && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
        auto* box = static_cast<QWidget*>(watched);
        if (type == QEvent::Move || type == QEvent::Hide) RememberFrame(box);
        if (type == QEvent::Hide && !box->isMinimized()) BringBack(this);
    }
    if ((type == QEvent::FocusIn || type == QEvent::FocusOut) &&
        (watched == PictureDescEdit || watched == BookNameEdit)) {
        // Focus that leaves or comes back with the whole window (another window, a message
        // box, the menu) does not move it between the form's controls.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason) {
            if (watched == PictureDescEdit)
                type == QEvent::FocusIn ? PictureDescEditEnter() : PictureDescEditExit();
            else if (type == QEvent::FocusOut)
                BookNameEditExit();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- generation ---------------------------------------------------------------------------

void TPanelleForm::CreateButtonClick() {
    if (Generating()) return;
    // The descriptors take the name field as it reads now; desc.txt the name stored as it
    // was edited or when the field last lost the focus, which is the same text.
    presenter_.nameText = BookNameEdit->text().toStdString();
    const QStringList chosen = hooks.runFileDialog(*SaveDialog);
    const std::string name = chosen.isEmpty() ? std::string() : PathOf(chosen.front());
    if (name.empty()) {
        Generate(book_, name, *hooks.messages);
        return;
    }
    GenerationMessages messages(*hooks.messages, *suiProgressBar);
    suiProgressBar->setValue(0);
    suiProgressBar->setFormat(QStringLiteral("0/%1").arg(book_.pageCount()));
    suiProgressBar->setGeometry(kBusyBarPlace);
    StatusLabel->hide();
    suiProgressBar->show();
    CancelButton->setEnabled(true);
    CancelButton->show();
    Book generated = book_;  // without the window's working picture
    generated.descriptorName = presenter_.nameText;
    generation_ = std::make_unique<BackgroundGeneration>(messages);
    ShowControls();
    const bool ok = generation_->Run([&](Messages& relay) { return Generate(generated, name, relay); });
    generation_.reset();
    TakeMeasures(generated);
    CancelButton->hide();
    suiProgressBar->hide();
    suiProgressBar->setGeometry(kIdleBarPlace);
    ShowControls();
    ShowOutcome();
    PaintBox1->update();
    if (closeWhenStopped_) {
        closeWhenStopped_ = false;
        close();
        return;
    }
    if (!ok && messages.details.empty()) messages.details = FailureDetails(book_, name);
    if (!messages.details.empty()) hooks.messages->Show(Joined(messages.details));
}

void TPanelleForm::CancelButtonClick() {
    if (!generation_) return;
    generation_->Cancel();
    // The page in hand is finished first; the generation then stops and cleans up.
    CancelButton->setEnabled(false);
}

void TPanelleForm::TakeMeasures(const Book& generated) {
    book_.jarPath = generated.jarPath;
    book_.written = generated.written;
    book_.outcome = generated.outcome;
    if (generated.pageCount() != book_.pageCount()) return;
    for (int32_t i = 0; i < book_.pageCount(); ++i) {
        const Description_T& measured = generated.pages[i];
        Description_T& page = book_.pages[i];
        if (!measured.measured || page.measured || measured.path != page.path) continue;
        // What was typed for the page meanwhile stays; the rest is the measured record.
        std::string description = std::move(page.description);
        page = measured;
        page.description = std::move(description);
    }
}

void TPanelleForm::closeEvent(QCloseEvent* event) {
    if (Generating()) {
        closeWhenStopped_ = true;
        CancelButtonClick();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TPanelleForm::ShowOutcome() {
    QStringList lines;
    for (const JarOutcome& jar : book_.outcome)
        lines << QStringLiteral("%1: %2 pages, %3 bytes, largest page %4x%5")
                     .arg(Text(FileNamePart(jar.jarPath)))
                     .arg(jar.pages)
                     .arg(jar.bytes)
                     .arg(jar.largestWidth)
                     .arg(jar.largestHeight);
    const QString text = lines.join(QStringLiteral("; "));
    StatusLabel->setToolTip(lines.join('\n'));
    StatusLabel->setText(StatusLabel->fontMetrics().elidedText(text, Qt::ElideRight, StatusLabel->width()));
    StatusLabel->show();
}

// ---- settings and information boxes ---------------------------------------------------------

void TPanelleForm::ShowPlaced(QWidget* box) {
    if (!box->property("watched").toBool()) {
        box->installEventFilter(this);  // its closing gives the keyboard back to the window
        box->setProperty("watched", true);
    }
    PlaceFrame(box, frameGeometry().topLeft() + QPoint(120, 120));
    if (box->isMinimized())
        box->showNormal();
    else
        box->show();
    box->raise();
    box->activateWindow();
}

void TPanelleForm::SetClick() {
    if (!settingForm_) settingForm_ = new TSettingForm(*this);
    ShowPlaced(settingForm_);
}

void TPanelleForm::AboutSLClick() {
    if (!aboutBox_) aboutBox_ = new TAboutBox(this, &hooks.openUrl);
    ShowPlaced(aboutBox_);
}

void TPanelleForm::AboutHelpClick() {
    if (!aboutHelpBox_) aboutHelpBox_ = new TAboutHelpBoxForm(this, &hooks.openUrl);
    ShowPlaced(aboutHelpBox_);
}

void TPanelleForm::AboutKavooClick() {
    if (!aboutKavooForm_) aboutKavooForm_ = new TAboutKavooForm(this);
    ShowPlaced(aboutKavooForm_);
}

void TPanelleForm::AboutTRClick() {
    if (!aboutTRForm_) aboutTRForm_ = new TAboutTRForm(this);
    ShowPlaced(aboutTRForm_);
}
