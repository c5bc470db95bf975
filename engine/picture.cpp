#include "picture.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

uint8_t* AllocBlock(uint64_t bytes) {
    // Every block of the container (pixel rows with their header and palette, planes) is held
    // to the picture cap; the header and a full palette fit in the slack.
    constexpr uint64_t kHeaderAndPalette = 40 + 256 * 4;
    if (bytes == 0 || bytes > SIZE_MAX || bytes > GetPictureCap() + kHeaderAndPalette) return nullptr;
    // Zero-filled, so that pixels a decoder never reaches are black rather than stale memory.
    return static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(bytes)));
}

int32_t PelsPerMeter(int32_t dpi) {
    const double ppm = std::floor(dpi * 10000.0 * (1.0 / 254.0) + 0.5);
    return ppm > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ppm);
}

}  // namespace

Picture::Picture(uint32_t imageType) { Startup(imageType); }

Picture::Picture(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imageType) {
    Startup(imageType);
    Create(width, height, bpp, imageType);
}

Picture::Picture(const Picture& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    Startup(source.GetType());
    Copy(source, copyPixels, copySelection, copyAlpha);
}

Picture::~Picture() { Destroy(); }

void Picture::Startup(uint32_t imageType) {
    dib = nullptr;
    selection = nullptr;
    alpha = nullptr;
    layers = nullptr;
    std::memset(&header, 0, sizeof header);
    std::memset(&info, 0, sizeof info);
    info.type = imageType;
    info.jpegQuality = 90;
    info.alphaMax = 255;
    info.transIndex = -1;
    info.enabled = true;
    SetXDpi(96);
    SetYDpi(96);
}

void Picture::SetLastError(const char* text) {
    if (!text) text = "";
    std::strncpy(info.lastError, text, sizeof info.lastError - 1);
    info.lastError[sizeof info.lastError - 1] = '\0';
}

uint8_t* Picture::Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imageType) {
    if (!Destroy()) return nullptr;

    if (width == 0 || height == 0) {
        SetLastError("Picture::Create : width and height must be greater than zero");
        return nullptr;
    }

    if (bpp <= 1)
        bpp = 1;
    else if (bpp <= 4)
        bpp = 4;
    else if (bpp <= 8)
        bpp = 8;
    else
        bpp = 24;

    if (!FitsPictureCap(width, height, bpp)) {
        SetLastError("PICTURE_MAX_MEMORY exceeded");
        return nullptr;
    }

    const uint32_t colors = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    const uint64_t effWidth = (static_cast<uint64_t>(bpp) * width + 31) / 32 * 4;
    const uint64_t sizeImage = effWidth * height;
    const uint64_t total = sizeof(BITMAPINFOHEADER) + colors * 4ull + sizeImage;
    if (width > INT32_MAX || height > INT32_MAX || sizeImage > UINT32_MAX || total > UINT32_MAX) {
        SetLastError("Picture::Create can't allocate memory");
        return nullptr;
    }

    info.effWidth = static_cast<uint32_t>(effWidth);
    info.type = imageType;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bpp);
    header.biCompression = 0;
    header.biSizeImage = static_cast<uint32_t>(sizeImage);
    header.biClrUsed = colors;
    header.biClrImportant = 0;

    dib = AllocBlock(GetSize());
    if (!dib) {
        SetLastError("Picture::Create can't allocate memory");
        return nullptr;
    }
    std::memcpy(dib, &header, sizeof header);
    info.bits = GetBits(0);
    info.lastColorValid = false;
    return dib;
}

bool Picture::Destroy() {
    if (info.ghost) return false;
    if (layers) {
        for (int32_t i = 0; i < info.layerCount; ++i) delete layers[i];
        std::free(layers);
        layers = nullptr;
    }
    std::free(selection);
    selection = nullptr;
    std::free(alpha);
    alpha = nullptr;
    std::free(dib);
    dib = nullptr;
    info.bits = nullptr;
    return true;
}

