#include "devicecontext.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr RECT kEmpty{0, 0, 0, 0};

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// Reads pixels of a packed bottom-up DIB as blue, green, red.
class DibReader {
   public:
    DibReader(const BITMAPINFOHEADER& header, const RGBQUAD* palette, const uint8_t* bits)
        : header_(header), palette_(palette), bits_(bits) {
        const uint16_t bpp = header.biBitCount;
        colors_ = header.biClrUsed ? header.biClrUsed : (bpp <= 8 ? 1u << bpp : 0u);
        stride_ = (static_cast<uint64_t>(bpp) * (header.biWidth > 0 ? header.biWidth : 0) + 31) / 32 * 4;
    }

    bool Valid() const {
        const uint16_t bpp = header_.biBitCount;
        if (!bits_ || header_.biWidth <= 0 || header_.biHeight <= 0) return false;
        if (bpp == 24) return true;
        return (bpp == 1 || bpp == 4 || bpp == 8) && palette_;
    }

    // The caller keeps 0 <= x < width and 0 <= row < height.
    void Get(int32_t x, int32_t row, uint8_t* bgr) const {
        const uint8_t* line = bits_ + static_cast<uint64_t>(row) * stride_;
        uint32_t index;
        switch (header_.biBitCount) {
            case 24:
                std::memcpy(bgr, line + x * 3ull, 3);
                return;
            case 8:
                index = line[x];
                break;
            case 4:
                index = (x & 1) ? line[x >> 1] & 0x0F : line[x >> 1] >> 4;
                break;
            default:
                index = (line[x >> 3] >> (7 - (x & 7))) & 1;
                break;
        }
        if (index >= colors_) {
            bgr[0] = bgr[1] = bgr[2] = 0;
            return;
        }
        bgr[0] = palette_[index].rgbBlue;
        bgr[1] = palette_[index].rgbGreen;
        bgr[2] = palette_[index].rgbRed;
    }

    int32_t Width() const { return header_.biWidth; }
    int32_t Height() const { return header_.biHeight; }

   private:
    const BITMAPINFOHEADER& header_;
    const RGBQUAD* palette_;
    const uint8_t* bits_;
    uint32_t colors_;
    uint64_t stride_;
};

// The boolean function of a raster operation applied bit by bit: bit k of the operation's
// middle byte is the result for pattern bit (k >> 2), source bit (k >> 1 & 1) and
// destination bit (k & 1).
uint8_t RasterOp(uint8_t op, uint8_t pattern, uint8_t source, uint8_t destination) {
    uint8_t result = 0;
    for (int k = 0; k < 8; ++k) {
        if (!((op >> k) & 1)) continue;
        const uint8_t p = (k & 4) ? pattern : static_cast<uint8_t>(~pattern);
        const uint8_t s = (k & 2) ? source : static_cast<uint8_t>(~source);
        const uint8_t d = (k & 1) ? destination : static_cast<uint8_t>(~destination);
        result |= static_cast<uint8_t>(p & s & d);
    }
    return result;
}

}  // namespace

DeviceContext::DeviceContext(int32_t width, int32_t height, uint32_t fill)
    : pixels_(nullptr), width_(std::max(width, 0)), height_(std::max(height, 0)), stride_(0) {
    // A surface that cannot be had is an empty one; nothing is thrown out of the engine.
    try {
        if (width_ > INT32_MAX / 4) throw std::bad_alloc();
        stride_ = width_ * 4;
        own_.resize(static_cast<size_t>(stride_) * height_);
    } catch (const std::bad_alloc&) {
        width_ = height_ = stride_ = 0;
    }
    pixels_ = own_.data();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) SetPixel(x, y, fill);
    clip_ = Bounded(RECT{0, 0, width_, height_});
}

DeviceContext::DeviceContext(uint8_t* pixels, int32_t width, int32_t height, int32_t stride)
    : pixels_(pixels), width_(std::max(width, 0)), height_(std::max(height, 0)), stride_(stride) {
    if (!pixels_ || stride_ < width_ * 4ll) width_ = height_ = 0;
    clip_ = Bounded(RECT{0, 0, width_, height_});
}

uint32_t DeviceContext::GetPixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* p = Pixel(x, y);
    return 0xff000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

void DeviceContext::SetPixel(int32_t x, int32_t y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = Pixel(x, y);
    p[0] = static_cast<uint8_t>(rgb);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb >> 16);
    p[3] = 0xff;
}

RECT DeviceContext::Bounded(const RECT& rect) const {
    const RECT r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
                 std::min(rect.bottom, height_)};
    return IsEmpty(r) ? kEmpty : r;
}

void DeviceContext::SelectClipRect(const RECT* rect) {
    clip_ = Bounded(rect ? *rect : RECT{0, 0, width_, height_});
}

void DeviceContext::IntersectClipRect(const RECT& rect) {
    if (IsEmpty(clip_)) return;
    clip_ = Bounded(RECT{std::max(clip_.left, rect.left), std::max(clip_.top, rect.top),
                         std::min(clip_.right, rect.right), std::min(clip_.bottom, rect.bottom)});
}

