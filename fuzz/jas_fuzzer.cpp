// libFuzzer target for JPEG 2000, PGX, PNM and Sun raster (ids 11 to 15, one codec). The
// last byte picks the id the rest is decoded with: 0, detection, which reaches this codec
// last through the Jp2 row, or 11 to 15, each of which reads any of the five formats (the
// seeds are whole files with that byte appended, so the detect target reads them too). Under
// id 0 only data that starts with one of the five signatures is tried, so that the time goes
// to these formats rather than to the codecs detection runs first (the detect target
// fuzzes those).
//
// The codec does not answer measuring requests, so there is no measuring pass: the low
// picture cap bounds the work. A decoded picture is written as BMP, which reads every
// pixel, and when small also in the format the last byte names, which runs the encoders
// over whatever the decoders made.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "jas_image.h"
#include "picture.h"
#include "stream.h"

namespace {

constexpr uint32_t kIds[] = {ImageFormat::Unknown, ImageFormat::Jp2, ImageFormat::Jpc,
                             ImageFormat::Pgx,     ImageFormat::Pnm, ImageFormat::Ras};
constexpr uint64_t kMostPixelsToEncode = uint64_t{1} << 16;

bool HasSignature(const uint8_t* data, size_t size) {
    return jas::IsJp2(data, size) || jas::IsJpc(data, size) || jas::IsPgx(data, size) ||
           jas::IsPnm(data, size) || jas::IsRas(data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size < 1 || size > (1u << 24)) return 0;
    const uint8_t selector = data[size - 1];
    const uint32_t id = kIds[selector % 6];
    // The decoders read through a stream over an exact-size copy, so that a read past the
    // end is a heap overflow the address sanitizer reports.
    std::vector<uint8_t> input(data, data + size - 1);
    if (id == ImageFormat::Unknown && !HasSignature(input.data(), input.size())) return 0;

    MemoryStream in(input.data(), static_cast<int32_t>(input.size()));
    Picture picture;
    picture.SetFrame(selector >> 6);  // frames 0 to 3 of images that are not three colours
    if (!picture.Decode(&in, id)) return 0;

    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    if (static_cast<uint64_t>(picture.GetWidth()) * picture.GetHeight() <= kMostPixelsToEncode) {
        MemoryStream again;
        again.Open();
        picture.Encode(&again, ImageFormat::Jp2 + (selector / 6) % 5);
    }
    return 0;
}
