// Windows icon and cursor files: a directory of images, each a DIB with doubled height
// followed by a 1-bit AND mask that marks the transparent pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "picture.h"

class PictureICO : public Picture {
   public:
    PictureICO() : Picture(ImageFormat::Ico) {}
    // Reads the image numbered `frame` (from 0); the AND mask becomes transparency.
    bool Decode(ByteStream* stream);
    // Writes a single-image icon of at most 255 x 255 pixels.
    bool Encode(ByteStream* stream);

   private:
    void ApplyMask(const std::vector<uint8_t>& mask, uint32_t maskRowBytes, uint16_t bitCount);
};
