// BMP: an optional 14-byte file header, an info header (Windows 40-byte, OS/2 12-byte,
// OS/2 2.x 64-byte or a longer Windows header), a palette, then pixel rows padded to four
// bytes, stored bottom row first unless the height is negative.
#include "bmp.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "rowiterator.h"

using namespace codec;

namespace {

constexpr uint16_t kMagic = 0x4D42;  // "BM"
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV2HeaderSize = 52;  // adds the red, green and blue masks
constexpr uint32_t kV3HeaderSize = 56;  // adds the alpha mask
constexpr uint32_t kOs2v2HeaderSize = 64;
constexpr uint32_t kV4HeaderSize = 108;  // adds colour space and gamma
constexpr uint32_t kV5HeaderSize = 124;  // adds the rendering intent and an ICC profile
constexpr uint32_t kMaskBytes = 12;      // red, green, blue masks behind a 40-byte header

// 16-bit pixels without masks are 5-5-5; 32-bit pixels are blue, green, red and a fourth
// byte that holds alpha when it is not zero everywhere.
constexpr uint32_t kRed555 = 0x7C00, kGreen555 = 0x03E0, kBlue555 = 0x001F;
constexpr uint32_t kRed32 = 0x00FF0000, kGreen32 = 0x0000FF00, kBlue32 = 0x000000FF, kAlpha32 = 0xFF000000;

constexpr const char* kNotBmp = "Not a BMP";
constexpr const char* kBadInfo = "Error reading BMP info";
constexpr const char* kTooShort = "BMP file too short for its picture";

// In floating point from the start: pels x 254 overflows 32 bits for values a file may hold.
int32_t DotsPerInch(int32_t pelsPerMeter) {
    return static_cast<int32_t>(std::floor(static_cast<double>(pelsPerMeter) * 254 * 0.0001 + 0.5));
}

// Row number as the iterator takes it: anything past int32 is simply outside the picture.
int32_t RowArg(int64_t r) { return r > INT32_MAX ? -1 : static_cast<int32_t>(r); }

bool KnownHeaderSize(uint32_t size) {
    return size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize ||
           size == kOs2v2HeaderSize || size == kV4HeaderSize || size == kV5HeaderSize;
}

// One channel of a bit-field pixel, widened to 8 bits by repeating its bits, so that a
// full 5-bit channel gives 255 and not 248.
class Channel {
   public:
    explicit Channel(uint32_t mask) : mask_(mask) {
        if (!mask) return;
        shift_ = std::countr_zero(mask);
        bits_ = 32 - std::countl_zero(mask >> shift_);
    }
    bool Present() const { return mask_ != 0; }
    uint8_t Get(uint32_t pixel) const {
        if (!mask_) return 0;
        const uint32_t v = (pixel & mask_) >> shift_;
        if (bits_ >= 8) return static_cast<uint8_t>(v >> (bits_ - 8));
        uint32_t out = 0;
        int filled = 0;
        while (filled < 8) out = (out << bits_) | v, filled += bits_;
        return static_cast<uint8_t>(out >> (filled - 8));
    }

   private:
    uint32_t mask_;
    int shift_ = 0, bits_ = 0;
};

// Bytes of one stored row: 16-bit rows hold whole pairs of pixels, others are padded to 4.
uint64_t StoredRowBytes(uint32_t bpp, uint64_t width) {
    if (bpp == 16) return (width + 1) / 2 * 4;
    if (bpp == 32) return width * 4;
    return (bpp * width + 31) / 32 * 4;
}

}  // namespace

