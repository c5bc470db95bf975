// libFuzzer target for the TGA decoder: the request for the sizes only (which it cancels),
// then a real decode. Every decoded picture is written out again, which reads every pixel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size == 0 || size > (1u << 30)) return 0;
    std::vector<uint8_t> block(data, data + size);  // the stream views a writable block
    MemoryStream input(block.data(), static_cast<int32_t>(block.size()));

    Picture measured;
    measured.SetEscape(-1);
    measured.Decode(&input, ImageFormat::Tga);

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
