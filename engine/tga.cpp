// TGA: an 18-byte header, an identification field, an optional colour map and the pixel
// rows, bottom row first unless the descriptor says otherwise. Rows are not padded. Run-
// length data is a series of packets: a header byte whose bit 7 marks a run (one pixel
// value repeated (h & 0x7F) + 1 times) or a raw packet (h + 1 pixel values follow).
#include "tga.h"

#include <cstring>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "rowiterator.h"
#include "sizelimits.h"

using namespace codec;

namespace {

constexpr uint32_t kHeaderSize = 18;
constexpr uint8_t kRightToLeft = 0x10;  // descriptor bit 4
constexpr uint8_t kTopFirst = 0x20;     // descriptor bit 5: the first row is the top row
constexpr uint32_t kMaxColorMap = 256;
constexpr uint8_t kAlphaBits = 8;        // descriptor bits 0-3 of a 32-bit file: alpha bits per pixel
constexpr uint32_t kOutputMapEntry = 3;  // written colour maps are blue, green, red

constexpr const char* kCorrupted = "corrupted TGA";
constexpr const char* kBadHeader = "bad TGA header";
constexpr const char* kCancelled = "Cancelled";

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A 15- or 16-bit value: blue in bits 0-4, green 5-9, red 10-14, each channel scaled from
// 0..31 to 0..255 and rounded (31 gives 255); bit 15 is not used.
uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v * 255 + 15) / 31); }
void StoreWord(uint16_t w, uint8_t* dest) {
    dest[0] = Widen5(w & 0x1F);
    dest[1] = Widen5((w >> 5) & 0x1F);
    dest[2] = Widen5((w >> 10) & 0x1F);
}

// Converts file pixels into the container's row: 8 bits are an index or grey value;
// 15 and 16 bits a word with blue in bits 0-4, green 5-9, red 10-14 (bit 15 unused);
// 24 bits blue, green, red; 32 bits blue, green, red, alpha.
class PixelWriter {
   public:
    PixelWriter(Picture& image, uint32_t depth)
        : image_(image), depth_(depth), fileBytes_((depth + 7) / 8), destBytes_(depth == 8 ? 1 : 3) {}

    uint32_t FileBytes() const { return fileBytes_; }
    uint32_t DestBytes() const { return destBytes_; }

    // count pixels from src into row at column x; r is the file row, which the alpha of
    // 32-bit pixels is stored at.
    void Store(const uint8_t* src, uint8_t* row, uint32_t x, uint32_t count, int32_t r) const {
        uint8_t* dest = row + static_cast<size_t>(x) * destBytes_;
        switch (depth_) {
            case 8:
                std::memcpy(dest, src, count);
                break;
            case 15:
            case 16:
                for (uint32_t i = 0; i < count; ++i, src += 2, dest += 3) StoreWord(Word(src), dest);
                break;
            case 24:
                std::memcpy(dest, src, static_cast<size_t>(count) * 3);
                break;
            case 32:
                for (uint32_t i = 0; i < count; ++i, src += 4, dest += 3) {
                    std::memcpy(dest, src, 3);
                    image_.AlphaSet(static_cast<int32_t>(x + i), r, src[3]);
                }
                break;
        }
    }

   private:
    Picture& image_;
    uint32_t depth_, fileBytes_, destBytes_;
};

// Expands one row of run-length packets. A packet may run past the end of the row: its
// remainder becomes the pending header byte that starts the next row. A run keeps its one
// value for the next row by stepping the stream back to it; a raw packet simply continues.
void ExpandRunLengthRow(Reader& in, const PixelWriter& pixels, uint8_t* row, uint32_t width, int32_t r,
                        int32_t& pending, std::vector<uint8_t>& scratch) {
    ByteStream* stream = in.stream();
    uint32_t x = 0;
    while (x < width) {
        uint8_t h;
        if (pending >= 0) {
            h = static_cast<uint8_t>(pending);
            pending = -1;
        } else {
            h = in.U8(kCorrupted);
        }
        const uint32_t left = width - x;
        uint32_t count = (h & 0x7F) + 1;
        if (h & 0x80) {
            int32_t mark = -1;
            if (count > left) {
                pending = static_cast<int32_t>(0x80 + (count - left - 1));
                mark = stream->Tell();
                count = left;
            }
            uint8_t value[4];
            in.Bytes(value, pixels.FileBytes(), kCorrupted);
            for (uint32_t i = 0; i < count; ++i) pixels.Store(value, row, x + i, 1, r);
            if (mark >= 0) stream->Seek(mark, 0);
        } else {
            if (count > left) {
                pending = static_cast<int32_t>(count - left - 1);
                count = left;
            }
            in.Bytes(scratch.data(), count * pixels.FileBytes(), kCorrupted);
            pixels.Store(scratch.data(), row, x, count, r);
        }
        x += count;
    }
}

}  // namespace

