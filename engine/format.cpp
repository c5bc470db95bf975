// Format ids, and the dispatch that picks a codec for Load, Save, Decode and Encode.
#include "format.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "bmp.h"
#include "gif/gif.h"
#include "ico.h"
#include "jas.h"
#include "jpg.h"
#include "pcx.h"
#include "picture.h"
#include "png.h"
#include "stream.h"
#include "tga.h"
#include "tif.h"
#include "wbmp.h"
#include "wmf/wmf.h"

namespace {

constexpr const char* kNames[FormatCount] = {"unknown", "bmp", "gif", "jpg",  "png", "ico",
                                             "tif",     "tga", "pcx", "wbmp", "wmf", "jp2",
                                             "jpc",     "pgx", "pnm", "ras"};

// Runs one codec on a local object that sees the caller's information block; on success
// the decoded picture and the decoder's information block become the caller's.
template <class Codec>
bool DecodeWith(Picture& self, ByteStream* stream, uint32_t id) {
    auto codec = std::make_unique<Codec>();
    codec->CopyInfo(self);
    bool ok;
    if constexpr (requires { codec->Decode(stream, id); }) ok = codec->Decode(stream, id);
    else ok = codec->Decode(stream);
    if (ok) return self.Transfer(*codec);
    self.SetLastError(codec->GetLastError());
    if (id == ImageFormat::Gif || id == ImageFormat::Ico || id == ImageFormat::Tif)
        self.info.frameCount = codec->info.frameCount;
    return false;
}

// Encoders run on a ghost: it shares the caller's pixels and frees nothing.
template <class Codec>
bool EncodeWith(Picture& self, ByteStream* stream, uint32_t id) {
    auto codec = std::make_unique<Codec>();
    codec->Ghost(&self);
    bool ok;
    if constexpr (requires { codec->Encode(stream, id); }) ok = codec->Encode(stream, id);
    else ok = codec->Encode(stream);
    if (!ok) self.SetLastError(codec->GetLastError());
    return ok;
}

struct CodecEntry {
    bool (*decode)(Picture&, ByteStream*, uint32_t);
    bool (*encode)(Picture&, ByteStream*, uint32_t);
};

// One entry per id; an entry without functions is a format whose codec is not built in.
const CodecEntry kCodecs[FormatCount] = {
    /* Unknown */ {nullptr, nullptr},
    /* Bmp     */ {&DecodeWith<PictureBMP>, &EncodeWith<PictureBMP>},
    /* Gif     */ {&DecodeWith<PictureGIF>, &EncodeWith<PictureGIF>},
    /* Jpg     */ {&DecodeWith<PictureJPG>, &EncodeWith<PictureJPG>},
    /* Png     */ {&DecodeWith<PicturePNG>, &EncodeWith<PicturePNG>},
    /* Ico     */ {&DecodeWith<PictureICO>, &EncodeWith<PictureICO>},
    /* Tif     */ {&DecodeWith<PictureTIF>, &EncodeWith<PictureTIF>},
    /* Tga     */ {&DecodeWith<PictureTGA>, &EncodeWith<PictureTGA>},
    /* Pcx     */ {&DecodeWith<PicturePCX>, &EncodeWith<PicturePCX>},
    /* Wbmp    */ {&DecodeWith<PictureWBMP>, &EncodeWith<PictureWBMP>},
    /* Wmf     */ {&DecodeWith<PictureWMF>, &EncodeWith<PictureWMF>},
    /* Jp2     */ {&DecodeWith<PictureJAS>, &EncodeWith<PictureJAS>},
    /* Jpc     */ {&DecodeWith<PictureJAS>, &EncodeWith<PictureJAS>},
    /* Pgx     */ {&DecodeWith<PictureJAS>, &EncodeWith<PictureJAS>},
    /* Pnm     */ {&DecodeWith<PictureJAS>, &EncodeWith<PictureJAS>},
    /* Ras     */ {&DecodeWith<PictureJAS>, &EncodeWith<PictureJAS>},
};

// The order in which detection tries the codecs; the JasPer-backed decoder comes last and
// is run with id 0 so that it finds its own format.
constexpr uint32_t kDetectionOrder[] = {
    ImageFormat::Bmp, ImageFormat::Jpg, ImageFormat::Ico,  ImageFormat::Gif,
    ImageFormat::Png, ImageFormat::Tif, ImageFormat::Tga,  ImageFormat::Pcx,
    ImageFormat::Wbmp, ImageFormat::Wmf, ImageFormat::Jp2,
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
    return std::string(what) + ": " + kNames[id] + " codec not available";
}

}  // namespace

const char* FormatName(uint32_t id) { return id < FormatCount ? kNames[id] : "unknown"; }

uint32_t FormatFromName(const char* name) {
    if (!name) return 0;
    if (strcasecmp(name, "jpeg") == 0) return ImageFormat::Jpg;
    if (strcasecmp(name, "tiff") == 0) return ImageFormat::Tif;
    for (uint32_t id = 1; id < FormatCount; ++id)
        if (strcasecmp(name, kNames[id]) == 0) return id;
    return 0;
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
        const CodecEntry& entry = kCodecs[imageType];
        if (!entry.decode) {
            SetLastError(Missing("Decode", imageType).c_str());
            return false;
        }
        return Guarded(*this, "Decode", [&] { return entry.decode(*this, stream, imageType); });
    }

    // A codec that merely tried the data has no frames and no failure to report: each one
    // starts from the caller's information, and the one that accepts carries only its own.
    const int32_t frameCount = info.frameCount;
    char lastError[sizeof info.lastError];
    std::memcpy(lastError, info.lastError, sizeof lastError);
    const int32_t start = stream->Tell();
    for (uint32_t id : kDetectionOrder) {
        const CodecEntry& entry = kCodecs[id];
        if (!entry.decode) continue;
        const uint32_t runAs = id == ImageFormat::Jp2 ? ImageFormat::Unknown : id;
        if (Guarded(*this, "Decode", [&] { return entry.decode(*this, stream, runAs); })) return true;
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
        return true;
    }
    if (!dib) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
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
    const CodecEntry& entry = kCodecs[imageType];
    if (!entry.encode) {
        SetLastError(Missing("Encode", imageType).c_str());
        return false;
    }
    return Guarded(*this, "Encode", [&] { return entry.encode(*this, stream, imageType); });
}


// The picture is written to a temporary file beside the target, which replaces the target
// only when everything was written: a failed save leaves an existing file as it was.
bool Picture::Save(const char* fileName, uint32_t imageType) {
    if (!fileName || !*fileName) return false;
    ReplacingFile file;
    if (!file.Open(fileName)) {
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
