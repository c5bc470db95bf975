// PGX: one grey component, as the JPEG 2000 conformance suite stores its planes. A header
// line "PG ML + 8 640 480": the byte order (ML most significant byte first, LM least
// significant first), the sign ('+' unsigned, '-' two's complement, may be left out), the
// precision in bits, the width and the height. Then the samples, top row first, each in one
// byte up to 8 bits and in two bytes up to 16; only the low precision bits count.
#include <cstdint>
#include <string>
#include <vector>

#include "jas_image.h"

namespace jas {
namespace {

bool IsBlank(int c) { return c == ' ' || c == '\t'; }

void SkipBlanks(ByteSource& in) {
    while (IsBlank(in.Peek())) in.Get();
}

uint32_t Number(ByteSource& in) {
    SkipBlanks(in);
    return in.Decimal();
}

}  // namespace

bool IsPgx(const uint8_t* head, size_t n) {
    return n >= 3 && head[0] == 'P' && head[1] == 'G' && IsBlank(head[2]);
}

Image ReadPgx(ByteStream* stream) {
    ByteSource in(stream);
    if (in.Get() != 'P' || in.Get() != 'G' || !IsBlank(in.Peek())) Fail(kLoadFailed);
    SkipBlanks(in);
    const int order0 = in.Get(), order1 = in.Get();
    bool bigEndian;
    if (order0 == 'M' && order1 == 'L')
        bigEndian = true;
    else if (order0 == 'L' && order1 == 'M')
        bigEndian = false;
    else
        Fail(kLoadFailed);
    SkipBlanks(in);
    bool isSigned = false;
    if (in.Peek() == '+' || in.Peek() == '-') isSigned = in.Get() == '-';
    const uint32_t precision = Number(in);
    const uint32_t width = Number(in);
    const uint32_t height = Number(in);
    if (precision == 0 || precision > kMaxPrecision) Fail(kLoadFailed);
    SkipBlanks(in);
    if (in.Peek() == '\r') in.Get();
    if (in.Get() != '\n') Fail(kLoadFailed);

    const uint32_t wordBytes = precision <= 8 ? 1 : 2;
    const int64_t left = in.Remaining();
    if (left >= 0 && static_cast<uint64_t>(width) * height * wordBytes > static_cast<uint64_t>(left))
        Fail(kLoadFailed);

    Image image;
    image.colorSpace = ColorSpace::Grey;
    const uint32_t maxval = (1u << precision) - 1;
    Component& grey = AddComponent(image, width, height, maxval);

    // A signed sample is moved up by half the range: -2^(p-1) becomes 0.
    const uint32_t flip = isSigned ? 1u << (precision - 1) : 0;
    std::vector<uint8_t> row(static_cast<size_t>(width) * wordBytes);
    for (uint32_t y = 0; y < height; ++y) {
        in.Bytes(row.data(), row.size());
        uint16_t* out = grey.Row(y);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &row[static_cast<size_t>(x) * wordBytes];
            uint32_t v = wordBytes == 1 ? p[0] : bigEndian ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0];
            out[x] = static_cast<uint16_t>(((v & maxval) ^ flip));
        }
    }
    return image;
}

// One unsigned component, most significant byte first.
void WritePgx(const Image& image, ByteStream* stream) {
    if (image.components.size() != 1) Fail(kEncodeFailed);
    const Component& grey = image.components[0];
    const std::string header = "PG ML + " + std::to_string(grey.precision) + " " +
                               std::to_string(grey.width) + " " + std::to_string(grey.height) + "\n";
    Put(stream, header.data(), header.size());
    const size_t wordBytes = grey.precision <= 8 ? 1 : 2;
    std::vector<uint8_t> row(static_cast<size_t>(grey.width) * wordBytes);
    for (uint32_t y = 0; y < grey.height; ++y) {
        uint8_t* p = row.data();
        for (uint32_t x = 0; x < grey.width; ++x) {
            const uint16_t v = grey.Row(y)[x];
            if (wordBytes == 2) *p++ = static_cast<uint8_t>(v >> 8);
            *p++ = static_cast<uint8_t>(v);
        }
        Put(stream, row.data(), row.size());
    }
}

}  // namespace jas
