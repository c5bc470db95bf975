// Windows and OS/2 device-independent bitmaps, with or without the 14-byte file header.
#pragma once

#include "picture.h"

class PictureBMP : public Picture {
   public:
    PictureBMP() : Picture(ImageFormat::Bmp) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);

   private:
    void DecodeBitfields(ByteStream* stream, uint32_t pixelBytes, uint32_t redMask, uint32_t greenMask,
                         uint32_t blueMask, uint32_t alphaMask);
    void DecodeRle8(ByteStream* stream);
    void DecodeRle4(ByteStream* stream);
};
