#include "stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

unsigned ModeForReplacing(const char* target) {
    struct stat existing;
    if (target && stat(target, &existing) == 0) return existing.st_mode & 07777;
    unsigned mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// ---- ReplacingFile ------------------------------------------------------------------------

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
        if (next.empty() || next[0] != '/') next = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + next;
        path = std::move(next);
    }
    error = ELOOP;
    return false;
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (file_) std::fclose(file_);
    if (!temp_.empty()) unlink(temp_.c_str());
}

void ReplacingFile::Fail(const char* text) {
    error_ = text;
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

bool ReplacingFile::Open(const char* target) {
    if (file_ || !temp_.empty()) {
        error_ = "already open";
        return false;
    }
    if (!target || !*target) {
        error_ = std::strerror(ENOENT);
        return false;
    }
    target_ = target;
    int error = 0;
    if (!FollowLinks(target_, error)) {
        error_ = std::strerror(error);
        return false;
    }
    struct stat existing;
    const bool exists = stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error_ = "not a regular file";
        return false;
    }

    std::string temp = target_ + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    temp_ = temp;
    if (exists) {
        // Giving a file away takes privilege; the group alone is allowed to its members.
        // Failing both, the file is the writer's, as a newly created one would be.
        if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
            if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
                [[maybe_unused]] const int groupOnly = fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
            }
        }
        // After the owner, since a change of owner clears the set-id bits.
        fchmod(fd, existing.st_mode & 07777);
    } else {
        fchmod(fd, ModeForReplacing(target_.c_str()));
    }
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const int why = errno;
        close(fd);
        Fail(std::strerror(why));
        return false;
    }
    return true;
}

bool ReplacingFile::Commit() {
    if (!file_) {
        if (error_.empty()) error_ = std::strerror(EBADF);
        return false;
    }
    errno = 0;
    const bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    int why = errno;
    const bool closed = std::fclose(file_) == 0;
    if (!why) why = errno;
    file_ = nullptr;
    if (!written || !closed) {
        Fail(why ? std::strerror(why) : "write error");
        return false;
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        Fail(std::strerror(errno));
        return false;
    }
    temp_.clear();
    return true;
}

// ---- FileStream -------------------------------------------------------------------------

bool FileStream::Close() {
    if (file && closeFile) {
        const bool ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }
    return true;
}

uint32_t FileStream::Read(void* buffer, uint32_t size, uint32_t count) {
    if (!file) return 0;
    return static_cast<uint32_t>(std::fread(buffer, size, count, file));
}

uint32_t FileStream::Write(const void* buffer, uint32_t size, uint32_t count) {
    if (!file) return 0;
    return static_cast<uint32_t>(std::fwrite(buffer, size, count, file));
}

bool FileStream::Seek(int32_t offset, int32_t origin) {
    return file && std::fseek(file, offset, origin) == 0;
}

int32_t FileStream::Tell() {
    if (!file) return 0;
    return static_cast<int32_t>(std::ftell(file));
}

int32_t FileStream::Size() {
    if (!file) return -1;
    const long pos = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, pos, SEEK_SET);
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

bool FileStream::Flush() { return file && std::fflush(file) == 0; }

bool FileStream::Eof() { return !file || std::feof(file) != 0; }

int32_t FileStream::Error() { return file ? std::ferror(file) : -1; }

bool FileStream::PutC(uint8_t c) { return file && std::fputc(c, file) == c; }

int32_t FileStream::GetC() { return file ? std::getc(file) : -1; }

// ---- MemoryStream -----------------------------------------------------------------------

MemoryStream::MemoryStream(uint8_t* block, int32_t length)
    : buffer(block),
      size(length),
      freeOnClose(block == nullptr),
      position(0),
      edge(static_cast<uint32_t>(length)) {}

bool MemoryStream::Open() {
    if (buffer) return false;
    position = size = 0;
    edge = 0;  // one byte is allocated, but the first write grows the block anyway
    buffer = static_cast<uint8_t*>(std::malloc(1));
    freeOnClose = true;
    return buffer != nullptr;
}

