// Painting a picture into a surface: an unchanged picture is copied straight to it, another
// size is scaled pixel by pixel over the visible part only, and pictures with a
// transparent colour, an alpha plane or palette alpha are blended over what the surface
// already shows.
#include "draw.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "devicecontext.h"

RECT PaintBox(const RECT& clip, int32_t x, int32_t y, int32_t cx, int32_t cy) {
    // 64 bits, because x + cx may pass the int32 range; every result is clamped into the clip box.
    const int64_t top = std::min<int64_t>(clip.bottom, std::max<int64_t>(clip.top, y));
    const int64_t left = std::min<int64_t>(clip.right, std::max<int64_t>(clip.left, x));
    const int64_t right = std::max<int64_t>(clip.left, std::min<int64_t>(clip.right, int64_t{x} + cx));
    const int64_t bottom = std::max<int64_t>(clip.top, std::min<int64_t>(clip.bottom, int64_t{y} + cy));
    return RECT{static_cast<int32_t>(left), static_cast<int32_t>(top),
                static_cast<int32_t>(std::max(left, right)), static_cast<int32_t>(std::max(top, bottom))};
}

uint32_t DibRowBytes24(int32_t width) { return static_cast<uint32_t>((width * 24ull + 31) / 32 * 4); }

namespace {

// Source positions of a scaled draw. Columns map by dx = column offset x fx and rows by
// dy = height - (rows from the rectangle's top, counted to the row's lower edge) x fy, so
// that the picture's bottom row lands at the rectangle's bottom; sx and sy are their
// floors, raised to 0 and, against float rounding with huge rectangles, capped at the
// last pixel. Computed once per column and once per row, not per pixel.
struct SourceGrid {
    std::vector<float> dx, dy;
    std::vector<int32_t> sx, sy;

    SourceGrid(const Picture& picture, const DrawPlacement& place) {
        const int32_t width = picture.header.biWidth, height = picture.header.biHeight;
        const float fx = static_cast<float>(width) / static_cast<float>(place.cx);
        const float fy = static_cast<float>(height) / static_cast<float>(place.cy);
        const int32_t destW = place.paint.right - place.paint.left,
                      destH = place.paint.bottom - place.paint.top;
        dx.resize(destW);
        sx.resize(destW);
        for (int32_t xx = 0; xx < destW; ++xx) {
            dx[xx] = static_cast<float>(int64_t{xx} + place.paint.left - place.x) * fx;
            sx[xx] = Floor(dx[xx], width);
        }
        dy.resize(destH);
        sy.resize(destH);
        for (int32_t yy = 0; yy < destH; ++yy) {
            dy[yy] = static_cast<float>(height) -
                     static_cast<float>(int64_t{place.paint.bottom} - yy - place.y) * fy;
            sy[yy] = Floor(dy[yy], height);
        }
    }

    static int32_t Floor(float v, int32_t size) {
        if (!(v > 0)) return 0;
        if (v >= static_cast<float>(size)) return size - 1;
        return static_cast<int32_t>(v);
    }
};

RGBQUAD Smooth(const Picture& picture, float dx, float dy) {
    return picture.SampleInterpolated(dx - 0.5f, dy - 0.5f, Picture::SampleMethod::Bilinear,
                                      Picture::EdgeMode::Repeat, nullptr);
}

}  // namespace

void ComposeScaled(const Picture& picture, const DrawPlacement& place, uint8_t* work) {
    const SourceGrid grid(picture, place);
    const int32_t destW = place.paint.right - place.paint.left, destH = place.paint.bottom - place.paint.top;
    const uint32_t rowBytes = DibRowBytes24(destW);
    const bool indexed = picture.header.biClrUsed != 0;
    for (int32_t yy = 0; yy < destH; ++yy) {
        uint8_t* out = work + static_cast<uint64_t>(yy) * rowBytes;
        const int32_t sy = grid.sy[yy];
        const uint8_t* row = picture.info.bits + static_cast<uint64_t>(sy) * picture.info.effWidth;
        for (int32_t xx = 0; xx < destW; ++xx, out += 3) {
            if (place.smooth) {
                const RGBQUAD c = Smooth(picture, grid.dx[xx], grid.dy[yy]);
                out[0] = c.rgbBlue, out[1] = c.rgbGreen, out[2] = c.rgbRed;
            } else if (indexed) {
                const RGBQUAD c = picture.GetPaletteColor(picture.BlindGetPixelIndex(grid.sx[xx], sy));
                out[0] = c.rgbBlue, out[1] = c.rgbGreen, out[2] = c.rgbRed;
            } else {
                std::memcpy(out, row + grid.sx[xx] * 3ull, 3);
            }
        }
    }
}

