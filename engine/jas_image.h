// The component image that the JPEG 2000, PGX, PNM and Sun raster readers produce and their
// writers consume: a colour space and a list of components, each a plane of unsigned samples
// with its own size, sampling step and precision. Signed samples are stored offset by half
// their range, so every reader hands over the same shape of data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader.h"
#include "sizelimits.h"
#include "stream.h"

namespace jas {

using codec::Fail;
using codec::Reader;

// All components of one image together are held to the picture cap, counted in the bytes
// each sample takes: two here, four in OpenJPEG's own image. It bounds memory for files
// that declare huge sizes but hold little data (a flat JPEG 2000 image compresses to almost
// nothing).
constexpr uint64_t kSampleBytes = sizeof(uint16_t);
inline bool FitsSamples(uint64_t samples, uint64_t bytesPerSample = kSampleBytes) {
    return samples <= GetPictureCap() / bytesPerSample;
}

// Samples are kept in 16 bits; deeper precisions are refused.
constexpr uint32_t kMaxPrecision = 16;

// Images with more components are refused.
constexpr uint32_t kMaxComponents = 64;

// Every reader reports any fault of its data with this text.
constexpr const char* kLoadFailed = "error: cannot load image data";
constexpr const char* kTooManyComponents = "error: too much components";
// Every writer reports any failure with this text (it ends with a line feed).
constexpr const char* kEncodeFailed = "error: cannot encode image\n";
// The library's stream object could not be made.
constexpr const char* kNoInput = "error: cannot open standard input";
constexpr const char* kNoOutput = "error: cannot open standard output";

enum class ColorSpace : uint8_t {
    Unknown,  // nothing recorded; a code stream's components say nothing of colour
    Grey,     // component 0 is the luminance
    Srgb,     // components 0, 1, 2 are red, green, blue
    Sycc,     // components 0, 1, 2 are Y, Cb, Cr with the chroma centred on half range
    Other,    // a colour space with no conversion here (CMYK, e-YCC, ...)
};

struct Component {
    uint32_t width = 0, height = 0;
    uint32_t hstep = 1, vstep = 1;  // spacing of the samples on the image grid
    uint32_t precision = 8;         // bits per sample, 1 .. kMaxPrecision
    uint32_t maxval = 255;          // the largest sample; 2^precision - 1 except in PNM
    bool opacity = false;           // the file names this component the image's opacity
    std::vector<uint16_t> samples;  // width per row, top row first

    const uint16_t* Row(uint32_t y) const { return samples.data() + static_cast<size_t>(y) * width; }
    uint16_t* Row(uint32_t y) { return samples.data() + static_cast<size_t>(y) * width; }
};

struct Image {
    ColorSpace colorSpace = ColorSpace::Unknown;
    std::vector<Component> components;
};

// Bits needed for the values 0 .. maxval.
inline uint32_t PrecisionOf(uint32_t maxval) {
    uint32_t bits = 1;
    while (bits < 32 && (maxval >> bits) != 0) ++bits;
    return bits;
}

// Adds a component of the given size to the image; fails when the image would exceed the
// picture cap, before anything is allocated.
inline Component& AddComponent(Image& image, uint32_t width, uint32_t height, uint32_t maxval) {
    uint64_t total = static_cast<uint64_t>(width) * height;
    if (width == 0 || height == 0 || maxval == 0 || maxval > 0xFFFF) Fail(kLoadFailed);
    for (const Component& c : image.components) total += c.samples.size();
    if (!FitsSamples(total)) Fail(kLoadFailed);
    Component& c = image.components.emplace_back();
    c.width = width;
    c.height = height;
    c.maxval = maxval;
    c.precision = PrecisionOf(maxval);
    c.samples.assign(static_cast<size_t>(width) * height, 0);
    return c;
}

// A value from 0 .. from scaled to 0 .. to, rounded to nearest; values above from count as from.
inline uint32_t Scale(uint32_t value, uint32_t from, uint32_t to) {
    if (value >= from) return to;
    return static_cast<uint32_t>((static_cast<uint64_t>(value) * to + from / 2) / from);
}

// Big-endian fields of the JPEG 2000 boxes and markers and the Sun raster header.
inline uint32_t BigEndian16(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
inline uint32_t BigEndian32(const uint8_t* p) { return (BigEndian16(p) << 16) | BigEndian16(p + 2); }

// Buffered reading for the text and run-length formats, which take a byte at a time.
class ByteSource {
   public:
    explicit ByteSource(ByteStream* stream) : stream_(stream) {}

    // The next byte, or -1 at the end of the data.
    int Get() {
        if (at_ == end_ && !Refill()) return -1;
        return buffer_[at_++];
    }
    int Peek() {
        if (at_ == end_ && !Refill()) return -1;
        return buffer_[at_];
    }
    // Exactly n bytes, or fails with kLoadFailed.
    void Bytes(uint8_t* dest, size_t n) {
        while (n > 0) {
            if (at_ == end_ && !Refill()) Fail(kLoadFailed);
            const size_t piece = n < end_ - at_ ? n : end_ - at_;
            for (size_t i = 0; i < piece; ++i) dest[i] = buffer_[at_ + i];
            at_ += piece;
            dest += piece;
            n -= piece;
        }
    }
    // A decimal number of the header of a text format, starting at the next byte, below
    // 2^31; anything else fails with kLoadFailed.
    uint32_t Decimal() {
        int c = Peek();
        if (c < '0' || c > '9') Fail(kLoadFailed);
        uint64_t value = 0;
        for (; c >= '0' && c <= '9'; c = Peek()) {
            value = value * 10 + static_cast<uint32_t>(c - '0');
            if (value > 0x7FFFFFFF) Fail(kLoadFailed);
            Get();
        }
        return static_cast<uint32_t>(value);
    }
    // Bytes left in the stream and the buffer, or -1 when the stream cannot tell.
    int64_t Remaining() {
        const int64_t left = Reader(stream_).Remaining();
        return left < 0 ? -1 : left + static_cast<int64_t>(end_ - at_);
    }

   private:
    bool Refill() {
        at_ = 0;
        end_ = stream_->Read(buffer_, 1, sizeof buffer_);
        return end_ > 0;
    }

    ByteStream* stream_;
    uint8_t buffer_[65536];
    size_t at_ = 0, end_ = 0;
};

// Writes all bytes or fails with kEncodeFailed.
inline void Put(ByteStream* stream, const void* data, size_t n) {
    if (n > 0 && stream->Write(data, 1, static_cast<uint32_t>(n)) != n) Fail(kEncodeFailed);
}

// Signatures, tested on the first bytes of a file (at most 12 are given).
bool IsJp2(const uint8_t* head, size_t n);
bool IsJpc(const uint8_t* head, size_t n);
bool IsPgx(const uint8_t* head, size_t n);
bool IsPnm(const uint8_t* head, size_t n);
bool IsRas(const uint8_t* head, size_t n);

// Readers start at the stream's position and throw CodecError on any fault.
Image ReadJpeg2000(ByteStream* stream, bool fileFormat);
Image ReadPgx(ByteStream* stream);
Image ReadPnm(ByteStream* stream);
Image ReadRas(ByteStream* stream);

// Writers take 1 or 3 components of the same size (and PGX one), and throw CodecError.
// rate is the target size as a fraction of the uncompressed size; 1 or more is lossless.
void WriteJpeg2000(const Image& image, ByteStream* stream, bool fileFormat, double rate);
void WritePgx(const Image& image, ByteStream* stream);
void WritePnm(const Image& image, ByteStream* stream);
void WriteRas(const Image& image, ByteStream* stream);

}  // namespace jas
