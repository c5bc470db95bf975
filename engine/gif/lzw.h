// GIF image data as stored: a minimum code size byte, then LZW codes packed least
// significant bit first into data sub-blocks (a length byte 1 to 255 and that many bytes),
// ended by a zero length byte.
#pragma once

#include <cstdint>
#include <vector>

class ByteStream;

// The GIF codec's own pieces, not part of the engine's face.
namespace gif {

// Reads image data ahead of the decoder through a buffer, and afterwards puts the stream
// back at the first byte nobody used.
class GifBlockReader {
   public:
    explicit GifBlockReader(ByteStream* stream) : stream_(stream) {}

    // A new frame: nothing is buffered yet.
    void Start();
    // The next byte, or -1 at the end of the data.
    int Byte();
    // Skips data sub-blocks up to and including the zero length byte that ends them, and
    // returns the bytes they held (their length bytes not counted).
    uint64_t SkipSubBlocks();
    // Moves the stream to the first byte not taken from the buffer.
    void Finish();

   private:
    static constexpr int32_t kBufferSize = 16384;

    bool Skip(int32_t n);

    ByteStream* stream_;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kBufferSize);
    int32_t position_ = kBufferSize;
    int32_t fill_ = 0;
    int32_t chunk_ = 0;
    bool filled_ = false;
};

// Receives decoded lines, one palette index per byte; a negative result ends the frame.
class LzwLineSink {
   public:
    virtual ~LzwLineSink() = default;
    virtual int Line(uint8_t* pixels, int32_t count) = 0;
};

class LzwDecoder {
   public:
    static constexpr int kCodeSizeOutOfRange = -20;
    static constexpr int kNoLineBuffer = -10;
    static constexpr int kBrokenChain = -30;

    // Decodes one frame into lines of lineLength pixels. Returns 0, or a negative code;
    // truncated data is not a failure: the frame keeps what was decoded.
    int Decode(GifBlockReader& in, int32_t lineLength, LzwLineSink& sink);

    // Whether the frame held codes past the next free table entry.
    bool MetBadCodes() const { return badCodes_; }
    // Whether decoding read the zero length byte that ends the sub-blocks; otherwise the
    // reader stands on the length byte of the next sub-block not used.
    bool ReachedTerminator() const { return terminator_; }

   private:
    static constexpr int kTableSize = 4096;
    static constexpr int kEndOfBlocks = -1000;

    int NextByte(GifBlockReader& in);
    int FetchCode(GifBlockReader& in);
    bool Push(int value);
    int EmitStack(LzwLineSink& sink);

    int codeSize_ = 0, clearCode_ = 0, endCode_ = 0, firstFree_ = 0, nextFree_ = 0, codeLimit_ = 0;
    int bytesLeft_ = 0, bitsLeft_ = 0, currentByte_ = 0, blockPosition_ = 0;
    bool badCodes_ = false;
    bool terminator_ = false;
    uint8_t block_[257] = {};
    int stackTop_ = 0;
    uint8_t stack_[kTableSize] = {};
    uint8_t suffix_[kTableSize] = {};
    uint16_t prefix_[kTableSize] = {};
    std::vector<uint8_t> line_;
    int32_t lineLength_ = 0, lineFill_ = 0;
};

}  // namespace gif
