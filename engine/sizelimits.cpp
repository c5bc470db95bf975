#include "sizelimits.h"

#include <atomic>

namespace {
std::atomic<uint64_t> pictureCap{kDefaultPictureCap};
}

uint64_t GetPictureCap() { return pictureCap.load(std::memory_order_relaxed); }

void SetPictureCap(uint64_t bytes) { pictureCap.store(bytes, std::memory_order_relaxed); }

bool FitsPictureCap(uint64_t width, uint64_t height, uint64_t bpp) {
    const unsigned __int128 rowBytes = (static_cast<unsigned __int128>(bpp) * width + 31) / 32 * 4;
    return rowBytes * height <= GetPictureCap();
}