void ComposeBlended(const Picture& picture, const DrawPlacement& place, uint8_t* work) {
    const int32_t width = picture.header.biWidth, height = picture.header.biHeight;
    const bool scaled = place.cx != width || place.cy != height;
    const bool sample = place.smooth && scaled;
    const bool indexed = picture.header.biClrUsed != 0;
    const bool transparent = picture.info.transIndex != -1;
    const RGBQUAD transColor = picture.GetTransColor();
    const uint32_t alphaMax = picture.info.alphaMax;
    const int32_t destW = place.paint.right - place.paint.left, destH = place.paint.bottom - place.paint.top;
    const uint32_t rowBytes = DibRowBytes24(destW);

    std::vector<int32_t> columns(destW), rows(destH);
    std::vector<float> dxs, dys;
    if (scaled) {
        SourceGrid grid(picture, place);
        columns = std::move(grid.sx);
        rows = std::move(grid.sy);
        dxs = std::move(grid.dx);
        dys = std::move(grid.dy);
    } else {
        // 1:1: work row 0 is the paint box's bottom row, picture row height - 1 the
        // rectangle's top row.
        for (int32_t xx = 0; xx < destW; ++xx) columns[xx] = place.paint.left - place.x + xx;
        for (int32_t yy = 0; yy < destH; ++yy) rows[yy] = height - place.paint.bottom + place.y + yy;
    }

    for (int32_t yy = 0; yy < destH; ++yy) {
        uint8_t* out = work + static_cast<uint64_t>(yy) * rowBytes;
        const int32_t sy = rows[yy];
        for (int32_t xx = 0; xx < destW; ++xx, out += 3) {
            const int32_t sx = columns[xx];
            uint32_t a = picture.alpha ? picture.BlindAlphaGet(sx, sy) : 255u;
            a = (a * (alphaMax + 1)) >> 8;

            RGBQUAD color;
            uint8_t index = 0;
            if (indexed) {
                index = picture.BlindGetPixelIndex(sx, sy);
                color = sample ? Smooth(picture, dxs[xx], dys[yy]) : picture.GetPaletteColor(index);
                if (picture.info.alphaPaletteEnabled) a = (a * (color.rgbReserved + 1u)) >> 8;
            } else if (sample) {
                color = Smooth(picture, dxs[xx], dys[yy]);
            } else {
                const uint8_t* p = picture.GetPixelPointer(sx, sy);
                color = RGBQUAD{p[0], p[1], p[2], 0};
            }

            if (transparent && (indexed ? index == picture.info.transIndex : color == transColor)) continue;
            if (a == 0) continue;
            if (a == 255) {
                out[0] = color.rgbBlue, out[1] = color.rgbGreen, out[2] = color.rgbRed;
                continue;
            }
            const uint32_t keep = 255 - a;
            out[0] = static_cast<uint8_t>((out[0] * keep + a * color.rgbBlue) >> 8);
            out[1] = static_cast<uint8_t>((out[1] * keep + a * color.rgbGreen) >> 8);
            out[2] = static_cast<uint8_t>((out[2] * keep + a * color.rgbRed) >> 8);
        }
    }
}

int32_t Picture::Draw(DeviceContext* target, int32_t x, int32_t y, int32_t cx, int32_t cy,
                      const RECT* clipRect, bool smooth) const {
    if (!dib || !target || cx == 0 || cy == 0 || !info.enabled) return 0;
    const int32_t width = header.biWidth, height = header.biHeight;
    if (cx < 0) cx = width;
    if (cy < 0) cy = height;
    const bool transparent = info.transIndex != -1;
    const bool hasAlpha = alpha != nullptr;

    RECT saved{};
    if (clipRect) {
        saved = target->GetClipBox();
        target->IntersectClipRect(*clipRect);
    }
    const DrawPlacement place{x, y, cx, cy, PaintBox(target->GetClipBox(), x, y, cx, cy), smooth};
    const int32_t destW = place.paint.right - place.paint.left, destH = place.paint.bottom - place.paint.top;

    // The DIB block begins with the header as it was made, which is what a device reads.
    BITMAPINFOHEADER dibHeader;
    std::memcpy(&dibHeader, dib, sizeof dibHeader);

    const bool blended = transparent || hasAlpha || info.alphaPaletteEnabled;
    if (!blended && cx == width && cy == height) {
        target->SetDIBitsToDevice(x, y, cx, cy, dibHeader, GetPalette(), info.bits);
    } else if (destW > 0 && destH > 0) {
        // Composed only over the visible part; a work buffer that cannot be had means
        // nothing is painted, as when a device refuses a DIB section.
        std::vector<uint8_t> work;
        try {
            work.resize(static_cast<size_t>(DibRowBytes24(destW)) * destH);
        } catch (const std::bad_alloc&) {
            work.clear();
        }
        if (!work.empty()) {
            if (blended) {
                target->CopyToDib(place.paint.left, place.paint.top, destW, destH, work.data());
                ComposeBlended(*this, place, work.data());
            } else {
                ComposeScaled(*this, place, work.data());
            }
            BITMAPINFOHEADER workHeader{};
            workHeader.biSize = sizeof workHeader;
            workHeader.biWidth = destW;
            workHeader.biHeight = destH;
            workHeader.biPlanes = 1;
            workHeader.biBitCount = 24;
            target->SetDIBitsToDevice(place.paint.left, place.paint.top, destW, destH, workHeader, nullptr,
                                      work.data());
        }
    }

    if (clipRect) target->UniteClipRect(saved);
    return 1;
}

bool Picture::Stretch(DeviceContext* target, int32_t x, int32_t y, int32_t cx, int32_t cy,
                      uint32_t rop) const {
    if (!dib || !target) return false;
    BITMAPINFOHEADER dibHeader;
    std::memcpy(&dibHeader, dib, sizeof dibHeader);
    target->StretchDIBits(x, y, cx, cy, 0, 0, header.biWidth, header.biHeight, dibHeader, GetPalette(),
                          info.bits, rop);
    return true;
}
