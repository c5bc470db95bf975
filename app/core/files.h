// Small file-system helpers of the builder.
#pragma once

#include <string>

// A file being written beside its target (target + ".tmp-XXXXXX") that replaces the target
// only on Commit; until then, and whenever it is dropped uncommitted, the target stays as it
// was and the temporary file is removed.
class PendingFile {
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // False when the temporary file could not be made (errno tells why).
    bool ok() const { return !temp_.empty(); }
    const std::string& target() const { return target_; }
    const std::string& temp() const { return temp_; }
    // Writes all of data to the temporary file; false (errno set) on a short write.
    bool Write(const std::string& data);
    // Renames the temporary file onto the target, with the permissions of a new file there;
    // false (errno set) when that failed, the temporary file then being removed.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

private:
    std::string target_;
    std::string temp_;
};

// Writes data to path through a temporary file beside it that replaces path only when
// everything was written; a failure leaves an existing file as it was.
bool WriteFileAtomically(const std::string& path, const std::string& data);

// Copies a file's bytes. Throws BuildError naming the file that cannot be opened or written.
void StreamCopyFile(const std::string& source, const std::string& destination);

bool FileExists(const std::string& path);


// Removes a folder and everything in it; quiet about what is already gone.
void RemoveTree(const std::string& path);

// The folder of the running executable (without a trailing separator).
std::string ExecutableFolder();