void DeviceContext::UniteClipRect(const RECT& rect) {
    const RECT added = Bounded(rect);
    if (IsEmpty(added)) return;
    if (IsEmpty(clip_)) {
        clip_ = added;
        return;
    }
    clip_ = RECT{std::min(clip_.left, added.left), std::min(clip_.top, added.top),
                 std::max(clip_.right, added.right), std::max(clip_.bottom, added.bottom)};
}

int32_t DeviceContext::SetDIBitsToDevice(int32_t x, int32_t y, int32_t cx, int32_t cy,
                                         const BITMAPINFOHEADER& header, const RGBQUAD* palette,
                                         const uint8_t* bits) {
    const DibReader dib(header, palette, bits);
    if (!dib.Valid()) return 0;
    cx = std::min(cx, dib.Width());
    cy = std::min(cy, dib.Height());
    if (cx <= 0 || cy <= 0) return 0;
    // Only the part of the rectangle inside the clipping is touched, so the cost follows
    // what is visible rather than the size of the DIB.
    const int64_t left = std::max<int64_t>(x, clip_.left),
                  right = std::min<int64_t>(int64_t{x} + cx, clip_.right);
    const int64_t top = std::max<int64_t>(y, clip_.top),
                  bottom = std::min<int64_t>(int64_t{y} + cy, clip_.bottom);
    const bool plain = header.biBitCount == 24;
    const uint64_t dibStride = (24ull * header.biWidth + 31) / 32 * 4;
    for (int64_t row = top; row < bottom; ++row) {
        // The DIB's bottom row lands on the rectangle's bottom row.
        const int32_t dibRow = static_cast<int32_t>(int64_t{y} + cy - 1 - row);
        uint8_t* out = Pixel(static_cast<int32_t>(left), static_cast<int32_t>(row));
        if (plain) {
            const uint8_t* in = bits + dibRow * dibStride + (left - x) * 3;
            for (int64_t col = left; col < right; ++col, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 0xff;
            }
            continue;
        }
        for (int64_t col = left; col < right; ++col, out += 4) {
            dib.Get(static_cast<int32_t>(col - x), dibRow, out);
            out[3] = 0xff;
        }
    }
    return cy;
}

int32_t DeviceContext::StretchDIBits(int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t srcX, int32_t srcY,
                                     int32_t srcW, int32_t srcH, const BITMAPINFOHEADER& header,
                                     const RGBQUAD* palette, const uint8_t* bits, uint32_t rop) {
    const DibReader dib(header, palette, bits);
    if (!dib.Valid() || cx <= 0 || cy <= 0 || srcW <= 0 || srcH <= 0 || srcX < 0 || srcY < 0 ||
        int64_t{srcX} + srcW > dib.Width() || int64_t{srcY} + srcH > dib.Height())
        return 0;
    const uint8_t op = static_cast<uint8_t>(rop >> 16);
    const int64_t left = std::max<int64_t>(x, clip_.left),
                  right = std::min<int64_t>(int64_t{x} + cx, clip_.right);
    const int64_t top = std::max<int64_t>(y, clip_.top),
                  bottom = std::min<int64_t>(int64_t{y} + cy, clip_.bottom);
    for (int64_t row = top; row < bottom; ++row) {
        // Each destination row or column takes the source one under its centre.
        const int64_t fromTop = (2 * (row - y) + 1) * srcH / (2 * int64_t{cy});
        const int32_t dibRow = static_cast<int32_t>(srcY + srcH - 1 - fromTop);
        uint8_t* out = Pixel(static_cast<int32_t>(left), static_cast<int32_t>(row));
        for (int64_t col = left; col < right; ++col, out += 4) {
            const int32_t dibCol =
                static_cast<int32_t>(srcX + (2 * (col - x) + 1) * srcW / (2 * int64_t{cx}));
            uint8_t source[3];
            dib.Get(dibCol, dibRow, source);
            for (int c = 0; c < 3; ++c)
                out[c] = op == 0xCC ? source[c] : RasterOp(op, 0xff, source[c], out[c]);
            out[3] = 0xff;
        }
    }
    return static_cast<int32_t>(std::max<int64_t>(bottom - top, 0));
}

void DeviceContext::CopyToDib(int32_t left, int32_t top, int32_t width, int32_t height, uint8_t* bits) const {
    if (!bits || width <= 0 || height <= 0) return;
    const uint64_t dibStride = (24ull * width + 31) / 32 * 4;
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* out = bits + r * dibStride;
        const int64_t row = int64_t{top} + height - 1 - r;
        std::memset(out, 0, dibStride);
        if (row < 0 || row >= height_) continue;
        const int64_t from = std::max<int64_t>(left, 0),
                      to = std::min<int64_t>(int64_t{left} + width, width_);
        for (int64_t col = from; col < to; ++col) {
            const uint8_t* in = Pixel(static_cast<int32_t>(col), static_cast<int32_t>(row));
            std::memcpy(out + (col - left) * 3, in, 3);
        }
    }
}
