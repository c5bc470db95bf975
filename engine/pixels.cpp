// Palette entries and single pixels in the bit layouts of the container.
#include <cstring>
#include <utility>

#include "picture.h"

// ---- palette ----------------------------------------------------------------------------

RGBQUAD* Picture::GetPalette() const {
    if (!dib || header.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(dib + sizeof(BITMAPINFOHEADER));
}

RGBQUAD Picture::GetPaletteColor(uint8_t index) const {
    const RGBQUAD* palette = GetPalette();
    if (palette && index < GetNumColors()) return palette[index];
    return RGBQUAD{0, 0, 0, 0};
}

bool Picture::GetPaletteColor(uint8_t index, uint8_t* red, uint8_t* green, uint8_t* blue) const {
    const RGBQUAD* palette = GetPalette();
    if (!palette || index >= GetNumColors()) return false;
    if (red) *red = palette[index].rgbRed;
    if (green) *green = palette[index].rgbGreen;
    if (blue) *blue = palette[index].rgbBlue;
    return true;
}

void Picture::SetPaletteColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t alphaValue) {
    SetPaletteColor(index, RGBQUAD{blue, green, red, alphaValue});
}

void Picture::SetPaletteColor(uint8_t index, RGBQUAD color) {
    RGBQUAD* palette = GetPalette();
    if (!palette || index >= GetNumColors()) return;
    palette[index] = color;
    info.lastColorValid = false;
}

void Picture::SetPalette(const RGBQUAD* entries, uint32_t count) {
    RGBQUAD* palette = GetPalette();
    if (!entries || !palette) return;
    const uint64_t bytes = static_cast<uint64_t>(count) * 4;
    std::memcpy(palette, entries, bytes < GetPaletteSize() ? bytes : GetPaletteSize());
    info.lastColorValid = false;
}

void Picture::SetPalette(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue) {
    RGBQUAD* palette = GetPalette();
    if (!red || !palette) return;
    if (!green) green = red;
    if (!blue) blue = green;
    const uint32_t n = count < GetNumColors() ? count : GetNumColors();
    for (uint32_t i = 0; i < n; ++i) {
        palette[i].rgbBlue = blue[i];
        palette[i].rgbGreen = green[i];
        palette[i].rgbRed = red[i];
    }
    info.lastColorValid = false;
}

void Picture::SetPalette(const uint8_t (*triples)[3], uint32_t count) {
    RGBQUAD* palette = GetPalette();
    if (!triples || !palette) return;
    const uint32_t n = count < GetNumColors() ? count : GetNumColors();
    for (uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = triples[i][0];
        palette[i].rgbGreen = triples[i][1];
        palette[i].rgbBlue = triples[i][2];
    }
    info.lastColorValid = false;
}

void Picture::SetGrayPalette() {
    RGBQUAD* palette = GetPalette();
    const uint32_t n = GetNumColors();
    if (!palette || n < 2) return;
    const uint32_t step = 255 / (n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * step);
        palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = v;
    }
    info.lastColorValid = false;
}

bool Picture::IsGrayScale() const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return false;
    for (uint32_t i = 0; i < GetNumColors(); ++i) {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i) return false;
    }
    return true;
}

void Picture::SwapIndex(uint8_t index1, uint8_t index2) {
    RGBQUAD* palette = GetPalette();
    if (!palette || index1 >= GetNumColors() || index2 >= GetNumColors()) return;
    std::swap(palette[index1], palette[index2]);
    info.lastColorValid = false;
    const int32_t width = header.biWidth, height = header.biHeight;
    for (int32_t y = 0; y < height; ++y) {
        if (header.biBitCount == 8) {
            uint8_t* row = info.bits + static_cast<uint64_t>(y) * info.effWidth;
            for (int32_t x = 0; x < width; ++x) {
                if (row[x] == index1)
                    row[x] = index2;
                else if (row[x] == index2)
                    row[x] = index1;
            }
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = BlindGetPixelIndex(x, y);
            if (v == index1)
                SetPixelIndex(x, y, index2);
            else if (v == index2)
                SetPixelIndex(x, y, index1);
        }
    }
}

// ---- pixels -----------------------------------------------------------------------------

uint8_t Picture::BlindGetPixelIndex(int32_t x, int32_t y) const {
    const uint8_t* row = info.bits + static_cast<uint64_t>(y) * info.effWidth;
    switch (header.biBitCount) {
        case 8:
            return row[x];
        case 4: {
            const uint8_t byte = row[x >> 1];
            return (x & 1) ? (byte & 0x0F) : (byte >> 4);
        }
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        default:
            return 0;
    }
}

uint8_t Picture::GetPixelIndex(int32_t x, int32_t y) const {
    if (!dib || header.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.transIndex != -1) return static_cast<uint8_t>(info.transIndex);
        return *info.bits;
    }
    return BlindGetPixelIndex(x, y);
}

