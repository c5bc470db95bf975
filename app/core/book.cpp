#include "book.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "comicarchive.h"
#include "files.h"
#include "measure.h"
#include "text.h"

#ifndef PANELLE_DATADIR
#define PANELLE_DATADIR "/usr/local/share/panelle"
#endif

std::string FileNamePart(const std::string& path) {
    // an archive's page is named by the archive and the entry: "archive.cbz: 001.jpg"
    std::string archive, entry;
    if (SplitArchivePage(path, archive, entry)) return FileNamePart(archive) + ": " + FileNamePart(entry);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LoadFailure(const std::string& path, const Picture& picture) {
    if (*picture.GetLastError()) return picture.GetLastError();
    if (FILE* file = std::fopen(PageSourceFile(path).c_str(), "rb"))
        std::fclose(file);
    else
        return std::strerror(errno);
    return "Unknown or wrong format";
}

std::string DefaultTemplateFolder() {
    const std::string beside = ExecutableFolder() + "/files";
    if (FileExists(beside + "/" + TemplateNames[0])) return beside;
    // an installed tree moved elsewhere (a package, or an install into another prefix)
    const std::string relative = ExecutableFolder() + "/../share/panelle/files";
    if (FileExists(relative + "/" + TemplateNames[0])) return relative;
    const std::string installed = std::string(PANELLE_DATADIR) + "/files";
    if (FileExists(installed + "/" + TemplateNames[0])) return installed;
    return beside;  // generation then reports the missing template by name
}

Book::Book() { SetTemplateFolder(DefaultTemplateFolder()); }

void Book::SetTemplateFolder(const std::string& folder) {
    templateFolder_ = folder;
    FillTemplatePaths();
}

void Book::SetReader(int32_t reader) {
    reader_ = reader == 1 ? 1 : 0;
    FillTemplatePaths();
}

void Book::FillTemplatePaths() {
    for (size_t i = 0; i < TemplateNames.size(); ++i) {
        std::string name = TemplateNames[i];
        std::replace(name.begin(), name.end(), '\\', '/');
        const bool viewerClass = i < 2;
        templatePaths[i] = templateFolder_ +
                           (reader_ == 1 && viewerClass ? std::string("/") + kFlowReaderFolder : "") + "/" +
                           name;
    }
}

// ---- the page list ----------------------------------------------------------------------

size_t Book::ImportPictures(const std::vector<std::string>& files) {
    const size_t room = static_cast<size_t>(kMaxPages) - pages.size();
    const size_t taken = std::min(room, files.size());
    for (size_t i = 0; i < taken; ++i) {
        Description_T page;
        page.path = files[i];
        pages.push_back(std::move(page));
    }
    return taken;
}

void Book::DeletePages(const std::vector<bool>& rows) {
    std::vector<Description_T> kept;
    int32_t newCurrent = -1;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i < rows.size() && rows[i]) continue;
        if (static_cast<int32_t>(i) == currentPage) newCurrent = static_cast<int32_t>(kept.size());
        kept.push_back(std::move(pages[i]));
    }
    pages = std::move(kept);
    currentPage = newCurrent;
    if (currentPage < 0) NoCurrentPage();
}

void Book::Clear() {
    pages.clear();
    NoCurrentPage();
}

void Book::NoCurrentPage() {
    currentPage = -1;
    currentError.clear();
}

bool Book::MoveDown(std::vector<bool>& rows) {
    const int32_t last = pageCount() - 1;
    if (rows.size() != pages.size()) return false;
    bool moved = false;
    for (int32_t r = last; r >= 0; --r) {
        if (!rows[r]) continue;
        if (r == last) return moved;  // the lowest marked page is at the bottom: nothing moves
        std::swap(pages[r], pages[r + 1]);
        const bool mark = rows[r];
        rows[r] = rows[r + 1];
        rows[r + 1] = mark;
        if (currentPage == r)
            currentPage = r + 1;
        else if (currentPage == r + 1)
            currentPage = r;
        moved = true;
    }
    return moved;
}

bool Book::MoveUp(std::vector<bool>& rows) {
    const int32_t count = pageCount();
    if (rows.size() != pages.size()) return false;
    bool moved = false;
    for (int32_t r = 0; r < count; ++r) {
        if (!rows[r]) continue;
        if (r == 0) return moved;
        std::swap(pages[r], pages[r - 1]);
        const bool mark = rows[r];
        rows[r] = rows[r - 1];
        rows[r - 1] = mark;
        if (currentPage == r)
            currentPage = r - 1;
        else if (currentPage == r - 1)
            currentPage = r;
        moved = true;
    }
    return moved;
}

// ---- selection and measuring ------------------------------------------------------------

bool Book::SelectPage(int32_t r) {
    currentPage = -1;
    if (r < 0 || r >= pageCount()) return false;
    currentPage = r;
    currentPath = pages[r].path;
    currentImage = std::make_unique<Picture>();
    currentError.clear();
    if (!LoadPageFile(*currentImage, currentPath, FormatFromExtension(currentPath)) ||
        !currentImage->IsValid())
        currentError = LoadFailure(currentPath, *currentImage);
    if (!pages[r].measured) MeasurePage(r);
    return true;
}

bool Book::MeasurePage(int32_t i) {
    return MeasurePage(i, currentImage ? static_cast<int32_t>(currentImage->GetWidth()) : 0,
                       currentImage ? static_cast<int32_t>(currentImage->GetHeight()) : 0);
}

bool Book::MeasurePage(int32_t i, int32_t width, int32_t height) {
    if (i < 0 || i >= pageCount()) return false;
    Description_T& page = pages[i];
    page.picWidth = width;
    page.picHeight = height;
    if (page.picWidth == 0 && page.picHeight == 0) return false;
    page.measured = true;
    const FittedSize fit = FitToScreen(page.picWidth, page.picHeight, settingWidth, settingHeight);
    page.fitWidth = fit.width;
    page.fitHeight = fit.height;
    return true;
}

bool Book::MeasurePageFromFile(int32_t i) {
    if (i < 0 || i >= pageCount()) return false;
    std::unique_ptr<Picture> keep = std::move(currentImage);
    currentImage = std::make_unique<Picture>();
    currentImage->SetEscape(-1);
    LoadPageFile(*currentImage, pages[i].path, FormatFromExtension(pages[i].path));
    const bool ok = MeasurePage(i);
    currentImage = std::move(keep);
    return ok;
}

void Book::SetDescription(int32_t i, const std::string& text) {
    if (i < 0 || i >= pageCount()) return;
    pages[i].description = Utf8Prefix(text, kMaxDescription);
}
