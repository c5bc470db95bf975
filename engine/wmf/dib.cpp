// Bitmaps of metafile records. The header is rewritten as a plain 40-byte BITMAPINFOHEADER
// (OS/2 core headers and the longer version 4 and 5 headers alike) with bit-field masks and
// a colour table of 4-byte entries after it, put behind a BMP file header and decoded by
// the engine's BMP codec.
#include "dib.h"

#include <cstring>
#include <vector>

#include "bmp.h"
#include "picture.h"
#include "stream.h"

namespace wmf {

namespace {

constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5;
constexpr size_t kFileHeaderSize = 14, kInfoHeaderSize = 40, kCoreHeaderSize = 12;

uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x), v[at + 1] = static_cast<uint8_t>(x >> 8);
    v[at + 2] = static_cast<uint8_t>(x >> 16), v[at + 3] = static_cast<uint8_t>(x >> 24);
}
void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = static_cast<uint8_t>(x), v[at + 1] = static_cast<uint8_t>(x >> 8);
}

std::shared_ptr<Bitmap> FromPicture(const Picture& p) {
    auto out = std::make_shared<Bitmap>();
    out->width = static_cast<int>(p.GetWidth());
    out->height = static_cast<int>(p.GetHeight());
    out->pixels.resize(static_cast<size_t>(out->width) * out->height);
    for (int y = 0; y < out->height; ++y)
        for (int x = 0; x < out->width; ++x) {
            const RGBQUAD c = p.GetPixelColor(x, out->height - 1 - y, false);  // rows are stored bottom-up
            out->pixels[static_cast<size_t>(y) * out->width + x] =
                0xFF000000u | (static_cast<uint32_t>(c.rgbRed) << 16) | (c.rgbGreen << 8) | c.rgbBlue;
        }
    return out;
}

