// Feeds arbitrary bytes to the WBMP decoder; a picture that decodes is written as BMP, which
// reads every pixel, and as WBMP again when it is small enough.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 24) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    const int32_t length = static_cast<int32_t>(size);

    // The sizes come first; a picture of more than 2^24 pixels is not decoded.
    Picture probe;
    probe.SetEscape(-1);
    MemoryStream probeIn(bytes.data(), length);
    if (probe.Decode(&probeIn, ImageFormat::Wbmp) &&
        static_cast<uint64_t>(probe.GetWidth()) * probe.GetHeight() > (1u << 24))
        return 0;

    Picture picture;
    MemoryStream in(bytes.data(), length);
    if (!picture.Decode(&in, ImageFormat::Wbmp)) return 0;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream wbmp;
    wbmp.Open();
    picture.Encode(&wbmp, ImageFormat::Wbmp);
    return 0;
}
