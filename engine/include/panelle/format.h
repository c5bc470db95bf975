// Numeric format ids shared by load, save, the codecs and the per-format option slots.
#pragma once

#include <cstdint>

namespace ImageFormat {
enum Id : uint32_t {
    Unknown = 0,
    Bmp = 1,
    Gif = 2,
    Jpg = 3,
    Png = 4,
    Ico = 5,
    Tif = 6,
    Tga = 7,
    Pcx = 8,
    Wbmp = 9,
    Wmf = 10,
    Jp2 = 11,
    Jpc = 12,
    Pgx = 13,
    Pnm = 14,
    Ras = 15,
};
}  // namespace ImageFormat

constexpr uint32_t FormatCount = 16;

// Lower-case name of a format id ("bmp", "jpg", ...); "unknown" for 0 and ids out of range.
const char* FormatName(uint32_t id);

// The id whose name (or the aliases "jpeg", "tiff") matches, compared without case; 0 when none.
uint32_t FormatFromName(const char* name);
