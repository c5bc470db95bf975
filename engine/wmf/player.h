// The metafile players: they walk the records of a Windows metafile or an enhanced
// metafile and draw them on a Canvas. Records that are unknown, or too short for what
// they claim, are skipped; a record whose length would not advance or would run past the
// end stops the play.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "canvas.h"
#include "wintypes.h"

namespace wmf {

// Plays a Windows metafile: its 18-byte header and records, as they follow the placeable
// header. The picture is laid out in a frame of xExt by yExt hundredths of a millimetre
// on a 96 pixels-per-inch device, which is mapped onto the whole output: the viewport is
// that frame and the window is the bounding box, until records set them. Extents that are
// not both positive make the frame the output itself.
void PlayWmf(Canvas& canvas, const uint8_t* data, size_t size, const RECT& boundingBox, int64_t xExt,
             int64_t yExt);

// The fields of an enhanced metafile's header the player and the decoder use.
struct EmfHeader {
    RECT bounds;  // device pixels of the reference device, inclusive
    RECT frame;   // hundredths of a millimetre, inclusive
    uint16_t handles;
    int32_t deviceWidth, deviceHeight;      // reference device, pixels
    int32_t deviceWidthMm, deviceHeightMm;  // reference device, millimetres
};

// The header record of an enhanced metafile, or none when the data does not start with one.
std::optional<EmfHeader> ReadEmfHeader(const uint8_t* data, size_t size);

// Plays an enhanced metafile: its picture frame is mapped onto the whole output.
void PlayEmf(Canvas& canvas, const uint8_t* data, size_t size, const EmfHeader& header);

// Text of a record as characters: bytes in the code page a font's character set names
// (Windows-1252 for the ANSI and default sets), or UTF-16 little-endian code units.
Canvas::Text DecodeAnsi(const uint8_t* bytes, size_t count, uint8_t charset);
Canvas::Text DecodeUtf16(const uint8_t* units, size_t count);

// Bounded little-endian reads inside one record; a read past its end abandons the record.
struct ShortRecord {};

class Record {
   public:
    Record(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Size() const { return size_; }
    bool Has(size_t at, size_t n) const { return at <= size_ && n <= size_ - at; }
    const uint8_t* Bytes(size_t at, size_t n) const {
        if (!Has(at, n)) throw ShortRecord{};
        return data_ + at;
    }
    uint8_t U8(size_t at) const { return *Bytes(at, 1); }
    uint16_t U16(size_t at) const {
        const uint8_t* p = Bytes(at, 2);
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    int16_t S16(size_t at) const { return static_cast<int16_t>(U16(at)); }
    uint32_t U32(size_t at) const {
        const uint8_t* p = Bytes(at, 4);
        return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    int32_t S32(size_t at) const { return static_cast<int32_t>(U32(at)); }
    float F32(size_t at) const;

   private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace wmf
