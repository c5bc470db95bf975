// WBMP type 0: a type byte (0), a fixed-header byte, the width and the height as
// multi-byte integers (seven bits per byte, most significant group first, the top bit set
// on every byte but the last), then one bit per pixel, the top row first, the leftmost
// pixel in bit 7, each row padded to a whole byte. A set bit is a white pixel.
#include "wbmp.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "rowiterator.h"

using namespace codec;

namespace {

constexpr uint32_t kHeaderBytes = 4;      // type, fixed header, and at least a byte each for the sizes
constexpr uint32_t kMaxIntegerBytes = 5;  // 35 bits: enough for any 32-bit value
constexpr uint32_t kMaxSavedSize = 255;

constexpr const char* kNotWbmp = "Not a WBMP";
constexpr const char* kCorrupted = "Corrupted WBMP";

constexpr int64_t kCutShort = -1, kTooLarge = -2;

uint64_t RowBytes(uint64_t width) { return (width + 7) / 8; }

// One multi-byte integer from the n bytes of p, starting at and advancing at: its value, or
// kCutShort when the bytes end inside it, or kTooLarge when it does not fit in 32 bits.
int64_t ReadInteger(const uint8_t* p, uint32_t n, uint32_t& at) {
    uint64_t value = 0;
    for (uint32_t k = 0; k < kMaxIntegerBytes; ++k) {
        if (at == n) return kCutShort;
        const uint8_t b = p[at++];
        value = (value << 7) | (b & 0x7F);
        if (value > UINT32_MAX) return kTooLarge;
        if (!(b & 0x80)) return static_cast<int64_t>(value);
    }
    return kTooLarge;
}

}  // namespace

bool PictureWBMP::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        Reader in(stream);
        const int32_t start = stream->Tell();
        const int64_t fileSize = in.Remaining();

        uint8_t h[2 + 2 * kMaxIntegerBytes];
        const uint32_t got = in.Some(h, sizeof h);
        if (got < kHeaderBytes) Fail(kNotWbmp);
        if (h[0] != 0) Fail("Unsupported WBMP type");

        uint32_t used = 2;  // the type and fixed-header bytes; the latter is not examined
        const int64_t w = ReadInteger(h, got, used);
        const int64_t ht = w >= 0 ? ReadInteger(h, got, used) : w;

        // Some writers store each size as one plain byte, so that 128 to 255 have the top
        // bit set. Such a file is recognised by its length, which fits the plain bytes
        // exactly and does not fit the multi-byte reading.
        const auto fits = [&](uint64_t headerLength, uint64_t width, uint64_t height) {
            return fileSize >= 0 &&
                   headerLength + height * RowBytes(width) == static_cast<uint64_t>(fileSize);
        };
        uint64_t width, height;
        if ((h[2] | h[3]) & 0x80 && fits(kHeaderBytes, h[2], h[3]) &&
            !(ht >= 0 && fits(used, static_cast<uint64_t>(w), static_cast<uint64_t>(ht)))) {
            width = h[2];
            height = h[3];
            used = kHeaderBytes;
        } else if (ht == kCutShort) {
            Fail(kNotWbmp);
        } else if (ht < 0) {
            Fail(kCorrupted);
        } else {
            width = static_cast<uint64_t>(w);
            height = static_cast<uint64_t>(ht);
        }
        if (!stream->Seek(start + static_cast<int32_t>(used), 0)) Fail(kNotWbmp);
        if (width == 0 || height == 0) Fail(kCorrupted);

        if (info.escape == -1) {
            header.biWidth = width > INT32_MAX ? INT32_MAX : static_cast<int32_t>(width);
            header.biHeight = height > INT32_MAX ? INT32_MAX : static_cast<int32_t>(height);
            SetLastError("output dimensions returned");
            return true;
        }

        // The rows are stored whole: a file that cannot hold them declares more than it has.
        const int64_t rowsLeft = in.Remaining();
        if (rowsLeft >= 0 && static_cast<uint64_t>(rowsLeft) / RowBytes(width) < height)
            Fail("WBMP file too short for its picture");

        if (!Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 1, ImageFormat::Wbmp))
            Fail("WBMP Create failed");
        SetGrayPalette();

        CRowIterator rows(this);
        rows.StartAtTop();
        const uint32_t rowBytes = static_cast<uint32_t>(RowBytes(width));
        for (uint64_t y = 0; y < height; ++y) {
            if (in.Some(rows.CurrentRow(), rowBytes) < rowBytes) break;
            rows.StepDown();
        }
        return true;
    });
}

bool PictureWBMP::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    const uint32_t width = GetWidth(), height = GetHeight();
    if (width > kMaxSavedSize || height > kMaxSavedSize || GetBpp() != 1) {
        SetLastError("Can't save this image as WBMP");
        return false;
    }

    uint8_t h[2 + 2 * 2] = {0, 0};
    uint32_t length = 2;
    for (const uint32_t value : {width, height}) {
        if (value >= 0x80) h[length++] = static_cast<uint8_t>(0x80 | (value >> 7));
        h[length++] = static_cast<uint8_t>(value & 0x7F);
    }
    stream->Write(h, length, 1);

    // A set bit is white: a picture whose entry 0 is the brighter one has its bits inverted
    // on the way out (the picture itself is left as it is).
    const bool invert = CompareLuminance(GetPaletteColor(0), GetPaletteColor(1)) > 0;
    CRowIterator rows(this);
    rows.StartAtTop();
    const uint32_t rowBytes = static_cast<uint32_t>(RowBytes(width));
    std::vector<uint8_t> line(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(line.data(), rows.CurrentRow(), rowBytes);
        if (invert)
            for (uint8_t& b : line) b = static_cast<uint8_t>(~b);
        if (width % 8) line[rowBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (width % 8));
        stream->Write(line.data(), rowBytes, 1);
        rows.StepDown();
    }
    return true;
}

namespace {

// Type 0, the only one there is; the sizes follow as multi-byte integers.
bool LooksLikeWbmp(const uint8_t* head, size_t n) { return n >= kHeaderBytes && head[0] == 0; }

}  // namespace

extern const CodecInfo kWbmpCodec{
    ImageFormat::Wbmp, "wbmp", {},  &LooksLikeWbmp, kDecode<PictureWBMP>, kEncode<PictureWBMP>,
    ImageFormat::Wbmp, false,  true};
