// Text conversions. The builder holds text as UTF-8; desc.txt is written as UTF-16LE.
#pragma once

#include <string>

// UTF-16 little-endian code units of a UTF-8 text, without a terminator. Malformed
// sequences become U+FFFD.
std::string Utf8ToUtf16Le(const std::string& text);

// The number of characters (code points) of a UTF-8 text.
size_t Utf8Length(const std::string& text);

// The first `count` characters of a UTF-8 text (the whole text when it is shorter).
std::string Utf8Prefix(const std::string& text, size_t count);

// True when the text is well-formed UTF-8 (no overlong forms, surrogates or bytes past U+10FFFF).
bool IsValidUtf8(const std::string& text);

// True when the text holds a control character: U+0000 to U+001F, U+007F or U+0080 to U+009F.
bool HasControlCharacter(const std::string& text);

// The text with every control character (as above) replaced by a space.
std::string ControlsToSpaces(const std::string& text);

// The UTF-8 byte-order mark, which some editors put at the start of a text file.
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// The text without a UTF-8 byte-order mark at its start.
std::string WithoutByteOrderMark(const std::string& text);
