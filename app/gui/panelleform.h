// The main window: the page list, the preview with the page's description, the book name
// with the generate button, the portal strip and the menu. Every handler hands its work to
// the book (app/core) and shows the book's state back in the controls.
#pragma once

#include <QCheckBox>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "book.h"
#include "controls.h"
#include "presenter.h"
#include "qtmessages.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMimeData;
class QMenu;
class QProgressBar;
class QTimer;
class BackgroundGeneration;
class TAboutBox;
class TAboutHelpBoxForm;
class TAboutKavooForm;
class TAboutTRForm;
class TSettingForm;

// What the window asks of the desktop. The defaults run the dialogs, open addresses in the
// browser and show message boxes; tests put their own in place.
struct DesktopHooks {
    // Runs a file dialog as it is configured; the chosen files, none when it was cancelled.
    std::function<QStringList(QFileDialog&)> runFileDialog;
    UrlOpener openUrl;
    Messages* messages = nullptr;
};

class TPanelleForm : public QMainWindow {
   public:
    // Reads the settings from settingsPath (writing back the defaults it had to use).
    explicit TPanelleForm(std::string settingsPath, QWidget* parent = nullptr);
    ~TPanelleForm() override;

    DesktopHooks hooks;
    Book& book() { return book_; }
    BookPresenter& presenter() { return presenter_; }
    const std::string& settingsPath() const { return settingsPath_; }
    TSettingForm* settingForm() const { return settingForm_; }
    TAboutBox* aboutBox() const { return aboutBox_; }
    TAboutHelpBoxForm* aboutHelpBox() const { return aboutHelpBox_; }
    TAboutKavooForm* aboutKavooForm() const { return aboutKavooForm_; }
    TAboutTRForm* aboutTRForm() const { return aboutTRForm_; }

    // ---- controls, named as the form names them ----
    QWidget* client;  // the client area, 729 x 615
    QGroupBox* GroupBox1;
    TsuiListBox* FileNameListBox;
    QPushButton* DelButton;
    QPushButton* ClearButton;
    QPushButton* MoveUpButton;
    QPushButton* MoveDownButton;
    TsuiImageButton* suiImageButton1;
    QGroupBox* GroupBox2;
    TPaintBox* PaintBox1;
    QLabel* Label5;
    QLineEdit* PictureDescEdit;
    QCheckBox* PhoneViewCheck;  // the preview shows the page as the phone will
    QGroupBox* GroupBox3;
    QLabel* Label7;
    QLineEdit* BookNameEdit;
    QPushButton* CreateButton;
    QLabel* Label4;
    QLabel* Label8;
    QPushButton* suiButton1;
    TsuiURLLabel* suiURLLabel1;
    TsuiURLLabel* suiURLLabel2;
    // the portal strip, in the order of kPortalChannels
    struct PortalControls {
        QLabel* caption;
        TsuiImageButton* button;
        TsuiURLLabel* link;
    };
    std::array<PortalControls, 8> portal;
    QProgressBar* suiProgressBar;
    // Shown beside the progress bar while a generation runs; stops it.
    QPushButton* CancelButton;
    // Under the page list, in the progress bar's place: what the last generation wrote.
    QLabel* StatusLabel;
    QTimer* Timer1;
    QFileDialog* OpenPictureDialog1;
    QFileDialog* SaveDialog;
    QMenu* FileMenu;
    QMenu* HelpMenu;
    QAction* NewBtn;
    QAction* CreateEBook;
    QAction* InsertPic;
    QAction* Set;
    QAction* Exit;
    QAction* AboutHelp;
    QAction* AboutKavoo;
    QAction* AboutTR;
    QAction* AboutSL;

