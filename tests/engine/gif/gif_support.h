// Shared by the GIF tests: fixtures and netpbm/PAM references, building GIF files
// block by block, and a plain LZW encoder written from the format's description so that
// the decoder can be fed streams that no encoder of ours made.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"
#include "support/netpbm.h"

namespace giftest {

using testsupport::Bytes;

inline std::string DataPath(const std::string& name) {
    return std::string(PANELLE_TEST_DATA) + "/gif/" + name;
}

using testsupport::ReadFile;
using testsupport::WriteFile;

// A netpbm picture (P4, P5, P6 or P7 with maxval 255) as RGBA rows, top row first.
struct Pnm {
    int width = 0, height = 0;
    std::vector<RGBQUAD> pixels;  // rgbReserved is the alpha, 255 when the file has none
    RGBQUAD At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Grey, grey and alpha, RGB, or RGB with alpha where the PAM's tuple type names it.
inline Pnm ToPnm(const testsupport::Netpbm& file) {
    Pnm out;
    out.width = static_cast<int>(file.width);
    out.height = static_cast<int>(file.height);
    const bool alpha = file.channels == 4 && file.tupleType.find("ALPHA") != std::string::npos;
    for (uint32_t y = 0; y < file.height; ++y)
        for (uint32_t x = 0; x < file.width; ++x) {
            const uint8_t* s = file.Pixel(x, y);
            if (file.channels <= 2)
                out.pixels.push_back(RGBQUAD{s[0], s[0], s[0], file.channels == 2 ? s[1] : uint8_t{255}});
            else
                out.pixels.push_back(RGBQUAD{s[2], s[1], s[0], alpha ? s[3] : uint8_t{255}});
        }
    return out;
}

inline Pnm ReadPnm(const std::string& path) {
    const testsupport::Netpbm file = testsupport::ReadNetpbm(path);
    EXPECT_NE(file.channels, 0u) << path;
    return ToPnm(file);
}

// Every picture of a stream of netpbm pictures (giftopnm writes one per image).
inline std::vector<Pnm> ReadPnms(const std::string& path) {
    std::vector<Pnm> out;
    for (const testsupport::Netpbm& file : testsupport::ReadNetpbms(path)) out.push_back(ToPnm(file));
    return out;
}

// Colour of picture pixel (x, y) with y counted from the top.
inline RGBQUAD TopDownColor(const Picture& p, int x, int y) {
    RGBQUAD c = p.GetPixelColor(x, static_cast<int32_t>(p.GetHeight()) - 1 - y, false);
    c.rgbReserved = 0;
    return c;
}
inline uint8_t TopDownIndex(const Picture& p, int x, int y) {
    return p.GetPixelIndex(x, static_cast<int32_t>(p.GetHeight()) - 1 - y);
}

inline bool SameRgb(RGBQUAD a, RGBQUAD b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Decodes bytes through the dispatcher, as the engine's callers do. Taken by value: the
// stream views a block it may write to, never the caller's.
inline bool DecodeGif(Bytes bytes, Picture& out, int32_t frame = 0, int32_t escape = 0) {
    MemoryStream stream(bytes.empty() ? nullptr : bytes.data(), static_cast<int32_t>(bytes.size()));
    out.SetFrame(frame);
    out.SetEscape(escape);
    return out.Decode(&stream, ImageFormat::Gif);
}

// ---- building files ---------------------------------------------------------------------

struct Rgb {
    uint8_t r, g, b;
};

inline void Put16(Bytes& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// Data sub-blocks of at most 255 bytes and the zero length byte that ends them.
inline void PutSubBlocks(Bytes& out, const Bytes& data) {
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
}

// Codes at given widths, least significant bit first.
inline Bytes PackCodes(const std::vector<std::pair<int, int>>& codesAndWidths) {
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codesAndWidths) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out.push_back(static_cast<uint8_t>(acc));
    return out;
}

// Image data that any decoder reads: one code per pixel at the minimum code size + 1 bits,
// with a clear code before the decoder's table would make the codes wider.
inline Bytes PlainCodes(const std::vector<int>& pixels, int minimumCodeSize) {
    const int width = minimumCodeSize + 1, clear = 1 << minimumCodeSize;
    const int perClear = clear - 2;  // codes after a clear before the table reaches 2^width
    std::vector<std::pair<int, int>> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % static_cast<size_t>(perClear) == 0) codes.push_back({clear, width});
        codes.push_back({pixels[i], width});
    }
    codes.push_back({clear + 1, width});
    return PackCodes(codes);
}

// A textbook LZW encoder. It widens codes exactly when a decoder's table reaches 2^width
// and, unlike most encoders, never clears: once the table holds 4096 entries it goes on
// with the entries it has.
inline Bytes LzwWithoutClear(const std::vector<int>& pixels, int minimumCodeSize, int* codeCount = nullptr) {
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;         // the encoder's next entry
    int decoderNext = clear + 2;  // the decoder's, one code behind
    int width = minimumCodeSize + 1;
    int emitted = 0;
    std::vector<std::pair<int, int>> codes{{clear, width}};
    auto emit = [&](int code) {
        codes.push_back({code, width});
        if (emitted++ > 0 && decoderNext < 4096) {
            ++decoderNext;
            if (decoderNext == (1 << width) && width < 12) ++width;
        }
    };
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const auto it = table.find({prefix, pixels[i]});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) table[{prefix, pixels[i]}] = next++;
        prefix = pixels[i];
    }
    emit(prefix);
    codes.push_back({end, width});
    if (codeCount) *codeCount = emitted;
    return PackCodes(codes);
}

