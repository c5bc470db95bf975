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
#include "panelle/stream.h"

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

std::string Reason() { return std::strerror(errno); }

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& data) {
    AtomicFile file(path);
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
        if (std::fwrite(buffer, 1, n, out.get()) != n)
            throw BuildError("Cannot write file \"" + destination + "\". " + Reason());
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
