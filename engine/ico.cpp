// ICO and CUR: a 6-byte header (reserved 0, type 1 icon or 2 cursor, image count), one
// 16-byte directory entry per image, and at each entry's offset a BITMAPINFOHEADER, the
// palette, the colour (XOR) rows and the AND mask rows, all bottom-up and padded to four
// bytes. A set mask bit marks a transparent pixel.
#include "ico.h"

#include <climits>
#include <cstring>
#include <new>

#include "codec.h"
#include "png.h"
#include "reader.h"
#include "sizelimits.h"

using namespace codec;

namespace {

constexpr uint32_t kHeaderSize = 6;
constexpr uint32_t kEntrySize = 16;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kTypeIcon = 1, kTypeCursor = 2;
constexpr uint32_t kLargestSide = 256;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

constexpr const char* kBadDirectory = "Corrupted ICO directory";
constexpr const char* kBadImage = "Corrupted ICO image header";

uint32_t GetU32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t MaskRowBytes(uint32_t width) { return (width + 31) / 32 * 4; }

bool MaskBit(const std::vector<uint8_t>& mask, uint32_t rowBytes, uint32_t x, uint32_t y) {
    return (mask[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

}  // namespace

bool PictureICO::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        Reader in(stream);
        const int64_t start = stream->Tell();
        const int32_t number = info.frame;

        uint8_t head[kHeaderSize];
        if (in.Some(head, kHeaderSize) != kHeaderSize) return false;
        const uint16_t reserved = static_cast<uint16_t>(head[0] | (head[1] << 8));
        const uint16_t type = static_cast<uint16_t>(head[2] | (head[3] << 8));
        const uint16_t count = static_cast<uint16_t>(head[4] | (head[5] << 8));
        if (reserved != 0 || (type != kTypeIcon && type != kTypeCursor)) return false;

        info.frameCount = count;
        if (number < 0 || number >= count) return false;

        // Only the entry asked for is used; the ones before it are stepped over.
        in.Skip(static_cast<uint64_t>(number) * kEntrySize);
        uint8_t entry[kEntrySize];
        in.Bytes(entry, kEntrySize, kBadDirectory);
        // A size byte of 0 stands for 256 pixels.
        const uint32_t width = entry[0] ? entry[0] : kLargestSide;
        const uint32_t height = entry[1] ? entry[1] : kLargestSide;
        const uint32_t resourceBytes = GetU32(entry + 8);
        const uint32_t offset = GetU32(entry + 12);

        const int64_t target = start + offset;
        if (target > INT32_MAX || !stream->Seek(static_cast<int32_t>(target), 0)) Fail(kBadImage);
        // The entry's bytes: as many as it declares, and no more than the file holds.
        const int64_t left = in.Remaining();
        const uint64_t entryBytes = left >= 0 && static_cast<uint64_t>(left) < resourceBytes
                                        ? static_cast<uint64_t>(left)
                                        : resourceBytes;

        uint8_t bih[kInfoHeaderSize];
        in.Bytes(bih, kInfoHeaderSize, kBadImage);
        if (std::memcmp(bih, kPngSignature, sizeof kPngSignature) == 0) {
            // Icons since Windows Vista may hold a whole PNG file instead of a DIB.
            if (!stream->Seek(static_cast<int32_t>(target), 0)) Fail(kBadImage);
            PicturePNG png;
            png.CopyInfo(*this);
            if (!png.Decode(stream)) Fail("Corrupted PNG icon image");
            Transfer(png);
            info.type = ImageFormat::Ico;
            info.frameCount = count;
            return true;
        }

        // Of the image's own header only the depth counts: the directory gives the size,
        // and the stored height covers the colour rows and the mask together.
        const uint16_t bitCount = static_cast<uint16_t>(bih[14] | (bih[15] << 8));
        const uint32_t depth = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : 24;
        const uint64_t paletteBytes = depth <= 8 ? (uint64_t{1} << depth) * 4 : 0;
        const uint64_t colourBytes =
            bitCount > 24 ? uint64_t{width} * height * 4 : PackedRowsSize(width, height, depth);
        if (entryBytes < kInfoHeaderSize + paletteBytes + colourBytes)
            Fail("ICO image too short for its size");

        if (!Create(width, height, bitCount, ImageFormat::Ico)) Fail("Can't allocate memory");
        Clear(0);

        if (GetPalette()) {
            RGBQUAD entries[256] = {};  // reserved bytes are kept as the file has them
            in.Some(entries, GetPaletteSize());
            SetPalette(entries, GetNumColors());
        }

        uint16_t maskDepth = bitCount;
        if (bitCount > 24) {
            // Four bytes a pixel, rows not padded beyond that: blue, green, red, alpha.
            std::vector<uint8_t> quads(static_cast<size_t>(colourBytes));
            in.Some(quads.data(), static_cast<uint32_t>(quads.size()));
            AlphaCreate();
            bool anyAlpha = false;
            const uint8_t* q = quads.data();
            for (uint32_t y = 0; y < height; ++y) {
                uint8_t* row = GetBits(y);
                for (uint32_t x = 0; x < width; ++x, q += 4) {
                    std::memcpy(row + 3 * x, q, 3);
                    AlphaSet(static_cast<int32_t>(x), static_cast<int32_t>(y), q[3]);
                    anyAlpha = anyAlpha || q[3];
                }
            }
            // The alpha says everything the mask could; a 32-bit icon whose alpha is zero
            // everywhere has none, and its mask makes the transparency as for 24 bits.
            if (anyAlpha) return true;
            AlphaDelete();
            maskDepth = 24;
        } else {
            in.Some(GetBits(0), header.biSizeImage);
        }

        const uint32_t maskRowBytes = MaskRowBytes(width);
        std::vector<uint8_t> mask(static_cast<size_t>(height) * maskRowBytes);
        if (in.Some(mask.data(), static_cast<uint32_t>(mask.size())) != mask.size()) return true;
        ApplyMask(mask, maskRowBytes, maskDepth);
        return true;
    });
}

