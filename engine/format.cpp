// Format ids, and the dispatch that picks a codec for Load, Save, Decode and Encode.
#include "format.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "atomicfile.h"
#include "codec.h"
#include "picture.h"
#include "stream.h"

// Every codec built in, each described at the end of its own source, in the order detection
// tries them: the JasPer-style formats come last and find their own format.
extern const CodecInfo kBmpCodec, kJpgCodec, kIcoCodec, kGifCodec, kPngCodec, kTifCodec, kTgaCodec, kPcxCodec,
    kWbmpCodec, kWmfCodec, kJp2Codec, kJpcCodec, kPgxCodec, kPnmCodec, kRasCodec;

namespace {

constexpr const CodecInfo* kCodecs[] = {
    &kBmpCodec,  &kJpgCodec, &kIcoCodec, &kGifCodec, &kPngCodec, &kTifCodec, &kTgaCodec, &kPcxCodec,
    &kWbmpCodec, &kWmfCodec, &kJp2Codec, &kJpcCodec, &kPgxCodec, &kPnmCodec, &kRasCodec,
};

// Nothing thrown leaves the dispatch: a codec's own failures come back as false, and an
// allocation failure of its scratch buffers is turned into a failure text here.
template <class Fn>
bool Guarded(Picture& self, const char* what, Fn&& fn) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        self.SetLastError((std::string(what) + ": out of memory").c_str());
    } catch (...) {
        self.SetLastError((std::string(what) + ": internal error").c_str());
    }
    return false;
}

std::string Missing(const char* what, uint32_t id) {
    return std::string(what) + ": " + FormatName(id) + " codec not available";
}

}  // namespace

std::span<const CodecInfo* const> Codecs() { return kCodecs; }

const CodecInfo* FindCodec(uint32_t id) {
    for (const CodecInfo* codec : kCodecs)
        if (codec->id == id) return codec;
    return nullptr;
}

const char* FormatName(uint32_t id) {
    const CodecInfo* codec = id ? FindCodec(id) : nullptr;
    return codec ? codec->name : "unknown";
}

uint32_t FormatFromName(const char* name) {
    if (!name) return 0;
    for (const CodecInfo* codec : kCodecs) {
        if (strcasecmp(name, codec->name) == 0) return codec->id;
        for (const char* alias : codec->aliases)
            if (alias && strcasecmp(name, alias) == 0) return codec->id;
    }
    return 0;
}

std::string WritableFormatList() {
    // In id order, as people read a list of formats.
    std::string list;
    for (uint32_t id = 1; id < FormatCount; ++id) {
        const CodecInfo* codec = FindCodec(id);
        if (!codec || !codec->writes) continue;
        list += list.empty() ? "" : " ";
        list += codec->name;
        for (const char* alias : codec->aliases)
            if (alias) list += std::string(" ") + alias;
    }
    return list;
}

// ---- Decode -----------------------------------------------------------------------------

bool Picture::Decode(FILE* stream, uint32_t imageType) {
    if (!stream) return false;
    FileStream file(stream);
    return Decode(&file, imageType);
}

bool Picture::Decode(ByteStream* stream, uint32_t imageType) {
    if (!stream) return false;
    if (imageType >= FormatCount) {
        SetLastError("Decode: Unknown or wrong format");
        return false;
    }
    if (imageType != ImageFormat::Unknown) {
        const CodecInfo* codec = FindCodec(imageType);
        if (!codec || !codec->decode) {
            SetLastError(Missing("Decode", imageType).c_str());
            return false;
        }
        return Guarded(*this, "Decode", [&] { return codec->decode(*this, stream, imageType); });
    }

    // A codec that merely tried the data has no frames and no failure to report: each one
    // starts from the caller's information, and the one that accepts carries only its own.
    const int32_t frameCount = info.frameCount;
    char lastError[sizeof info.lastError];
    std::memcpy(lastError, info.lastError, sizeof lastError);
    const int32_t start = stream->Tell();
    // Only the codecs whose signature matches the first bytes are run.
    uint8_t head[kSignatureBytes];
    const uint32_t got = stream->Read(head, 1, sizeof head);
    stream->Seek(start, 0);
    for (const CodecInfo* codec : kCodecs) {
        if (!codec->decode || !codec->looksLike(head, got)) continue;
        if (Guarded(*this, "Decode", [&] { return codec->decode(*this, stream, codec->detectAs); }))
            return true;
        info.frameCount = frameCount;
        std::memcpy(info.lastError, lastError, sizeof lastError);
        stream->Seek(start, 0);
    }
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

bool Picture::Load(const char* fileName, uint32_t imageType) {
    if (!fileName) return false;
    // The text describes this load only: an earlier failure's text does not survive it.
    SetLastError("");
    using File = std::unique_ptr<FILE, int (*)(FILE*)>;
    const auto open = [&]() {
        File file(std::fopen(fileName, "rb"), &std::fclose);
        if (!file) SetLastError((std::string("Load: ") + std::strerror(errno)).c_str());
        return file;
    };
    if (imageType > 0 && imageType < FormatCount) {
        File file = open();
        if (!file) return false;
        if (Decode(file.get(), imageType)) return true;
    }
    char saved[sizeof info.lastError];
    std::memcpy(saved, info.lastError, sizeof saved);
    SetLastError("");

    File file = open();
    if (!file) return false;
    const bool ok = Decode(file.get(), ImageFormat::Unknown);
    if (!ok && imageType > 0) std::memcpy(info.lastError, saved, sizeof saved);
    return ok;
}

// ---- Encode -----------------------------------------------------------------------------

bool Picture::CheckEncodeArgs(ByteStream* stream) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    if (!dib) {
        SetLastError("null image!!!");
        return false;
    }
    return true;
}

bool Picture::Encode(FILE* stream, uint32_t imageType) {
    FileStream file(stream);
    return Encode(stream ? static_cast<ByteStream*>(&file) : nullptr, imageType);
}

bool Picture::Encode(ByteStream* stream, uint32_t imageType) {
    if (imageType == ImageFormat::Unknown || imageType >= FormatCount) {
        SetLastError("Encode: Unknown format");
        return false;
    }
    const CodecInfo* codec = FindCodec(imageType);
    if (!codec || !codec->encode) {
        SetLastError(Missing("Encode", imageType).c_str());
        return false;
    }
    return Guarded(*this, "Encode", [&] { return codec->encode(*this, stream, imageType); });
}

// The picture is written to a temporary file beside the target, which replaces the target
// only when everything was written: a failed save leaves an existing file as it was.
bool Picture::Save(const char* fileName, uint32_t imageType) {
    if (!fileName || !*fileName) return false;
    AtomicFile file;
    if (!file.Open(std::string(fileName))) {
        SetLastError(("Save: " + file.Error()).c_str());
        return false;
    }
    if (!Encode(file.File(), imageType)) return false;
    if (!file.Commit()) {
        SetLastError(("Save: " + file.Error()).c_str());
        return false;
    }
    return true;
}
