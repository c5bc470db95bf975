// Truevision TGA: colour-mapped, true-colour and grey images, uncompressed or run-length
// encoded, 8, 15, 16, 24 or 32 bits a pixel; written as 8-, 24- or 32-bit uncompressed files.
#pragma once

#include "picture.h"

class PictureTGA : public Picture {
   public:
    PictureTGA() : Picture(ImageFormat::Tga) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);
};
