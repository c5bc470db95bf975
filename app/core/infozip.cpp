#include "infozip.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "book.h"
#include "files.h"
#include "panelle/stream.h"

std::vector<std::string> ArchiveNames(int32_t pages) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(pages) + TemplateNames.size());
    for (int32_t i = 0; i < pages; ++i) names.push_back(std::to_string(i) + ".png");
    for (const char* t : TemplateNames) {
        std::string name = t;
        std::replace(name.begin(), name.end(), '\\', '/');
        names.push_back(name);
    }
    return names;
}

bool CInfoZip::InitializeZip() {
    // libzip is linked in; it is usable when it can tell its version.
    const char* version = zip_libzip_version();
    if (!version || !*version) {
        errorCode = 1;
        return false;
    }
    initialized_ = true;
    return true;
}

namespace {

struct ArchiveCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};

bool Compressed(const std::string& name) {
    // PNG data is already deflated; storing it saves time and costs nothing in size.
    return !(name.size() >= 4 && name.compare(name.size() - 4, 4, ".png") == 0);
}

}  // namespace

bool CInfoZip::AddFiles(const std::string& archivePath, const std::string& root,
                        const std::vector<std::string>& names, int32_t count) {
    AtomicFile archive(archivePath);
    if (!AddFiles(archive, root, names, count)) return false;
    if (!archive.Commit()) {
        failure = "cannot replace " + archivePath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CInfoZip::AddFiles(AtomicFile& archive, const std::string& root, const std::vector<std::string>& names,
                        int32_t count) {
    failure.clear();
    if (!initialized_) {
        errorCode = 3;
        failure = "the zip writer was not initialised";
        return false;
    }
    if (count < 0 || static_cast<size_t>(count) > names.size() || count > 4096) {
        failure = "too many files for one archive";
        return false;
    }
    if (!archive.ok()) {
        failure = "cannot create a file beside " + archive.target() + ": " + std::strerror(errno);
        return false;
    }

    int error = 0;
    std::unique_ptr<zip_t, ArchiveCloser> zip(zip_open(archive.temp().c_str(), ZIP_TRUNCATE, &error));
    if (!zip) {
        failure = "cannot write " + archive.target();
        return false;
    }

    // The manifest goes first, so that readers that stream the archive find it.
    std::vector<std::string> order(names.begin(), names.begin() + count);
    std::stable_partition(order.begin(), order.end(),
                          [](const std::string& n) { return n == "META-INF/MANIFEST.MF"; });

    int32_t added = 0;
    for (const std::string& name : order) {
        const std::string file = root + "/" + name;
        if (!FileExists(file)) {
            if (failure.empty()) failure = name + " is missing";
            continue;
        }
        zip_source_t* source = zip_source_file(zip.get(), file.c_str(), 0, -1);
        if (!source) {
            if (failure.empty()) failure = "cannot read " + name;
            continue;
        }
        const zip_int64_t index = zip_file_add(zip.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            if (failure.empty()) failure = "cannot add " + name;
            continue;
        }
        zip_set_file_compression(zip.get(), static_cast<zip_uint64_t>(index),
                                 Compressed(name) ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 9);
        ++added;
    }

    if (added != count) {
        archive.Discard();
        return false;  // an existing file of the archive's name stays
    }
    if (zip_close(zip.get()) != 0) {
        failure = "cannot write " + archive.target() + ": " + zip_strerror(zip.get());
        archive.Discard();
        return false;
    }
    zip.release();
    return true;
}
