// The bytes that introduce GIF blocks and the flag bits both directions of the codec use.
#pragma once

#include <cstdint>

namespace gifblock {

constexpr uint8_t kExtension = 0x21;  // '!'
constexpr uint8_t kImage = 0x2C;      // ','
constexpr uint8_t kTrailer = 0x3B;    // ';'

// Extension labels.
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kComment = 0xFE;
constexpr uint8_t kApplication = 0xFF;

// Screen and image descriptor flags: a colour table follows (its size 2^(n+1) in bits 0 to
// 2), and the image's rows come in interlace passes.
constexpr uint8_t kTablePresent = 0x80;
constexpr uint8_t kInterlaced = 0x40;

}  // namespace gifblock
