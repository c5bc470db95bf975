// libFuzzer target for the PNG decoder, and for the encoder on what it decodes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "png.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > 0x7FFFFFFF) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    const auto length = static_cast<int32_t>(size);

    // The measuring pass: the PNG decoder fails it, but its codec object keeps the size it
    // read.
    {
        PicturePNG probe;
        probe.SetEscape(-1);
        MemoryStream stream(bytes.data(), length);
        probe.Decode(&stream);
    }

    Picture picture;
    MemoryStream stream(bytes.data(), length);
    if (!picture.Decode(&stream, ImageFormat::Png)) return 0;

    // Every pixel is touched by writing the picture out; small ones go through the PNG
    // encoder too, which may move a transparent palette entry.
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    if (static_cast<uint64_t>(picture.GetWidth()) * picture.GetHeight() <= (1u << 16)) {
        MemoryStream png;
        png.Open();
        picture.Encode(&png, ImageFormat::Png);
    }
    return 0;
}
