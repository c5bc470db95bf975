// The engine's own drawing surface, standing in for a Windows device context: rows of
// 32-bit pixels stored top-down, a stride apart, each pixel 0xffRRGGBB (bytes blue, green,
// red, 255 in memory, which is the layout of a QImage in Format_RGB32), and one clipping
// rectangle. It offers the few transfers that drawing a picture needs: a packed DIB copied
// 1:1 or stretched onto the surface, and surface pixels read back into a 24-bit DIB.
#pragma once

#include <cstdint>
#include <vector>

#include "wintypes.h"

// Raster operation codes as GDI numbers them; the middle byte is the boolean function of
// pattern, source and destination.
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

class DeviceContext {
   public:
    // A surface of its own, every pixel set to fill (0xRRGGBB; the top byte is ignored).
    DeviceContext(int32_t width, int32_t height, uint32_t fill = 0xffffff);
    // A view of 32-bit pixels owned by the caller, for instance QImage::bits() with
    // QImage::bytesPerLine() as stride. The memory must outlive the view.
    DeviceContext(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Stride() const { return stride_; }
    uint8_t* Bits() const { return pixels_; }

    // Pixel (x, y) as 0xffRRGGBB, or 0 outside the surface; clipping does not apply.
    uint32_t GetPixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, uint32_t rgb);

    // The clipping rectangle. It never reaches past the surface, and an empty one is
    // reported as 0, 0, 0, 0. A fresh surface clips to itself.
    RECT GetClipBox() const { return clip_; }
    // Replaces the clipping; none means the whole surface.
    void SelectClipRect(const RECT* rect);
    // Intersects the clipping with rect (a region AND).
    void IntersectClipRect(const RECT& rect);
    // Unites the clipping with rect (a region OR). A single rectangle cannot hold every
    // union, so the result is the smallest rectangle holding both; when rect holds the
    // current clipping, as when a saved clip box is restored, that is the exact union.
    void UniteClipRect(const RECT& rect);

    // Copies the bottom-left cx x cy pixels of a bottom-up DIB (1, 4, 8 or 24 bpp; palette
    // entries follow the header for the palette depths) 1:1 to the rectangle whose top-left
    // corner is (x, y), inside the clipping only. Returns the number of DIB rows in the
    // rectangle, or 0 when the DIB cannot be drawn.
    int32_t SetDIBitsToDevice(int32_t x, int32_t y, int32_t cx, int32_t cy, const BITMAPINFOHEADER& header,
                              const RGBQUAD* palette, const uint8_t* bits);
    // Scales the DIB's srcW x srcH pixels above and right of (srcX, srcY) (DIB coordinates,
    // bottom-up) onto the cx x cy rectangle at (x, y) by dropping or repeating whole rows
    // and columns, combining source and surface by the raster operation rop (the pattern
    // is a white brush). Negative or zero sizes draw nothing. Returns the rows drawn.
    int32_t StretchDIBits(int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t srcX, int32_t srcY,
                          int32_t srcW, int32_t srcH, const BITMAPINFOHEADER& header, const RGBQUAD* palette,
                          const uint8_t* bits, uint32_t rop);
    // Reads the surface's width x height pixels whose top-left corner is (left, top) into
    // a 24-bit bottom-up DIB buffer with rows padded to 4 bytes, as BitBlt does into a DIB
    // section. Pixels outside the surface read as black.
    void CopyToDib(int32_t left, int32_t top, int32_t width, int32_t height, uint8_t* bits) const;

   private:
    uint8_t* Pixel(int32_t x, int32_t y) const {
        return pixels_ + static_cast<int64_t>(y) * stride_ + x * 4ll;
    }
    RECT Bounded(const RECT& rect) const;

    std::vector<uint8_t> own_;
    uint8_t* pixels_;
    int32_t width_;
    int32_t height_;
    int32_t stride_;
    RECT clip_;
};