uint8_t* MemoryStream::GetBuffer(bool detach) {
    freeOnClose = !detach;
    return buffer;
}

bool MemoryStream::Close() {
    if (buffer && freeOnClose) {
        std::free(buffer);
        buffer = nullptr;
        size = 0;
    }
    return true;
}

// Grows the block to the next multiple of 4096 strictly above newLength, and at least by half
// its size, so that writing a large picture piece by piece does not copy it over and over.
bool MemoryStream::Alloc(uint64_t newLength) {
    if (newLength <= edge) return true;
    const uint64_t needed = (newLength / 4096 + 1) * 4096;
    const uint64_t half = (static_cast<uint64_t>(edge) + edge / 2) / 4096 * 4096 + 4096;
    uint64_t capacity = needed > half ? needed : half;
    if (capacity > static_cast<uint64_t>(INT32_MAX)) capacity = needed;
    if (capacity > static_cast<uint64_t>(INT32_MAX)) return false;
    void* grown = buffer ? std::realloc(buffer, capacity) : std::malloc(capacity);
    if (!grown) return false;
    buffer = static_cast<uint8_t*>(grown);
    freeOnClose = true;
    edge = static_cast<uint32_t>(capacity);
    return true;
}

// A write after a seek past the end leaves a gap between the data and the new bytes; it
// reads as zeros, as it does in a file, instead of whatever the allocation held.
void MemoryStream::FillGap() {
    if (position > size) std::memset(buffer + size, 0, static_cast<size_t>(position - size));
}

uint32_t MemoryStream::Read(void* dest, uint32_t itemSize, uint32_t count) {
    if (!dest || !buffer || position >= size) return 0;
    uint64_t n = static_cast<uint64_t>(itemSize) * count;
    if (n == 0) return 0;
    const uint64_t left = static_cast<uint64_t>(size - position);
    if (n > left) n = left;
    std::memcpy(dest, buffer + position, n);
    position += static_cast<int32_t>(n);
    return static_cast<uint32_t>(n / itemSize);
}

uint32_t MemoryStream::Write(const void* src, uint32_t itemSize, uint32_t count) {
    if (!buffer || !src) return 0;
    const uint64_t n = static_cast<uint64_t>(itemSize) * count;
    if (n == 0) return 0;
    const uint64_t end = static_cast<uint64_t>(position) + n;
    if (end > static_cast<uint64_t>(INT32_MAX)) return 0;
    if (end > edge && !Alloc(end)) return 0;
    FillGap();
    std::memcpy(buffer + position, src, n);
    position = static_cast<int32_t>(end);
    if (size < position) size = position;
    return count;
}

bool MemoryStream::Seek(int32_t offset, int32_t origin) {
    if (!buffer) return false;
    int64_t target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = static_cast<int64_t>(position) + offset; break;
        case 2: target = static_cast<int64_t>(size) + offset; break;
        default: return false;
    }
    if (target < 0) target = 0;
    if (target > INT32_MAX) return false;
    position = static_cast<int32_t>(target);
    return true;
}

int32_t MemoryStream::Tell() { return buffer ? position : -1; }

int32_t MemoryStream::Size() { return buffer ? size : -1; }

bool MemoryStream::Flush() { return buffer != nullptr; }

bool MemoryStream::Eof() { return !buffer || position >= size; }

int32_t MemoryStream::Error() {
    if (!buffer) return -1;
    return position > size ? 1 : 0;
}

bool MemoryStream::PutC(uint8_t c) {
    if (!buffer) return false;
    const uint64_t end = static_cast<uint64_t>(position) + 1;
    if (end > static_cast<uint64_t>(INT32_MAX)) return false;
    if (end > edge && !Alloc(end)) return false;
    FillGap();
    buffer[position++] = c;
    if (size < position) size = position;
    return true;
}

int32_t MemoryStream::GetC() {
    if (Eof()) return -1;
    return buffer[position++];
}
