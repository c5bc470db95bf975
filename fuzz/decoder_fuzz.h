// The body of a decoder's fuzz target: arbitrary bytes go to the decoder of one format,
// first with the request for the sizes only, then for the picture; a picture that decodes
// is written as BMP, which reads every pixel, and in its own format again, which runs the
// encoder over what the decoder made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

inline int FuzzDecoder(const uint8_t* data, size_t size, uint32_t format) {
    UseFuzzPictureCap();
    if (size > 1u << 24) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    const int32_t length = static_cast<int32_t>(size);

    Picture probe;
    probe.SetEscape(-1);
    MemoryStream probeIn(bytes.data(), length);
    probe.Decode(&probeIn, format);

    Picture picture;
    MemoryStream in(bytes.data(), length);
    if (!picture.Decode(&in, format)) return 0;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream again;
    again.Open();
    picture.Encode(&again, format);
    return 0;
}
