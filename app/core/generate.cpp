#include "generate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "book.h"
#include "comicarchive.h"
#include "convert.h"
#include "descriptors.h"
#include "files.h"
#include "infozip.h"
#include "messages.h"
#include "volumes.h"

std::string JarNameFor(const std::string& chosenName) {
    const std::string name = FileNamePart(chosenName);
    return name.find('.') == std::string::npos ? chosenName + ".jar" : chosenName;
}

namespace {

std::string Reason() { return std::strerror(errno); }

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string OutputProblem(const Book& book, const std::string& chosenName) {
    if (chosenName.empty()) return "no output file was named";
    if (chosenName.back() == '/' || IsFolder(chosenName)) {
        std::string folder = chosenName;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return "the output " + chosenName + " is a folder: name the book's file in it, such as " +
               (folder == "/" ? "" : folder) + "/book.jar";
    }
    const std::string jar = JarNameFor(chosenName);
    const std::string jad = JadPathFor(jar);
    for (const std::string& file : {jar, jad})
        if (IsFolder(file)) return "the output " + file + " is a folder";
    if (jar == jad || SameFile(jar, jad))
        return "the archive and its JAD would both be " + jad +
               ": name the output .jar, or give it no extension";
    const std::string folder = FolderOf(jar);
    if (!IsFolder(folder)) return "output folder does not exist: " + folder;
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "output folder not writable: " + folder + ": " + Reason();
    for (const std::string& file : {jar, jad}) {
        for (int32_t i = 0; i < book.pageCount(); ++i)
            if (SameFile(file, PageSourceFile(book.pages[i].path)))
                return "the output " + file + " is the picture of page " + std::to_string(i + 1) +
                       ", which the book would replace";
        for (const std::string& t : book.templatePaths)
            if (SameFile(file, t)) return "the output " + file + " is the template " + t;
    }
    return {};
}

bool WriteJarAndJad(Book& book, const std::string& staging, Messages& messages, int32_t pictures) {
    CInfoZip zip;
    if (!zip.InitializeZip()) {
        messages.Detail("the zip writer cannot be used");
        messages.Show("InitializeZip error!");
        return false;
    }
    const std::vector<std::string> names = ArchiveNames(pictures < 0 ? book.pageCount() : pictures);
    AtomicFile jar(book.jarPath);
    if (!zip.AddFiles(jar, staging, names, static_cast<int32_t>(names.size()))) {
        messages.Detail("archive " + book.jarPath + ": " + zip.failure);
        messages.Show("AddFiles error!");
        return false;
    }
    struct stat st;
    if (stat(jar.temp().c_str(), &st) != 0) {
        messages.Detail("cannot read the size of " + jar.temp() + ": " + Reason());
        messages.Show("Write JAD error!");
        return false;
    }
    AtomicFile jad(JadPathFor(book.jarPath));
    if (!WriteJad(jad, book.jarPath, st.st_size, book.descriptorName, book.settingPrice, messages))
        return false;
    // The last moment a stop leaves the old pair untouched: the pending files go unused.
    if (messages.Cancelled()) return false;
    // Both files are complete: only now do they replace the old ones.
    if (IsFolder(jad.target())) {
        messages.Detail("cannot replace " + jad.target() + ": it is a folder");
        messages.Show("Write JAD error!");
        return false;
    }
    if (!jar.Commit()) {
        messages.Detail("cannot replace " + book.jarPath + ": " + Reason());
        messages.Show("AddFiles error!");
        return false;
    }
    if (!jad.Commit()) {
        messages.Detail("cannot replace " + jad.target() + ": " + Reason() + "; " + book.jarPath +
                        " is the new archive already");
        messages.Show("Write JAD error!");
        return false;
    }
    return true;
}

namespace {

// A private staging folder for one generation, removed with everything in it.
class StagingFolder {
   public:
    StagingFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/panelle-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~StagingFolder() { Remove(); }
    void Remove() {
        if (!path_.empty()) RemoveTree(path_);
        path_.clear();
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

// The outcome of a generation the user stopped: nothing of the new book was written, and
// an archive that was there before is as it was.
bool Stopped(const Book& book, Messages& messages) {
    std::string detail = "the generation was cancelled: nothing of the new book was written";
    if (!book.jarPath.empty() && FileExists(book.jarPath)) detail += "; " + book.jarPath + " is as it was";
    messages.Detail(detail);
    messages.Show("Uncomplete!");
    return false;
}

}  // namespace

bool Generate(Book& book, const std::string& chosenName, Messages& messages) {
    return Generate(book, chosenName, messages, ConversionWorkers());
}

bool Generate(Book& book, const std::string& chosenName, Messages& messages, unsigned workers) {
    book.jarPath.clear();
    if (chosenName.empty()) return false;
    if (const std::string problem = OutputProblem(book, chosenName); !problem.empty()) {
        messages.Detail(problem);
        messages.Show("Uncomplete!");
        return false;
    }

    StagingFolder staging;
    try {
        if (staging.path().empty())
            throw BuildError(std::string("Cannot create a staging directory. ") + std::strerror(errno));
        const std::string metaInf = staging.path() + "/META-INF";
        if (mkdir(metaInf.c_str(), 0700) != 0 && errno != EEXIST)
            throw BuildError("Cannot create " + metaInf + " directory.");
        const std::vector<std::string> staged = ArchiveNames(0);
        for (size_t i = 0; i < TemplateNames.size(); ++i)
            StreamCopyFile(book.templatePaths[i], staging.path() + "/" + staged[i]);
        WriteManifest(staging.path() + "/META-INF/MANIFEST.MF", book.descriptorName, messages);
        // An existing archive of this name is replaced only once the new one is complete.
        book.jarPath = JarNameFor(chosenName);
    } catch (const BuildError& e) {
        messages.ShowException(e.what());
        return false;
    }

    int32_t pictures = book.pageCount();
    try {
        if (!messages.Cancelled()) pictures = ConvertPages(book, staging.path(), messages, workers);
    } catch (...) {
        // dropped: the generation goes on to the archive
    }

    bool ok = false;
    bool stopped = messages.Cancelled();
    book.outcome.clear();
    try {
        if (stopped) {
            ok = false;
        } else if (book.budget.jarLimit > 0) {
            ok = WriteVolumes(book, staging.path(), pictures, int64_t{book.budget.jarLimit} * 1024, messages);
        } else {
            ok = WriteJarAndJad(book, staging.path(), messages, pictures);
            if (ok)
                book.outcome = {OutcomeOf(book, book.jarPath, 0, static_cast<int32_t>(book.written.size()))};
        }
    } catch (...) {
        ok = false;
    }
    stopped = stopped || (!ok && messages.Cancelled());
    if (!ok) book.outcome.clear();
    staging.Remove();
    if (stopped) return Stopped(book, messages);
    messages.Show(ok ? "Complete!" : "Uncomplete!");
    if (ok)
        if (const std::string warning = HeapWarning(book); !warning.empty()) messages.Detail(warning);
    return ok;
}

JarOutcome OutcomeOf(const Book& book, const std::string& jarPath, int32_t first, int32_t end) {
    JarOutcome jar{jarPath, end - first, 0, 0, 0};
    struct stat st;
    jar.bytes = stat(jarPath.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    for (int32_t i = first; i < end && static_cast<size_t>(i) < book.written.size(); ++i) {
        const WrittenPage& p = book.written[static_cast<size_t>(i)];
        if (int64_t{p.width} * p.height > int64_t{jar.largestWidth} * jar.largestHeight)
            jar.largestWidth = p.width, jar.largestHeight = p.height;
    }
    return jar;
}

std::string HeapWarning(const Book& book) {
    const int64_t heap = int64_t{book.budget.heap} * 1024;
    if (heap <= 0) return {};
    std::string pages;
    int32_t count = 0;
    int32_t first = 0;  // the first page of the archive that holds page i
    size_t jar = 0;
    for (int32_t i = 0; static_cast<size_t>(i) < book.written.size(); ++i) {
        while (jar + 1 < book.outcome.size() && i >= first + book.outcome[jar].pages)
            first += book.outcome[jar++].pages;
        const WrittenPage& p = book.written[static_cast<size_t>(i)];
        const int64_t bytes = int64_t{p.width} * p.height * 4;
        if (bytes <= heap) continue;
        pages += (count++ ? ", page " : "page ") + std::to_string(i - first + 1);
        if (book.outcome.size() > 1) pages += " of " + FileNamePart(book.outcome[jar].jarPath);
        pages += " (" + std::to_string(p.width) + "x" + std::to_string(p.height) + ", " +
                 std::to_string((bytes + 1023) / 1024) + " KB)";
    }
    if (count == 0) return {};
    return std::string(count == 1 ? "a page decodes" : std::to_string(count) + " pages decode") +
           " larger than the heap of " + std::to_string(book.budget.heap) + " KB: " + pages;
}
