#include "volumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "book.h"
#include "descriptors.h"
#include "files.h"
#include "generate.h"
#include "infozip.h"
#include "messages.h"
#include "text.h"

std::string VolumeName(const std::string& bookName, int32_t k, int32_t n) {
    return n <= 1 ? bookName : bookName + " " + std::to_string(k) + "/" + std::to_string(n);
}

std::string VolumePath(const std::string& jarPath, int32_t k, int32_t n) {
    if (n <= 1) return jarPath;
    const size_t slash = jarPath.find_last_of('/');
    const size_t dot = jarPath.rfind('.');
    const std::string suffix = "-" + std::to_string(k);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return jarPath + suffix;
    return jarPath.substr(0, dot) + suffix + jarPath.substr(dot);
}

namespace {

int64_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// The pages [first, end) of the book as one volume.
struct Range {
    int32_t first = 0;
    int32_t end = 0;
};

// Lays out volumes in a folder of the staging folder and writes their archives.
class VolumeWriter {
   public:
    VolumeWriter(const Book& book, const std::string& staging, int32_t pictures)
        : book_(book), staging_(staging), folder_(staging + "/volume"), pictures_(pictures) {}

    // Stages volume k of n holding pages r (none when `withPages` is false) and writes its
    // archive into `jar`; false (with `failure` set) when the archive cannot be written.
    bool Write(Range r, int32_t k, int32_t n, bool withPages, AtomicFile& jar, std::string& failure) {
        RemoveTree(folder_);
        if (mkdir(folder_.c_str(), 0700) != 0 || mkdir((folder_ + "/META-INF").c_str(), 0700) != 0) {
            failure = "cannot create " + folder_ + ": " + std::strerror(errno);
            return false;
        }
        const int32_t count = withPages ? r.end - r.first : 0;
        try {
            const std::vector<std::string> names = ArchiveNames(count);
            for (int32_t j = 0; j < count; ++j) {
                const std::string from = staging_ + "/" + std::to_string(r.first + j) + ".png";
                const std::string to = folder_ + "/" + names[static_cast<size_t>(j)];
                // a page goes into the volume as it is: linked, or copied where links are not had
                if (FileExists(from) && link(from.c_str(), to.c_str()) != 0) StreamCopyFile(from, to);
            }
            for (const char* t : {"a.class", "GameMidlet.class", "logo1.png", "icon.png"})
                StreamCopyFile(staging_ + "/" + t, folder_ + "/" + t);
            const std::string name = VolumeName(book_.descriptorName, k, n);
            if (!WriteFileAtomically(folder_ + "/META-INF/MANIFEST.MF", ManifestText(name)) ||
                !WriteFileAtomically(folder_ + "/desc.txt", DescText(r, k, n))) {
                failure =
                    "cannot write the texts of volume " + std::to_string(k) + ": " + std::strerror(errno);
                return false;
            }
            CInfoZip zip;
            if (!zip.InitializeZip() ||
                !zip.AddFiles(jar, folder_, names, static_cast<int32_t>(names.size()))) {
                failure = zip.failure.empty() ? std::string("the zip writer cannot be used") : zip.failure;
                return false;
            }
        } catch (const BuildError& e) {
            failure = e.what();
            return false;
        }
        return true;
    }

    // The size of the archive of volume k of n without its pages, and what each page adds.
    bool Measure(Range r, int32_t k, int32_t n, int64_t& base, std::string& failure) {
        AtomicFile probe(staging_ + "/probe.jar");
        if (!Write(r, k, n, false, probe, failure)) return false;
        base = FileSize(probe.temp());
        return base >= 0;
    }

    // What page i adds to an archive: its bytes, stored, and its entry's headers, which grow
    // by two bytes with each character of its name (the local and the central header).
    int64_t PageCost(int32_t i, int32_t index) const {
        return pageBytes_[static_cast<size_t>(i)] + entryOverhead_ + 2 * (NameLength(index) - NameLength(0));
    }

