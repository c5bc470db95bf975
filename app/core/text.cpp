#include "text.h"

#include <cstdint>

namespace {

constexpr uint32_t kMalformed = 0xFFFFFFFF;

// Decodes one code point at text[i], advancing i; malformed input gives kMalformed.
uint32_t DecodeAt(const std::string& text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i++);
    if (lead < 0x80) return lead;
    int extra;
    uint32_t cp, min;
    if ((lead & 0xE0) == 0xC0)
        extra = 1, cp = lead & 0x1F, min = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        extra = 2, cp = lead & 0x0F, min = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        extra = 3, cp = lead & 0x07, min = 0x10000;
    else
        return kMalformed;
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kMalformed;
        cp = (cp << 6) | (byte(i++) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kMalformed;
    return cp;
}

// The same with malformed input given as U+FFFD.
uint32_t NextCodePoint(const std::string& text, size_t& i) {
    const uint32_t cp = DecodeAt(text, i);
    return cp == kMalformed ? 0xFFFD : cp;
}

bool IsControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

void PutUnit(std::string& out, uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

std::string Utf8ToUtf16Le(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = NextCodePoint(text, i);
        if (cp >= 0x10000) {
            PutUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            PutUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            PutUnit(out, cp);
        }
    }
    return out;
}

size_t Utf8Length(const std::string& text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        NextCodePoint(text, i);
        ++count;
    }
    return count;
}

std::string Utf8Prefix(const std::string& text, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count && i < text.size(); ++n) NextCodePoint(text, i);
    return text.substr(0, i);
}

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();)
        if (DecodeAt(text, i) == kMalformed) return false;
    return true;
}

bool HasControlCharacter(const std::string& text) {
    for (size_t i = 0; i < text.size();)
        if (IsControl(DecodeAt(text, i))) return true;
    return false;
}

std::string ControlsToSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        if (IsControl(DecodeAt(text, i)))
            out.push_back(' ');
        else
            out.append(text, start, i - start);
    }
    return out;
}

std::string WithoutByteOrderMark(const std::string& text) {
    return text.rfind(kUtf8ByteOrderMark, 0) == 0 ? text.substr(3) : text;
}
