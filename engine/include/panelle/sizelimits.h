// Every limit the engine puts on what a file may make it allocate, in one place. A decoder
// compares what a header declares with what its stream can still deliver (CanHold, MostFromRuns)
// and with the picture cap (FitsPictureCap) before it creates anything.
#pragma once

#include <cstdint>

// The largest pixel block (rows of one picture, or one plane, or one decoder's work buffer)
// the engine allocates. The program may lower or raise it; tests and fuzz targets lower it.
constexpr uint64_t kDefaultPictureCap = uint64_t{1} << 30;  // 1 GiB
uint64_t GetPictureCap();
void SetPictureCap(uint64_t bytes);

// Bytes of the packed rows (padded to 4 bytes) of a width x height picture at bpp bits.
constexpr uint64_t PackedRowsSize(uint64_t width, uint64_t height, uint64_t bpp) {
    return (bpp * width + 31) / 32 * 4 * height;
}

// True when a picture of that size fits the cap; width and height up to 2^32 each cannot
// overflow here since the row arithmetic runs in 128 bits.
bool FitsPictureCap(uint64_t width, uint64_t height, uint64_t bpp);

// Largest number of pixels (or samples) a format's encoding can produce per byte of input.
// A file whose remaining bytes, multiplied by the format's bound, cannot fill the picture it
// declares is refused before anything is allocated.
constexpr uint64_t kRle8PixelsPerByte = 128;  // BMP RLE8/RLE4: a 2-byte run gives up to 255
// GIF: a code gives at most 4096 pixels, and a string grows by at most one pixel per code read
// since the last clear, so only 12-bit codes reach long strings: 4096 pixels per 12 bits.
constexpr uint64_t kLzwPixelsPerByte = (4096 * 8 + 11) / 12;
constexpr uint64_t kPackBitsBytesPerByte = 64;  // PackBits: a 2-byte packet gives <= 128 bytes

// Run-length formats whose largest run is not a whole number of units per byte: a run of
// bytesPerRun input bytes gives at most unitsPerRun pixels (or bytes).
struct RunBound {
    uint64_t unitsPerRun;
    uint64_t bytesPerRun;
};
constexpr RunBound kBmpRleRun{255, 2};      // BMP RLE8/RLE4: a count byte and a value
constexpr RunBound kPcxRun{63, 2};          // PCX: a count byte (low six bits) and a value
constexpr uint64_t kTgaPacketPixels = 128;  // TGA: a packet is 1 byte and one pixel value

// The most units `available` bytes of such runs can produce; a trailing partial run is
// counted as a whole one, so that the bound never refuses a file it should take.
constexpr uint64_t MostFromRuns(uint64_t available, RunBound run) {
    return (available / run.bytesPerRun + (available % run.bytesPerRun ? 1 : 0)) * run.unitsPerRun;
}

// True when `available` input bytes can produce `needed` output units at `perByte` each.
constexpr bool CanHold(uint64_t available, uint64_t needed, uint64_t perByte) {
    return available >= (needed + perByte - 1) / perByte;
}
