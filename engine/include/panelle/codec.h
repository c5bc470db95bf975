// What a codec tells the dispatch about itself, and the failure boundary every codec's
// entry points share. Each codec's source ends with one CodecInfo; format.cpp lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "format.h"
#include "picture.h"

class ByteStream;

struct CodecInfo {
    uint32_t id;
    // The format's name; FormatName gives it and FormatFromName takes it.
    const char* name;
    // Further file extensions that name the format (FormatFromName takes them too).
    const char* aliases[2];
    // A cheap look at the first bytes of the data (as many as are there, up to
    // kSignatureBytes): false only where the decoder would refuse the data anyway.
    bool (*looksLike)(const uint8_t* head, size_t n);
    bool (*decode)(Picture& self, ByteStream* stream, uint32_t id);
    bool (*encode)(Picture& self, ByteStream* stream, uint32_t id);
    // The id the decoder runs with when detection tries it (0: it finds its own format).
    uint32_t detectAs;
    // A failed decode still tells how many frames there are (a request for a missing frame).
    bool reportsFrames;
    // Whether the encoder writes anything at all.
    bool writes;
};

// How many leading bytes a signature test is shown.
constexpr size_t kSignatureBytes = 32;

// Every codec built in, in the order detection tries them.
std::span<const CodecInfo* const> Codecs();

// The codec of an id, or nullptr.
const CodecInfo* FindCodec(uint32_t id);

// The names and aliases of the formats that can be written, separated by spaces.
std::string WritableFormatList();

namespace codec {

// The one exception type of the codecs: a fixed failure text, caught at the codec's entry
// point by RunCodec. An empty text leaves the text the codec has already set.
struct CodecError {
    const char* text;
};

[[noreturn]] inline void Fail(const char* text) { throw CodecError{text}; }

// The failure boundary of a codec's Decode or Encode: a CodecError becomes the picture's
// failure text, an allocation failure the codec's own text (nullptr: the dispatch's).
template <class Fn>
bool RunCodec(Picture& self, const char* noMemory, Fn&& body) {
    try {
        return body();
    } catch (const CodecError& e) {
        if (e.text && *e.text) self.SetLastError(e.text);
    } catch (const std::bad_alloc&) {
        if (!noMemory) throw;
        self.SetLastError(noMemory);
    }
    return false;
}

// Runs a codec on a local object that sees the caller's information block; on success the
// decoded picture and the decoder's information block become the caller's.
template <class Codec, bool (*Run)(Codec&, ByteStream*, uint32_t)>
bool DecodeWith(Picture& self, ByteStream* stream, uint32_t id) {
    auto codec = std::make_unique<Codec>();
    codec->CopyInfo(self);
    if (Run(*codec, stream, id)) return self.Transfer(*codec);
    self.SetLastError(codec->GetLastError());
    const CodecInfo* info = FindCodec(id);
    if (info && info->reportsFrames) self.info.frameCount = codec->info.frameCount;
    return false;
}

// Encoders run on a ghost: it shares the caller's pixels and frees nothing.
template <class Codec, bool (*Run)(Codec&, ByteStream*, uint32_t)>
bool EncodeWith(Picture& self, ByteStream* stream, uint32_t id) {
    auto codec = std::make_unique<Codec>();
    codec->Ghost(&self);
    const bool ok = Run(*codec, stream, id);
    if (!ok) self.SetLastError(codec->GetLastError());
    return ok;
}

// The entry points of a codec whose Decode and Encode take the stream alone.
template <class Codec>
bool DecodeOnly(Codec& codec, ByteStream* stream, uint32_t) {
    return codec.Decode(stream);
}
template <class Codec>
bool EncodeOnly(Codec& codec, ByteStream* stream, uint32_t) {
    return codec.Encode(stream);
}
template <class Codec>
constexpr auto kDecode = &DecodeWith<Codec, &DecodeOnly<Codec>>;
template <class Codec>
constexpr auto kEncode = &EncodeWith<Codec, &EncodeOnly<Codec>>;

}  // namespace codec
