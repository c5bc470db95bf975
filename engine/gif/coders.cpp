// GIF image data coders. Codes are packed least significant bit first and written in data
// sub-blocks of at most 255 bytes, each after its length byte.
#include "coders.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stream.h"

namespace gif {

namespace {

constexpr int kMaxWidth = 12;
constexpr int kTableLimit = 4096;  // entries of a 12-bit table

// ---- codes for the LZW and uncompressed coders ------------------------------------------

// Writes codes at the width a decoder expects: a decoder adds one table entry per code and
// widens its codes when the next free entry reaches 2^width, so the writer widens after a
// code once the next free code has passed 2^width - 1, and narrows again after a clear.
class CodeWriter {
   public:
    CodeWriter(ByteStream* out, int initialWidth)
        : clearCode(1 << (initialWidth - 1)),
          endCode(clearCode + 1),
          nextFree(clearCode + 2),
          out_(out),
          initialWidth_(initialWidth),
          width_(initialWidth),
          limit_((1 << initialWidth) - 1) {}

    // Returns false when the end code was written and the stream reported an error.
    bool Write(int code) {
        accumulator_ &= (1u << bits_) - 1;
        accumulator_ |= static_cast<uint32_t>(code) << bits_;
        bits_ += width_;
        while (bits_ >= 8) {
            Put(static_cast<uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
        if (nextFree > limit_ || clearFlag) {
            if (clearFlag) {
                width_ = initialWidth_;
                limit_ = (1 << width_) - 1;
                clearFlag = false;
            } else {
                ++width_;
                limit_ = width_ == kMaxWidth ? kTableLimit : (1 << width_) - 1;
            }
        }
        if (code != endCode) return true;
        while (bits_ > 0) {
            Put(static_cast<uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
        accumulator_ = 0;
        bits_ = 0;
        FlushBlock();
        out_->Flush();
        return out_->Error() == 0;
    }

    const int clearCode;
    const int endCode;
    int nextFree;
    bool clearFlag = false;

   private:
    void Put(uint8_t byte) {
        block_[fill_++] = byte;
        if (fill_ >= 254) FlushBlock();
    }
    void FlushBlock() {
        if (fill_ == 0) return;
        out_->PutC(static_cast<uint8_t>(fill_));
        out_->Write(block_, 1, static_cast<uint32_t>(fill_));
        fill_ = 0;
    }

    ByteStream* out_;
    const int initialWidth_;
    int width_;
    int limit_;
    uint32_t accumulator_ = 0;
    int bits_ = 0;
    uint8_t block_[256] = {};
    int fill_ = 0;
};

}  // namespace

// ---- LZW --------------------------------------------------------------------------------

// Strings seen so far live in an open-addressed hash table of 5003 slots (a prime above the
// 4096 codes) keyed by (pixel << 12) + prefix code; collisions probe backwards by a second
// hash. When all 4096 codes are used the table is cleared and a clear code written.
bool WriteLzwCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth) {
    constexpr int kHashSize = 5003;
    constexpr int kHashShift = 4;  // 8 minus the doublings of 5003 that reach 65536
    CodeWriter codes(out, initialWidth);
    std::vector<int32_t> hash(kHashSize, -1);
    std::vector<uint16_t> code(kHashSize, 0);

    int ent = pixels.Next();
    codes.Write(codes.clearCode);
    for (int c = pixels.Next(); c >= 0; c = pixels.Next()) {
        const int32_t key = (c << 12) + ent;
        int i = (c << kHashShift) ^ ent;
        if (hash[i] == key) {
            ent = code[i];
            continue;
        }
        if (hash[i] >= 0) {
            const int step = i == 0 ? 1 : kHashSize - i;
            bool found = false;
            do {
                i -= step;
                if (i < 0) i += kHashSize;
                if (hash[i] == key) {
                    found = true;
                    break;
                }
            } while (hash[i] > 0);
            if (found) {
                ent = code[i];
                continue;
            }
        }
        codes.Write(ent);
        ent = c;
        if (codes.nextFree < kTableLimit) {
            code[i] = static_cast<uint16_t>(codes.nextFree++);
            hash[i] = key;
        } else {
            std::fill(hash.begin(), hash.end(), -1);
            codes.nextFree = codes.clearCode + 2;
            codes.clearFlag = true;
            codes.Write(codes.clearCode);
        }
    }
    codes.Write(ent);
    return codes.Write(codes.endCode);
}

// ---- uncompressed -----------------------------------------------------------------------

// One code per pixel. The next free code still advances with every code as a decoder's
// table does, so the code width grows in step with the decoder's; a full table is cleared.
bool WriteUncompressedCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth) {
    CodeWriter codes(out, initialWidth);
    int previous = pixels.Next();
    codes.Write(codes.clearCode);
    if (previous >= 0) {
        for (;;) {
            const int c = pixels.Next();
            codes.Write(previous);
            if (c < 0) break;
            if (codes.nextFree < kTableLimit) {
                ++codes.nextFree;
            } else {
                codes.nextFree = codes.clearCode + 2;
                codes.clearFlag = true;
                codes.Write(codes.clearCode);
            }
            previous = c;
        }
    }
    return codes.Write(codes.endCode);
}

// ---- run-length -------------------------------------------------------------------------

namespace {

// After a clear, a pixel p followed by the codes base, base + 1, base + 2, ... makes a
// decoder build the entries pp, ppp, pppp, ...: each of those codes is one table entry
// past the last, so the decoder takes it as the previous string plus its first pixel. A
// run of n pixels thus costs about the square root of 2n codes, and once the ladder is
// built, longer runs of the same pixel reuse its top rung.
class RunLengthCoder {
   public:
    RunLengthCoder(ByteStream* out, int initialWidth)
        : out_(out),
          initialWidth_(initialWidth),
          clearCode_(1 << (initialWidth - 1)),
          endCode_(clearCode_ + 1),
          baseCode_(clearCode_ + 2),
          initialGrowth_(clearCode_ - 1),
          initialClearPoint_(initialWidth > 3 ? clearCode_ - 2 : 9),
          codeBudget_(4093 - clearCode_) {}

