// Decodes arbitrary bytes with one format id (PANELLE_FUZZ_FORMAT, an ImageFormat id; the
// Unknown id runs detection over every codec), first with the request for the sizes only
// (not under detection, where codecs that do not honour it would decode everything twice),
// then for the picture. Every decoded picture is encoded as BMP and decoded again: that reads every byte of
// the pixel block and checks that the BMP encoder and decoder agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

#ifndef PANELLE_FUZZ_FORMAT
#error "PANELLE_FUZZ_FORMAT must name the ImageFormat id to decode with"
#endif

namespace {

constexpr uint32_t kFormat = PANELLE_FUZZ_FORMAT;

void Check(bool condition) {
    if (!condition) std::abort();
}

void Measure(std::vector<uint8_t>& input) {
    MemoryStream stream(input.data(), static_cast<int32_t>(input.size()));
    Picture probe;
    probe.SetEscape(-1);
    probe.Decode(&stream, kFormat);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > INT32_MAX) return 0;
    // The decoders read through a stream over an exact-size copy: a read past the end of
    // the input is then a heap overflow that the address sanitizer reports.
    std::vector<uint8_t> input(data, data + size);
    if (kFormat != ImageFormat::Unknown) Measure(input);

    MemoryStream stream(input.data(), static_cast<int32_t>(input.size()));
    Picture picture;
    // Some codecs accept a file that holds no pixels (an icon of width 0).
    if (!picture.Decode(&stream, kFormat) || !picture.IsValid()) return 0;

    MemoryStream encoded;
    Check(encoded.Open());
    Check(picture.Encode(&encoded, ImageFormat::Bmp));
    Check(encoded.Seek(0, 0));
    Picture again;
    Check(again.Decode(&encoded, ImageFormat::Bmp));
    Check(again.GetWidth() == picture.GetWidth() && again.GetHeight() == picture.GetHeight() &&
          again.GetBpp() == picture.GetBpp() && again.GetNumColors() == picture.GetNumColors());
    for (uint32_t i = 0; i < picture.GetNumColors() && i < 256; ++i) {
        const RGBQUAD a = picture.GetPaletteColor(static_cast<uint8_t>(i));
        const RGBQUAD b = again.GetPaletteColor(static_cast<uint8_t>(i));
        Check(a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed);
    }
    Check(std::memcmp(picture.GetBits(0), again.GetBits(0), picture.header.biSizeImage) == 0);
    return 0;
}