void Picture::SetPixelIndex(int32_t x, int32_t y, uint8_t index) {
    if (!dib || header.biClrUsed == 0 || !IsInside(x, y)) return;
    uint8_t* row = info.bits + static_cast<uint64_t>(y) * info.effWidth;
    switch (header.biBitCount) {
        case 8:
            row[x] = index;
            break;
        case 4: {
            uint8_t& byte = row[x >> 1];
            if (x & 1)
                byte = static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
            else
                byte = static_cast<uint8_t>((byte & 0x0F) | ((index & 0x0F) << 4));
            break;
        }
        case 1: {
            uint8_t& byte = row[x >> 3];
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            if (index & 1)
                byte |= mask;
            else
                byte &= static_cast<uint8_t>(~mask);
            break;
        }
        default:
            break;
    }
}

RGBQUAD Picture::GetPixelColor(int32_t x, int32_t y, bool withAlpha) const {
    if (dib && IsInside(x, y)) {
        RGBQUAD color;
        if (header.biClrUsed) {
            color = GetPaletteColor(GetPixelIndex(x, y));
        } else {
            const uint8_t* p = info.bits + static_cast<uint64_t>(y) * info.effWidth + x * 3ull;
            color = RGBQUAD{p[0], p[1], p[2], info.transColor.rgbReserved};
        }
        if (withAlpha && alpha) color.rgbReserved = BlindAlphaGet(x, y);
        return color;
    }
    if (info.transIndex != -1) {
        if (header.biBitCount < 24) return GetPaletteColor(static_cast<uint8_t>(info.transIndex));
        return info.transColor;
    }
    if (dib) return GetPixelColor(0, 0, true);
    return info.transColor;
}

RGBQUAD Picture::BlindGetPixelColor(int32_t x, int32_t y) const {
    if (header.biClrUsed) return GetPalette()[BlindGetPixelIndex(x, y)];
    const uint8_t* p = info.bits + static_cast<uint64_t>(y) * info.effWidth + x * 3ull;
    return RGBQUAD{p[0], p[1], p[2], alpha ? BlindAlphaGet(x, y) : uint8_t{0}};
}

void Picture::SetPixelColor(int32_t x, int32_t y, RGBQUAD color, bool withAlpha) {
    if (!dib || !IsInside(x, y)) return;
    if (header.biClrUsed) {
        SetPixelIndex(x, y, GetNearestIndex(color));
    } else {
        uint8_t* p = info.bits + static_cast<uint64_t>(y) * info.effWidth + x * 3ull;
        p[0] = color.rgbBlue;
        p[1] = color.rgbGreen;
        p[2] = color.rgbRed;
    }
    if (withAlpha) AlphaSet(x, y, color.rgbReserved);
}

void Picture::SetPixelColor(int32_t x, int32_t y, uint32_t colorRef) {
    SetPixelColor(x, y, ColorRefToRgbQuad(colorRef), false);
}

uint8_t* Picture::GetPixelPointer(int32_t x, int32_t y) const {
    if (header.biClrUsed) return nullptr;
    return info.bits + static_cast<int64_t>(y) * info.effWidth + x * 3ll;
}

uint8_t Picture::GetNearestIndex(RGBQUAD color) {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return 0;
    if (info.lastColorValid && info.lastColor == color) return info.lastColorIndex;
    info.lastColor = color;
    info.lastColorValid = true;

    uint32_t n = header.biClrImportant ? header.biClrImportant : GetNumColors();
    if (n > GetNumColors()) n = GetNumColors();
    int32_t best = 200000;
    uint8_t answer = 0;
    for (uint32_t j = 0; j < n; ++j) {
        const int32_t db = palette[j].rgbBlue - color.rgbBlue;
        const int32_t dg = palette[j].rgbGreen - color.rgbGreen;
        const int32_t dr = palette[j].rgbRed - color.rgbRed;
        const int32_t d = db * db + dg * dg + dr * dr;
        if (d == 0) {
            answer = static_cast<uint8_t>(j);
            break;
        }
        if (d < best) {
            best = d;
            answer = static_cast<uint8_t>(j);
        }
    }
    info.lastColorIndex = answer;
    return answer;
}

RGBQUAD Picture::ColorRefToRgbQuad(uint32_t colorRef) {
    return RGBQUAD{static_cast<uint8_t>(colorRef >> 16), static_cast<uint8_t>(colorRef >> 8),
                   static_cast<uint8_t>(colorRef), 0};
}

void Picture::SwapRedBlue(uint8_t* row, int32_t length) const {
    if (!row || header.biClrUsed) return;
    if (length > static_cast<int32_t>(info.effWidth)) length = static_cast<int32_t>(info.effWidth);
    for (int32_t i = 0; i + 2 < length; i += 3) std::swap(row[i], row[i + 2]);
}

int32_t Picture::CompareLuminance(RGBQUAD a, RGBQUAD b) {
    const auto luminance = [](RGBQUAD c) {
        return (117 * c.rgbBlue + 601 * c.rgbGreen + 306 * c.rgbRed) >> 10;
    };
    return luminance(a) - luminance(b);
}
