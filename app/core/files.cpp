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

bool WriteFileAtomically(const std::string& path, const std::string& data) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    fchmod(fd, ModeForReplacing(path.c_str()));
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(temp.c_str());
    return ok;
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
