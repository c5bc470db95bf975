// PCX: a 128-byte header, then the picture run-length encoded from the top row down, each
// row holding its planes one after the other. A byte with both top bits set is a repeat
// count in its low six bits followed by the byte to repeat; any other byte stands for
// itself. Files of 256 colours end with the byte 12 and a palette of red, green, blue.
#include "pcx.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "sizelimits.h"

using namespace codec;

namespace {

constexpr uint32_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kVersion = 5;
constexpr uint8_t kRunLengthEncoding = 1;
constexpr uint8_t kRunFlags = 0xC0;  // both top bits set: a repeat count
constexpr uint8_t kMaxRun = 63;      // the largest count the low six bits hold
constexpr uint8_t kPaletteMarker = 12;
constexpr uint32_t kHeaderColors = 16;
constexpr uint32_t kFileColors = 256;
constexpr uint32_t kMaxCoordinate = 0xFFFF;

// Header field offsets; multi-byte fields are little-endian.
constexpr uint32_t kManufacturerAt = 0, kVersionAt = 1, kEncodingAt = 2, kBitsAt = 3;
constexpr uint32_t kXMinAt = 4, kYMinAt = 6, kXMaxAt = 8, kYMaxAt = 10;
constexpr uint32_t kHResAt = 12, kVResAt = 14, kColorMapAt = 16;
constexpr uint32_t kPlanesAt = 65, kBytesPerLineAt = 66, kPaletteTypeAt = 68;

constexpr const char* kCorrupted = "corrupted PCX";

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Reads the stream in blocks, so that the run-length data is not fetched one call per byte.
class ByteSource {
   public:
    explicit ByteSource(ByteStream* stream) : stream_(stream), block_(1 << 16) {}

    // The next byte, or -1 at the end of the stream.
    int32_t Next() {
        if (at_ == end_) {
            end_ = stream_->Read(block_.data(), 1, static_cast<uint32_t>(block_.size()));
            at_ = 0;
            if (end_ == 0) return -1;
        }
        return block_[at_++];
    }

   private:
    ByteStream* stream_;
    std::vector<uint8_t> block_;
    uint32_t at_ = 0, end_ = 0;
};

// Undoes the run-length coding. Runs may continue from one row into the next, but never
// past the last byte of the picture.
class RunDecoder {
   public:
    RunDecoder(ByteSource& in, uint64_t total) : in_(in), unclaimed_(total) {}

    void Fill(uint8_t* dest, uint32_t n) {
        while (n > 0) {
            if (repeat_ > 0) {
                const uint32_t take = repeat_ < n ? repeat_ : n;
                std::memset(dest, value_, take);
                dest += take, n -= take, repeat_ -= take;
                continue;
            }
            const int32_t b = in_.Next();
            if (b < 0) Fail(kCorrupted);
            if ((b & kRunFlags) == kRunFlags) {
                const uint32_t count = static_cast<uint32_t>(b) & kMaxRun;
                const int32_t value = in_.Next();
                if (value < 0) Fail(kCorrupted);
                if (count > unclaimed_) Fail("repeat count spans end of image");
                unclaimed_ -= count;
                repeat_ = count;
                value_ = static_cast<uint8_t>(value);
            } else {
                *dest++ = static_cast<uint8_t>(b);
                --n, --unclaimed_;
            }
        }
    }

