// Writing a file so that it is never seen half written.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

// A file written beside its target (target + ".tmp-XXXXXX") and renamed over it once
// everything is written, so that a failed or abandoned write leaves an existing file as it
// was. A symbolic link is written through: the file it points to is replaced and the link
// stays a link. A target that exists but is not a regular file (a FIFO, a device, a folder)
// is refused. A replaced file keeps its mode and, where the process may give it, its owner;
// a new one gets what the umask allows.
//
// The temporary file may be written through File() or Write(), or by a writer that opens it
// by name (temp()); the mode and owner are applied by name at Commit, so a writer that
// replaces the temporary file with its own does not lose them. Dropped uncommitted, the
// temporary file is removed.
class AtomicFile {
   public:
    AtomicFile() = default;
    explicit AtomicFile(const std::string& target) { Open(target); }
    ~AtomicFile() { Discard(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false with Error() and errno set when that cannot be done.
    bool Open(const std::string& target);
    bool ok() const { return !temp_.empty(); }
    // The file that Commit replaces: the target with its symbolic links followed.
    const std::string& target() const { return target_; }
    const std::string& temp() const { return temp_; }
    // The temporary file open for writing; null when there is none.
    FILE* File();
    // Appends all of data; false (Error() and errno set) on a short write.
    bool Write(const std::string& data);
    // Flushes and closes the temporary file and renames it over the target; false (Error()
    // and errno set) when that failed, the temporary file then being removed.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();
    // Why Open, Write or Commit failed: the system's text for it.
    const std::string& Error() const { return error_; }

   private:
    bool Fail(int error);
    std::string target_, temp_, error_;
    FILE* file_ = nullptr;
    int fd_ = -1;
    bool existed_ = false;
    mode_t mode_ = 0;
    uid_t owner_ = 0;
    gid_t group_ = 0;
};