// 32-bit pixels with alpha, as the alpha-blending records give them: premultiplied blue,
// green, red, alpha.
std::shared_ptr<Bitmap> WithAlpha(int32_t width, int32_t height, const uint8_t* bits) {
    auto out = std::make_shared<Bitmap>();
    const bool topDown = height < 0;
    out->width = width;
    out->height = topDown ? -height : height;
    out->hasAlpha = true;
    out->pixels.resize(static_cast<size_t>(out->width) * out->height);
    for (int y = 0; y < out->height; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(topDown ? y : out->height - 1 - y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const uint8_t* q = row + x * 4;
            const uint8_t a = q[3];
            const auto c = [a](uint8_t v) { return static_cast<uint32_t>(v > a ? a : v); };
            out->pixels[static_cast<size_t>(y) * width + x] =
                (static_cast<uint32_t>(a) << 24) | (c(q[2]) << 16) | (c(q[1]) << 8) | c(q[0]);
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<Bitmap> LoadDib(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                                uint32_t usage, bool keepAlpha) {
    if (!info || infoSize < 4) return nullptr;
    const uint32_t headerSize = U32(info);
    int32_t width, height;
    uint16_t bitCount;
    uint32_t compression = BI_RGB, colorsUsed = 0;
    bool core = false;
    if (headerSize == kCoreHeaderSize && infoSize >= kCoreHeaderSize) {
        core = true;
        width = U16(info + 4);
        height = U16(info + 6);
        bitCount = U16(info + 10);
    } else if (headerSize >= kInfoHeaderSize && headerSize <= infoSize) {
        width = static_cast<int32_t>(U32(info + 4));
        height = static_cast<int32_t>(U32(info + 8));
        bitCount = U16(info + 14);
        compression = U32(info + 16);
        colorsUsed = U32(info + 32);
    } else {
        return nullptr;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) return nullptr;
    const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    if (width > kMaxBitmapSide || rows > kMaxBitmapSide ||
        static_cast<uint64_t>(width) * rows > kMaxBitmapPixels)
        return nullptr;
    if (!bits) bitsSize = 0;

    // Bitmaps that hold a JPEG or PNG file go to those codecs.
    if (compression == BI_JPEG || compression == BI_PNG) {
        std::vector<uint8_t> file(bits, bits + bitsSize);
        MemoryStream in(file.data(), static_cast<int32_t>(file.size()));
        Picture p;
        if (!p.Decode(&in, compression == BI_JPEG ? ImageFormat::Jpg : ImageFormat::Png)) return nullptr;
        if (static_cast<uint64_t>(p.GetWidth()) * p.GetHeight() > kMaxBitmapPixels ||
            p.GetWidth() > static_cast<uint32_t>(kMaxBitmapSide) ||
            p.GetHeight() > static_cast<uint32_t>(kMaxBitmapSide))
            return nullptr;
        return FromPicture(p);
    }

    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return nullptr;
    const uint64_t rowBytes = (static_cast<uint64_t>(bitCount) * width + 31) / 32 * 4;
    const bool compressed = compression != BI_RGB && compression != BI_BITFIELDS;
    if (!compressed && rowBytes * rows > bitsSize) return nullptr;
    if (compressed && compression != 1 && compression != 2) return nullptr;

    if (keepAlpha && bitCount == 32 && !compressed) return WithAlpha(width, height, bits);

    // The colour table: the entries the header counts, or all of a palette depth.
    uint64_t colors = colorsUsed ? colorsUsed : (bitCount <= 8 ? 1u << bitCount : 0);
    if (bitCount <= 8 && colors > (1u << bitCount)) colors = 1u << bitCount;
    if (bitCount > 8) colors = 0;  // a table beside true-colour pixels only advises
    const size_t masks = compression == BI_BITFIELDS ? 12 : 0;
    const size_t tableAt = core ? kCoreHeaderSize : headerSize + (headerSize == kInfoHeaderSize ? masks : 0);
    const size_t entrySize = usage == DIB_PAL_COLORS ? 2 : (core ? 3 : 4);

    const size_t offBits = kFileHeaderSize + kInfoHeaderSize + masks + colors * 4;
    std::vector<uint8_t> file(offBits + bitsSize, 0);
    file[0] = 'B', file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(file.size()));
    Put32(file, 10, static_cast<uint32_t>(offBits));
    Put32(file, kFileHeaderSize, kInfoHeaderSize);
    Put32(file, kFileHeaderSize + 4, static_cast<uint32_t>(width));
    Put32(file, kFileHeaderSize + 8, static_cast<uint32_t>(height));
    Put16(file, kFileHeaderSize + 12, 1);
    Put16(file, kFileHeaderSize + 14, bitCount);
    Put32(file, kFileHeaderSize + 16, compression);
    Put32(file, kFileHeaderSize + 20, static_cast<uint32_t>(compressed ? bitsSize : rowBytes * rows));
    Put32(file, kFileHeaderSize + 32, static_cast<uint32_t>(colors));
    // Bit-field masks follow a 40-byte header and sit inside the longer ones, at offset 40.
    if (masks && !core && infoSize >= kInfoHeaderSize + masks)
        std::memcpy(file.data() + kFileHeaderSize + kInfoHeaderSize, info + kInfoHeaderSize, masks);
    uint8_t* table = file.data() + kFileHeaderSize + kInfoHeaderSize + masks;
    for (uint64_t i = 0; i < colors; ++i) {
        const size_t at = tableAt + i * entrySize;
        if (at + entrySize > infoSize) break;  // entries the record does not hold stay black
        if (usage == DIB_PAL_COLORS) {
            // Indices into a logical palette, which the player does not keep: shown as greys.
            const uint8_t v = static_cast<uint8_t>(U16(info + at));
            table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = v;
        } else {
            std::memcpy(table + i * 4, info + at, 3);
        }
    }
    if (bitsSize) std::memcpy(file.data() + offBits, bits, bitsSize);

    MemoryStream in(file.data(), static_cast<int32_t>(file.size()));
    PictureBMP p;
    if (!p.Decode(&in)) return nullptr;
    return FromPicture(p);
}

std::shared_ptr<Bitmap> LoadPackedDib(const uint8_t* dib, size_t size, uint32_t usage) {
    if (!dib || size < 4) return nullptr;
    const uint32_t headerSize = U32(dib);
    size_t infoSize;
    if (headerSize == kCoreHeaderSize) {
        if (size < kCoreHeaderSize) return nullptr;
        const uint16_t bitCount = U16(dib + 10);
        infoSize = kCoreHeaderSize +
                   (bitCount <= 8 ? (size_t{1} << bitCount) * (usage == DIB_PAL_COLORS ? 2 : 3) : 0);
    } else if (headerSize >= kInfoHeaderSize && headerSize <= size) {
        const uint16_t bitCount = U16(dib + 14);
        const uint32_t compression = U32(dib + 16);
        uint64_t colors = U32(dib + 32);
        if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
        if (bitCount <= 8 && colors > (1u << bitCount)) colors = 1u << bitCount;
        if (bitCount > 8 && colors > 256) colors = 256;
        const uint64_t masks = compression == BI_BITFIELDS && headerSize == kInfoHeaderSize ? 12 : 0;
        const uint64_t n = headerSize + masks + colors * (usage == DIB_PAL_COLORS ? 2 : 4);
        if (n > size) return nullptr;
        infoSize = static_cast<size_t>(n);
    } else {
        return nullptr;
    }
    if (infoSize > size) return nullptr;
    return LoadDib(dib, infoSize, dib + infoSize, size - infoSize, usage);
}

}  // namespace wmf
