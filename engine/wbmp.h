// WBMP type 0: uncompressed 1-bit wireless bitmaps for small phone screens.
#pragma once

#include "picture.h"

class PictureWBMP : public Picture {
   public:
    PictureWBMP() : Picture(ImageFormat::Wbmp) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);
};
