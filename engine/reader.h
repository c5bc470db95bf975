// Bounded reading over a ByteStream, shared by the engine's own codecs. Every field goes
// through one reader that fails on a short read, so a decoder reads as a list of checked
// reads in the order the format lays them out.
#pragma once

#include <cstdint>

#include "codec.h"
#include "stream.h"

namespace codec {

class Reader {
   public:
    explicit Reader(ByteStream* stream) : stream_(stream) {}

    // Reads exactly n bytes or fails with the given text.
    void Bytes(void* dest, uint32_t n, const char* failure) {
        if (n && stream_->Read(dest, 1, n) != n) Fail(failure);
    }
    uint8_t U8(const char* failure) {
        uint8_t b;
        Bytes(&b, 1, failure);
        return b;
    }
    uint16_t U16(const char* failure) {
        uint8_t b[2];
        Bytes(b, 2, failure);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }
    uint32_t U32(const char* failure) {
        uint8_t b[4];
        Bytes(b, 4, failure);
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    int32_t S32(const char* failure) { return static_cast<int32_t>(U32(failure)); }

    // Reads up to n bytes; returns how many arrived.
    uint32_t Some(void* dest, uint32_t n) { return n ? stream_->Read(dest, 1, n) : 0; }

    // Bytes left between the current position and the end, or -1 when unknown.
    int64_t Remaining() {
        const int32_t size = stream_->Size(), pos = stream_->Tell();
        if (size < 0 || pos < 0) return -1;
        return size > pos ? size - pos : 0;
    }

    // Skips n bytes forward; a skip past the end leaves the stream at its end.
    void Skip(uint64_t n) {
        if (n == 0) return;
        const int64_t left = Remaining();
        if (left >= 0 && n > static_cast<uint64_t>(left)) n = static_cast<uint64_t>(left);
        while (n > 0) {
            const int32_t step = n > 0x40000000 ? 0x40000000 : static_cast<int32_t>(n);
            if (!stream_->Seek(step, 1)) return;
            n -= static_cast<uint64_t>(step);
        }
    }

    ByteStream* stream() const { return stream_; }

   private:
    ByteStream* stream_;
};

// Little-endian field writers for the encoders.
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace codec
