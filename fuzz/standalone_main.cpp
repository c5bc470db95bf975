// Runs a fuzz target without libFuzzer (compilers other than clang): every file named on
// the command line, and every file inside a directory named there, goes through
// LLVMFuzzerTestOneInput once. Options in libFuzzer's "-name=value" form are ignored, so
// the same command line serves both builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file()) ok &= RunFile(entry.path()), ++files;
        } else {
            ok &= RunFile(arg), ++files;
        }
    }
    std::printf("ran %d inputs\n", files);
    return ok ? 0 : 1;
}