uint64_t Picture::PlaneSize() const { return static_cast<uint64_t>(GetWidth()) * GetHeight(); }

void Picture::Copy(const Picture& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    // The information block travels whole, but this image keeps its own ownership links:
    // copying them would make it a ghost of the source or point it at foreign pixels.
    Picture* const ownGhost = info.ghost;
    uint8_t* const ownBits = info.bits;
    info = source.info;
    info.ghost = ownGhost;
    info.bits = ownBits;

    if (!Create(source.GetWidth(), source.GetHeight(), source.GetBpp(), source.GetType())) return;
    // The resolution travels with the information block; the header's copy of it must too,
    // since encoders write the header's pixels per metre.
    header.biXPelsPerMeter = source.header.biXPelsPerMeter;
    header.biYPelsPerMeter = source.header.biYPelsPerMeter;
    std::memcpy(dib, &header, sizeof header);

    if (copyPixels && source.dib) {
        std::memcpy(dib, source.dib, GetSize());
    } else {
        uint32_t bytes = source.GetPaletteSize();
        if (bytes > 256 * 4) bytes = 256 * 4;
        if (bytes > GetPaletteSize()) bytes = GetPaletteSize();
        if (bytes && source.GetPalette()) std::memcpy(GetPalette(), source.GetPalette(), bytes);
    }

    const uint64_t planeSize = PlaneSize();
    if (copySelection && source.selection) {
        if (uint8_t* plane = AllocBlock(planeSize)) {
            std::memcpy(plane, source.selection, planeSize);
            std::free(selection);
            selection = plane;
        }
    }
    if (copyAlpha && source.alpha) {
        if (uint8_t* plane = AllocBlock(planeSize)) {
            std::memcpy(plane, source.alpha, planeSize);
            std::free(alpha);
            alpha = plane;
        }
    }
}

void Picture::CopyInfo(const Picture& source) {
    if (dib) return;
    Picture* const ownGhost = info.ghost;
    info = source.info;
    info.ghost = ownGhost;
    info.bits = nullptr;
}

bool Picture::Transfer(Picture& from) {
    if (&from == this) return true;
    if (!Destroy()) return false;
    header = from.header;
    info = from.info;
    dib = from.dib;
    selection = from.selection;
    alpha = from.alpha;
    layers = from.layers;
    std::memset(&from.header, 0, sizeof from.header);
    std::memset(&from.info, 0, sizeof from.info);
    from.dib = nullptr;
    from.selection = nullptr;
    from.alpha = nullptr;
    from.layers = nullptr;
    return true;
}

void Picture::Ghost(const Picture* source) {
    if (!source || source == this) return;
    // Blocks this image owns would be lost once it points at the source's.
    Destroy();
    header = source->header;
    info = source->info;
    dib = source->dib;
    selection = source->selection;
    alpha = source->alpha;
    layers = source->layers;
    info.ghost = const_cast<Picture*>(source);
}

uint8_t* Picture::GetBits(uint32_t row) const {
    if (!dib) return nullptr;
    uint32_t headerSize;
    std::memcpy(&headerSize, dib, sizeof headerSize);
    uint8_t* first = dib + headerSize + GetPaletteSize();
    if (row == 0) return first;
    if (row >= GetHeight()) return nullptr;
    return first + static_cast<uint64_t>(row) * info.effWidth;
}

uint32_t Picture::GetSize() const { return GetPaletteSize() + header.biSize + header.biSizeImage; }

void Picture::Clear(uint8_t value) {
    if (!dib) return;
    if (header.biBitCount == 1 && value) value = 255;
    if (header.biBitCount == 4) value = static_cast<uint8_t>((value & 15) * 17);
    std::memset(info.bits, value, header.biSizeImage);
}

bool Picture::IsInside(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < header.biWidth && y < header.biHeight;
}