// A GIF file assembled block by block.
class GifFile {
   public:
    GifFile(int width, int height, const std::vector<Rgb>& global = {}, const char* signature = "GIF89a") {
        bytes.assign(signature, signature + 6);
        Put16(bytes, width);
        Put16(bytes, height);
        bytes.push_back(global.empty() ? 0 : static_cast<uint8_t>(0x80 | SizeBits(global.size())));
        bytes.push_back(0);
        bytes.push_back(0);
        PutTable(global);
    }
    GifFile& Control(uint8_t flags, uint16_t delay, uint8_t transIndex) {
        bytes.insert(bytes.end(), {0x21, 0xF9, 4, flags, static_cast<uint8_t>(delay),
                                   static_cast<uint8_t>(delay >> 8), transIndex, 0});
        return *this;
    }
    GifFile& Comment(const std::string& text) {
        bytes.insert(bytes.end(), {0x21, 0xFE});
        PutSubBlocks(bytes, Bytes(text.begin(), text.end()));
        return *this;
    }
    GifFile& Application(const std::string& id11, const Bytes& data) {
        bytes.insert(bytes.end(), {0x21, 0xFF, 11});
        bytes.insert(bytes.end(), id11.begin(), id11.end());
        PutSubBlocks(bytes, data);
        return *this;
    }
    // An image whose data is given as packed codes.
    GifFile& Image(int left, int top, int width, int height, const Bytes& codes, int minimumCodeSize,
                   const std::vector<Rgb>& local = {}, bool interlaced = false) {
        bytes.push_back(0x2C);
        Put16(bytes, left);
        Put16(bytes, top);
        Put16(bytes, width);
        Put16(bytes, height);
        bytes.push_back(static_cast<uint8_t>((local.empty() ? 0 : 0x80 | SizeBits(local.size())) |
                                             (interlaced ? 0x40 : 0)));
        PutTable(local);
        bytes.push_back(static_cast<uint8_t>(minimumCodeSize));
        PutSubBlocks(bytes, codes);
        return *this;
    }
    // An image of the given palette indexes (row by row from the top).
    GifFile& Pixels(int left, int top, int width, int height, const std::vector<int>& pixels,
                    const std::vector<Rgb>& local = {}, bool interlaced = false, int minimumCodeSize = 8) {
        return Image(left, top, width, height, PlainCodes(pixels, minimumCodeSize), minimumCodeSize, local,
                     interlaced);
    }
    GifFile& Raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    Bytes End() {
        bytes.push_back(0x3B);
        return bytes;
    }

    Bytes bytes;

