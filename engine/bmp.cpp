// BMP: an optional 14-byte file header, an info header (Windows 40-byte, OS/2 12-byte,
// OS/2 2.x 64-byte or a longer Windows header), a palette, then pixel rows padded to four
// bytes, stored bottom row first unless the height is negative.
#include "bmp.h"

#include <cmath>
#include <climits>
#include <cstring>
#include <vector>

#include "reader.h"
#include "rowiterator.h"

namespace {

constexpr uint16_t kMagic = 0x4D42;  // "BM"
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2v2HeaderSize = 64;

constexpr const char* kNotBmp = "Not a BMP";
constexpr const char* kBadInfo = "Error reading BMP info";

// In floating point from the start: pels x 254 overflows 32 bits for values a file may hold.
int32_t DotsPerInch(int32_t pelsPerMeter) {
    return static_cast<int32_t>(std::floor(static_cast<double>(pelsPerMeter) * 254 * 0.0001 + 0.5));
}

// Row number as the iterator takes it: anything past int32 is simply outside the picture.
int32_t RowArg(int64_t r) { return r > INT32_MAX ? -1 : static_cast<int32_t>(r); }

}  // namespace

bool PictureBMP::Decode(ByteStream* stream) {
    if (!stream) return false;
    try {
        Reader in(stream);
        const int32_t start = stream->Tell();

        uint8_t fileHeader[kFileHeaderSize];
        if (in.Some(fileHeader, sizeof fileHeader) != sizeof fileHeader) Fail(kNotBmp);
        uint32_t offBits = fileHeader[10] | (fileHeader[11] << 8) | (fileHeader[12] << 16) |
                           (static_cast<uint32_t>(fileHeader[13]) << 24);
        if ((fileHeader[0] | (fileHeader[1] << 8)) != kMagic) {
            // A bare DIB: the info header comes first and the pixels follow the palette.
            offBits = 0;
            stream->Seek(start, 0);
        }

        BITMAPINFOHEADER bi{};
        bi.biSize = in.U32(kBadInfo);
        const bool core = bi.biSize == kCoreHeaderSize;
        if (core) {
            bi.biWidth = in.U16(kBadInfo);
            bi.biHeight = in.U16(kBadInfo);
            bi.biPlanes = in.U16(kBadInfo);
            bi.biBitCount = in.U16(kBadInfo);
            bi.biCompression = BI_RGB;
            // Only the 12 bytes of the core header are read: a small OS/2 bitmap may hold
            // fewer than 28 bytes of palette and pixels behind it and is still whole.
        } else if (bi.biSize >= kInfoHeaderSize) {
            bi.biWidth = in.S32(kBadInfo);
            bi.biHeight = in.S32(kBadInfo);
            bi.biPlanes = in.U16(kBadInfo);
            bi.biBitCount = in.U16(kBadInfo);
            bi.biCompression = in.U32(kBadInfo);
            bi.biSizeImage = in.U32(kBadInfo);
            bi.biXPelsPerMeter = in.S32(kBadInfo);
            bi.biYPelsPerMeter = in.S32(kBadInfo);
            bi.biClrUsed = in.U32(kBadInfo);
            bi.biClrImportant = in.U32(kBadInfo);
            if (bi.biSize != kInfoHeaderSize && bi.biSize != kOs2v2HeaderSize) {
                // Longer headers are taken only for plain uncompressed pictures whose
                // stated image size agrees with their rows (which a product past 64 bits,
                // from a hostile width and depth, never does).
                const int64_t rowBytes = (static_cast<int64_t>(bi.biBitCount) * bi.biWidth + 31) / 32 * 4;
                int64_t imageBytes = 0;
                const bool plain =
                    !__builtin_mul_overflow(static_cast<int64_t>(bi.biHeight), rowBytes, &imageBytes) &&
                    static_cast<int64_t>(bi.biSizeImage) == imageBytes && bi.biPlanes == 1 &&
                    bi.biCompression == BI_RGB && bi.biClrUsed == 0;
                if (!plain) Fail(kBadInfo);
            }
            in.Skip(bi.biSize - kInfoHeaderSize);
        } else {
            Fail(kBadInfo);
        }
        if (bi.biClrUsed == 0 && bi.biBitCount <= 8) bi.biClrUsed = 1u << bi.biBitCount;

        const bool topDown = bi.biHeight < 0;
        const int64_t height = topDown ? -static_cast<int64_t>(bi.biHeight) : bi.biHeight;

        if (info.escape == -1) {
            header.biWidth = bi.biWidth;
            header.biHeight = height > INT32_MAX ? INT32_MAX : static_cast<int32_t>(height);
            SetLastError("output dimensions returned");
            return true;
        }

        if (height > UINT32_MAX ||
            !Create(static_cast<uint32_t>(bi.biWidth), static_cast<uint32_t>(height), bi.biBitCount,
                    ImageFormat::Bmp))
            Fail("Can't allocate memory");

        header.biXPelsPerMeter = bi.biXPelsPerMeter;
        header.biYPelsPerMeter = bi.biYPelsPerMeter;
        info.xDpi = DotsPerInch(bi.biXPelsPerMeter);
        info.yDpi = DotsPerInch(bi.biYPelsPerMeter);

        if (info.escape) Fail("Cancelled");

        if (RGBQUAD* palette = GetPalette()) {
            // Entries past the container's palette are read and dropped; entries the file
            // does not supply stay black.
            const uint32_t entrySize = core ? 3 : 4;
            const uint32_t kept = bi.biClrUsed < GetNumColors() ? bi.biClrUsed : GetNumColors();
            uint8_t raw[256 * 4] = {};
            in.Some(raw, kept * entrySize);
            for (uint32_t i = 0; i < kept; ++i)
                palette[i] = RGBQUAD{raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2], 0};
            in.Skip(static_cast<uint64_t>(bi.biClrUsed - kept) * entrySize);
        }

        if (info.escape) Fail("Cancelled");

        const auto seekToPixels = [&] {
            if (offBits == 0) return;
            const int64_t target = static_cast<int64_t>(start) + offBits;
            if (target > INT32_MAX || !stream->Seek(static_cast<int32_t>(target), 0)) stream->Seek(0, 2);
        };

        const uint32_t width = GetWidth(), rows = GetHeight();
        switch (bi.biBitCount) {
            case 32: {
                if (bi.biCompression != BI_RGB && bi.biCompression != BI_BITFIELDS) Fail("unknown compression");
                seekToPixels();
                // Each 4-byte pixel gives blue, green and red; the fourth byte is dropped.
                std::vector<uint8_t> line;
                try {
                    line.resize(static_cast<size_t>(width) * 4);
                } catch (const std::bad_alloc&) {
                    Fail("can't allocate memory");
                }
                for (uint32_t y = 0; y < rows; ++y) {
                    const uint32_t got = in.Some(line.data(), static_cast<uint32_t>(line.size()));
                    uint8_t* dst = GetBits(0) + static_cast<uint64_t>(y) * info.effWidth;
                    for (uint32_t x = 0; x < got / 4; ++x) std::memcpy(dst + 3ull * x, &line[4ull * x], 3);
                    if (got < line.size()) break;
                }
                break;
            }
            case 24:
                if (bi.biCompression != BI_RGB) Fail("unknown compression");
                seekToPixels();
                in.Some(GetBits(0), header.biSizeImage);
                break;
            case 16: {
                uint32_t red = 0x7C00, green = 0x03E0, blue = 0x001F;
                if (bi.biCompression == BI_BITFIELDS) {
                    uint8_t masks[12] = {};
                    in.Some(masks, sizeof masks);
                    red = masks[0] | (masks[1] << 8);
                    green = masks[4] | (masks[5] << 8);
                    blue = masks[8] | (masks[9] << 8);
                }
                seekToPixels();
                const uint64_t bytes = static_cast<uint64_t>(rows) * ((width + 1ull) / 2) * 4;
                in.Some(GetBits(0), static_cast<uint32_t>(bytes));
                BitfieldsToRgb24(GetBits(0), static_cast<uint16_t>(red), static_cast<uint16_t>(green),
                                 static_cast<uint16_t>(blue), 16);
                break;
            }
            case 1:
            case 4:
            case 8:
                seekToPixels();
                switch (bi.biCompression) {
                    case BI_RGB: in.Some(GetBits(0), header.biSizeImage); break;
                    case BI_RLE8: DecodeRle8(stream); break;
                    case BI_RLE4: DecodeRle4(stream); break;
                    default: Fail("compression type not supported");
                }
                break;
            default:
                break;  // nothing further is read; the picture stays as created
        }

        if (topDown) Flip();
        return true;
    } catch (const CodecError& e) {
        SetLastError(e.text);
        return false;
    }
}