void Picture::SetXDpi(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info.xDpi = dpi;
    header.biXPelsPerMeter = PelsPerMeter(dpi);
}

void Picture::SetYDpi(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info.yDpi = dpi;
    header.biYPelsPerMeter = PelsPerMeter(dpi);
}

uint32_t Picture::GetCodecOption(uint32_t format) const {
    if (format >= FormatCount) return 0;
    if (format == 0) format = GetType();
    if (format >= FormatCount) return 0;
    return info.codecOptions[format];
}

bool Picture::SetCodecOption(uint32_t option, uint32_t format) {
    if (format >= FormatCount) return false;
    if (format == 0) format = GetType();
    if (format >= FormatCount) return false;
    info.codecOptions[format] = option;
    return true;
}

RGBQUAD Picture::GetTransColor() const {
    if (header.biBitCount < 24 && info.transIndex != -1)
        return GetPaletteColor(static_cast<uint8_t>(info.transIndex));
    return info.transColor;
}

void Picture::SetTransColor(RGBQUAD color) {
    color.rgbReserved = 0;
    info.transColor = color;
}

uint8_t Picture::GetColorType() const {
    if (alpha) return 4;
    return header.biBitCount <= 8 ? 1 : 2;
}

// ---- alpha plane and selection mask -----------------------------------------------------

void Picture::AlphaCreate() {
    if (alpha || !dib) return;
    const uint64_t size = PlaneSize();
    uint8_t* plane = AllocBlock(size);
    if (!plane) return;
    std::memset(plane, 255, size);
    alpha = plane;
}

void Picture::AlphaDelete() {
    std::free(alpha);
    alpha = nullptr;
}

void Picture::AlphaSet(int32_t x, int32_t y, uint8_t level) {
    if (alpha && IsInside(x, y)) alpha[x + static_cast<int64_t>(y) * header.biWidth] = level;
}

uint8_t Picture::AlphaGet(int32_t x, int32_t y) const {
    if (alpha && IsInside(x, y)) return alpha[x + static_cast<int64_t>(y) * header.biWidth];
    return 0;
}

uint8_t* Picture::AlphaGetPointer(int32_t x, int32_t y) const {
    if (alpha && IsInside(x, y)) return alpha + x + static_cast<int64_t>(y) * header.biWidth;
    return nullptr;
}

bool Picture::AlphaPaletteIsValid() const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return false;
    for (uint32_t i = 0; i < GetNumColors(); ++i)
        if (palette[i].rgbReserved) return true;
    return false;
}

bool Picture::AlphaFlip() {
    if (!alpha) return false;
    uint8_t* plane = AllocBlock(PlaneSize());
    if (!plane) return false;
    const uint64_t width = GetWidth(), height = GetHeight();
    for (uint64_t y = 0; y < height; ++y)
        std::memcpy(plane + y * width, alpha + (height - 1 - y) * width, width);
    std::free(alpha);
    alpha = plane;
    return true;
}

bool Picture::AlphaMirror() {
    if (!alpha) return false;
    uint8_t* plane = AllocBlock(PlaneSize());
    if (!plane) return false;
    const uint64_t width = GetWidth(), height = GetHeight();
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* src = alpha + y * width;
        uint8_t* dst = plane + y * width;
        for (uint64_t x = 0; x < width; ++x) dst[x] = src[width - 1 - x];
    }
    std::free(alpha);
    alpha = plane;
    return true;
}

void Picture::SelectionDelete() {
    std::free(selection);
    selection = nullptr;
    info.selectionBox.left = header.biWidth;
    info.selectionBox.top = 0;
    info.selectionBox.right = 0;
    info.selectionBox.bottom = header.biHeight;
}

bool Picture::SelectionIsInside(int32_t x, int32_t y) const {
    if (!IsInside(x, y)) return false;
    return !selection || selection[x + static_cast<int64_t>(y) * header.biWidth] != 0;
}
