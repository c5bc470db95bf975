// Geometric transforms and pixel conversions that bring decoded pictures into the
// canonical bottom-up form.
#include <algorithm>
#include <bit>
#include <cstring>

#include "picture.h"

namespace {

// Rotations work in square tiles so that both the source and the result stay in cache.
constexpr int32_t kTile = 64;

// A shift that may come out negative for unusual masks: shift the other way instead.
inline uint32_t ShiftRight(uint32_t value, int32_t shift) {
    if (shift >= 32 || shift <= -32) return 0;
    return shift >= 0 ? value >> shift : value << -shift;
}

}  // namespace

bool Picture::Flip() {
    if (!dib) return false;
    Picture copy(*this, false, false, true);
    if (!copy.IsValid()) return false;
    const uint32_t height = GetHeight();
    for (uint32_t i = 0; i < height; ++i)
        std::memcpy(copy.info.bits + static_cast<uint64_t>(i) * info.effWidth,
                    info.bits + static_cast<uint64_t>(height - 1 - i) * info.effWidth, info.effWidth);
    copy.AlphaFlip();
    return Transfer(copy);
}

bool Picture::Mirror() {
    if (!dib) return false;
    Picture copy(*this, false, false, true);
    if (!copy.IsValid()) return false;
    const int32_t width = header.biWidth, height = header.biHeight;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = info.bits + static_cast<uint64_t>(y) * info.effWidth;
        uint8_t* dst = copy.info.bits + static_cast<uint64_t>(y) * info.effWidth;
        switch (header.biBitCount) {
            case 8:
                for (int32_t j = 0; j < width; ++j) dst[j] = src[width - 1 - j];
                break;
            case 24:
                for (int32_t j = 0; j < width; ++j)
                    std::memcpy(dst + 3ll * j, src + 3ll * (width - 1 - j), 3);
                break;
            default:
                for (int32_t j = 0; j < width; ++j)
                    copy.SetPixelIndex(j, y, BlindGetPixelIndex(width - 1 - j, y));
                break;
        }
    }
    copy.AlphaMirror();
    return Transfer(copy);
}

// result(x, y) = this(y, newWidth - 1 - x) for a left turn,
// result(x, y) = this(newHeight - 1 - y, x) for a right turn.
static bool Rotate(Picture& self, Picture* destination, bool left) {
    if (!self.IsValid()) return false;
    const int32_t newWidth = self.header.biHeight;
    const int32_t newHeight = self.header.biWidth;
    const uint16_t bpp = self.GetBpp();

    Picture result;
    result.CopyInfo(self);
    if (!result.Create(static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), bpp,
                       self.GetType())) {
        self.SetLastError(result.GetLastError());
        return false;
    }
    // A quarter turn exchanges the axes, and with them the horizontal and vertical resolution.
    result.info.xDpi = self.info.yDpi;
    result.info.yDpi = self.info.xDpi;
    result.header.biXPelsPerMeter = self.header.biYPelsPerMeter;
    result.header.biYPelsPerMeter = self.header.biXPelsPerMeter;
    std::memcpy(result.dib, &result.header, sizeof result.header);
    if (self.GetPalette()) result.SetPalette(self.GetPalette(), std::min(self.GetNumColors(), 256u));
    if (self.AlphaIsValid()) {
        result.AlphaCreate();
        if (!result.AlphaIsValid()) return false;
    }

    const auto sourceOf = [&](int32_t x, int32_t y, int32_t& sx, int32_t& sy) {
        if (left)
            sx = y, sy = newWidth - 1 - x;
        else
            sx = newHeight - 1 - y, sy = x;
    };

    if (bpp == 1) {
        // Bit-wise: only set bits are carried; bits in the row filler fall outside the result.
        result.Clear(0);
        const int32_t rowBytes = static_cast<int32_t>(self.GetEffWidth());
        for (int32_t sy = 0; sy < self.header.biHeight; ++sy) {
            const uint8_t* row = self.info.bits + static_cast<uint64_t>(sy) * rowBytes;
            for (int32_t byte = 0; byte < rowBytes; ++byte) {
                if (!row[byte]) continue;
                for (int32_t bit = 0; bit < 8; ++bit) {
                    if (!(row[byte] & (0x80 >> bit))) continue;
                    const int32_t sx = byte * 8 + bit;
                    const int32_t x = left ? newWidth - 1 - sy : sy;
                    const int32_t y = left ? sx : newHeight - 1 - sx;
                    if (x < 0 || y < 0 || x >= newWidth || y >= newHeight) continue;
                    result.info.bits[static_cast<uint64_t>(y) * result.GetEffWidth() + (x >> 3)] |=
                        static_cast<uint8_t>(0x80 >> (x & 7));
                }
            }
        }
    } else {
        const uint64_t srcStride = self.GetEffWidth(), dstStride = result.GetEffWidth();
        for (int32_t ty = 0; ty < newHeight; ty += kTile) {
            for (int32_t tx = 0; tx < newWidth; tx += kTile) {
                const int32_t yEnd = std::min(ty + kTile, newHeight);
                const int32_t xEnd = std::min(tx + kTile, newWidth);
                for (int32_t y = ty; y < yEnd; ++y) {
                    if (!left) self.info.progress = static_cast<int32_t>(y * 100ll / newHeight);
                    for (int32_t x = tx; x < xEnd; ++x) {
                        if (left) self.info.progress = static_cast<int32_t>(x * 100ll / newWidth);
                        int32_t sx, sy;
                        sourceOf(x, y, sx, sy);
                        if (bpp == 24) {
                            std::memcpy(result.info.bits + y * dstStride + 3ull * x,
                                        self.info.bits + sy * srcStride + 3ull * sx, 3);
                        } else {
                            result.SetPixelIndex(x, y, self.BlindGetPixelIndex(sx, sy));
                        }
                    }
                }
            }
        }
    }

    if (self.AlphaIsValid()) {
        for (int32_t y = 0; y < newHeight; ++y)
            for (int32_t x = 0; x < newWidth; ++x) {
                int32_t sx, sy;
                sourceOf(x, y, sx, sy);
                result.alpha[static_cast<uint64_t>(y) * newWidth + x] = self.BlindAlphaGet(sx, sy);
            }
    }
    // The last column (or row) started decides the final progress value.
    self.info.progress = left ? static_cast<int32_t>((newWidth - 1) * 100ll / newWidth)
                              : static_cast<int32_t>((newHeight - 1) * 100ll / newHeight);
    result.info.progress = self.info.progress;
    return destination ? destination->Transfer(result) : self.Transfer(result);
}