bool PictureTGA::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        Reader in(stream);
        uint8_t head[kHeaderSize];
        if (in.Some(head, kHeaderSize) != kHeaderSize) Fail("Not a TGA");
        const uint8_t idLength = head[0];
        const uint8_t colorMapType = head[1];
        const uint8_t imageType = head[2];
        const uint32_t colorMapFirst = Word(head + 3);
        const uint32_t colorMapLength = Word(head + 5);
        const uint32_t colorMapEntrySize = head[7];
        const uint32_t width = Word(head + 12), height = Word(head + 14);
        const uint32_t depth = head[16];
        const uint8_t descriptor = head[17];

        bool runLength;
        switch (imageType) {
            case 1:
            case 2:
            case 3:
                runLength = false;
                break;
            case 9:
            case 10:
            case 11:
                runLength = true;
                break;
            default:
                Fail("Unknown TGA image type");
        }
        if (width == 0 || height == 0 || depth == 0 || colorMapLength > kMaxColorMap) Fail(kBadHeader);
        if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) Fail(kBadHeader);
        // Colour map entries are 15- or 16-bit words like the pixels, or blue, green, red
        // with an alpha byte at 32 bits (not kept).
        const uint32_t entryBytes = (colorMapEntrySize + 7) / 8;
        const bool hasMap = colorMapType != 0 && colorMapLength > 0;
        if (hasMap && colorMapEntrySize != 15 && colorMapEntrySize != 16 && colorMapEntrySize != 24 &&
            colorMapEntrySize != 32)
            Fail(kBadHeader);

        in.Skip(idLength);

        // Nothing is allocated for a request that only measures or cancels, nor for a file
        // too short to hold the pixels it announces: uncompressed rows exactly, packets by
        // the most pixels one can cover.
        if (info.escape) Fail(kCancelled);
        const uint64_t fileBytes = (depth + 7) / 8;
        const uint64_t pixelCount = static_cast<uint64_t>(width) * height;
        const uint64_t mapBytes = hasMap ? colorMapLength * entryBytes : 0;
        const int64_t remaining = in.Remaining();
        if (remaining >= 0) {
            const uint64_t left = static_cast<uint64_t>(remaining);
            const bool fits =
                left >= mapBytes &&
                (runLength ? MostFromRuns(left - mapBytes, {kTgaPacketPixels, 1 + fileBytes}) >= pixelCount
                           : left - mapBytes >= pixelCount * fileBytes);
            if (!fits) Fail(kCorrupted);
        }

        if (!Create(width, height, depth, ImageFormat::Tga)) Fail("TGA Create failed");
        if (depth == 32) AlphaCreate();

        if (hasMap) {
            // The map's first entry stands for index colorMapFirst; indexes past the
            // container's palette are dropped.
            uint8_t map[kMaxColorMap * 4];
            in.Bytes(map, static_cast<uint32_t>(mapBytes), kCorrupted);
            for (uint32_t i = 0; i < colorMapLength; ++i) {
                const uint64_t index = static_cast<uint64_t>(colorMapFirst) + i;
                if (index >= GetNumColors()) break;
                const uint8_t* e = map + i * entryBytes;
                uint8_t bgr[3];
                if (entryBytes == 2)
                    StoreWord(Word(e), bgr);
                else
                    std::memcpy(bgr, e, 3);
                SetPaletteColor(static_cast<uint8_t>(index), bgr[2], bgr[1], bgr[0], 0);
            }
        }
        if (imageType == 3 || imageType == 11) SetGrayPalette();

        const PixelWriter pixels(*this, depth);
        std::vector<uint8_t> scratch(static_cast<size_t>(width) * pixels.FileBytes());
        const size_t used = static_cast<size_t>(width) * pixels.DestBytes();
        const bool topFirst = descriptor & kTopFirst;
        CRowIterator rows(this);
        int32_t pending = -1;
        for (uint32_t r = 0; r < height; ++r) {
            if (info.escape) Fail(kCancelled);
            if (stream->Eof()) Fail(kCorrupted);
            uint8_t* row = rows.RowAt(static_cast<int32_t>(topFirst ? height - 1 - r : r));
            std::memset(row + used, 0, info.effWidth - used);  // the row's filler bytes
            if (runLength) {
                ExpandRunLengthRow(in, pixels, row, width, static_cast<int32_t>(r), pending, scratch);
            } else {
                in.Bytes(scratch.data(), static_cast<uint32_t>(scratch.size()), kCorrupted);
                pixels.Store(scratch.data(), row, 0, width, static_cast<int32_t>(r));
            }
        }

        if (descriptor & kRightToLeft) Mirror();
        if (topFirst && depth == 32) AlphaFlip();  // alpha went in at the file row number
        return true;
    });
}

