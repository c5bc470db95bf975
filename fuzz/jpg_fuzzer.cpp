// libFuzzer target for the JPEG decoder, the EXIF scan that runs before it and, for files
// with EXIF, the re-insertion of the EXIF sections by the encoder of the same object.
#include <cstdint>
#include <vector>

#include "fuzz_cap.h"
#include "jpg.h"
#include "picture.h"
#include "stream.h"

namespace {

// The last byte of a real file is the end-of-image code 0xD9; any other value also picks a
// scale and decoder options, so that scaling, greyscale output and quantisation get fuzzed.
void Knobs(Picture& pic, uint8_t knob) {
    if (knob == 0xD9) return;
    pic.SetJpegScale(static_cast<uint8_t>(1u << (knob & 3)));
    constexpr uint32_t kOptions[] = {0, JpegOption::GreyscaleOutput, JpegOption::Quantize,
                                     JpegOption::Quantize | JpegOption::OnePass | JpegOption::Dither,
                                     JpegOption::NoFancyUpsampling};
    pic.SetCodecOption(kOptions[(knob >> 2) % 5], ImageFormat::Jpg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > (1u << 24)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    const uint8_t knob = size ? data[size - 1] : 0;

    {
        // Dimensions first, as a caller measuring a page asks for them.
        MemoryStream ms(bytes.data(), static_cast<int32_t>(bytes.size()));
        Picture probe;
        probe.SetEscape(-1);
        Knobs(probe, knob);
        probe.Decode(&ms, ImageFormat::Jpg);
    }

    MemoryStream ms(bytes.data(), static_cast<int32_t>(bytes.size()));
    PictureJPG pic;
    Knobs(pic, knob);
    if (!pic.Decode(&ms)) return 0;

    // Touch every pixel.
    MemoryStream bmp;
    bmp.Open();
    static_cast<Picture&>(pic).Encode(&bmp, ImageFormat::Bmp);

    if (pic.exifInfo.isExif && static_cast<uint64_t>(pic.GetWidth()) * pic.GetHeight() <= (1u << 16)) {
        MemoryStream jpeg;
        jpeg.Open();
        pic.Encode(&jpeg);
    }
    return 0;
}