bool Picture::RotateLeft(Picture* destination) { return Rotate(*this, destination, true); }

bool Picture::RotateRight(Picture* destination) { return Rotate(*this, destination, false); }

bool Picture::Negative() {
    if (!dib) return false;
    if (header.biBitCount > 8) {
        if (selection) {
            const RECT& box = info.selectionBox;
            for (int32_t y = std::max(box.bottom, 0); y < std::min(box.top, header.biHeight); ++y)
                for (int32_t x = std::max(box.left, 0); x < std::min(box.right, header.biWidth); ++x) {
                    if (!SelectionIsInside(x, y)) continue;
                    uint8_t* p = GetPixelPointer(x, y);
                    p[0] = static_cast<uint8_t>(255 - p[0]);
                    p[1] = static_cast<uint8_t>(255 - p[1]);
                    p[2] = static_cast<uint8_t>(255 - p[2]);
                }
        } else {
            uint8_t* p = info.bits;
            for (uint32_t i = 0; i < header.biSizeImage; ++i) p[i] = static_cast<uint8_t>(~p[i]);
        }
        info.transColor.rgbBlue = static_cast<uint8_t>(255 - info.transColor.rgbBlue);
        info.transColor.rgbGreen = static_cast<uint8_t>(255 - info.transColor.rgbGreen);
        info.transColor.rgbRed = static_cast<uint8_t>(255 - info.transColor.rgbRed);
    } else if (!IsGrayScale()) {
        RGBQUAD* palette = GetPalette();
        for (uint32_t i = 0; palette && i < GetNumColors(); ++i) {
            palette[i].rgbBlue = static_cast<uint8_t>(255 - palette[i].rgbBlue);
            palette[i].rgbGreen = static_cast<uint8_t>(255 - palette[i].rgbGreen);
            palette[i].rgbRed = static_cast<uint8_t>(255 - palette[i].rgbRed);
        }
        info.lastColorValid = false;
    } else {
        for (int32_t y = 0; y < header.biHeight; ++y)
            for (int32_t x = 0; x < header.biWidth; ++x)
                if (!selection || SelectionIsInside(x, y))
                    SetPixelIndex(x, y, static_cast<uint8_t>(~BlindGetPixelIndex(x, y)));
    }
    return true;
}

void Picture::BitfieldsToRgb24(const uint8_t* source, uint16_t redMask, uint16_t greenMask, uint16_t blueMask,
                               uint8_t bpp) {
    if (!dib || !source || header.biBitCount != 24) return;
    const int64_t width = header.biWidth, height = header.biHeight;
    const uint64_t dstStride = info.effWidth;
    // Rows and pixels run from the last to the first, so the source may occupy the start
    // of this image's own pixel buffer.
    if (bpp == 16) {
        const int32_t nr = std::popcount(redMask), ng = std::popcount(greenMask),
                      nb = std::popcount(blueMask);
        const int32_t shift0 = 8 - nr, shift1 = nr + ng - 8, shift2 = nr + ng + nb - 8;
        const uint64_t srcStride = static_cast<uint64_t>((width + 1) / 2) * 4;
        for (int64_t y = height - 1; y >= 0; --y) {
            const uint8_t* src = source + y * srcStride;
            uint8_t* dst = info.bits + y * dstStride;
            for (int64_t x = width - 1; x >= 0; --x) {
                const uint32_t w = src[2 * x] | (src[2 * x + 1] << 8);
                const uint8_t blue =
                    static_cast<uint8_t>(ShiftRight((w & 0xFF) & (blueMask & 0xFF), -shift0));
                const uint8_t green = static_cast<uint8_t>(ShiftRight(w & greenMask, shift1));
                const uint8_t red = static_cast<uint8_t>(ShiftRight(w & redMask, shift2));
                dst[3 * x] = blue;
                dst[3 * x + 1] = green;
                dst[3 * x + 2] = red;
            }
        }
    } else if (bpp == 32) {
        const uint64_t srcStride = static_cast<uint64_t>(width) * 4;
        for (int64_t y = height - 1; y >= 0; --y) {
            const uint8_t* src = source + y * srcStride;
            uint8_t* dst = info.bits + y * dstStride;
            for (int64_t x = width - 1; x >= 0; --x) {
                const uint8_t b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2];
                dst[3 * x] = b;
                dst[3 * x + 1] = g;
                dst[3 * x + 2] = r;
            }
        }
    }
}
