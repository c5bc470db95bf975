// Decodes arbitrary bytes with one format id (PANELLE_FUZZ_FORMAT, an ImageFormat id; the
// Unknown id runs detection over every codec). A measuring pass comes first, so that
// pictures legitimately too large to decode quickly are skipped rather than allocated.
// Every decoded picture is encoded as BMP and decoded again: that reads every byte of the
// pixel block and checks that the BMP encoder and decoder agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "picture.h"
#include "stream.h"

#ifndef PANELLE_FUZZ_FORMAT
#error "PANELLE_FUZZ_FORMAT must name the ImageFormat id to decode with"
#endif

namespace {

constexpr uint32_t kFormat = PANELLE_FUZZ_FORMAT;
constexpr uint64_t kMostPixels = uint64_t{1} << 24;

void Check(bool condition) {
    if (!condition) std::abort();
}

// Whether a decode of these bytes may build a picture too large to fuzz quickly.
bool TooLarge(std::vector<uint8_t>& input) {
    MemoryStream stream(input.data(), static_cast<int32_t>(input.size()));
    Picture probe;
    probe.SetEscape(-1);
    if (probe.Decode(&stream, kFormat) &&
        static_cast<uint64_t>(probe.GetWidth()) * probe.GetHeight() > kMostPixels)
        return true;
    // TGA has no signature, so detection may reach it, and it answers a measuring request
    // by cancelling: its header's size (bytes 12 to 15) is checked here instead.
    if (kFormat == ImageFormat::Unknown && input.size() >= 18) {
        const uint64_t width = input[12] | (input[13] << 8), height = input[14] | (input[15] << 8);
        if (width * height > kMostPixels) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    // The decoders read through a stream over an exact-size copy: a read past the end of
    // the input is then a heap overflow that the address sanitizer reports.
    std::vector<uint8_t> input(data, data + size);
    if (TooLarge(input)) return 0;

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
