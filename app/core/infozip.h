// The archive writer: puts staged files into a zip archive (the JAR) under their paths
// relative to the staging folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AtomicFile;

class CInfoZip {
   public:
    CInfoZip() = default;
    virtual ~CInfoZip() = default;
    CInfoZip(const CInfoZip&) = delete;
    CInfoZip& operator=(const CInfoZip&) = delete;

    // Makes the zip writer ready; false (with errorCode set) when it cannot be used.
    bool InitializeZip();

    // Writes the archive at archivePath holding each of names (paths relative to root, "/"
    // between folders) under that name. The archive is written beside its target and
    // replaces it only when complete. True when exactly count files went in.
    bool AddFiles(const std::string& archivePath, const std::string& root,
                  const std::vector<std::string>& names, int32_t count);

    // The same into a file beside the archive that the caller commits, so that the archive
    // replaces an existing one together with other files only.
    bool AddFiles(AtomicFile& archive, const std::string& root, const std::vector<std::string>& names,
                  int32_t count);

    // What the last AddFiles that gave false could not do ("0.png is missing"), for the user.
    std::string failure;

    // 1 library not found, 2 entry point missing, 3 used before initialisation
    int32_t errorCode = 0;

   private:
    bool initialized_ = false;
};

// The staged names of a book of `pages` pages: 0.png ... then the six templates.
std::vector<std::string> ArchiveNames(int32_t pages);
