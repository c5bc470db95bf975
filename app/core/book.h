// The book being made: its settings, its pages in order, the current page and its working
// picture. What the window shows of it (the list's selection, the enabled controls, the
// name field's text) is the presenter's (presenter.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "panelle/picture.h"
#include "settings.h"

// One page of the book.
struct Description_T {
    int32_t picWidth = 0;
    int32_t picHeight = 0;
    std::string path;
    std::string description;
    bool measured = false;
    // the picture fitted to the settings' screen size when it was measured
    int32_t fitWidth = 0;
    int32_t fitHeight = 0;
};

// A page as the book holds it: the list page it comes from, its description (a picture that
// gives several pages describes its first one), and its size; 0 x 0 when it was not saved.
struct WrittenPage {
    int32_t source = 0;
    std::string description;
    int32_t width = 0;
    int32_t height = 0;
};

// One archive a generation wrote.
struct JarOutcome {
    std::string jarPath;
    int32_t pages = 0;
    int64_t bytes = 0;
    int32_t largestWidth = 0;  // the page that takes the most pixels
    int32_t largestHeight = 0;
};

// The six template files, in the order every step uses them.
inline constexpr std::array<const char*, 6> TemplateNames = {
    "a.class", "GameMidlet.class", "logo1.png", "icon.png", "desc.txt", "META-INF\\MANIFEST.MF"};

// The flowing reader's two classes (the first two templates) lie in this folder inside the
// template folder; the pictures and the text templates are the classic reader's.
inline constexpr const char* kFlowReaderFolder = "flow";

// The archive step takes at most 4096 names, six of which are the templates.
constexpr int kMaxPages = 4096 - 6;

// The longest description the description field takes, in characters.
constexpr size_t kMaxDescription = 100;

// The text after the last "\" (or "/") of a path; for a page of a comic archive, the
// archive's file name, ": " and the entry's file name.
std::string FileNamePart(const std::string& path);

// Why a picture did not load from path: the engine's last error, else why the file cannot
// be opened ("No such file or directory"), else that its format is not known.
std::string LoadFailure(const std::string& path, const Picture& picture);

// The template folder: files/ beside the executable, else the installed data folder.
std::string DefaultTemplateFolder();

// The working picture. A copy of a book (the one a generation works on while the window
// keeps its own) starts without one: a book's pixels are its own, and copying them would be
// waste.
class WorkingPicture : public std::unique_ptr<Picture> {
   public:
    using std::unique_ptr<Picture>::operator=;
    WorkingPicture() = default;
    WorkingPicture(std::unique_ptr<Picture>&& picture) noexcept
        : std::unique_ptr<Picture>(std::move(picture)) {}
    WorkingPicture(WorkingPicture&&) noexcept = default;
    WorkingPicture& operator=(WorkingPicture&&) noexcept = default;
    WorkingPicture(const WorkingPicture&) noexcept : std::unique_ptr<Picture>() {}
    WorkingPicture& operator=(const WorkingPicture&) noexcept {
        reset();
        return *this;
    }
};

class Book {
   public:
    Book();

    // ---- settings (read by the caller, see settings.h) ----
    std::string author;
    int32_t settingWidth = 176;
    int32_t settingHeight = 208;
    int32_t settingPrice = 0;
    PageFit pageFit;     // how pages are written: fitted to the screen above, reduced, split
    PhoneBudget budget;  // the heap a page may take and the largest archive, 0 for no limit

    // ---- book ----
    std::string bookName;        // the name as stored when the name field last lost the focus (desc.txt's)
    std::string descriptorName;  // the name the JAD and the manifest give the book
    std::vector<Description_T> pages;
    int32_t currentPage = -1;
    WorkingPicture currentImage;
    std::string currentPath;
    // Why the current page's picture did not load at its selection; empty when it loaded.
    std::string currentError;
    std::array<std::string, 6> templatePaths;
    std::string jarPath;

    // ---- what the last generation wrote ----
    // The pages as written, in book order (a split or cut picture gives several).
    std::vector<WrittenPage> written;
    // The archives written, one per volume; empty when the generation failed.
    std::vector<JarOutcome> outcome;

    int32_t pageCount() const { return static_cast<int32_t>(pages.size()); }
    void SetTemplateFolder(const std::string& folder);
    // The viewer the book carries (see BookSettings::reader); the template paths follow it.
    int32_t reader() const { return reader_; }
    void SetReader(int32_t reader);

    // ---- the page list ----
    // Appends one page per file; an empty list (a cancelled dialog) changes nothing.
    // Returns how many files were taken: a book holds at most kMaxPages pages.
    size_t ImportPictures(const std::vector<std::string>& files);
    // Removes the marked pages (rows parallel to pages); the current page follows its record,
    // a removed current page leaves none.
    void DeletePages(const std::vector<bool>& rows);
    void Clear();
    // Move every marked page one place down (up), the marks with them, as long as the lowest
    // (highest) marked page is not already last (first); false when nothing moved.
    bool MoveDown(std::vector<bool>& rows);
    bool MoveUp(std::vector<bool>& rows);

    // ---- selection and measuring ----
    // Page `row` becomes the current page: its picture is loaded and, the first time,
    // measured. A page whose picture does not load becomes current all the same
    // (currentError says why). Without such a page (-1) there is no current page; false then.
    bool SelectPage(int32_t row);
    // Records the sizes of the picture in currentImage for page i; false when it did not
    // load (both sizes 0), leaving the measured mark alone. The description is never
    // touched: what was typed for a page survives its first measuring.
    bool MeasurePage(int32_t i);
    // The same for a picture of the given size that is not in currentImage (conversion
    // measures pages whose pictures were loaded on other threads and are gone again).
    bool MeasurePage(int32_t i, int32_t width, int32_t height);
    // Measures page i from its file without keeping its pixels (only the size is read where
    // the format allows it); the same effects as MeasurePage.
    bool MeasurePageFromFile(int32_t i);
    // Sets page i's description, cut to kMaxDescription characters.
    void SetDescription(int32_t i, const std::string& text);

   private:
    void FillTemplatePaths();
    std::string templateFolder_;
    int32_t reader_ = 0;
    void NoCurrentPage();
};
