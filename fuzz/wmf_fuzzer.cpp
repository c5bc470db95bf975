// Metafiles have no answer with the sizes alone (a request for them cancels), and a few
// bytes may ask for a 4000 x 4000 picture, so every input is decoded at a forced size of
// 160 x 120: the headers are read and checked as at the metafile's own size, and the
// player meets the same records. A decoded picture is written as BMP, which reads every
// pixel, and saving it as WMF must fail.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"
#include "wmf/wmf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > 1u << 24) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    MemoryStream in(bytes.data(), static_cast<int32_t>(size));
    PictureWMF decoder;
    if (!decoder.Decode(&in, 160, 120)) return 0;
    Picture& picture = decoder;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream wmf;
    wmf.Open();
    if (picture.Encode(&wmf, ImageFormat::Wmf)) __builtin_trap();
    return 0;
}
