// The three ways the encoder produces GIF image data from palette indexes: LZW
// compression, uncompressed codes (one code per pixel, with the code width growing as a
// decoder's table does), and run-length codes (runs expressed through the entries a decoder
// builds for a repeated pixel). Every result is ordinary LZW data that any reader decodes.
#pragma once

#include <cstdint>

class ByteStream;

// The GIF codec's own pieces, not part of the engine's face.
namespace gif {

// Pixels in the order they are coded; -1 after the last.
class GifPixelSource {
   public:
    virtual ~GifPixelSource() = default;
    virtual int Next() = 0;
};

// The data sub-blocks that follow the minimum code size byte, without the zero length
// byte that ends them. initialWidth is the minimum code size + 1. The LZW and uncompressed
// coders flush the stream at the end and return false when it reports an error.
bool WriteLzwCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth);
bool WriteUncompressedCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth);
void WriteRunLengthCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth);

}  // namespace gif
