// Reference pixels that independent tools write as netpbm files: PBM (P4), PGM (P5), PPM (P6)
// and PAM (P7), the last three with a maxval of 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"

namespace testsupport {

// One picture, top row first, `channels` samples a pixel in the file's order (grey; grey and
// alpha; red, green, blue; red, green, blue and alpha; ...). PBM's bits become grey samples,
// 0 for a set (black) bit and 255 for a clear one. channels is 0 when nothing was read.
struct Netpbm {
    uint32_t width = 0, height = 0, channels = 0;
    std::string tupleType;  // PAM's TUPLTYPE, empty for the other kinds
    Bytes samples;
    const uint8_t* Pixel(uint32_t x, uint32_t yFromTop) const {
        return &samples[(static_cast<size_t>(yFromTop) * width + x) * channels];
    }
};

// Reads the picture that starts at `pos` and moves `pos` past it; false at the end of the
// data, on another maxval and on a raster shorter than the header says.
bool ParseNetpbm(const Bytes& data, size_t& pos, Netpbm& out);

// The one picture the bytes hold, or an empty one (channels 0) when they hold anything else,
// trailing bytes included.
Netpbm ParseNetpbm(const Bytes& data);
Netpbm ReadNetpbm(const std::string& path);

// Every picture of a file that holds several one after the other (giftopnm writes one for
// each image of a GIF); reading stops at the first that cannot be read.
std::vector<Netpbm> ReadNetpbms(const std::string& path);

}  // namespace testsupport
