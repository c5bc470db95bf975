// Sun raster: a header of eight big-endian 32-bit fields (magic 0x59A66A95, width, height,
// depth, length of the image data, type, colour map type, colour map length), the colour
// map, then the rows top first, each padded to a multiple of 16 bits. Depths are 1 (a set
// bit is black unless a colour map says otherwise), 8 (indices into the colour map, or
// grey without one), 24 (blue, green, red) and 32 (a pad byte, then blue, green, red). The
// RGB type stores red first instead. The byte-encoded type run-length codes the padded
// rows as one sequence: 0x80 n v is n + 1 copies of v, 0x80 0 a single 0x80, any other
// byte itself; runs may cross rows.
#include <cstdint>
#include <vector>

#include "jas_image.h"

namespace jas {
namespace {

constexpr uint32_t kMagic = 0x59A66A95;
constexpr uint32_t kHeaderBytes = 32;

// Types
constexpr uint32_t kOld = 0, kStandard = 1, kByteEncoded = 2, kRgb = 3;
// Colour map types
constexpr uint32_t kNoMap = 0, kEqualRgbMap = 1;

constexpr uint8_t kRunEscape = 0x80;
// The most a byte-encoded run makes of its three bytes.
constexpr uint64_t kMaxRunGrowth = 86;

void PutBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint64_t RowBytes(uint64_t width, uint32_t depth) { return (width * depth + 15) / 16 * 2; }

// Expands byte-encoded data into the padded rows. A run that reaches past the last row is
// cut there; data that ends before the rows are full is a fault.
void Unpack(ByteSource& in, std::vector<uint8_t>& raster) {
    size_t at = 0;
    const size_t size = raster.size();
    while (at < size) {
        const int b = in.Get();
        if (b < 0) Fail(kLoadFailed);
        if (b != kRunEscape) {
            raster[at++] = static_cast<uint8_t>(b);
            continue;
        }
        const int count = in.Get();
        if (count < 0) Fail(kLoadFailed);
        if (count == 0) {
            raster[at++] = kRunEscape;
            continue;
        }
        const int value = in.Get();
        if (value < 0) Fail(kLoadFailed);
        for (int k = 0; k <= count && at < size; ++k) raster[at++] = static_cast<uint8_t>(value);
    }
}

}  // namespace

bool IsRas(const uint8_t* head, size_t n) { return n >= 4 && BigEndian32(head) == kMagic; }

Image ReadRas(ByteStream* stream) {
    ByteSource in(stream);
    uint8_t h[kHeaderBytes];
    in.Bytes(h, sizeof h);
    if (BigEndian32(h) != kMagic) Fail(kLoadFailed);
    const uint32_t width = BigEndian32(h + 4), height = BigEndian32(h + 8), depth = BigEndian32(h + 12);
    const uint32_t type = BigEndian32(h + 20), mapType = BigEndian32(h + 24), mapLength = BigEndian32(h + 28);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) Fail(kLoadFailed);
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32) Fail(kLoadFailed);
    if (type != kOld && type != kStandard && type != kByteEncoded && type != kRgb) Fail(kLoadFailed);
    if (mapType != kNoMap && mapType != kEqualRgbMap) Fail(kLoadFailed);

    // An equal-RGB map holds all reds, then all greens, then all blues. Only palette depths
    // use it; other depths skip it.
    uint32_t mapEntries = 0;
    uint8_t map[3][256] = {};
    const int64_t mapLeft = in.Remaining();
    if (mapLeft >= 0 && mapLength > mapLeft) Fail(kLoadFailed);
    if (mapType == kEqualRgbMap && depth <= 8 && mapLength > 0) {
        if (mapLength % 3 != 0 || mapLength > sizeof map) Fail(kLoadFailed);
        mapEntries = mapLength / 3;
        for (uint32_t c = 0; c < 3; ++c) in.Bytes(map[c], mapEntries);
    } else {
        std::vector<uint8_t> skipped(4096);
        for (uint32_t left = mapLength; left > 0;) {
            const uint32_t piece = left < skipped.size() ? left : static_cast<uint32_t>(skipped.size());
            in.Bytes(skipped.data(), piece);
            left -= piece;
        }
    }

    // Raw rows must all be in the file; byte-encoded ones can grow at most kMaxRunGrowth
    // times. Both bounds are checked before the rows are allocated.
    const uint32_t channels = depth >= 24 || mapEntries > 0 ? 3 : 1;
    if (!FitsSamples(static_cast<uint64_t>(width) * height * channels)) Fail(kLoadFailed);
    const uint64_t rowBytes = RowBytes(width, depth);
    const uint64_t rasterBytes = rowBytes * height;
    if (rasterBytes > GetPictureCap()) Fail(kLoadFailed);
    const int64_t left = in.Remaining();
    if (left >= 0 && rasterBytes > static_cast<uint64_t>(left) * (type == kByteEncoded ? kMaxRunGrowth : 1))
        Fail(kLoadFailed);

    std::vector<uint8_t> raster(static_cast<size_t>(rasterBytes));
    if (type == kByteEncoded)
        Unpack(in, raster);
    else
        in.Bytes(raster.data(), raster.size());

    // A grey colour map gives a grey picture; without a map, depth 1 is black and white and
    // depth 8 grey.
    bool greyMap = true;
    for (uint32_t i = 0; i < mapEntries; ++i)
        greyMap = greyMap && map[0][i] == map[1][i] && map[1][i] == map[2][i];
    Image image;
    const bool grey = depth <= 8 && (mapEntries == 0 || greyMap);
    image.colorSpace = grey ? ColorSpace::Grey : ColorSpace::Srgb;
    const uint32_t maxval = depth == 1 && mapEntries == 0 ? 1 : 255;
    for (uint32_t c = 0; c < (grey ? 1u : 3u); ++c) AddComponent(image, width, height, maxval);

    const bool redFirst = type == kRgb;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &raster[static_cast<size_t>(y * rowBytes)];
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t rgb[3];
            if (depth >= 24) {
                const uint8_t* p = row + static_cast<size_t>(x) * (depth / 8) + (depth == 32 ? 1 : 0);
                rgb[0] = redFirst ? p[0] : p[2];
                rgb[1] = p[1];
                rgb[2] = redFirst ? p[2] : p[0];
            } else {
                const uint32_t index = depth == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
                if (mapEntries == 0) {
                    rgb[0] = depth == 8 ? index : 1 - index;
                } else {
                    if (index >= mapEntries) Fail(kLoadFailed);
                    for (uint32_t c = 0; c < 3; ++c) rgb[c] = map[c][index];
                }
            }
            for (size_t c = 0; c < image.components.size(); ++c)
                image.components[c].Row(y)[x] = static_cast<uint16_t>(rgb[c]);
        }
    }
    return image;
}

