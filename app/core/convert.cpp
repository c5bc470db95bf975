#include "convert.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "book.h"
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
bool WriteLine(const std::string& text, FILE* file) { return WriteLineUtf16(ControlsToSpaces(text) + "\r\n", file); }

// A line for the user naming a page (counted from 1, as the list shows them) and its file
// by the name the list shows.
std::string PageDetail(int32_t i, const std::string& path, const std::string& reason) {
    return "page " + std::to_string(i + 1) + ", " + FileNamePart(path) + ": " + reason;
}

// Why a page's picture did not load: the file is gone or unreadable, or the engine's text.
std::string LoadFailure(const std::string& path, const std::string& engineText) {
    if (access(path.c_str(), R_OK) != 0)
        return errno == ENOENT ? std::string("the file is missing since it was imported") : std::string(std::strerror(errno));
    return engineText.empty() ? std::string("cannot be read") : engineText;
}

std::string DescWriteFailure() { return std::string("cannot write desc.txt: ") + std::strerror(errno); }

std::string PictureName(const std::string& staging, int32_t i) {
    return staging + "/" + std::to_string(i) + ".png";
}

// One page after another on the calling thread. An error raised while a page is loaded,
// measured, saved or listed ends the loop like a page that did not load.
void ConvertInOrder(Book& book, const std::string& staging, FILE* desc, Messages& messages) {
    const int32_t count = book.pageCount();
    for (int32_t i = 0; i < count; ++i) {
        try {
            Description_T& page = book.pages[i];
            const uint32_t id = FormatFromExtension(page.path);
            book.currentImage = std::make_unique<Picture>();
            const std::string pictureName = PictureName(staging, i);
            const bool loaded = book.currentImage->Load(page.path.c_str(), id);
            const std::string loadError = loaded ? std::string() : book.currentImage->GetLastError();
            if (!page.measured && !book.MeasurePage(i)) {
                messages.Detail(PageDetail(i, page.path, LoadFailure(page.path, loadError)));
                messages.Show("LoadFile error!");
                return;
            }
            const bool ok = book.currentImage->Save(pictureName.c_str(), ImageFormat::Png);
            if (!WriteLine(std::to_string(i) + ":" + page.description, desc)) {
                messages.Detail(DescWriteFailure());
                messages.Show("LoadFile error!");
                return;
            }
            if (!ok) {
                messages.Detail(PageDetail(i, page.path,
                                           loaded ? "cannot save it as " + std::to_string(i) + ".png: " +
                                                        book.currentImage->GetLastError()
                                                  : LoadFailure(page.path, loadError)));
                messages.ShowError("Error", book.currentImage->GetLastError());
            }
        } catch (...) {
            messages.Detail(PageDetail(i, book.pages[i].path, "an error was raised while converting it"));
            messages.Show("LoadFile error!");
            return;
        }
        messages.Progress(i + 1, count);
    }
}

// What a worker needs of a page, copied before the workers start: the calling thread
// changes the pages' records while the workers run.
struct PageWork {
    std::string path;
    std::string pictureName;
    bool measured = false;
};

// A page as a worker left it: loaded and, unless the loop is to end there, saved.
struct PageDone {
    bool ready = false;
    bool raised = false;  // an error was raised while the page was loaded or saved
    bool ends = false;    // the loop ends at this page: it raised, or it is unmeasured and did not load
    bool saved = false;
    bool loaded = false;
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
        done.loaded = picture->Load(work.path.c_str(), FormatFromExtension(work.path));
        if (!done.loaded) done.loadError = picture->GetLastError();
        done.width = static_cast<int32_t>(picture->GetWidth());
        done.height = static_cast<int32_t>(picture->GetHeight());
        // Measuring fails on a picture of no size, and the loop then ends without saving it.
        done.ends = !work.measured && done.width == 0 && done.height == 0;
        if (!done.ends) {
            done.saved = picture->Save(work.pictureName.c_str(), ImageFormat::Png);
            if (!done.saved) done.error = picture->GetLastError();
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
            if (done_[j].saved) std::remove(work_[j].pictureName.c_str());
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
    picture->Load(work.path.c_str(), FormatFromExtension(work.path));
    picture->Save(work.pictureName.c_str(), ImageFormat::Png);
    return picture;
}

// Workers load and save the pages; the calling thread takes them back in page order and
// does everything the user or the book sees: measures, desc.txt lines, messages.
void ConvertInParallel(Book& book, const std::string& staging, FILE* desc, Messages& messages,
                       unsigned workers) {
    const int32_t count = book.pageCount();
    std::vector<PageWork> work(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        work[i] = PageWork{book.pages[i].path, PictureName(staging, i), book.pages[i].measured};
    PagePipeline pipeline(work, workers);
    if (!pipeline.Running()) {
        ConvertInOrder(book, staging, desc, messages);
        return;
    }
    book.currentImage = std::make_unique<Picture>();  // the first page replaces it at once

    for (int32_t i = 0; i < count; ++i) {
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
            if (!ends && !WriteLine(std::to_string(i) + ":" + page.description, desc)) {
                ends = true;
                detail = DescWriteFailure();
            }
            if (!ends && !done.saved) {
                messages.Detail(PageDetail(i, page.path,
                                           done.loaded ? "cannot save it as " + std::to_string(i) + ".png: " + done.error
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
            return;
        }
        if (done.picture) book.currentImage = std::move(done.picture);
        messages.Progress(i + 1, count);
    }
}

}  // namespace

void ConvertPages(Book& book, const std::string& staging, Messages& messages) {
    ConvertPages(book, staging, messages, ConversionWorkers());
}

void ConvertPages(Book& book, const std::string& staging, Messages& messages, unsigned workers) {
    std::unique_ptr<FILE, int (*)(FILE*)> desc(std::fopen((staging + "/desc.txt").c_str(), "w+b"),
                                               &std::fclose);
    if (!desc) {
        messages.Detail("cannot create " + staging + "/desc.txt: " + std::strerror(errno));
        messages.Show("Open descfile error!");
        return;
    }
    static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
    if (std::fwrite(kByteOrderMark, 1, 2, desc.get()) != 2 ||
        !WriteLine("bookname:" + book.bookName, desc.get()) ||
        !WriteLine("piccount:" + std::to_string(book.pageCount()), desc.get()) ||
        !WriteLine("author:" + book.author, desc.get()))
        return;  // closes desc.txt; the driver goes on without a message

    const unsigned threads = std::min(workers, static_cast<unsigned>(book.pageCount()));
    if (threads > 1)
        ConvertInParallel(book, staging, desc.get(), messages, threads);
    else
        ConvertInOrder(book, staging, desc.get(), messages);
}
