// Small metafiles written record by record, for tests that need a drawing with known
// geometry or a deliberately broken one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "support/files.h"

namespace metafile {

using testsupport::Bytes;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A placeable Windows metafile: records of 16-bit parameters after the two headers.
class Wmf {
   public:
    // A record whose parameters are the given 16-bit words, in file order.
    Wmf& Rec(uint16_t function, std::initializer_list<int> params) {
        Bytes payload;
        for (int p : params) Put16(payload, static_cast<uint32_t>(p));
        return Raw(function, payload);
    }
    Wmf& Raw(uint16_t function, const Bytes& payload) {
        Bytes padded = payload;
        if (padded.size() & 1) padded.push_back(0);
        Put32(records_, static_cast<uint32_t>(3 + padded.size() / 2));
        Put16(records_, function);
        records_.insert(records_.end(), padded.begin(), padded.end());
        return *this;
    }
    // The whole file; sizeWords and checksum override the computed fields when not -1.
    Bytes Build(int left, int top, int right, int bottom, int unitsPerInch, int objects = 16,
                int64_t sizeWords = -1, int checksum = -1) const {
        Bytes f;
        Put32(f, 0x9AC6CDD7);
        Put16(f, 0);
        for (int v : {left, top, right, bottom}) Put16(f, static_cast<uint32_t>(v));
        Put16(f, static_cast<uint32_t>(unitsPerInch));
        Put32(f, 0);
        uint16_t sum = 0;
        for (size_t i = 0; i < 20; i += 2) sum ^= static_cast<uint16_t>(f[i] | (f[i + 1] << 8));
        Put16(f, checksum < 0 ? sum : static_cast<uint32_t>(checksum));
        Bytes body = records_;
        Put32(body, 3), Put16(body, 0);  // the end record
        const uint32_t words = static_cast<uint32_t>(sizeWords < 0 ? (18 + body.size()) / 2 : sizeWords);
        Put16(f, 1), Put16(f, 9), Put16(f, 0x300);
        Put32(f, words);
        Put16(f, static_cast<uint32_t>(objects));
        Put32(f, 0), Put16(f, 0);
        f.insert(f.end(), body.begin(), body.end());
        return f;
    }

   private:
    Bytes records_;
};

// An enhanced metafile: records of 32-bit fields after a 108-byte header. The reference
// device has 96 pixels per inch, and the frame is the bounds, so device pixels are output
// pixels when the picture is decoded at its own size.
class Emf {
   public:
    Emf& Rec(uint32_t type, std::initializer_list<int64_t> fields) {
        Bytes payload;
        for (int64_t v : fields) Put32(payload, static_cast<uint32_t>(v));
        return Raw(type, payload);
    }
    Emf& Raw(uint32_t type, const Bytes& payload) {
        Bytes padded = payload;
        while (padded.size() % 4) padded.push_back(0);
        Put32(records_, type);
        Put32(records_, static_cast<uint32_t>(8 + padded.size()));
        records_.insert(records_.end(), padded.begin(), padded.end());
        return *this;
    }
    Bytes Build(int left, int top, int right, int bottom, int handles = 16) const {
        Bytes f;
        Put32(f, 1), Put32(f, 108);
        for (int v : {left, top, right, bottom}) Put32(f, static_cast<uint32_t>(v));
        for (int v : {left, top, right, bottom}) Put32(f, static_cast<uint32_t>(v * 2540 / 96));
        Put32(f, 0x464D4520), Put32(f, 0x10000);
        Put32(f, static_cast<uint32_t>(108 + records_.size() + 20));
        Put32(f, 0);
        Put16(f, static_cast<uint32_t>(handles)), Put16(f, 0);
        Put32(f, 0), Put32(f, 0), Put32(f, 0);
        Put32(f, 960), Put32(f, 960), Put32(f, 254), Put32(f, 254);
        Put32(f, 0), Put32(f, 0), Put32(f, 0), Put32(f, 254000), Put32(f, 254000);
        f.insert(f.end(), records_.begin(), records_.end());
        Put32(f, 14), Put32(f, 20), Put32(f, 0), Put32(f, 0), Put32(f, 20);  // the end record
        return f;
    }

   private:
    Bytes records_;
};

inline Bytes Utf16(const std::u16string& s) {
    Bytes b;
    for (char16_t c : s) Put16(b, c);
    return b;
}

// Red, green and blue of a picture's pixel, with y counted from the top.
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
inline Rgb At(const Picture& p, int x, int yFromTop) {
    const RGBQUAD c = p.GetPixelColor(x, static_cast<int32_t>(p.GetHeight()) - 1 - yFromTop, false);
    return {c.rgbRed, c.rgbGreen, c.rgbBlue};
}

}  // namespace metafile
