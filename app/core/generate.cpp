#include "generate.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "book.h"
#include "convert.h"
#include "descriptors.h"
#include "files.h"
#include "infozip.h"
#include "messages.h"

std::string JarNameFor(const std::string& chosenName) {
    const std::string name = FileNamePart(chosenName);
    return name.find('.') == std::string::npos ? chosenName + ".jar" : chosenName;
}

bool WriteJarAndJad(Book& book, const std::string& staging, Messages& messages) {
    CInfoZip zip;
    if (!zip.InitializeZip()) {
        messages.Show("InitializeZip error!");
        return false;
    }
    const std::vector<std::string> names = ArchiveNames(book.pageCount());
    if (!zip.AddFiles(book.jarPath, staging, names, static_cast<int32_t>(names.size()))) {
        messages.Show("AddFiles error!");
        return false;
    }
    return WriteJad(book.jarPath, book.bookNameText, book.settingPrice, messages);
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

}  // namespace

bool Generate(Book& book, const std::string& chosenName, Messages& messages) {
    return Generate(book, chosenName, messages, ConversionWorkers());
}

bool Generate(Book& book, const std::string& chosenName, Messages& messages, unsigned workers) {
    book.jarPath.clear();
    if (chosenName.empty()) return false;

    StagingFolder staging;
    try {
        if (staging.path().empty()) throw BuildError(std::string("Cannot create a staging directory. ") + std::strerror(errno));
        const std::string metaInf = staging.path() + "/META-INF";
        if (mkdir(metaInf.c_str(), 0700) != 0 && errno != EEXIST)
            throw BuildError("Cannot create " + metaInf + " directory.");
        const std::vector<std::string> staged = ArchiveNames(0);
        for (size_t i = 0; i < TemplateNames.size(); ++i)
            StreamCopyFile(book.templatePaths[i], staging.path() + "/" + staged[i]);
        WriteManifest(staging.path() + "/META-INF/MANIFEST.MF", book.bookNameText, messages);
        // An existing archive of this name is replaced only once the new one is complete.
        book.jarPath = JarNameFor(chosenName);
    } catch (const BuildError& e) {
        messages.ShowException(e.what());
        return false;
    }

    try {
        ConvertPages(book, staging.path(), messages, workers);
    } catch (...) {
        // dropped: the generation goes on to the archive
    }

    bool ok = false;
    try {
        ok = WriteJarAndJad(book, staging.path(), messages);
    } catch (...) {
        ok = false;
    }
    staging.Remove();
    messages.Show(ok ? "Complete!" : "Uncomplete!");
    return ok;
}
