// PNM: the netpbm formats. A header of text: the magic "P1" to "P6", the width, the height
// and (except for bitmaps) the largest sample value maxval, separated by white space and
// comments from '#' to the end of the line. Then the samples, top row first: P1, P2 and P3
// as decimal text, P4, P5 and P6 as binary (one bit per pixel, rows padded to a byte, for
// P4; one byte per sample, or two bytes big-endian when maxval exceeds 255, for P5 and P6).
// P1 and P4 are bitmaps in which 1 is black; P2 and P5 hold one grey sample per pixel,
// P3 and P6 red, green and blue.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jas_image.h"

namespace jas {
namespace {

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips white space and comments.
void SkipSpace(ByteSource& in) {
    for (;;) {
        const int c = in.Peek();
        if (c == '#') {
            for (int d = in.Get(); d != '\n' && d != '\r' && d != -1; d = in.Get()) {
            }
        } else if (IsSpace(c)) {
            in.Get();
        } else {
            return;
        }
    }
}

// A decimal number after optional white space and comments.
uint32_t Number(ByteSource& in) {
    SkipSpace(in);
    return in.Decimal();
}

}  // namespace

bool IsPnm(const uint8_t* head, size_t n) {
    return n >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6';
}

Image ReadPnm(ByteStream* stream) {
    ByteSource in(stream);
    if (in.Get() != 'P') Fail(kLoadFailed);
    const int kind = in.Get() - '0';
    if (kind < 1 || kind > 6) Fail(kLoadFailed);
    const bool bitmap = kind == 1 || kind == 4;
    const bool plain = kind <= 3;
    const uint32_t channels = kind == 3 || kind == 6 ? 3 : 1;

    const uint32_t width = Number(in);
    const uint32_t height = Number(in);
    const uint32_t maxval = bitmap ? 1 : Number(in);
    if (width == 0 || height == 0 || maxval == 0 || maxval > 0xFFFF) Fail(kLoadFailed);
    // One white-space character ends the header of a binary file.
    if (!plain && !IsSpace(in.Get())) Fail(kLoadFailed);

    // The data must be able to hold every sample before anything is allocated: a binary
    // file holds them as they stand, a plain bitmap takes a character per sample and other
    // plain files at least a digit and a separator.
    const uint64_t samples = static_cast<uint64_t>(width) * height * channels;
    if (!FitsSamples(samples)) Fail(kLoadFailed);
    const uint64_t sampleBytes = maxval > 255 ? 2 : 1;
    uint64_t needed;
    if (kind == 4)
        needed = (static_cast<uint64_t>(width) + 7) / 8 * height;
    else if (!plain)
        needed = samples * sampleBytes;
    else
        needed = bitmap ? samples : (samples + 1) / 2;
    const int64_t left = in.Remaining();
    if (left >= 0 && needed > static_cast<uint64_t>(left)) Fail(kLoadFailed);

    Image image;
    image.colorSpace = channels == 3 ? ColorSpace::Srgb : ColorSpace::Grey;
    for (uint32_t c = 0; c < channels; ++c) AddComponent(image, width, height, maxval);

    // Bitmaps store 1 for black; the component holds luminance, so 1 is white.
    std::vector<uint8_t> row;
    for (uint32_t y = 0; y < height; ++y) {
        if (kind == 4) {
            row.resize((width + 7) / 8);
            in.Bytes(row.data(), row.size());
            uint16_t* out = image.components[0].Row(y);
            for (uint32_t x = 0; x < width; ++x) out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 1;
        } else if (!plain) {
            row.resize(static_cast<size_t>(width) * channels * sampleBytes);
            in.Bytes(row.data(), row.size());
            const uint8_t* p = row.data();
            for (uint32_t x = 0; x < width; ++x)
                for (uint32_t c = 0; c < channels; ++c) {
                    const uint32_t v = sampleBytes == 2 ? (p[0] << 8) | p[1] : p[0];
                    p += sampleBytes;
                    if (v > maxval) Fail(kLoadFailed);
                    image.components[c].Row(y)[x] = static_cast<uint16_t>(v);
                }
        } else {
            for (uint32_t x = 0; x < width; ++x)
                for (uint32_t c = 0; c < channels; ++c) {
                    uint32_t v;
                    if (bitmap) {
                        // Bitmap digits need no separator.
                        SkipSpace(in);
                        const int d = in.Get();
                        if (d != '0' && d != '1') Fail(kLoadFailed);
                        v = d == '0' ? 1 : 0;
                    } else {
                        v = Number(in);
                        if (v > maxval) Fail(kLoadFailed);
                    }
                    image.components[c].Row(y)[x] = static_cast<uint16_t>(v);
                }
        }
    }
    return image;
}

// Binary grey (P5) for one component, binary colour (P6) for three.
void WritePnm(const Image& image, ByteStream* stream) {
    const size_t channels = image.components.size();
    if (channels != 1 && channels != 3) Fail(kEncodeFailed);
    const Component& first = image.components[0];
    const uint32_t width = first.width, height = first.height, maxval = first.maxval;
    const std::string header = std::string(channels == 3 ? "P6" : "P5") + "\n" + std::to_string(width) + " " +
                               std::to_string(height) + "\n" + std::to_string(maxval) + "\n";
    Put(stream, header.data(), header.size());

    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    std::vector<uint8_t> row(static_cast<size_t>(width) * channels * sampleBytes);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = row.data();
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels; ++c) {
                const uint16_t v = image.components[c].Row(y)[x];
                if (sampleBytes == 2) *p++ = static_cast<uint8_t>(v >> 8);
                *p++ = static_cast<uint8_t>(v);
            }
        Put(stream, row.data(), row.size());
    }
}

}  // namespace jas
