// Reading GIF image data: the block buffer ahead of the stream, and the LZW decoder whose
// string table is kept as a prefix code and a suffix byte per entry.
#include "lzw.h"

#include <algorithm>
#include <new>

#include "stream.h"

namespace gif {

// ---- block reader -----------------------------------------------------------------------

void GifBlockReader::Start() {
    position_ = kBufferSize;
    fill_ = 0;
    filled_ = false;
    // Small frames are common: the first read is short and later ones grow, up to the
    // 16383 bytes the buffer takes at a time.
    chunk_ = 512;
}

int GifBlockReader::Byte() {
    if (position_ >= fill_) {
        if (filled_ && fill_ < chunk_) return -1;  // the stream ended inside the last read
        if (filled_) chunk_ = std::min(chunk_ * 2, kBufferSize - 1);
        fill_ = static_cast<int32_t>(stream_->Read(buffer_.data(), 1, static_cast<uint32_t>(chunk_)));
        position_ = 0;
        filled_ = true;
        if (fill_ <= 0) return -1;
    }
    return buffer_[position_++];
}

bool GifBlockReader::Skip(int32_t n) {
    while (n > 0) {
        if (position_ >= fill_) {
            if (Byte() < 0) return false;
            --n;
            continue;
        }
        const int32_t step = std::min(n, fill_ - position_);
        position_ += step;
        n -= step;
    }
    return true;
}

uint64_t GifBlockReader::SkipSubBlocks() {
    uint64_t total = 0;
    for (;;) {
        const int length = Byte();
        if (length <= 0) return total;
        if (!Skip(length)) return total;
        total += static_cast<uint64_t>(length);
    }
}

void GifBlockReader::Finish() {
    if (filled_ && fill_ > position_) stream_->Seek(position_ - fill_, 1);
}

// ---- LZW decoder ------------------------------------------------------------------------

// The next byte of the data sub-blocks; kEndOfBlocks when a zero length byte was met.
int LzwDecoder::NextByte(GifBlockReader& in) {
    if (bytesLeft_ <= 0) {
        const int length = in.Byte();
        if (length < 0) return length;
        if (length == 0) terminator_ = true;
        bytesLeft_ = length;
        blockPosition_ = 0;
        for (int i = 0; i < length; ++i) {
            const int b = in.Byte();
            if (b < 0) return b;
            block_[i] = static_cast<uint8_t>(b);
        }
    }
    currentByte_ = block_[blockPosition_++];
    if (--bytesLeft_ < 0) return kEndOfBlocks;
    return currentByte_;
}

// Codes are packed least significant bit first; a zero length sub-block reads as the end
// code, the end of the data as its negative read result.
int LzwDecoder::FetchCode(GifBlockReader& in) {
    if (bitsLeft_ == 0) {
        const int b = NextByte(in);
        if (b == kEndOfBlocks) return endCode_;
        if (b < 0) return b;
        bitsLeft_ = 8;
    }
    int code = currentByte_ >> (8 - bitsLeft_);
    while (codeSize_ > bitsLeft_) {
        const int b = NextByte(in);
        if (b == kEndOfBlocks) return endCode_;
        if (b < 0) return b;
        code |= b << bitsLeft_;
        bitsLeft_ += 8;
    }
    bitsLeft_ -= codeSize_;
    return code & ((1 << codeSize_) - 1);
}

// Strings are produced last byte first; a chain longer than the table can hold only comes
// from codes past the table, whose entries may point at each other in a loop.
bool LzwDecoder::Push(int value) {
    if (stackTop_ >= kTableSize) {
        badCodes_ = true;
        return false;
    }
    stack_[stackTop_++] = static_cast<uint8_t>(value);
    return true;
}

// Moves the string on the stack (last pixel on top) into the line, handing out each full
// line. A frame without width has no room for any pixel: its decoding ends at the first.
int LzwDecoder::EmitStack(LzwLineSink& sink) {
    if (lineLength_ <= 0) return stackTop_ > 0 ? -1 : 0;
    while (stackTop_ > 0) {
        const int n = std::min(stackTop_, lineLength_ - lineFill_);
        uint8_t* const out = line_.data() + lineFill_;
        const uint8_t* const top = stack_ + stackTop_;
        for (int i = 0; i < n; ++i) out[i] = top[-1 - i];
        stackTop_ -= n;
        lineFill_ += n;
        if (lineFill_ == lineLength_) {
            lineFill_ = 0;
            const int r = sink.Line(line_.data(), lineLength_);
            if (r < 0) return r;
        }
    }
    return 0;
}

int LzwDecoder::Decode(GifBlockReader& in, int32_t lineLength, LzwLineSink& sink) {
    badCodes_ = false;
    terminator_ = false;
    const int minimum = in.Byte();
    if (minimum < 0) return minimum;
    if (minimum < 2 || minimum > 9) return kCodeSizeOutOfRange;

    const int initialSize = minimum + 1;
    codeSize_ = initialSize;
    codeLimit_ = 1 << initialSize;
    clearCode_ = 1 << minimum;
    endCode_ = clearCode_ + 1;
    firstFree_ = nextFree_ = clearCode_ + 2;
    bytesLeft_ = bitsLeft_ = currentByte_ = blockPosition_ = 0;
    stackTop_ = 0;

    lineLength_ = lineLength;
    lineFill_ = 0;
    try {
        line_.assign(static_cast<size_t>(std::max(lineLength, 0)) + 1, 0);
    } catch (const std::bad_alloc&) {
        return kNoLineBuffer;
    }

    int oldCode = 0, firstChar = 0;
    for (;;) {
        int c = FetchCode(in);
        if (c < 0) return 0;  // the data ended: the frame stays as far as it was decoded
        if (c == endCode_) break;

        if (c == clearCode_) {
            codeSize_ = initialSize;
            nextFree_ = firstFree_;
            codeLimit_ = 1 << initialSize;
            do c = FetchCode(in);
            while (c == clearCode_);
            if (c < 0) return 0;
            if (c == endCode_) break;
            if (c >= nextFree_) c = 0;
            oldCode = firstChar = c;
            Push(c);
            const int r = EmitStack(sink);
            if (r < 0) return r;
            continue;
        }

        // A code not yet in the table stands for the previous string plus its own first
        // character; a code past the next free entry is treated the same way, but marks
        // the data as corrupt.
        int k = c;
        if (k >= nextFree_) {
            if (k > nextFree_) badCodes_ = true;
            k = oldCode;
            if (!Push(firstChar)) return kBrokenChain;
        }
        // Walked with local copies: the byte stores would otherwise make the compiler
        // reload every member after each one.
        {
            int top = stackTop_;
            const int firstFree = firstFree_;
            uint8_t* const stack = stack_;
            while (k >= firstFree && top < kTableSize) {
                stack[top++] = suffix_[k];
                k = prefix_[k];
            }
            stackTop_ = top;
            if (k >= firstFree) {
                badCodes_ = true;
                return kBrokenChain;
            }
        }
        if (!Push(k)) return kBrokenChain;

        // A full table (4096 entries at 12 bits) takes no more entries until a clear code.
        if (nextFree_ < codeLimit_) {
            firstChar = k & 0xFF;
            suffix_[nextFree_] = static_cast<uint8_t>(k);
            prefix_[nextFree_] = static_cast<uint16_t>(oldCode);
            ++nextFree_;
            oldCode = c;
            if (nextFree_ >= codeLimit_ && codeSize_ < 12) {
                codeLimit_ *= 2;
                ++codeSize_;
            }
        }

        const int r = EmitStack(sink);
        if (r < 0) return r;
    }

    if (lineFill_ > 0) sink.Line(line_.data(), lineFill_);
    return 0;
}

}  // namespace gif
