// Plain data layouts of the Windows bitmap structures the engine keeps in memory.
// They are used as layouts only; files are read and written field by field.
#pragma once

#include <cstdint>

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

inline bool operator==(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The DIB block is handed around as a packed Windows DIB, which is little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the engine assumes a little-endian host");
