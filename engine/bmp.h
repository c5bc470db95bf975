// Windows and OS/2 device-independent bitmaps, with or without the 14-byte file header.
#pragma once

#include "picture.h"

class PictureBMP : public Picture {
public:
    PictureBMP() : Picture(ImageFormat::Bmp) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);

private:
    void DecodeRle8(ByteStream* stream);
    void DecodeRle4(ByteStream* stream);
};
