// libFuzzer target for the GIF decoder. Each input is measured first; frame 0 and a frame
// picked by the data are decoded, every
// pixel is touched by encoding as BMP, and palette pictures must survive a GIF round trip
// through our own encoder (with the coder the data picks) unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

namespace {

// Output streams get their whole room up front: a memory stream grows its block only 4096
// bytes at a time, which makes writing megabytes quadratic.
class Sink {
   public:
    explicit Sink(uint64_t room)
        : stream(static_cast<uint8_t*>(std::malloc(room)), static_cast<int32_t>(room)) {}
    ~Sink() { std::free(stream.GetBuffer(true)); }
    MemoryStream stream;
};

bool DecodeFrame(std::vector<uint8_t>& bytes, Picture& picture, int32_t frame) {
    MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
    picture.SetFrame(frame);
    return picture.Decode(&in, ImageFormat::Gif);
}

void RoundTrip(Picture& picture, uint32_t coder) {
    const uint32_t width = picture.GetWidth(), height = picture.GetHeight();
    // True-colour pictures become tiles of 17 x 15; a picture only one tile wide or high
    // (but not both) reads back as its first tile.
    if (picture.GetBpp() > 8 && (width > 17) != (height > 15)) return;
    if (uint64_t{width} * height > (1u << 16)) return;  // keeps the fuzzer quick
    picture.SetCodecOption(coder, ImageFormat::Gif);
    Sink out(8 * uint64_t{width} * height + 4096);
    if (!picture.Encode(&out.stream, ImageFormat::Gif)) __builtin_trap();
    std::vector<uint8_t> encoded(out.stream.buffer, out.stream.buffer + out.stream.Tell());
    Picture back;
    if (!DecodeFrame(encoded, back, 0)) __builtin_trap();
    if (back.GetWidth() != width || back.GetHeight() != height) __builtin_trap();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int32_t px = static_cast<int32_t>(x), py = static_cast<int32_t>(y);
            if (picture.GetBpp() <= 8) {
                if (back.GetPixelIndex(px, py) != picture.GetPixelIndex(px, py)) __builtin_trap();
            } else {
                const RGBQUAD a = back.GetPixelColor(px, py, false), b = picture.GetPixelColor(px, py, false);
                if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue)
                    __builtin_trap();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > (1u << 24)) return 0;
    std::vector<uint8_t> bytes(data, data + size);

    {
        Picture probe;
        probe.SetEscape(-1);
        MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
        probe.Decode(&in, ImageFormat::Gif);
    }

    const int32_t picked = size > 0 ? data[size / 2] % 8 : 0;
    for (int32_t frame : {0, picked}) {
        Picture picture;
        if (!DecodeFrame(bytes, picture, frame)) continue;
        Sink bmp(uint64_t{picture.GetSize()} + 4096);
        picture.Encode(&bmp.stream, ImageFormat::Bmp);
        if (frame == 0) RoundTrip(picture, static_cast<uint32_t>(size % 3));
        if (picked == 0 || picked >= picture.GetFrameCount()) break;
    }
    return 0;
}
