// libFuzzer target for the ICO decoder: the first image, then the last one the directory
// lists; every decoded picture is written out again, which reads every pixel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format.h"
#include "fuzz_cap.h"
#include "picture.h"
#include "stream.h"

namespace {

void DecodeFrame(std::vector<uint8_t>& block, int32_t frame, int32_t* frameCount) {
    MemoryStream input(block.data(), static_cast<int32_t>(block.size()));
    Picture measured;
    measured.SetEscape(-1);
    measured.SetFrame(frame);
    measured.Decode(&input, ImageFormat::Ico);

    input.Seek(0, 0);
    Picture picture;
    picture.SetFrame(frame);
    const bool ok = picture.Decode(&input, ImageFormat::Ico);
    *frameCount = picture.GetFrameCount();
    if (!ok || !picture.IsValid()) return;
    MemoryStream bmp;
    bmp.Open();
    picture.Encode(&bmp, ImageFormat::Bmp);
    MemoryStream ico;
    ico.Open();
    picture.Encode(&ico, ImageFormat::Ico);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size == 0 || size > (1u << 30)) return 0;
    std::vector<uint8_t> block(data, data + size);  // the stream views a writable block
    int32_t frameCount = 0;
    DecodeFrame(block, 0, &frameCount);
    if (frameCount > 1) DecodeFrame(block, frameCount - 1, &frameCount);
    return 0;
}