// RLE8: count bytes followed by a value (a run), or 0 followed by a command: 0 end of
// line, 1 end of bitmap, 2 delta, 3..255 an absolute run padded to an even length.
void PictureBMP::DecodeRle8(ByteStream* stream) {
    CRowIterator rows(this);
    uint8_t* const begin = GetBits(0);
    uint8_t* const end = begin + header.biSizeImage;
    const int64_t effWidth = info.effWidth;
    int64_t r = 0, c = 0;
    uint8_t* row = rows.RowAt(0);
    uint8_t literal[256];

    for (;;) {
        const int32_t n = stream->GetC();
        if (n < 0) return;
        if (n > 0) {
            const int32_t value = stream->GetC();
            if (value < 0) return;
            for (int32_t i = 0; i < n; ++i) {
                if (c >= effWidth) return;  // a run past the row end ends the picture
                row[c++] = static_cast<uint8_t>(value);
            }
            continue;
        }
        const int32_t m = stream->GetC();
        if (m < 0) return;
        switch (m) {
            case 0:
                c = 0;
                row = rows.RowAt(RowArg(++r));
                break;
            case 1:
                return;
            case 2: {
                const int32_t dx = stream->GetC(), dy = stream->GetC();
                if (dx < 0 || dy < 0) return;
                c += dx;
                r += dy;
                row = rows.RowAt(RowArg(r));
                break;
            }
            default: {
                const uint32_t got = stream->Read(literal, 1, static_cast<uint32_t>(m));
                // Bytes may continue into the next row; those past the buffer are dropped.
                for (uint32_t k = 0; k < got; ++k) {
                    const int64_t offset = (row - begin) + c + k;
                    if (offset < end - begin) begin[offset] = literal[k];
                }
                if (got < static_cast<uint32_t>(m)) return;
                if (m & 1) stream->GetC();
                c += m;
                break;
            }
        }
    }
}

