#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "messages.h"
#include "stream.h"

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

std::string Reason() { return std::strerror(errno); }

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
    std::string temp = target_ + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return;
    close(fd);
    temp_ = std::move(temp);
}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Write(const std::string& data) {
    if (temp_.empty()) return false;
    const int fd = open(temp_.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    const int saved = errno;
    if (close(fd) != 0 && ok) return false;
    errno = saved;
    return ok;
}

bool PendingFile::Commit() {
    if (temp_.empty()) return false;
    // The temporary file was made private; the target gets the permissions of a new file.
    if (chmod(temp_.c_str(), ModeForReplacing(target_.c_str())) != 0 ||
        std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int saved = errno;
        Discard();
        errno = saved;
        return false;
    }
    temp_.clear();
    return true;
}

void PendingFile::Discard() {
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
    PendingFile file(path);
    return file.Write(data) && file.Commit();
}

void StreamCopyFile(const std::string& source, const std::string& destination) {
    File in(std::fopen(source.c_str(), "rb"), &std::fclose);
    if (!in) throw BuildError("Cannot open file \"" + source + "\". " + Reason());
    File out(std::fopen(destination.c_str(), "wb"), &std::fclose);
    if (!out) throw BuildError("Cannot create file \"" + destination + "\". " + Reason());
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (std::fwrite(buffer, 1, n, out.get()) != n) throw BuildError("Cannot write file \"" + destination + "\". " + Reason());
    if (std::ferror(in.get())) throw BuildError("Cannot read file \"" + source + "\". " + Reason());
    FILE* raw = out.release();
    if (std::fclose(raw) != 0) throw BuildError("Cannot write file \"" + destination + "\". " + Reason());
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}
