#include "convert.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "book.h"
#include "comicarchive.h"
#include "fitpage.h"
#include "measure.h"
#include "messages.h"
#include "text.h"

bool WriteLineUtf16(const std::string& text, FILE* file) {
    const std::string units = Utf8ToUtf16Le(text);
    return std::fwrite(units.data(), 1, units.size(), file) == units.size();
}

unsigned ConversionWorkers() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxConversionWorkers);
}

namespace {

// A line of desc.txt: the text and CR LF. A control character would end the line early and
// start a false one, so it is written as a space.
bool WriteLine(const std::string& text, FILE* file) {
    return WriteLineUtf16(ControlsToSpaces(text) + "\r\n", file);
}

// A line for the user naming a page (counted from 1, as the list shows them) and its file
// by the name the list shows.
std::string PageDetail(int32_t i, const std::string& path, const std::string& reason) {
    return "page " + std::to_string(i + 1) + ", " + FileNamePart(path) + ": " + reason;
}

// Why a page's picture did not load: the file is gone or unreadable, or the engine's text.
std::string LoadFailure(const std::string& path, const std::string& engineText) {
    if (access(PageSourceFile(path).c_str(), R_OK) != 0)
        return errno == ENOENT ? std::string("the file is missing since it was imported")
                               : std::string(std::strerror(errno));
    return engineText.empty() ? std::string("cannot be read") : engineText;
}

std::string DescWriteFailure() { return std::string("cannot write desc.txt: ") + std::strerror(errno); }

std::string PictureName(const std::string& staging, int32_t i) {
    return staging + "/" + std::to_string(i) + ".png";
}

// What a page's conversion needs to know, copied before workers start (the calling thread
// changes the pages' records while they run): how pages are written and under which names.
// A page that may give several pages (split, or cut to fit the heap) writes under names of
// its own, which become N.png once the pages before it are counted.
struct PageWork {
    std::string path;
    std::string pictureName;  // the page's picture when it gives one page only
    std::string partStem;     // else its pieces: partStem-K.png
    bool measured = false;
    PageFit fit;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    int64_t heapBytes = 0;