// RLE4 as RLE8, with two pixels per byte. Which nibble a pixel takes follows the parity
// of its place in the row, not its place in the run.
void PictureBMP::DecodeRle4(ByteStream* stream) {
    CRowIterator rows(this);
    uint8_t* const begin = GetBits(0);
    const int64_t limit = header.biSizeImage;
    int64_t r = 0, c = 0;
    bool lowNibble = false;
    uint8_t* row = rows.RowAt(0);

    const auto store = [&](uint8_t value, bool orLow) {
        const int64_t offset = (row - begin) + c;
        if (offset >= limit) return;
        if (orLow) begin[offset] |= value & 0x0F;
        else begin[offset] = value & 0xF0;
    };

    for (;;) {
        const int32_t n = stream->GetC();
        if (n < 0) return;
        if (n > 0) {
            const int32_t value = stream->GetC();
            if (value < 0) return;
            for (int32_t i = 0; i < n; ++i) {
                if (lowNibble) {
                    store(static_cast<uint8_t>(value), true);
                    ++c;
                } else {
                    store(static_cast<uint8_t>(value), false);
                }
                lowNibble = !lowNibble;
            }
            continue;
        }
        const int32_t m = stream->GetC();
        if (m < 0) return;
        switch (m) {
            case 0:
                c = 0;
                row = rows.RowAt(RowArg(++r));
                lowNibble = false;
                break;
            case 1:
                return;
            case 2: {
                const int32_t dx = stream->GetC(), dy = stream->GetC();
                if (dx < 0 || dy < 0) return;
                c += dx / 2;
                r += dy;
                row = rows.RowAt(RowArg(r));
                break;
            }
            default: {
                int32_t b = stream->GetC();
                if (b < 0) return;
                for (int32_t i = 0; i < m; ++i) {
                    if (lowNibble) {
                        store(static_cast<uint8_t>(b), true);
                        if (i != m - 1) {
                            b = stream->GetC();
                            if (b < 0) return;
                        }
                        ++c;
                    } else {
                        store(static_cast<uint8_t>(b), false);
                    }
                    lowNibble = !lowNibble;
                }
                if (((m + 1) / 2) & 1) stream->GetC();
                break;
            }
        }
    }
}

bool PictureBMP::Encode(ByteStream* stream) {
    if (CheckEncodeArgs(stream)) return false;

    uint8_t fileHeader[kFileHeaderSize] = {};
    PutU16(fileHeader, kMagic);
    PutU32(fileHeader + 2, kFileHeaderSize + GetSize());
    PutU32(fileHeader + 10, kFileHeaderSize + kInfoHeaderSize + GetPaletteSize());

    // The block carries the current header; the dib is written as it lies in memory.
    std::memcpy(dib, &header, sizeof header);
    if (stream->Write(fileHeader, sizeof fileHeader, 1) != 1 || stream->Write(dib, GetSize(), 1) != 1) {
        SetLastError("Error writing BMP");
        return false;
    }
    return true;
}