   private:
    static uint8_t SizeBits(size_t entries) {
        uint8_t n = 0;
        while ((2u << n) < entries) ++n;
        return n;
    }
    void PutTable(const std::vector<Rgb>& table) {
        if (table.empty()) return;
        const size_t size = 2u << SizeBits(table.size());
        for (size_t i = 0; i < size; ++i) {
            const Rgb c = i < table.size() ? table[i] : Rgb{0, 0, 0};
            bytes.insert(bytes.end(), {c.r, c.g, c.b});
        }
    }
};

// A table of n distinct colours.
inline std::vector<Rgb> Colors(int n) {
    std::vector<Rgb> table;
    for (int i = 0; i < n; ++i)
        table.push_back({static_cast<uint8_t>(i * 37 + 11), static_cast<uint8_t>(255 - i * 13),
                         static_cast<uint8_t>(i * 91)});
    return table;
}

// ---- reading files back block by block --------------------------------------------------

struct ImageBlock {
    int left, top, width, height;
    uint8_t flags;
    int tableSize;  // local table entries, 0 without one
    int codeSize;
    Bytes data;  // the sub-blocks' bytes joined
};

struct Blocks {
    uint8_t screenFlags = 0;
    int globalSize = 0;
    std::vector<Bytes> controls;  // the 4 bytes of each graphic control block
    std::vector<std::string> comments;
    std::vector<ImageBlock> images;
    bool trailer = false;
};

inline Blocks Walk(const Bytes& f) {
    Blocks b;
    size_t p = 13;
    if (f.size() < p) return b;
    b.screenFlags = f[10];
    if (f[10] & 0x80) b.globalSize = 2 << (f[10] & 7);
    p += 3 * static_cast<size_t>(b.globalSize);
    auto subBlocks = [&] {
        Bytes joined;
        while (p < f.size() && f[p] != 0) {
            const size_t n = f[p];
            joined.insert(joined.end(), f.begin() + static_cast<long>(p + 1),
                          f.begin() + static_cast<long>(std::min(f.size(), p + 1 + n)));
            p += 1 + n;
        }
        ++p;
        return joined;
    };
    while (p < f.size()) {
        const uint8_t c = f[p++];
        if (c == 0x3B) {
            b.trailer = true;
            break;
        }
        if (c == 0x21 && p < f.size()) {
            const uint8_t label = f[p++];
            const Bytes data = subBlocks();
            if (label == 0xF9) b.controls.push_back(data);
            if (label == 0xFE) b.comments.push_back(std::string(data.begin(), data.end()));
        } else if (c == 0x2C && p + 10 <= f.size()) {
            ImageBlock im;
            im.left = f[p] | f[p + 1] << 8;
            im.top = f[p + 2] | f[p + 3] << 8;
            im.width = f[p + 4] | f[p + 5] << 8;
            im.height = f[p + 6] | f[p + 7] << 8;
            im.flags = f[p + 8];
            im.tableSize = (im.flags & 0x80) ? 2 << (im.flags & 7) : 0;
            p += 9 + 3 * static_cast<size_t>(im.tableSize);
            im.codeSize = p < f.size() ? f[p++] : 0;
            im.data = subBlocks();
            b.images.push_back(im);
        } else {
            break;
        }
    }
    return b;
}

// The codes of one image's data as a decoder reads them: each with the width it was read at
// and the decoder's next free table entry at that moment.
struct TracedCode {
    int code, width, nextFree;
};

inline std::vector<TracedCode> TraceCodes(const Bytes& data, int minimumCodeSize) {
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    int width = minimumCodeSize + 1, nextFree = clear + 2;
    bool first = true;
    std::vector<TracedCode> out;
    size_t bit = 0;
    while (bit + static_cast<size_t>(width) <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        out.push_back({code, width, nextFree});
        if (code == end) break;
        if (code == clear) {
            width = minimumCodeSize + 1;
            nextFree = clear + 2;
            first = true;
            continue;
        }
        if (!first && nextFree < 4096) {
            ++nextFree;
            if (nextFree == (1 << width) && width < 12) ++width;
        }
        first = false;
    }
    return out;
}

}  // namespace giftest
