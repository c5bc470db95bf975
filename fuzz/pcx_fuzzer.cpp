// Feeds arbitrary bytes to the PCX decoder; a picture that decodes is written as BMP, which
// reads every pixel, and as PCX again, which runs the encoder over what the decoder made.
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

    // PCX answers a dimensions-only request with "Cancelled"; the pass is kept so that the
    // request itself is exercised. Decoding allocates no more than the data can fill.
    Picture probe;
    probe.SetEscape(-1);
    MemoryStream probeIn(bytes.data(), length);
    if (probe.Decode(&probeIn, ImageFormat::Pcx) &&
        static_cast<uint64_t>(probe.GetWidth()) * probe.GetHeight() > (1u << 24))
        return 0;

    Picture picture;
    MemoryStream in(bytes.data(), length);
    if (!picture.Decode(&in, ImageFormat::Pcx)) return 0;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream pcx;
    pcx.Open();
    picture.Encode(&pcx, ImageFormat::Pcx);
    return 0;
}