// Turns the AND mask into the container's transparency: an alpha plane in general, a
// transparent colour when every masked pixel of a 24-bit image has the same colour, or a
// transparent index when a palette image leaves an index unused.
void PictureICO::ApplyMask(const std::vector<uint8_t>& mask, uint32_t maskRowBytes, uint16_t bitCount) {
    const int32_t width = header.biWidth, height = header.biHeight;

    bool allSet = true;
    for (uint8_t b : mask) allSet = allSet && b == 0xFF;
    if (allSet) {
        // A mask that hides everything belongs to an inverted image.
        SetTransIndex(0);
        Negative();
        return;
    }

    const bool hadAlpha = AlphaIsValid();
    AlphaCreate();
    uint32_t masked = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (MaskBit(mask, maskRowBytes, x, y)) {
                AlphaSet(x, y, 0);
                ++masked;
            }
    if (!hadAlpha && masked == 0) AlphaDelete();
    if (masked == 0) return;

    if (bitCount == 24) {
        bool first = true, uniform = true;
        RGBQUAD colour{};
        for (int32_t y = 0; y < height && uniform; ++y)
            for (int32_t x = 0; x < width && uniform; ++x) {
                if (!MaskBit(mask, maskRowBytes, x, y)) continue;
                const RGBQUAD c = GetPixelColor(x, y, false);
                if (first)
                    colour = c, first = false;
                else
                    uniform = c == colour;
            }
        if (uniform) {
            SetTransColor(colour);
            SetTransIndex(0);
            AlphaDelete();
        }
    } else if (bitCount <= 8) {
        bool used[256] = {};
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) used[GetPixelIndex(x, y)] = true;
        for (uint32_t index = 0; index < GetNumColors(); ++index) {
            if (used[index]) continue;
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    if (MaskBit(mask, maskRowBytes, x, y)) SetPixelIndex(x, y, static_cast<uint8_t>(index));
            SetTransIndex(static_cast<int32_t>(index));
            AlphaDelete();
            break;
        }
    }
}

