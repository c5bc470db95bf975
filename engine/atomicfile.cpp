#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// Follows symbolic links from path until it names a file that is not one, or nothing: a
// dangling link names the file that writing through it creates. False on a loop of links
// or a path that cannot be looked at.
bool FollowLinks(std::string& path, int& error) {
    constexpr int kMostLinks = 40;  // the system's own bound on links in one lookup
    for (int hops = 0; hops < kMostLinks; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) return true;
            error = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof target) {
            error = length < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        std::string next(target, static_cast<size_t>(length));
        // A relative link is relative to the folder holding it.
        const size_t slash = path.rfind('/');
        if (next.empty() || next[0] != '/')
            next = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + next;
        path = std::move(next);
    }
    error = ELOOP;
    return false;
}

// What a newly created file gets under the process's umask, read without changing it so
// that other threads creating files are not affected.
mode_t NewFileMode() {
    unsigned mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

bool AtomicFile::Fail(int error) {
    Discard();
    error_ = std::strerror(error);
    errno = error;
    return false;
}

bool AtomicFile::Open(const std::string& target) {
    Discard();
    error_.clear();
    if (target.empty()) return Fail(ENOENT);
    target_ = target;
    int error = 0;
    if (!FollowLinks(target_, error)) return Fail(error);
    struct stat existing;
    existed_ = stat(target_.c_str(), &existing) == 0;
    if (existed_ && !S_ISREG(existing.st_mode)) {
        Fail(EINVAL);
        error_ = "not a regular file";
        return false;
    }
    mode_ = existed_ ? existing.st_mode & 07777 : NewFileMode();
    owner_ = existed_ ? existing.st_uid : 0;
    group_ = existed_ ? existing.st_gid : 0;

    std::string temp = target_ + ".tmp-XXXXXX";
    fd_ = mkstemp(temp.data());
    if (fd_ < 0) return Fail(errno);
    temp_ = std::move(temp);
    return true;
}

FILE* AtomicFile::File() {
    if (!file_ && fd_ >= 0) {
        file_ = fdopen(fd_, "wb");
        if (file_) fd_ = -1;
    }
    return file_;
}

bool AtomicFile::Write(const std::string& data) {
    FILE* file = File();
    if (!file) return Fail(errno ? errno : EBADF);
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file) != data.size())
        return Fail(errno ? errno : EIO);
    return true;
}

bool AtomicFile::Commit() {
    if (temp_.empty()) {
        if (error_.empty()) error_ = std::strerror(EBADF);
        errno = EBADF;
        return false;
    }
    if (file_) {
        errno = 0;
        const bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
        int why = errno;
        const bool closed = std::fclose(file_) == 0;
        if (!why) why = errno;
        file_ = nullptr;
        if (!written || !closed) return Fail(why ? why : EIO);
    } else if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = -1;
    if (existed_ && (owner_ != geteuid() || group_ != getegid())) {
        // Giving a file away takes privilege; the group alone is allowed to its members.
        // Failing both, the file is the writer's, as a newly created one would be.
        if (chown(temp_.c_str(), owner_, group_) != 0) {
            [[maybe_unused]] const int groupOnly = chown(temp_.c_str(), static_cast<uid_t>(-1), group_);
        }
    }
    // After the owner, since a change of owner clears the set-id bits.
    if (chmod(temp_.c_str(), mode_) != 0 || std::rename(temp_.c_str(), target_.c_str()) != 0)
        return Fail(errno);
    temp_.clear();
    return true;
}

void AtomicFile::Discard() {
    const int saved = errno;
    if (file_) std::fclose(file_);
    if (fd_ >= 0) close(fd_);
    file_ = nullptr;
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    errno = saved;
}
