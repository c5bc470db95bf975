// Whole files in and out, for tests that compare bytes or write inputs of their own, and a
// private folder to keep them in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// The file's bytes; empty when it cannot be read.
Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);

// Writes the file, creating the folders above it; a file that cannot be written fails the
// calling test.
void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, std::string_view bytes);

// A folder of its own under /tmp, removed with everything in it.
class TempDir {
   public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::string File(const std::string& name) const { return *this / name; }
    // The names in the folder itself, in no particular order.
    std::vector<std::string> Entries() const;

   private:
    std::string path_;
};

}  // namespace testsupport
