// PCX: run-length encoded pictures of 1 to 4 planes, packed or planar pixels.
#pragma once

#include "picture.h"

class PicturePCX : public Picture {
   public:
    PicturePCX() : Picture(ImageFormat::Pcx) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);
};
