// libFuzzer target for the TIFF decoder: a measuring pass first, then real decoding of the
// first page and of a page chosen by the input itself, every pixel touched by re-encoding
// as BMP, and a TIFF re-encode of what was decoded.
#include <cstddef>
#include <cstdint>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

namespace {

// A measuring pass over one page; it also reports how many pages there are.
void Measure(const uint8_t* data, size_t size, int32_t frame, int32_t* pages) {
    MemoryStream input(const_cast<uint8_t*>(data), static_cast<int32_t>(size));
    Picture probe;
    probe.SetFrame(frame);
    probe.SetEscape(-1);
    if (probe.Decode(&input, ImageFormat::Tif)) *pages = probe.GetFrameCount();
}

void DecodePage(const uint8_t* data, size_t size, int32_t frame) {
    int32_t pages = 0;
    Measure(data, size, frame, &pages);
    MemoryStream input(const_cast<uint8_t*>(data), static_cast<int32_t>(size));
    Picture picture;
    picture.SetFrame(frame);
    if (!picture.Decode(&input, ImageFormat::Tif)) return;

    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream tif;
    tif.Open();
    picture.Encode(&tif, ImageFormat::Tif);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size == 0 || size > (1u << 30)) return 0;
    int32_t pages = 0;
    Measure(data, size, 0, &pages);
    DecodePage(data, size, 0);
    // Another page, picked by the last byte, so that multi-page inputs reach their frames.
    if (pages > 1) DecodePage(data, size, data[size - 1] % pages);
    return 0;
}
