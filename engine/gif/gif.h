// GIF (87a and 89a): a logical screen, an optional global colour table, then blocks —
// extensions ('!'), images (',') and the trailer (';'). Decoding composes the requested
// frame over the frames before it; encoding writes one frame with a global table for
// palette pictures and a mosaic of small frames with local tables for 24-bit pictures.
#pragma once

#include <cstdint>

#include "picture.h"

class ByteStream;

namespace gif {
class GifDecoder;
}

// A colour table entry as the file stores it.
struct rgb_color {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

class PictureGIF : public Picture {
   public:
    PictureGIF() : Picture(ImageFormat::Gif) {}
    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);

    // What the blocks read by the last decode said; the encoder writes the comment and the
    // disposal method back out.
    const char* GetComment() const { return comment; }
    void SetComment(const char* text);
    int32_t GetLoops() const { return loops; }
    int32_t GetDisposalMethod() const { return disposalMethod; }
    void SetDisposalMethod(int32_t method) { disposalMethod = method; }

    // The graphic control block: flags (bit 0 transparent index valid, bits 2 to 4 the
    // disposal method), delay in 1/100 s, transparent index.
    struct GraphicControl {
        uint8_t flags;
        uint16_t delay;
        uint8_t transIndex;
    };
    GraphicControl gifgce{};

   private:
    friend class gif::GifDecoder;

    void WriteHeader(ByteStream* stream) const;
    void WriteGraphicControl(ByteStream* stream);
    void WriteComment(ByteStream* stream) const;
    void WriteImage(ByteStream* stream, bool localTable);
    void WriteMosaic(ByteStream* stream);

    char comment[256] = {};
    int32_t loops = 0;
    int32_t disposalMethod = 0;
};
