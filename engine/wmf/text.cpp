// Text of metafile records as Unicode characters. A character may take more than one
// byte or code unit, and the advances of a record are given per byte or unit, so each
// character carries the number of advance entries it takes.
#include <iconv.h>

#include <cstring>
#include <memory>

#include "player.h"

namespace wmf {

namespace {

// Windows-1252 at 0x80..0x9F; the other bytes are their Latin-1 code points.
constexpr uint16_t kWindows1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                       0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// The code page of a font's character set, for those that are not Windows-1252.
const char* CodePage(uint8_t charset) {
    switch (charset) {
        case 77:
            return "MACINTOSH";
        case 128:
            return "CP932";  // Shift-JIS
        case 129:
            return "CP949";  // Hangul
        case 130:
            return "JOHAB";
        case 134:
            return "CP936";  // GB2312 / GBK
        case 136:
            return "CP950";  // Big5
        case 161:
            return "CP1253";  // Greek
        case 162:
            return "CP1254";  // Turkish
        case 163:
            return "CP1258";  // Vietnamese
        case 177:
            return "CP1255";  // Hebrew
        case 178:
            return "CP1256";  // Arabic
        case 186:
            return "CP1257";  // Baltic
        case 204:
            return "CP1251";  // Cyrillic
        case 222:
            return "CP874";  // Thai
        case 238:
            return "CP1250";  // Central European
        case 255:
            return "CP437";  // OEM
        default:
            return nullptr;
    }
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// Converts one character at a time, so that each keeps the number of bytes it took; a
// byte that does not convert becomes U+FFFD and takes one byte.
bool Convert(const char* codePage, const uint8_t* bytes, size_t count, Canvas::Text& out) {
    iconv_t raw = iconv_open("UTF-32LE", codePage);
    if (raw == reinterpret_cast<iconv_t>(-1)) return false;
    std::unique_ptr<void, IconvCloser> cd(raw);
    size_t at = 0;
    while (at < count) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes + at));
        size_t inLeft = count - at;
        uint8_t one[4];
        char* outPtr = reinterpret_cast<char*>(one);
        size_t outLeft = sizeof one;
        iconv(raw, &in, &inLeft, &outPtr, &outLeft);
        const size_t used = (count - at) - inLeft;
        if (outLeft == 0 && used > 0) {
            out.chars.push_back(one[0] | (one[1] << 8) | (one[2] << 16) |
                                (static_cast<uint32_t>(one[3]) << 24));
            out.units.push_back(static_cast<uint32_t>(used));
            at += used;
        } else {
            out.chars.push_back(0xFFFD);
            out.units.push_back(1);
            at += 1;
            iconv(raw, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
        }
    }
    return true;
}

}  // namespace

Canvas::Text DecodeAnsi(const uint8_t* bytes, size_t count, uint8_t charset) {
    Canvas::Text text;
    if (const char* codePage = CodePage(charset)) {
        if (Convert(codePage, bytes, count, text)) return text;
        text = Canvas::Text{};
    }
    // The symbol set keeps its bytes; the font that would give them meaning is not here.
    const bool symbol = charset == 2;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        text.chars.push_back(!symbol && b >= 0x80 && b < 0xA0 ? kWindows1252[b - 0x80] : b);
        text.units.push_back(1);
    }
    return text;
}

Canvas::Text DecodeUtf16(const uint8_t* units, size_t count) {
    Canvas::Text text;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = units[2 * i] | (units[2 * i + 1] << 8);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count) {
            const uint32_t low = units[2 * i + 2] | (units[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                text.chars.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                text.units.push_back(2);
                ++i;
                continue;
            }
        }
        text.chars.push_back(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        text.units.push_back(1);
    }
    return text;
}

float Record::F32(size_t at) const {
    const uint32_t bits = U32(at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace wmf