   private:
    ByteSource& in_;
    uint64_t unclaimed_;  // bytes of the picture that no byte or run has claimed yet
    uint32_t repeat_ = 0;
    uint8_t value_ = 0;
};

// Palette index of pixel x of one decoded row: packed pixels of one plane, the leftmost in
// the highest bits, or one bit per plane with plane k giving bit k of the index.
uint8_t IndexAt(const uint8_t* line, uint32_t x, uint32_t bits, uint32_t planes, uint32_t bytesPerLine) {
    if (planes == 1) {
        const uint32_t bit = x * bits;
        const uint32_t shift = 8 - bits - bit % 8;
        return static_cast<uint8_t>((line[bit / 8] >> shift) & ((1u << bits) - 1));
    }
    uint8_t index = 0;
    for (uint32_t k = 0; k < planes; ++k)
        index |= static_cast<uint8_t>(((line[k * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << k);
    return index;
}

// Collects the encoded bytes in a growable memory stream.
class Sink {
   public:
    Sink() {
        if (!data_.Open()) Fail("Can't allocate PCX buffer");
    }
    void Put(uint8_t b) {
        if (!data_.PutC(b)) Fail("Can't allocate PCX buffer");
    }
    MemoryStream& data() { return data_; }

   private:
    MemoryStream data_;
};

// Writes runs of equal bytes, at most 63 long, as a count byte and the value; a single
// byte that cannot be mistaken for a count is written alone.
class RunPacker {
   public:
    explicit RunPacker(Sink& out) : out_(out) {}

    void Put(uint8_t value) {
        if (count_ > 0 && value != pending_) Flush();
        if (count_ == kMaxRun) Flush();
        pending_ = value;
        ++count_;
    }

    // Ends a plane line: the pending run is written, and a fresh line starts from nothing.
    void Flush() {
        if (count_ == 0) return;
        if (count_ > 1 || pending_ >= kRunFlags) out_.Put(static_cast<uint8_t>(kRunFlags | count_));
        out_.Put(pending_);
        count_ = 0;
        pending_ = 0;
    }

   private:
    Sink& out_;
    uint8_t pending_ = 0;
    uint8_t count_ = 0;
};

}  // namespace

bool PicturePCX::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        Reader in(stream);
        uint8_t h[kHeaderSize];
        in.Bytes(h, kHeaderSize, "Can't read PCX image");
        if (h[kManufacturerAt] != kManufacturer) Fail("Error: Not a PCX file");
        if (h[kEncodingAt] != kRunLengthEncoding) Fail("PCX file has unknown encoding scheme");

        const int32_t width = GetU16(h + kXMaxAt) - GetU16(h + kXMinAt) + 1;
        const int32_t height = GetU16(h + kYMaxAt) - GetU16(h + kYMinAt) + 1;
        info.xDpi = GetU16(h + kHResAt);
        info.yDpi = GetU16(h + kVResAt);

        const uint32_t bits = h[kBitsAt], planes = h[kPlanesAt], bytesPerLine = GetU16(h + kBytesPerLineAt);
        if (planes > 4) Fail("Can't handle image with more than 4 planes");
        if (planes == 0) Fail("PCX file has no planes");
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8) Fail("PCX file has unsupported bits per pixel");
        // Three planes of 8 bits are red, green and blue, a fourth is alpha; several planes
        // of 1 bit make up the bits of a palette index.
        const bool rgb = bits == 8 && planes >= 3;
        if (!rgb && planes > 1 && bits != 1) Fail("Can't handle more than 1 bit per pixel");
        if (width <= 0 || height <= 0) Fail("Invalid PCX image size");
        if (static_cast<uint64_t>(bytesPerLine) * 8 < static_cast<uint64_t>(width) * bits)
            Fail("PCX bytes per line too small for the image width");

        if (info.escape) Fail("Cancelled");

        // A file too short to hold the picture even as runs of 63 ends before its data
        // does; it is refused before anything the size of the picture is allocated.
        const uint32_t lineBytes = bytesPerLine * planes;
        const uint64_t total = static_cast<uint64_t>(lineBytes) * static_cast<uint32_t>(height);
        const int64_t available = in.Remaining();
        if (available >= 0 && total > MostFromRuns(static_cast<uint64_t>(available), kPcxRun))
            Fail(kCorrupted);

        const uint32_t depth = rgb ? 24 : bits * planes;
        if (!Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), depth, ImageFormat::Pcx))
            throw CodecError{nullptr};  // Create has stated why
        if (rgb && planes == 4) AlphaCreate();

        ByteSource source(stream);
        RunDecoder runs(source, total);
        std::vector<uint8_t> line(lineBytes);
        const uint32_t w = static_cast<uint32_t>(width), imageBits = GetBpp();
        for (uint32_t y = 0; y < static_cast<uint32_t>(height); ++y) {
            runs.Fill(line.data(), lineBytes);
            const uint32_t row = static_cast<uint32_t>(height) - 1 - y;  // rows count from the bottom
            uint8_t* dest = GetBits(row);
            if (rgb) {
                const uint8_t *red = line.data(), *green = red + bytesPerLine, *blue = green + bytesPerLine;
                for (uint32_t x = 0; x < w; ++x) {
                    dest[3 * x] = blue[x];
                    dest[3 * x + 1] = green[x];
                    dest[3 * x + 2] = red[x];
                }
                if (alpha) std::memcpy(alpha + static_cast<uint64_t>(row) * w, blue + bytesPerLine, w);
                continue;
            }
            std::memset(dest, 0, GetEffWidth());
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t index = IndexAt(line.data(), x, bits, planes, bytesPerLine);
                if (imageBits == 8)
                    dest[x] = index;
                else if (imageBits == 4)
                    dest[x / 2] |= static_cast<uint8_t>(index << (x % 2 ? 0 : 4));
                else
                    dest[x / 8] |= static_cast<uint8_t>((index & 1) << (7 - x % 8));
            }
        }

        if (IsIndexed()) {
            RGBQUAD palette[kFileColors] = {};
            for (uint32_t i = 0; i < kHeaderColors; ++i) {
                const uint8_t* c = h + kColorMapAt + 3 * i;
                palette[i] = RGBQUAD{c[2], c[1], c[0], 0};
            }
            if (bits == 8) {
                if (source.Next() != kPaletteMarker) Fail("bad color map signature");
                // A palette cut short leaves its missing entries black.
                for (uint32_t i = 0; i < kFileColors; ++i) {
                    int32_t c[3];
                    for (int32_t& v : c) v = source.Next();
                    if (c[2] < 0) break;
                    palette[i] = RGBQUAD{static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                         static_cast<uint8_t>(c[0]), 0};
                }
            } else if (bits == 1 && planes == 1) {
                // Single-plane 1-bit files are black and white whatever the header holds.
                palette[0] = RGBQUAD{0, 0, 0, 0};
                palette[1] = RGBQUAD{255, 255, 255, 0};
            }
            SetPalette(palette, kFileColors);
        }
        return true;
    });
}

