// PNG over the system's libpng: every page of a book is written by this encoder.
#pragma once

#include "picture.h"

// The PNG codec option (GetCodecOption(ImageFormat::Png)): 1 when the picture came from an
// Adam7-interlaced file and is to be written interlaced again, 0 otherwise.
class PicturePNG : public Picture {
   public:
    PicturePNG() : Picture(ImageFormat::Png) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);
};