    void Run(GifPixelSource& pixels) {
        DidClear();
        Output(clearCode_);
        for (;;) {
            const int c = pixels.Next();
            if (runLength_ > 0 && c != runPixel_) Flush();
            if (c < 0) break;
            if (c == runPixel_) {
                ++runLength_;
            } else {
                runPixel_ = c;
                runLength_ = 1;
            }
        }
        Output(endCode_);
        if (bits_ > 0) BlockOut(static_cast<uint8_t>(accumulator_));
        if (fill_ > 0) WriteBlock();
    }

   private:
    void Output(int code) {
        accumulator_ |= static_cast<uint32_t>(code) << bits_;
        bits_ += width_;
        while (bits_ >= 8) {
            BlockOut(static_cast<uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
    }
    void BlockOut(uint8_t byte) {
        block_[fill_++] = byte;
        if (fill_ >= 255) WriteBlock();
    }
    void WriteBlock() {
        out_->PutC(static_cast<uint8_t>(fill_));
        out_->Write(block_, 1, static_cast<uint32_t>(fill_));
        fill_ = 0;
    }

    void DidClear() {
        width_ = initialWidth_;
        growthPoint_ = initialGrowth_;
        clearPoint_ = initialClearPoint_;
        codesSinceClear_ = 0;
        tableLength_ = 0;
        justCleared_ = true;
    }

    // A code the decoder adds a table entry for; the width grows with the decoder's table,
    // and a clear is forced before the table could fill.
    void OutputPlain(int code) {
        justCleared_ = false;
        Output(code);
        ++codesSinceClear_;
        if (codesSinceClear_ >= growthPoint_) {
            ++width_;
            growthPoint_ += 1 << (width_ - 1);
        }
        if (codesSinceClear_ >= clearPoint_) {
            Output(clearCode_);
            DidClear();
        }
    }

    void ResetClearPoint() {
        clearPoint_ = initialClearPoint_;
        if (codesSinceClear_ >= clearPoint_) {
            Output(clearCode_);
            DidClear();
        }
    }

    // The codes needed for n pixels as runs of 1, 2, 3, ... from a fresh table, with a
    // clear after every full ladder of codeBudget_ rungs.
    int64_t TriangleCount(int64_t n) const {
        const int64_t r = codeBudget_;
        const int64_t perLadder = r * (r + 1) / 2;
        int64_t cost = (n / perLadder) * r;
        n %= perLadder;
        if (n > 0) {
            int64_t k = static_cast<int64_t>(std::sqrt(static_cast<double>(2 * n)));
            while (k > 0 && k * (k + 1) >= 2 * n) --k;
            while (k * (k + 1) < 2 * n) ++k;
            cost += k;
        }
        return cost;
    }

    void FlushFromClear(int64_t n) {
        clearPoint_ = codeBudget_;
        tablePixel_ = runPixel_;
        int64_t k = 1;
        while (n > 0) {
            if (k == 1) {
                tableLength_ = 1;
                OutputPlain(runPixel_);
                --n;
            } else if (n >= k) {
                tableLength_ = k;
                OutputPlain(static_cast<int>(baseCode_ + k - 2));
                n -= k;
            } else if (n == 1) {
                ++tableLength_;
                OutputPlain(runPixel_);
                n = 0;
            } else {
                ++tableLength_;
                OutputPlain(static_cast<int>(baseCode_ + n - 2));
                n = 0;
            }
            k = codesSinceClear_ == 0 ? 1 : k + 1;
        }
        ResetClearPoint();
    }

    void FlushClearOrRepeat(int64_t n) {
        if (1 + TriangleCount(n) < n) {
            Output(clearCode_);
            DidClear();
            FlushFromClear(n);
            return;
        }
        for (; n > 0; --n) OutputPlain(runPixel_);
    }

    void FlushWithTable(int64_t n) {
        int64_t repeats = n / tableLength_;
        int64_t left = n % tableLength_;
        int64_t extra = left > 0 ? 1 : 0;
        if (codesSinceClear_ + repeats + extra > codeBudget_) {
            repeats = codeBudget_ - codesSinceClear_;
            left = n - repeats * tableLength_;
            extra = 1 + TriangleCount(left);
        }
        if (1 + TriangleCount(n) < repeats + extra) {
            Output(clearCode_);
            DidClear();
            FlushFromClear(n);
            return;
        }
        clearPoint_ = codeBudget_;
        for (; repeats > 0; --repeats) OutputPlain(static_cast<int>(baseCode_ + tableLength_ - 2));
        if (left > 0) {
            if (justCleared_)
                FlushFromClear(left);
            else if (left == 1)
                OutputPlain(runPixel_);
            else
                OutputPlain(static_cast<int>(baseCode_ + left - 2));
        }
        ResetClearPoint();
    }

    void Flush() {
        if (runLength_ == 1) {
            OutputPlain(runPixel_);
        } else if (justCleared_) {
            FlushFromClear(runLength_);
        } else if (tableLength_ < 2 || tablePixel_ != runPixel_) {
            FlushClearOrRepeat(runLength_);
        } else {
            FlushWithTable(runLength_);
        }
        runLength_ = 0;
    }

    ByteStream* out_;
    const int initialWidth_;
    const int clearCode_, endCode_, baseCode_;
    const int64_t initialGrowth_, initialClearPoint_, codeBudget_;

    int width_ = 0;
    int64_t growthPoint_ = 0, clearPoint_ = 0, codesSinceClear_ = 0;
    int runPixel_ = -1;
    int64_t runLength_ = 0;
    int tablePixel_ = 0;
    int64_t tableLength_ = 0;
    bool justCleared_ = true;

    uint32_t accumulator_ = 0;
    int bits_ = 0;
    uint8_t block_[256] = {};
    int fill_ = 0;
};

}  // namespace

void WriteRunLengthCodes(GifPixelSource& pixels, ByteStream* out, int initialWidth) {
    RunLengthCoder coder(out, initialWidth);
    coder.Run(pixels);
}

}  // namespace gif