    // The bytes of every page and what one entry's headers take, measured on a real archive.
    bool Prepare(std::string& failure) {
        for (int32_t i = 0; i < pictures_; ++i) {
            const int64_t size = FileSize(staging_ + "/" + std::to_string(i) + ".png");
            if (size < 0) {
                failure = std::to_string(i) + ".png is missing";
                return false;
            }
            pageBytes_.push_back(size);
        }
        if (pictures_ == 0) return true;
        int64_t without = 0;
        if (!Measure({0, 1}, 1, 1, without, failure)) return false;
        AtomicFile probe(staging_ + "/probe.jar");
        if (!Write({0, 1}, 1, 1, true, probe, failure)) return false;
        entryOverhead_ = FileSize(probe.temp()) - without - pageBytes_[0];
        return true;
    }

   private:
    static int64_t NameLength(int32_t index) {
        return static_cast<int64_t>(std::to_string(index).size()) + 4;
    }

    std::string DescText(Range r, int32_t k, int32_t n) const {
        std::string text = "bookname:" + ControlsToSpaces(VolumeName(book_.bookName, k, n)) + "\r\n";
        text += "piccount:" + std::to_string(r.end - r.first) + "\r\n";
        text += "author:" + ControlsToSpaces(book_.author) + "\r\n";
        for (int32_t i = r.first; i < r.end; ++i) {
            const std::string d = static_cast<size_t>(i) < book_.written.size()
                                      ? book_.written[static_cast<size_t>(i)].description
                                      : "";
            text += std::to_string(i - r.first) + ":" + d + "\r\n";
        }
        return "\xFF\xFE" + Utf8ToUtf16Le(text);
    }

    const Book& book_;
    const std::string staging_;
    const std::string folder_;
    const int32_t pictures_;
    std::vector<int64_t> pageBytes_;
    int64_t entryOverhead_ = 0;
};

// A page too large for any volume: which one, and what its volume alone would weigh.
struct TooLarge {
    int32_t page = -1;
    int64_t bytes = 0;
    bool alone = false;  // the viewer and the texts alone take more, without any page
};

// Volumes for `n` volumes in all, each within `room` bytes by the measured sizes: as many
// pages as fit go into each, in order. Empty with `tooLarge` set when a page fits in none.
std::vector<Range> Plan(VolumeWriter& writer, const Book& book, int32_t pictures, int32_t n, int64_t room,
                        TooLarge& tooLarge, std::string& failure, bool& ok) {
    std::vector<Range> volumes;
    ok = true;
    int32_t first = 0;
    while (first < pictures) {
        const int32_t k = static_cast<int32_t>(volumes.size()) + 1;
        Range r{first, first + 1};
        int64_t base = 0;
        if (!writer.Measure(r, k, n, base, failure)) {
            ok = false;
            return {};
        }
        int64_t pages = writer.PageCost(first, 0);
        if (base + pages > room) {
            tooLarge = {first, base > room ? base : base + pages, base > room};
            return {};
        }
        // Pages are taken while a bound holds (their lines at their full size in the
        // deflated book text), then while the measured texts still leave room.
        int64_t lines = 0;
        while (r.end < pictures) {
            const int32_t next = r.end;
            const std::string d = static_cast<size_t>(next) < book.written.size()
                                      ? book.written[static_cast<size_t>(next)].description
                                      : "";
            const int64_t line =
                static_cast<int64_t>(Utf8ToUtf16Le(std::to_string(next - first) + ":" + d + "\r\n").size()) +
                8;
            const int64_t cost = writer.PageCost(next, next - first);
            if (base + lines + line + pages + cost > room) break;
            lines += line;
            pages += cost;
            ++r.end;
        }
        while (r.end < pictures) {
            const int64_t cost = writer.PageCost(r.end, r.end - first);
            int64_t measured = 0;
            if (!writer.Measure({first, r.end + 1}, k, n, measured, failure)) {
                ok = false;
                return {};
            }
            if (measured + pages + cost > room) break;
            pages += cost;
            ++r.end;
        }
        volumes.push_back(r);
        first = r.end;
    }
    return volumes;
}

std::string PageName(const Book& book, int32_t i) {
    std::string name = "page " + std::to_string(i + 1);
    if (static_cast<size_t>(i) < book.written.size()) {
        const int32_t source = book.written[static_cast<size_t>(i)].source;
        if (source >= 0 && source < book.pageCount())
            name += " (" + FileNamePart(book.pages[static_cast<size_t>(source)].path) + ")";
    }
    return name;
}

}  // namespace