    bool Several() const { return !partStem.empty(); }
    std::string PartName(int32_t k) const {
        return Several() ? partStem + "-" + std::to_string(k) + ".png" : pictureName;
    }
};

// Whether pages may give more than one picture each, so that they are counted as written.
bool PagesMayMultiply(const Book& book) {
    return book.pageFit.split != 0 || (book.pageFit.fit == 1 && book.budget.heap > 0);
}

PageWork WorkFor(const Book& book, const std::string& staging, int32_t i) {
    PageWork work{book.pages[i].path,
                  PictureName(staging, i),
                  {},
                  book.pages[i].measured,
                  book.pageFit,
                  book.settingWidth,
                  book.settingHeight,
                  int64_t{book.budget.heap} * 1024};
    if (PagesMayMultiply(book)) {
        work.pictureName.clear();
        work.partStem = staging + "/part-" + std::to_string(i);
    }
    return work;
}

bool LoadPage(Picture& picture, const PageWork& work, PageSize& full) {
    return LoadPagePicture(picture, work.path, FormatFromExtension(work.path), work.fit, work.screenWidth,
                           work.screenHeight, full);
}

// Writes a loaded page as the book holds it; `sizes` gets the sizes of the pages it gives
// (0 x 0 for one that was not saved) and the picture keeps the last one written. False, with
// the engine's text in `error`, when a page could not be fitted or saved.
bool SavePage(Picture& picture, PageSize full, const PageWork& work, std::vector<PageSize>& sizes,
              std::string& error) {
    if (KeepsPagesAsTheyAre(work.fit)) {
        const bool ok = picture.Save(work.pictureName.c_str(), ImageFormat::Png);
        if (!ok) error = picture.GetLastError();
        sizes = {
            ok ? PageSize{static_cast<int32_t>(picture.GetWidth()), static_cast<int32_t>(picture.GetHeight())}
               : PageSize{}};
        return ok;
    }
    // a page that cannot be fitted still has its lines, one per page it would have given
    sizes.assign(WrittenPageSizes(work.fit, full.width, full.height, work.screenWidth, work.screenHeight,
                                  work.heapBytes)
                     .size(),
                 PageSize{});
    std::vector<Picture> pages =
        FitPage(picture, full, work.fit, work.screenWidth, work.screenHeight, error, work.heapBytes);
    if (pages.empty()) return false;
    sizes.assign(pages.size(), PageSize{});
    bool ok = true;
    for (size_t k = 0; k < pages.size(); ++k) {
        if (pages[k].Save(work.PartName(static_cast<int32_t>(k)).c_str(), ImageFormat::Png)) {
            sizes[k] = {static_cast<int32_t>(pages[k].GetWidth()),
                        static_cast<int32_t>(pages[k].GetHeight())};
        } else if (ok) {
            ok = false;
            error = pages[k].GetLastError();
        }
    }
    picture.Transfer(pages.back());
    return ok;
}

// The lines of a page's pictures, numbered as they are written from `first`; the page's
// description goes with the first. Pieces of a page take their names as written. Each page
// is recorded in `written`.
bool ListPage(const PageWork& work, const std::string& staging, int32_t source, int32_t first,
              const std::vector<PageSize>& sizes, const std::string& description, FILE* desc,
              std::vector<WrittenPage>& written) {
    const int32_t parts = static_cast<int32_t>(sizes.size());
    if (work.Several())
        for (int32_t k = 0; k < parts; ++k)
            std::rename(work.PartName(k).c_str(), PictureName(staging, first + k).c_str());
    for (int32_t k = 0; k < parts; ++k) {
        const std::string text = k == 0 ? description : std::string();
        if (!WriteLine(std::to_string(first + k) + ":" + text, desc)) return false;
        written.push_back({source, ControlsToSpaces(text), sizes[k].width, sizes[k].height});
    }
    return true;
}

// One page after another on the calling thread. An error raised while a page is loaded,
// measured, saved or listed ends the loop like a page that did not load. Gives the number
// of pages listed.
int32_t ConvertInOrder(Book& book, const std::string& staging, FILE* desc, Messages& messages) {
    const int32_t count = book.pageCount();
    int32_t listed = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (messages.Cancelled()) return listed;
        messages.Converting(i + 1, count, book.pages[i].path);
        try {
            Description_T& page = book.pages[i];
            const PageWork work = WorkFor(book, staging, i);
            book.currentImage = std::make_unique<Picture>();
            PageSize full;
            const bool loaded = LoadPage(*book.currentImage, work, full);
            const std::string loadError = loaded ? std::string() : book.currentImage->GetLastError();
            if (!page.measured && !book.MeasurePage(i, full.width, full.height)) {
                messages.Detail(PageDetail(i, page.path, LoadFailure(page.path, loadError)));
                messages.Show("LoadFile error!");
                return listed;
            }
            std::vector<PageSize> sizes;
            std::string error;
            const bool ok = SavePage(*book.currentImage, full, work, sizes, error);
            const int32_t parts = static_cast<int32_t>(sizes.size());
            if (!ListPage(work, staging, i, listed, sizes, page.description, desc, book.written)) {
                messages.Detail(DescWriteFailure());
                messages.Show("LoadFile error!");
                return listed;
            }
            listed += parts;
            if (!ok) {
                messages.Detail(PageDetail(
                    i, page.path,
                    loaded ? "cannot save it as " + std::to_string(listed - parts) + ".png: " + error
                           : LoadFailure(page.path, loadError)));
                messages.ShowError("Error", error);
            }
        } catch (...) {
            messages.Detail(PageDetail(i, book.pages[i].path, "an error was raised while converting it"));
            messages.Show("LoadFile error!");
            return listed;
        }
        messages.Progress(i + 1, count);
    }
    return listed;
}

// A page as a worker left it: loaded and, unless the loop is to end there, saved.
struct PageDone {
    bool ready = false;
    bool raised = false;  // an error was raised while the page was loaded or saved
    bool ends = false;    // the loop ends at this page: it raised, or it is unmeasured and did not load
    bool saved = false;
    bool loaded = false;
    std::vector<PageSize> sizes;  // the pages it gives
    int32_t width = 0;
    int32_t height = 0;
    std::string loadError;             // the last-error text of a failed load
    std::string error;                 // the last-error text of a failed save
    std::unique_ptr<Picture> picture;  // kept only when it may become currentImage
};