bool PictureBMP::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
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
        uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
        bool masksInHeader = false;
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
            uint32_t read = kInfoHeaderSize;
            if (!KnownHeaderSize(bi.biSize)) {
                // Headers of other lengths are taken only for plain uncompressed pictures
                // whose stated image size agrees with their rows (which a product past 64
                // bits, from a hostile width and depth, never does).
                const int64_t rowBytes = (static_cast<int64_t>(bi.biBitCount) * bi.biWidth + 31) / 32 * 4;
                int64_t imageBytes = 0;
                const bool plain =
                    !__builtin_mul_overflow(static_cast<int64_t>(bi.biHeight), rowBytes, &imageBytes) &&
                    static_cast<int64_t>(bi.biSizeImage) == imageBytes && bi.biPlanes == 1 &&
                    bi.biCompression == BI_RGB && bi.biClrUsed == 0;
                if (!plain) Fail(kBadInfo);
            } else if (bi.biSize >= kV2HeaderSize && bi.biSize != kOs2v2HeaderSize) {
                // Windows headers from 52 bytes on carry the masks themselves.
                masksInHeader = true;
                redMask = in.U32(kBadInfo);
                greenMask = in.U32(kBadInfo);
                blueMask = in.U32(kBadInfo);
                read += kMaskBytes;
                if (bi.biSize >= kV3HeaderSize) {
                    alphaMask = in.U32(kBadInfo);
                    read += 4;
                }
            }
            in.Skip(bi.biSize - read);
        } else {
            Fail(kBadInfo);
        }
        if (bi.biClrUsed == 0 && bi.biBitCount <= 8) bi.biClrUsed = 1u << bi.biBitCount;

        const uint32_t bpp = bi.biBitCount;
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            Fail("BMP bit count not supported");

        const bool topDown = bi.biHeight < 0;
        const int64_t height = topDown ? -static_cast<int64_t>(bi.biHeight) : bi.biHeight;

        if (info.escape == -1) {
            header.biWidth = bi.biWidth;
            header.biHeight = height > INT32_MAX ? INT32_MAX : static_cast<int32_t>(height);
            SetLastError("output dimensions returned");
            return true;
        }

        const bool bitfields = bi.biCompression == BI_BITFIELDS;
        if (bpp == 32 && bi.biCompression != BI_RGB && !bitfields) Fail("unknown compression");
        if (bpp == 24 && bi.biCompression != BI_RGB) Fail("unknown compression");
        if (bpp <= 8 && bi.biCompression != BI_RGB && bi.biCompression != BI_RLE8 &&
            bi.biCompression != BI_RLE4)
            Fail("compression type not supported");
        if (bi.biWidth <= 0 || height == 0 || height > UINT32_MAX) Fail("Can't allocate memory");

        // Where the pixels start, and whether the bytes from there can hold the picture the
        // header declares, is settled before anything the picture's size is allocated.
        const uint32_t entrySize = core ? 3 : 4;
        const uint64_t paletteBytes = bpp <= 8 ? static_cast<uint64_t>(bi.biClrUsed) * entrySize : 0;
        const bool masksFollow = bitfields && !masksInHeader && (bpp == 16 || bpp == 32);
        const int64_t here = stream->Tell();
        const int64_t pixelStart =
            offBits ? static_cast<int64_t>(start) + offBits
                    : here + static_cast<int64_t>(paletteBytes) + (masksFollow ? kMaskBytes : 0);
        const int32_t size = stream->Size();
        if (size >= 0) {
            const uint64_t available = pixelStart < size ? static_cast<uint64_t>(size - pixelStart) : 0;
            const uint64_t width = static_cast<uint64_t>(bi.biWidth), rows = static_cast<uint64_t>(height);
            bool fits;
            if (bpp <= 8 && bi.biCompression != BI_RGB) {
                fits = MostFromRuns(available, kBmpRleRun) >= width * rows;
            } else {
                // The last row may lack its padding.
                const uint64_t lastRow = (bpp * width + 7) / 8;
                fits = available >= (rows - 1) * StoredRowBytes(bpp, width) + lastRow;
            }
            if (!fits) Fail(kTooShort);
        }

        if (!Create(static_cast<uint32_t>(bi.biWidth), static_cast<uint32_t>(height), bpp, ImageFormat::Bmp))
            Fail("Can't allocate memory");

        header.biXPelsPerMeter = bi.biXPelsPerMeter;
        header.biYPelsPerMeter = bi.biYPelsPerMeter;
        info.xDpi = DotsPerInch(bi.biXPelsPerMeter);
        info.yDpi = DotsPerInch(bi.biYPelsPerMeter);

        if (info.escape) Fail("Cancelled");

        if (RGBQUAD* palette = GetPalette()) {
            // Entries past the container's palette are read and dropped; entries the file
            // does not supply stay black.
            const uint32_t kept = bi.biClrUsed < GetNumColors() ? bi.biClrUsed : GetNumColors();
            uint8_t raw[256 * 4] = {};
            in.Some(raw, kept * entrySize);
            for (uint32_t i = 0; i < kept; ++i)
                palette[i] = RGBQUAD{raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2], 0};
            in.Skip(static_cast<uint64_t>(bi.biClrUsed - kept) * entrySize);
        }

        if (info.escape) Fail("Cancelled");

        if (masksFollow) {
            redMask = in.U32(kTooShort);
            greenMask = in.U32(kTooShort);
            blueMask = in.U32(kTooShort);
        }
        if (offBits) {
            if (pixelStart > INT32_MAX || !stream->Seek(static_cast<int32_t>(pixelStart), 0)) Fail(kTooShort);
        }

        switch (bpp) {
            case 32:
            case 16:
                if (!bitfields) {
                    redMask = bpp == 32 ? kRed32 : kRed555;
                    greenMask = bpp == 32 ? kGreen32 : kGreen555;
                    blueMask = bpp == 32 ? kBlue32 : kBlue555;
                    alphaMask = bpp == 32 ? kAlpha32 : 0;
                }
                if (bpp == 16) {
                    redMask &= 0xFFFF, greenMask &= 0xFFFF, blueMask &= 0xFFFF, alphaMask &= 0xFFFF;
                }
                DecodeBitfields(stream, bpp / 8, redMask, greenMask, blueMask, alphaMask);
                break;
            case 24:
                in.Some(GetBits(0), header.biSizeImage);
                break;
            default:
                switch (bi.biCompression) {
                    case BI_RGB:
                        in.Some(GetBits(0), header.biSizeImage);
                        break;
                    case BI_RLE8:
                        DecodeRle8(stream);
                        break;
                    default:
                        DecodeRle4(stream);
                        break;
                }
                break;
        }

        if (topDown) Flip();
        return true;
    });
}