bool PictureICO::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    const uint32_t width = GetWidth(), height = GetHeight();
    if (width > 255 || height > 255) {
        SetLastError("Can't save this image as icon");
        return false;
    }
    const RGBQUAD* palette = GetPalette();
    if (GetBpp() <= 8 && !palette) return false;

    const uint32_t maskRowBytes = MaskRowBytes(width);
    const uint32_t maskBytes = height * maskRowBytes;
    const uint32_t colors = GetNumColors();
    // A 24-bit picture with an alpha plane keeps its alpha as a 32-bit icon.
    const bool quads = AlphaIsValid() && !palette;
    const uint16_t depth = quads ? 32 : GetBpp();
    const uint32_t pixelBytes = quads ? height * width * 4 : header.biSizeImage;

    uint8_t head[kHeaderSize + kEntrySize + kInfoHeaderSize] = {};
    PutU16(head + 2, kTypeIcon);
    PutU16(head + 4, 1);
    uint8_t* entry = head + kHeaderSize;
    entry[0] = static_cast<uint8_t>(width);
    entry[1] = static_cast<uint8_t>(height);
    entry[2] = static_cast<uint8_t>(colors);  // 256 entries are written as 0
    PutU16(entry + 6, depth);
    PutU32(entry + 8, kInfoHeaderSize + colors * 4 + pixelBytes + maskBytes);
    PutU32(entry + 12, kHeaderSize + kEntrySize);
    uint8_t* bih = entry + kEntrySize;
    PutU32(bih, kInfoHeaderSize);
    PutU32(bih + 4, width);
    PutU32(bih + 8, 2 * height);  // the colour rows and the mask rows together
    PutU16(bih + 12, 1);
    PutU16(bih + 14, depth);
    PutU32(bih + 20, pixelBytes);
    stream->Write(head, sizeof head, 1);
    if (colors) stream->Write(palette, colors * 4, 1);

    if (quads) {
        std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* src = GetBits(y);
            for (uint32_t x = 0; x < width; ++x) {
                std::memcpy(&row[4 * x], src + 3 * x, 3);
                row[4 * x + 3] = AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y));
            }
            stream->Write(row.data(), static_cast<uint32_t>(row.size()), 1);
        }
    } else {
        stream->Write(GetBits(0), pixelBytes, 1);
    }

    std::vector<uint8_t> mask;
    try {
        mask.assign(maskBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool alphaPlane = AlphaIsValid();
    const bool alphaPalette = AlphaPaletteIsValid();
    const bool transparent = GetTransIndex() != -1;
    const RGBQUAD transColor = GetTransColor();
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x) {
            const bool hidden = (alphaPlane && AlphaGet(x, y) == 0) ||
                                (alphaPalette && GetPixelColor(x, y, true).rgbReserved == 0) ||
                                (transparent && GetPixelColor(x, y, false) == transColor);
            if (hidden)
                mask[static_cast<size_t>(y) * maskRowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    stream->Write(mask.data(), maskBytes, 1);
    return true;
}

namespace {

// A reserved zero word, then type 1 (icon) or 2 (cursor).
bool LooksLikeIco(const uint8_t* head, size_t n) {
    return n >= kHeaderSize && head[0] == 0 && head[1] == 0 &&
           (head[2] == kTypeIcon || head[2] == kTypeCursor) && head[3] == 0;
}

}  // namespace

extern const CodecInfo kIcoCodec{
    ImageFormat::Ico, "ico", {},  &LooksLikeIco, kDecode<PictureICO>, kEncode<PictureICO>,
    ImageFormat::Ico, true,  true};