PageDone ConvertPage(const PageWork& work, bool last) noexcept {
    PageDone done;
    try {
        auto picture = std::make_unique<Picture>();
        PageSize full;
        done.loaded = LoadPage(*picture, work, full);
        if (!done.loaded) done.loadError = picture->GetLastError();
        done.width = full.width;
        done.height = full.height;
        // Measuring fails on a picture of no size, and the loop then ends without saving it.
        done.ends = !work.measured && done.width == 0 && done.height == 0;
        if (!done.ends) {
            done.saved = SavePage(*picture, full, work, done.sizes, done.error);
        }
        // Every other page's pixels go now: only one decoded page per worker is alive.
        if (last || done.ends) done.picture = std::move(picture);
    } catch (...) {
        done.raised = done.ends = true;
        done.picture.reset();
    }
    done.ready = true;
    return done;
}

// Workers take pages up in order, at most `window` pages beyond the last one the calling
// thread has taken back, so that the pictures written ahead stay few when the loop ends
// early; the results hold no pixels but the last page's.
class PagePipeline {
   public:
    PagePipeline(std::vector<PageWork> work, unsigned workers)
        : work_(std::move(work)),
          done_(work_.size()),
          limit_(static_cast<int32_t>(work_.size())),
          window_(2 * static_cast<int32_t>(workers)) {
        for (unsigned n = 0; n < workers; ++n) {
            try {
                threads_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // the threads already running do the work
            }
        }
    }
    ~PagePipeline() { Finish(taken_ - 1); }
    PagePipeline(const PagePipeline&) = delete;
    PagePipeline& operator=(const PagePipeline&) = delete;

    bool Running() const { return !threads_.empty(); }

    // Waits until page i (the page after the last one taken) is done and hands it over.
    PageDone Take(int32_t i) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done_[i].ready; });
        taken_ = i + 1;
        PageDone done = std::move(done_[i]);
        lock.unlock();
        changed_.notify_all();
        return done;
    }

    // No page after `last` is taken up any more; once the workers have finished the pages
    // they hold, the pictures they saved after `last` are removed, as if never written.
    void Finish(int32_t last) {
        {
            std::lock_guard lock(mutex_);
            limit_ = 0;
        }
        changed_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
        for (size_t j = static_cast<size_t>(last + 1); j < done_.size(); ++j)
            for (int32_t k = 0; k < static_cast<int32_t>(done_[j].sizes.size()); ++k)
                std::remove(work_[j].PartName(k).c_str());
        done_.resize(std::min(done_.size(), static_cast<size_t>(last + 1)));
    }

   private:
    void Work() {
        for (;;) {
            int32_t j;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return next_ >= limit_ || next_ < taken_ + window_; });
                if (next_ >= limit_) return;
                j = next_++;
            }
            PageDone done = ConvertPage(work_[j], j + 1 == static_cast<int32_t>(work_.size()));
            {
                std::lock_guard lock(mutex_);
                if (done.ends) limit_ = std::min(limit_, j + 1);  // later pages are not converted
                done_[j] = std::move(done);
            }
            changed_.notify_all();
        }
    }

    const std::vector<PageWork> work_;
    std::vector<PageDone> done_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int32_t next_ = 0;   // the next page a worker takes up
    int32_t limit_;      // pages from here on are not taken up
    int32_t taken_ = 0;  // pages the calling thread has taken back
    const int32_t window_;
    std::vector<std::thread> threads_;
};

// The picture of a page the loop ends at after it was saved (its line could not be written),
// as the loop leaves it: loaded and saved again (the same bytes under the same name).
std::unique_ptr<Picture> LoadedAgain(const PageWork& work) {
    auto picture = std::make_unique<Picture>();
    PageSize full;
    LoadPage(*picture, work, full);
    std::vector<PageSize> sizes;
    std::string error;
    SavePage(*picture, full, work, sizes, error);
    return picture;
}