bool PictureTGA::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    const uint32_t bpp = GetBpp();
    if (bpp < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    const uint32_t width = GetWidth(), height = GetHeight();
    if (width > 0xFFFF || height > 0xFFFF) {
        SetLastError("Image too large for TGA");
        return false;
    }
    const bool mapped = bpp == 8;
    const bool withAlpha = bpp == 24 && AlphaIsValid();

    uint8_t head[kHeaderSize] = {};
    head[1] = IsIndexed() ? 1 : 0;
    head[2] = mapped ? 1 : 2;
    PutU16(head + 5, mapped ? 256 : 0);
    head[7] = mapped ? 24 : 0;
    PutU16(head + 12, static_cast<uint16_t>(width));
    PutU16(head + 14, static_cast<uint16_t>(height));
    head[16] = static_cast<uint8_t>(withAlpha ? 32 : bpp);
    head[17] = withAlpha ? kAlphaBits : 0;
    stream->Write(head, kHeaderSize, 1);

    if (mapped) {
        uint8_t map[256 * kOutputMapEntry];
        const RGBQUAD* palette = GetPalette();
        for (uint32_t i = 0; i < 256; ++i) {
            map[3 * i] = palette[i].rgbBlue;
            map[3 * i + 1] = palette[i].rgbGreen;
            map[3 * i + 2] = palette[i].rgbRed;
        }
        stream->Write(map, sizeof map, 1);
    }

    // Rows go bottom row first, without the container's filler bytes.
    if (withAlpha) {
        std::vector<uint8_t> line(static_cast<size_t>(width) * 4);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* src = GetBits(y);
            for (uint32_t x = 0; x < width; ++x) {
                std::memcpy(&line[4 * x], src + 3 * x, 3);
                const uint8_t a = AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y));
                line[4 * x + 3] = static_cast<uint8_t>(info.alphaMax * a / 255);
            }
            stream->Write(line.data(), static_cast<uint32_t>(line.size()), 1);
        }
    } else {
        const uint32_t rowBytes = width * (bpp / 8);
        for (uint32_t y = 0; y < height; ++y) stream->Write(GetBits(y), rowBytes, 1);
    }
    return true;
}

namespace {

// TGA has no signature: a whole header naming an image type the decoder reads is the test.
bool LooksLikeTga(const uint8_t* head, size_t n) {
    if (n < kHeaderSize) return false;
    switch (head[2]) {
        case 1:
        case 2:
        case 3:
        case 9:
        case 10:
        case 11:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern const CodecInfo kTgaCodec{
    ImageFormat::Tga, "tga", {},  &LooksLikeTga, kDecode<PictureTGA>, kEncode<PictureTGA>,
    ImageFormat::Tga, false, true};
