// book-pages DIR COUNT: writes COUNT comic pages DIR/page-000.jpg, page-001.jpg ... (each
// 1200 x 1800 at JPEG quality 90, each with its own layout) for the book benchmarks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comic.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: book-pages DIR COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> jpeg = bench::ComicJpeg(static_cast<uint32_t>(i));
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03d.jpg", i);
        const std::string path = argv[1] + std::string(name);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(jpeg.data(), 1, jpeg.size(), f) != jpeg.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "book-pages: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
