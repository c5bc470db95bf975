// libFuzzer target for the TGA decoder. The decoder gives no dimension-only answer (a
// measure request is cancelled), so the size is also taken from the header here before a
// real decode. Every decoded picture is written out again, which reads every pixel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"

namespace {

constexpr uint64_t kMaxPixels = 1u << 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 30)) return 0;
    std::vector<uint8_t> block(data, data + size);  // the stream views a writable block
    MemoryStream input(block.data(), static_cast<int32_t>(block.size()));

    Picture measured;
    measured.SetEscape(-1);
    if (measured.Decode(&input, ImageFormat::Tga) &&
        static_cast<uint64_t>(measured.GetWidth()) * measured.GetHeight() > kMaxPixels)
        return 0;
    if (size >= 18) {
        const uint64_t width = data[12] | (data[13] << 8), height = data[14] | (data[15] << 8);
        if (width * height > kMaxPixels) return 0;
    }

    input.Seek(0, 0);
    Picture picture;
    if (!picture.Decode(&input, ImageFormat::Tga)) return 0;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream tga;
    tga.Open();
    picture.Encode(&tga, ImageFormat::Tga);
    return 0;
}