bool WriteVolumes(Book& book, const std::string& staging, int32_t pictures, int64_t limitBytes,
                  Messages& messages) {
    book.outcome.clear();
    VolumeWriter writer(book, staging, pictures);
    std::string failure;
    if (!writer.Prepare(failure)) {
        messages.Detail("archive " + book.jarPath + ": " + failure);
        messages.Show("AddFiles error!");
        return false;
    }
    // What the measured sizes leave out (the deflated texts of other volume numbers) is
    // kept free; should a volume as written still be larger, the book is cut again with more.
    int64_t margin = 32;
    for (int attempt = 0; attempt < 6; ++attempt, margin *= 4) {
        std::vector<Range> volumes;
        int32_t n = 1;
        bool ok = true;
        TooLarge tooLarge;
        // The volume count is part of every volume's name: cut until it stays the same.
        for (int round = 0; round < 4; ++round) {
            volumes = Plan(writer, book, pictures, n, limitBytes - margin, tooLarge, failure, ok);
            if (!ok) {
                messages.Detail("archive " + book.jarPath + ": " + failure);
                messages.Show("AddFiles error!");
                return false;
            }
            if (tooLarge.page >= 0) {
                messages.Detail((tooLarge.alone ? std::string("the viewer and the book's texts")
                                                : PageName(book, tooLarge.page)) +
                                " alone make" + (tooLarge.alone ? "" : "s") + " an archive of " +
                                std::to_string(tooLarge.bytes) + " bytes, more than the JAR limit of " +
                                std::to_string(limitBytes) + " bytes");
                return false;
            }
            const int32_t count = std::max<int32_t>(1, static_cast<int32_t>(volumes.size()));
            if (count == n) break;
            n = count;
        }
        if (volumes.empty()) volumes.push_back({0, 0});
        n = static_cast<int32_t>(volumes.size());

        std::vector<std::unique_ptr<AtomicFile>> files;
        std::vector<JarOutcome> outcome;
        bool fits = true;
        for (int32_t k = 1; k <= n && fits; ++k) {
            const Range r = volumes[static_cast<size_t>(k - 1)];
            JarOutcome jar{VolumePath(book.jarPath, k, n), r.end - r.first, 0, 0, 0};
            auto archive = std::make_unique<AtomicFile>(jar.jarPath);
            if (!writer.Write(r, k, n, true, *archive, failure)) {
                messages.Detail("archive " + jar.jarPath + ": " + failure);
                messages.Show("AddFiles error!");
                return false;
            }
            jar.bytes = FileSize(archive->temp());
            if (jar.bytes > limitBytes) {
                fits = false;
                break;
            }
            auto jad = std::make_unique<AtomicFile>(JadPathFor(jar.jarPath));
            if (!WriteJad(*jad, jar.jarPath, jar.bytes, VolumeName(book.descriptorName, k, n),
                          book.settingPrice, messages))
                return false;
            outcome.push_back(jar);
            files.push_back(std::move(archive));
            files.push_back(std::move(jad));
        }
        if (!fits) continue;
        RemoveTree(staging + "/volume");
        if (messages.Cancelled()) return false;  // stopped: nothing of the new book is committed
        // Every volume is complete: only now do they replace or join the files there.
        for (const auto& file : files) {
            if (!file->Commit()) {
                messages.Detail("cannot replace " + file->target() + ": " + std::strerror(errno));
                messages.Show("AddFiles error!");
                return false;
            }
        }
        for (size_t k = 0; k < outcome.size(); ++k)
            book.outcome.push_back(OutcomeOf(book, outcome[k].jarPath, volumes[k].first, volumes[k].end));
        return true;
    }
    messages.Detail("the volumes of " + book.jarPath + " do not come within the JAR limit of " +
                    std::to_string(limitBytes) + " bytes");
    return false;
}
