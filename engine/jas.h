// JPEG 2000 files (JP2) and code streams (JPC), PGX, PNM and Sun raster: five format ids
// served by one codec. Decoding finds the format of the data itself, whatever id it is
// given; the id only becomes the picture's type. Encoding writes the format the id names.
#pragma once

#include <cstdint>

#include "picture.h"

namespace jas {
struct Component;
}

class PictureJAS : public Picture {
   public:
    PictureJAS() : Picture(ImageFormat::Unknown) {}
    bool Decode(ByteStream* stream, uint32_t imageType);
    bool Encode(ByteStream* stream, uint32_t imageType);

   private:
    // Gives the picture an alpha plane from a component of its size, top row first.
    void SetOpacity(const jas::Component& opacity);
};
