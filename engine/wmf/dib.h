// Device-independent bitmaps inside metafile records, decoded through the engine's BMP
// codec (and its JPEG and PNG codecs for bitmaps that hold such a file) into pixels the
// player can draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "canvas.h"

namespace wmf {

// The largest bitmap a record may carry, in pixels, and the largest side (Cairo's limit).
constexpr uint64_t kMaxBitmapPixels = 1 << 24;
constexpr int32_t kMaxBitmapSide = 32767;

constexpr uint32_t DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1;

// A bitmap given as its BITMAPINFO (header and colour table) and its pixel bits; none when
// it is malformed, too large, or its bits are shorter than its rows. With keepAlpha, a
// 32-bit bitmap keeps its fourth byte as premultiplied alpha.
std::shared_ptr<Bitmap> LoadDib(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                                uint32_t usage, bool keepAlpha = false);

// A packed bitmap: the BITMAPINFO directly followed by the bits.
std::shared_ptr<Bitmap> LoadPackedDib(const uint8_t* dib, size_t size, uint32_t usage);

}  // namespace wmf