// The standard type without colour map: one component as 8-bit grey, three as 24-bit blue,
// green, red.
void WriteRas(const Image& image, ByteStream* stream) {
    const size_t channels = image.components.size();
    if (channels != 1 && channels != 3) Fail(kEncodeFailed);
    const uint32_t width = image.components[0].width, height = image.components[0].height;
    const uint32_t depth = channels == 3 ? 24 : 8;
    const uint64_t rowBytes = RowBytes(width, depth);
    if (rowBytes * height > 0xFFFFFFFFu) Fail(kEncodeFailed);

    uint8_t h[kHeaderBytes];
    PutBigEndian32(h, kMagic);
    PutBigEndian32(h + 4, width);
    PutBigEndian32(h + 8, height);
    PutBigEndian32(h + 12, depth);
    PutBigEndian32(h + 16, static_cast<uint32_t>(rowBytes * height));
    PutBigEndian32(h + 20, kStandard);
    PutBigEndian32(h + 24, kNoMap);
    PutBigEndian32(h + 28, 0);
    Put(stream, h, sizeof h);

    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            if (channels == 1) {
                row[x] = static_cast<uint8_t>(image.components[0].Row(y)[x]);
            } else {
                for (size_t c = 0; c < 3; ++c)
                    row[static_cast<size_t>(x) * 3 + 2 - c] =
                        static_cast<uint8_t>(image.components[c].Row(y)[x]);
            }
        }
        Put(stream, row.data(), row.size());
    }
}

}  // namespace jas