    // ---- handlers ----
    void NewBtnClick() {}
    void InsertPicClick();
    void suiImageButton1Click() { InsertPicClick(); }
    void DelButtonClick();
    void ClearButtonClick();
    void MoveUpButtonClick();
    void MoveDownButtonClick();
    void FileNameListBoxMouseDown(Qt::MouseButton button);
    void PaintBox1Paint(QPainter& painter);
    void PictureDescEditEnter();
    void PictureDescEditExit();
    void BookNameEditExit();
    void Timer1Timer();
    void CreateButtonClick();
    void CreateEBookClick() { CreateButtonClick(); }
    void CancelButtonClick();
    // Whether a generation is running (its pages are converted on a thread of their own).
    bool Generating() const { return generation_ != nullptr; }
    void SetClick();
    void ExitClick() { close(); }
    void AboutHelpClick();
    void AboutKavooClick();
    void AboutTRClick();
    void AboutSLClick();
    void suiButton1Click() { suiURLLabel1->Click(); }
    void suiImageButton2Click() { PortalLink("suiURLLabel9"); }
    void suiImageButton3Click() { PortalLink("suiURLLabel3"); }
    void suiImageButton4Click() { PortalLink("suiURLLabel4"); }
    void suiImageButton5Click() { PortalLink("suiURLLabel5"); }
    void suiImageButton6Click() { PortalLink("suiURLLabel6"); }
    void suiImageButton7Click() { PortalLink("suiURLLabel7"); }
    void suiImageButton8Click() { PortalLink("suiURLLabel8"); }
    void suiImageButton9Click() { PortalLink("suiURLLabel10"); }

    // The Qt form of the picture dialog's filter: the same groups, patterns separated by
    // spaces, and Windows' "*.*" (every file) as "*".
    static QStringList PictureNameFilters(const QString& windowsFilter);
    static const QString kPictureFilter;

    // Imports the pages that paths stand for (files, folders, comic archives, in the order
    // given), as the picture dialog and a drop of files do; says what could not be imported.
    void ImportPaths(const QStringList& paths);
    // The local files and folders a drag carries, in the order given; none when it carries
    // nothing else.
    static QStringList DroppedPaths(const QMimeData* data);

    // Places a dialog or box with its frame 120 pixels right of and below the window's
    // frame, shows it and restores it when it was minimised.
    void ShowPlaced(QWidget* box);

    // What the preview box says for a current page whose picture could not be read.
    static QString UnreadableText(const std::string& path, const std::string& reason);

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing during a generation stops it first; the window closes once it has stopped.
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped onto the window import like the picture dialog's.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

   private:
    void BuildControls();
    void BuildPortal();
    void BuildMenu();
    void BuildDialogs();
    // The list's selection marks into the book, and the book's rows, marks and control
    // states into the controls.
    void PullSelection();
    void ShowPages();
    void ShowControls();
    // The current page's description into the field; empty without a current page.
    void ShowDescription();
    void PortalLink(const char* linkName);
    // A drag or drop event over the window or the list: accepted when it carries files.
    bool TakeDrag(QDropEvent* event, bool drop);
    // The archives of the last generation, one "NAME.jar: N pages, B bytes, largest page
    // WxH" each, into the status line; empty after a generation that failed.
    void ShowOutcome();

    std::string settingsPath_;
    Book book_;
    BookPresenter presenter_{book_};  // the list's selection, the enabled controls, the name field's text
    // A generation works on a copy of the book; the window's own stays with the preview, the
    // selection and the fields while it runs, and gets the pages' measures back afterwards.
    std::unique_ptr<BackgroundGeneration> generation_;
    bool closeWhenStopped_ = false;
    void TakeMeasures(const Book& generated);
    // The current page as the book will hold it, made for the phone view when first shown
    // and kept while the page, its picture and the page settings stay the same.
    struct PhoneView {
        const Picture* source = nullptr;
        int32_t page = -1;
        PageFit fit;
        int32_t screenWidth = 0, screenHeight = 0;
        std::unique_ptr<Picture> picture;
        std::string error;
    };
    PhoneView phoneView_;
    const PhoneView& PhoneViewOf(const Picture& image);
    QtMessages boxes_;
    // Created on first use as the window's children; they live as long as the window.
    TSettingForm* settingForm_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    TAboutHelpBoxForm* aboutHelpBox_ = nullptr;
    TAboutKavooForm* aboutKavooForm_ = nullptr;
    TAboutTRForm* aboutTRForm_ = nullptr;
};
