#include "imports.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "comicarchive.h"
#include "naturalorder.h"
#include "panelle/format.h"

namespace {

// The most names a folder is read for; a book holds far fewer pages.
constexpr size_t kMaxFolderNames = 100000;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A path with its doubled separators made single, so that no plain file's path reads like an
// archive's page.
std::string Cleaned(const std::string& path) {
    std::string out;
    for (const char c : path)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool FolderPictures(const std::string& folder, std::vector<std::string>& pages, std::string& problem) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), &closedir);
    if (!dir) {
        problem = std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    size_t seen = 0;
    while (const dirent* e = readdir(dir.get())) {
        if (++seen > kMaxFolderNames) {
            problem = "holds more than " + std::to_string(kMaxFolderNames) + " files";
            return false;
        }
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.' || !IsPictureName(name)) continue;
        struct stat st;
        const std::string path = folder + "/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    if (names.empty()) {
        problem = "holds no pictures";
        return false;
    }
    NaturalSort(names);
    for (const std::string& name : names) pages.push_back(folder == "/" ? "/" + name : folder + "/" + name);
    return true;
}

}  // namespace

bool IsPictureName(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == name.size())
        return false;
    const std::string ext = Lower(name.substr(dot + 1));
    // the engine's own names and aliases, and other names the same formats go by
    if (FormatFromName(ext.c_str()) != ImageFormat::Unknown) return true;
    for (const char* other : {"emf", "jpe", "j2k", "ppm", "pgm", "pbm", "dib"})
        if (ext == other) return true;
    return false;
}

ImportedPaths ExpandImports(const std::vector<std::string>& paths) {
    ImportedPaths out;
    for (const std::string& given : paths) {
        const std::string path = Cleaned(given);
        struct stat st;
        std::string problem;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            FolderPictures(path, out.pages, problem);
        } else if (IsArchiveName(path) && stat(path.c_str(), &st) == 0) {
            std::vector<std::string> entries;
            if (ListArchivePictures(path, entries, problem))
                for (const std::string& entry : entries) out.pages.push_back(ArchivePagePath(path, entry));
        } else {
            out.pages.push_back(path);
        }
        if (!problem.empty()) out.problems.push_back(given + ": " + problem);
    }
    return out;
}