// 16- and 32-bit pixels: little-endian words whose channels the masks pick out. An alpha
// channel that is zero everywhere is taken as unused, so the picture stays opaque.
void PictureBMP::DecodeBitfields(ByteStream* stream, uint32_t pixelBytes, uint32_t redMask,
                                 uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
    const Channel red(redMask), green(greenMask), blue(blueMask), alphaChannel(alphaMask);
    const uint32_t width = GetWidth(), rows = GetHeight();
    std::vector<uint8_t> line;
    try {
        line.resize(StoredRowBytes(pixelBytes * 8, width));
    } catch (const std::bad_alloc&) {
        Fail("can't allocate memory");
    }
    if (alphaChannel.Present()) AlphaCreate();
    bool anyAlpha = false;
    for (uint32_t y = 0; y < rows; ++y) {
        const uint32_t got = stream->Read(line.data(), 1, static_cast<uint32_t>(line.size()));
        uint8_t* dst = GetBits(y);
        uint8_t* a = alpha ? alpha + static_cast<uint64_t>(y) * width : nullptr;
        for (uint32_t x = 0; x < width && (x + 1) * pixelBytes <= got; ++x) {
            const uint8_t* p = &line[static_cast<size_t>(x) * pixelBytes];
            const uint32_t v =
                pixelBytes == 2 ? (p[0] | (p[1] << 8))
                                : (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
            dst[3 * x] = blue.Get(v);
            dst[3 * x + 1] = green.Get(v);
            dst[3 * x + 2] = red.Get(v);
            if (a) {
                a[x] = alphaChannel.Get(v);
                anyAlpha = anyAlpha || a[x];
            }
        }
        if (got < line.size()) break;
    }
    if (alpha && !anyAlpha) AlphaDelete();
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

// RLE4 as RLE8, with two pixels per byte. A run's value holds two pixels that alternate
// through the run, and an absolute run packs its pixels two to a byte, so a pixel's nibble
// in the data follows its place in the run; where it lands follows its column. A delta
// moves by pixels. Runs are not held to the row end: they flow on into the next row.
void PictureBMP::DecodeRle4(ByteStream* stream) {
    CRowIterator rows(this);
    uint8_t* const begin = GetBits(0);
    const int64_t limit = header.biSizeImage;
    int64_t r = 0, x = 0;  // x counts pixels from the start of row r
    uint8_t* row = rows.RowAt(0);

    const auto store = [&](uint8_t nibble) {
        const int64_t offset = (row - begin) + x / 2;
        if (offset < limit) {
            uint8_t& b = begin[offset];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | nibble)
                        : static_cast<uint8_t>((b & 0x0F) | (nibble << 4));
        }
        ++x;
    };

    for (;;) {
        const int32_t n = stream->GetC();
        if (n < 0) return;
        if (n > 0) {
            const int32_t value = stream->GetC();
            if (value < 0) return;
            for (int32_t i = 0; i < n; ++i) store(static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4));
            continue;
        }
        const int32_t m = stream->GetC();
        if (m < 0) return;
        switch (m) {
            case 0:
                x = 0;
                row = rows.RowAt(RowArg(++r));
                break;
            case 1:
                return;
            case 2: {
                const int32_t dx = stream->GetC(), dy = stream->GetC();
                if (dx < 0 || dy < 0) return;
                x += dx;
                r += dy;
                row = rows.RowAt(RowArg(r));
                break;
            }
            default: {
                // m pixels in (m + 1) / 2 bytes, padded to a whole number of 16-bit words.
                uint8_t data[128];
                const uint32_t bytes = static_cast<uint32_t>(m + 1) / 2;
                const uint32_t got = stream->Read(data, 1, bytes);
                for (uint32_t i = 0; i < static_cast<uint32_t>(m) && i / 2 < got; ++i)
                    store(static_cast<uint8_t>((i & 1) ? data[i / 2] & 0x0F : data[i / 2] >> 4));
                if (got < bytes) return;
                if (bytes & 1) stream->GetC();
                break;
            }
        }
    }
}

bool PictureBMP::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;

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

namespace {

// A file header ("BM"), or a bare DIB whose info header starts with a size the decoder takes.
bool LooksLikeBmp(const uint8_t* head, size_t n) {
    if (n < kFileHeaderSize) return false;
    if ((head[0] | (head[1] << 8)) == kMagic) return true;
    const uint32_t size = head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<uint32_t>(head[3]) << 24);
    return size == kCoreHeaderSize || size >= kInfoHeaderSize;
}

}  // namespace

extern const CodecInfo kBmpCodec{
    ImageFormat::Bmp, "bmp", {},  &LooksLikeBmp, kDecode<PictureBMP>, kEncode<PictureBMP>,
    ImageFormat::Bmp, false, true};
