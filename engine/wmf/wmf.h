// Windows metafiles (with the 22-byte placeable header) and enhanced metafiles, played
// into a 24-bit picture at 96 pixels per inch on the window background colour. Metafiles
// are read only.
#pragma once

#include "picture.h"

class PictureWMF : public Picture {
   public:
    PictureWMF() : Picture(ImageFormat::Wmf) {}
    // The dispatch decodes at the metafile's own size.
    bool Decode(ByteStream* stream) { return Decode(stream, 0, 0); }
    // A forced width or height that is not 0 replaces the one the metafile gives.
    bool Decode(ByteStream* stream, uint32_t forcedWidth, uint32_t forcedHeight);
    bool Encode(ByteStream* stream);
};
