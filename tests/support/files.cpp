#include "support/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

namespace {

template <class Container>
Container Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Container(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const char* data, size_t size) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ignored;
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    std::ofstream out(path, std::ios::binary);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

}  // namespace

Bytes ReadFile(const std::string& path) { return Read<Bytes>(path); }

std::string ReadText(const std::string& path) { return Read<std::string>(path); }

void WriteFile(const std::string& path, const Bytes& bytes) {
    Write(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void WriteFile(const std::string& path, std::string_view bytes) { Write(path, bytes.data(), bytes.size()); }

TempDir::TempDir() {
    char pattern[] = "/tmp/panelle-test-XXXXXX";
    if (mkdtemp(pattern))
        path_ = pattern;
    else
        ADD_FAILURE() << "cannot make a temporary folder";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(path_, ignored))
        names.push_back(e.path().filename().string());
    return names;
}

}  // namespace testsupport