// Workers load and save the pages; the calling thread takes them back in page order and
// does everything the user or the book sees: measures, desc.txt lines, messages.
int32_t ConvertInParallel(Book& book, const std::string& staging, FILE* desc, Messages& messages,
                          unsigned workers) {
    const int32_t count = book.pageCount();
    std::vector<PageWork> work(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) work[i] = WorkFor(book, staging, i);
    PagePipeline pipeline(work, workers);
    if (!pipeline.Running()) return ConvertInOrder(book, staging, desc, messages);
    int32_t listed = 0;
    book.currentImage = std::make_unique<Picture>();  // the first page replaces it at once

    for (int32_t i = 0; i < count; ++i) {
        if (messages.Cancelled()) {
            pipeline.Finish(i - 1);  // the pages converted ahead are not the book's
            return listed;
        }
        messages.Converting(i + 1, count, work[i].path);
        PageDone done = pipeline.Take(i);
        bool ends = done.raised;
        std::string detail;
        if (done.raised) detail = PageDetail(i, work[i].path, "an error was raised while converting it");
        try {
            Description_T& page = book.pages[i];
            if (!ends && !page.measured && !book.MeasurePage(i, done.width, done.height)) {
                ends = true;
                detail = PageDetail(i, page.path, LoadFailure(page.path, done.loadError));
            }
            const int32_t parts = static_cast<int32_t>(done.sizes.size());
            if (!ends &&
                !ListPage(work[i], staging, i, listed, done.sizes, page.description, desc, book.written)) {
                ends = true;
                detail = DescWriteFailure();
            }
            if (!ends) listed += parts;
            if (!ends && !done.saved) {
                messages.Detail(PageDetail(
                    i, page.path,
                    done.loaded
                        ? "cannot save it as " + std::to_string(listed - parts) + ".png: " + done.error
                        : LoadFailure(page.path, done.loadError)));
                messages.ShowError("Error", done.error);
            }
        } catch (...) {
            ends = true;
            detail = PageDetail(i, work[i].path, "an error was raised while converting it");
        }
        if (ends) {
            pipeline.Finish(i);
            try {
                if (done.picture)
                    book.currentImage = std::move(done.picture);
                else if (!done.raised)
                    book.currentImage = LoadedAgain(work[i]);
            } catch (...) {
                // currentImage stays an empty picture
            }
            if (!detail.empty()) messages.Detail(detail);
            messages.Show("LoadFile error!");
            return listed;
        }
        if (done.picture) book.currentImage = std::move(done.picture);
        messages.Progress(i + 1, count);
    }
    return listed;
}

// The byte-order mark and the lines before the pages'.
bool WriteHeader(const Book& book, int32_t pictures, FILE* desc) {
    static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
    return std::fwrite(kByteOrderMark, 1, 2, desc) == 2 && WriteLine("bookname:" + book.bookName, desc) &&
           WriteLine("piccount:" + std::to_string(pictures), desc) &&
           WriteLine("author:" + book.author, desc);
}

bool CopyFromStart(FILE* from, FILE* to) {
    if (std::fseek(from, 0, SEEK_SET) != 0) return false;
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0)
        if (std::fwrite(buffer, 1, n, to) != n) return false;
    return !std::ferror(from);
}

}  // namespace

int32_t ConvertPages(Book& book, const std::string& staging, Messages& messages) {
    return ConvertPages(book, staging, messages, ConversionWorkers());
}

int32_t ConvertPages(Book& book, const std::string& staging, Messages& messages, unsigned workers) {
    std::unique_ptr<FILE, int (*)(FILE*)> desc(std::fopen((staging + "/desc.txt").c_str(), "w+b"),
                                               &std::fclose);
    if (!desc) {
        messages.Detail("cannot create " + staging + "/desc.txt: " + std::strerror(errno));
        messages.Show("Open descfile error!");
        return book.pageCount();
    }
    book.written.clear();
    // Pages that may give several are counted once they are written: their lines wait in a
    // file of their own.
    const bool split = PagesMayMultiply(book);
    std::unique_ptr<FILE, int (*)(FILE*)> lines(split ? std::tmpfile() : nullptr, &std::fclose);
    if (split && !lines) {
        messages.Detail(std::string("cannot create a temporary file for desc.txt: ") + std::strerror(errno));
        messages.Show("Open descfile error!");
        return book.pageCount();
    }
    if (!split && !WriteHeader(book, book.pageCount(), desc.get()))
        return book.pageCount();  // closes desc.txt; the driver goes on without a message

    FILE* const pageLines = split ? lines.get() : desc.get();
    const unsigned threads = std::min(workers, static_cast<unsigned>(book.pageCount()));
    const int32_t listed = threads > 1 ? ConvertInParallel(book, staging, pageLines, messages, threads)
                                       : ConvertInOrder(book, staging, pageLines, messages);
    if (!split) return book.pageCount();
    if (!WriteHeader(book, listed, desc.get()) || !CopyFromStart(lines.get(), desc.get())) {
        messages.Detail(DescWriteFailure());
        messages.Show("LoadFile error!");
    }
    return listed;
}