bool PicturePCX::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        const uint32_t width = GetWidth(), height = GetHeight();
        const bool indexed = IsIndexed();
        uint8_t bits, planes;
        uint32_t bytesPerLine;
        if (GetBpp() >= 8) {
            bits = 8;
            planes = indexed ? 1 : AlphaIsValid() ? 4 : 3;
            bytesPerLine = width;
        } else {
            bits = 1;
            planes = GetNumColors() == 16 ? 4 : 1;
            bytesPerLine = (width + 7) / 8;
        }
        bytesPerLine += bytesPerLine & 1;  // lines are an even number of bytes
        if (width - 1 > kMaxCoordinate || height - 1 > kMaxCoordinate || bytesPerLine > 0xFFFF)
            Fail("Image too large for PCX");

        uint8_t h[kHeaderSize] = {};
        h[kManufacturerAt] = kManufacturer;
        h[kVersionAt] = kVersion;
        h[kEncodingAt] = kRunLengthEncoding;
        h[kBitsAt] = bits;
        PutU16(h + kXMaxAt, static_cast<uint16_t>(width - 1));
        PutU16(h + kYMaxAt, static_cast<uint16_t>(height - 1));
        const auto resolution = [](int32_t dpi) {
            return static_cast<uint16_t>(dpi < 0 ? 0 : dpi > 0xFFFF ? 0xFFFF : dpi);
        };
        PutU16(h + kHResAt, resolution(GetXDpi()));
        PutU16(h + kVResAt, resolution(GetYDpi()));
        if (bits == 1 && planes == 1) {
            std::memset(h + kColorMapAt + 3, 255, 3);  // entry 0 black, entry 1 white
        } else if (bits == 1) {
            for (uint32_t i = 0; i < kHeaderColors; ++i) {
                const RGBQUAD c = GetPaletteColor(static_cast<uint8_t>(i));
                uint8_t* entry = h + kColorMapAt + 3 * i;
                entry[0] = c.rgbRed;
                entry[1] = c.rgbGreen;
                entry[2] = c.rgbBlue;
            }
        }
        h[kPlanesAt] = planes;
        PutU16(h + kBytesPerLineAt, static_cast<uint16_t>(bytesPerLine));
        PutU16(h + kPaletteTypeAt, indexed ? 0 : 1);
        if (stream->Write(h, kHeaderSize, 1) != 1) Fail("cannot write PCX header");

        Sink out;
        RunPacker packer(out);
        // A 1-bit picture whose entry 0 is the brighter one is stored inverted, so that the
        // fixed black and white colour map shows it as it looks.
        const bool invert = GetBpp() == 1 && CompareLuminance(GetPaletteColor(0), GetPaletteColor(1)) > 0;
        std::vector<uint8_t> planeLines(bits == 1 ? static_cast<size_t>(bytesPerLine) * planes : 0);
        for (uint32_t y = height; y-- > 0;) {
            const uint8_t* row = GetBits(y);
            if (bits == 8) {
                // Planes of 8 bits: red, green, blue and alpha, or the palette indexes.
                for (uint32_t k = 0; k < planes; ++k) {
                    for (uint32_t x = 0; x < width; ++x) {
                        if (indexed)
                            packer.Put(row[x]);
                        else if (k < 3)
                            packer.Put(row[3 * x + 2 - k]);
                        else
                            packer.Put(BlindAlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y)));
                    }
                    packer.Flush();
                    if (bytesPerLine > width) out.Put(0);
                }
                continue;
            }
            std::fill(planeLines.begin(), planeLines.end(), 0);
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t index = BlindGetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y));
                if (invert) index = static_cast<uint8_t>(1 - index);
                for (uint32_t k = 0; k < planes; ++k)
                    if (index & (1u << k))
                        planeLines[k * bytesPerLine + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
            for (uint32_t k = 0; k < planes; ++k) {
                for (uint32_t i = 0; i < bytesPerLine; ++i) packer.Put(planeLines[k * bytesPerLine + i]);
                packer.Flush();
            }
        }

        MemoryStream& data = out.data();
        stream->Write(data.GetBuffer(false), 1, static_cast<uint32_t>(data.Size()));
        if (bits == 8 && indexed) {
            uint8_t palette[1 + 3 * kFileColors] = {kPaletteMarker};
            for (uint32_t i = 0; i < kFileColors; ++i) {
                const RGBQUAD c = GetPaletteColor(static_cast<uint8_t>(i));
                palette[1 + 3 * i] = c.rgbRed;
                palette[2 + 3 * i] = c.rgbGreen;
                palette[3 + 3 * i] = c.rgbBlue;
            }
            stream->Write(palette, sizeof palette, 1);
        }
        return true;
    });
}

namespace {

// The manufacturer byte, then the version, then run-length encoding.
bool LooksLikePcx(const uint8_t* head, size_t n) {
    return n > kEncodingAt && head[kManufacturerAt] == kManufacturer &&
           head[kEncodingAt] == kRunLengthEncoding;
}

}  // namespace

extern const CodecInfo kPcxCodec{
    ImageFormat::Pcx, "pcx", {},  &LooksLikePcx, kDecode<PicturePCX>, kEncode<PicturePCX>,
    ImageFormat::Pcx, false, true};
