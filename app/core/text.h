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
