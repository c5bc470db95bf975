// JPEG 2000 through OpenJPEG: the JP2 file format (a signature box, then boxes of length,
// type and content, among them the header box jp2h and the code stream box jp2c) and the
// bare code stream (SOC, then the SIZ marker segment with the image and tile sizes and one
// precision and sampling record per component, then tiles). OpenJPEG reads and writes
// through stream callbacks over the ByteStream; its messages are never shown, and its
// failures come back as false results, which become the fixed failure texts.
//
// OpenJPEG allocates from what the headers declare (per tile and component records while
// reading the header, every sample while decoding, palette columns when applying a JP2
// palette), and a few bytes can declare gigabytes. So the headers are read here first, and
// a file whose declared sizes are out of bounds never reaches the library.
#include <openjpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "jas_image.h"

namespace jas {
namespace {

constexpr uint8_t kJp2Signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t kCodeStreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC, then the SIZ marker

constexpr uint32_t BoxType(const char (&name)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8) | static_cast<uint8_t>(name[3]);
}
constexpr uint32_t kHeaderBox = BoxType("jp2h");
constexpr uint32_t kCodeStreamBox = BoxType("jp2c");
constexpr uint32_t kPaletteBox = BoxType("pclr");

// Boxes walked before the code stream box is given up for lost.
constexpr uint32_t kMaxBoxes = 4096;
// Tile and component records OpenJPEG makes while reading the header (about 1.5 KiB each).
constexpr uint64_t kMaxTileComponents = 65536;
// OpenJPEG keeps each decoded sample in 32 bits.
constexpr uint64_t kLibrarySampleBytes = sizeof(OPJ_INT32);
// The library's stream buffer.
constexpr OPJ_SIZE_T kStreamChunk = 1 << 20;
// The ByteStream moves at most this many bytes per call.
constexpr OPJ_SIZE_T kIoPiece = 0x40000000;

// ---- reading the declared sizes ---------------------------------------------------------

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Reads exactly n bytes at an absolute position of the stream.
void ReadAt(ByteStream* stream, int64_t at, uint8_t* dest, uint32_t n) {
    if (at < 0 || at > INT32_MAX || !stream->Seek(static_cast<int32_t>(at), 0)) Fail(kLoadFailed);
    Reader(stream).Bytes(dest, n, kLoadFailed);
}

struct Box {
    uint32_t type;
    int64_t content;  // position of the content
    int64_t end;      // position after the box
};

// The box at the given position; a length of 0 runs to the end of the data.
Box ReadBox(ByteStream* stream, int64_t at, int64_t limit) {
    uint8_t h[16];
    ReadAt(stream, at, h, 8);
    const uint64_t length = BigEndian32(h);
    Box box{BigEndian32(h + 4), at + 8, 0};
    uint64_t size = length;
    if (length == 1) {
        ReadAt(stream, at + 8, h + 8, 8);
        size = (static_cast<uint64_t>(BigEndian32(h + 8)) << 32) | BigEndian32(h + 12);
        box.content = at + 16;
    } else if (length == 0) {
        size = static_cast<uint64_t>(limit - at);
    }
    if (size < static_cast<uint64_t>(box.content - at) || size > static_cast<uint64_t>(limit - at))
        Fail(kLoadFailed);
    box.end = at + static_cast<int64_t>(size);
    return box;
}

struct Declared {
    uint64_t samples = 0;           // all components together
    uint64_t largestComponent = 0;  // samples of the largest one
    uint32_t paletteChannels = 0;   // columns of a JP2 palette, which replace the components
};

// Checks the SIZ marker segment at the given position.
void CheckSiz(ByteStream* stream, int64_t at, Declared& declared) {
    uint8_t siz[42];
    ReadAt(stream, at, siz, sizeof siz);
    if (std::memcmp(siz, kCodeStreamStart, 4) != 0) Fail(kLoadFailed);
    // Image size, image offset, tile size and tile offset, each across then down.
    const uint64_t xsiz = BigEndian32(siz + 8), ysiz = BigEndian32(siz + 12);
    const uint64_t xosiz = BigEndian32(siz + 16), yosiz = BigEndian32(siz + 20);
    const uint64_t xtsiz = BigEndian32(siz + 24), ytsiz = BigEndian32(siz + 28);
    const uint64_t xtosiz = BigEndian32(siz + 32), ytosiz = BigEndian32(siz + 36);
    const uint32_t components = BigEndian16(siz + 40);
    if (components == 0) Fail(kLoadFailed);
    if (components > kMaxComponents) Fail(kTooManyComponents);
    if (xsiz <= xosiz || ysiz <= yosiz || xtsiz == 0 || ytsiz == 0 || xtosiz > xosiz || ytosiz > yosiz)
        Fail(kLoadFailed);
    const uint64_t tiles = CeilDiv(xsiz - xtosiz, xtsiz) * CeilDiv(ysiz - ytosiz, ytsiz);
    if (tiles > kMaxTileComponents || tiles * components > kMaxTileComponents) Fail(kLoadFailed);

    uint8_t records[3 * kMaxComponents];
    ReadAt(stream, at + sizeof siz, records, 3 * components);
    for (uint32_t c = 0; c < components; ++c) {
        const uint32_t precision = (records[3 * c] & 0x7F) + 1u;
        const uint64_t dx = records[3 * c + 1], dy = records[3 * c + 2];
        if (precision > kMaxPrecision || dx == 0 || dy == 0) Fail(kLoadFailed);
        const uint64_t samples =
            (CeilDiv(xsiz, dx) - CeilDiv(xosiz, dx)) * (CeilDiv(ysiz, dy) - CeilDiv(yosiz, dy));
        if (!FitsSamples(samples, kLibrarySampleBytes)) Fail(kLoadFailed);
        declared.samples += samples;
        declared.largestComponent = std::max(declared.largestComponent, samples);
    }
}

// Walks the boxes of a JP2 file to the palette in its header and to the code stream.
void CheckJp2Boxes(ByteStream* stream, int64_t base, int64_t limit, Declared& declared) {
    int64_t at = base;
    for (uint32_t n = 0; n < kMaxBoxes && at < limit; ++n) {
        const Box box = ReadBox(stream, at, limit);
        if (box.type == kHeaderBox) {
            for (int64_t inner = box.content; inner < box.end;) {
                const Box sub = ReadBox(stream, inner, box.end);
                if (sub.type == kPaletteBox) {
                    uint8_t pclr[3];  // entries (16 bits), then columns
                    if (sub.end - sub.content < 3) Fail(kLoadFailed);
                    ReadAt(stream, sub.content, pclr, 3);
                    declared.paletteChannels = pclr[2];
                }
                inner = sub.end;
            }
        } else if (box.type == kCodeStreamBox) {
            CheckSiz(stream, box.content, declared);
            return;
        }
        at = box.end;
    }
    Fail(kLoadFailed);
}

void CheckDeclared(ByteStream* stream, bool fileFormat) {
    const int64_t base = stream->Tell();
    const int64_t size = stream->Size();
    if (base < 0 || size < base) Fail(kLoadFailed);
    Declared declared;
    if (fileFormat)
        CheckJp2Boxes(stream, base, size, declared);
    else
        CheckSiz(stream, base, declared);
    if (declared.paletteChannels > kMaxComponents) Fail(kTooManyComponents);
    // OpenJPEG holds every sample of the image at once, and a palette's columns replace
    // the component they index.
    if (!FitsSamples(declared.samples, kLibrarySampleBytes) ||
        !FitsSamples(declared.paletteChannels * declared.largestComponent, kLibrarySampleBytes))
        Fail(kLoadFailed);
    if (!stream->Seek(static_cast<int32_t>(base), 0)) Fail(kLoadFailed);
}

// ---- the library's stream over a ByteStream ---------------------------------------------

struct Channel {
    ByteStream* stream;
    int64_t base;  // where the library's position 0 lies
};

// Nothing thrown may cross the library's C frames: a stream that throws moved no bytes.
OPJ_SIZE_T OnRead(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* channel = static_cast<Channel*>(user);
    uint32_t got = 0;
    try {
        got = channel->stream->Read(buffer, 1, static_cast<uint32_t>(std::min(n, kIoPiece)));
    } catch (...) {
        got = 0;
    }
    // The library takes a zero count for "try again"; the end of the data is -1.
    return got > 0 ? got : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_SIZE_T OnWrite(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* channel = static_cast<Channel*>(user);
    OPJ_SIZE_T done = 0;
    try {
        while (done < n) {
            const auto piece = static_cast<uint32_t>(std::min(n - done, kIoPiece));
            if (channel->stream->Write(static_cast<uint8_t*>(buffer) + done, 1, piece) != piece) break;
            done += piece;
        }
    } catch (...) {
    }
    return done == n ? n : static_cast<OPJ_SIZE_T>(-1);
}

bool SeekTo(ByteStream* stream, int64_t target) {
    try {
        return target >= 0 && target <= INT32_MAX && stream->Seek(static_cast<int32_t>(target), 0);
    } catch (...) {
        return false;
    }
}

OPJ_OFF_T OnSkipRead(OPJ_OFF_T n, void* user) {
    auto* channel = static_cast<Channel*>(user);
    const int64_t at = channel->stream->Tell();
    return at >= 0 && SeekTo(channel->stream, at + n) ? n : -1;
}

// Skipping forward while writing leaves room the library fills later; the room past the
// end is written as zeros so that no byte of the result is left undefined.
OPJ_OFF_T OnSkipWrite(OPJ_OFF_T n, void* user) {
    auto* channel = static_cast<Channel*>(user);
    ByteStream* stream = channel->stream;
    const int64_t at = stream->Tell(), size = stream->Size();
    if (at < 0 || n < 0) return -1;
    if (at + n <= size) return SeekTo(stream, at + n) ? n : -1;
    if (at < size && !SeekTo(stream, size)) return -1;
    static const uint8_t zeros[256] = {};
    for (int64_t left = at + n - std::max(at, size); left > 0;) {
        const auto piece = static_cast<OPJ_SIZE_T>(std::min<int64_t>(left, sizeof zeros));
        if (OnWrite(const_cast<uint8_t*>(zeros), piece, user) != piece) return -1;
        left -= static_cast<int64_t>(piece);
    }
    return n;
}

OPJ_BOOL OnSeek(OPJ_OFF_T position, void* user) {
    auto* channel = static_cast<Channel*>(user);
    return SeekTo(channel->stream, channel->base + position) ? OPJ_TRUE : OPJ_FALSE;
}

void Quiet(const char*, void*) {}

void Silence(opj_codec_t* codec) {
    opj_set_info_handler(codec, Quiet, nullptr);
    opj_set_warning_handler(codec, Quiet, nullptr);
    opj_set_error_handler(codec, Quiet, nullptr);
}

struct CodecFree {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamFree {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageFree {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecFree>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamFree>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageFree>;

StreamPtr MakeStream(Channel& channel, bool input) {
    StreamPtr stream(opj_stream_create(kStreamChunk, input ? OPJ_TRUE : OPJ_FALSE));
    if (!stream) Fail(input ? kNoInput : kNoOutput);
    opj_stream_set_user_data(stream.get(), &channel, nullptr);
    if (input) {
        const int64_t left = Reader(channel.stream).Remaining();
        if (left >= 0) opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(left));
        opj_stream_set_read_function(stream.get(), OnRead);
        opj_stream_set_skip_function(stream.get(), OnSkipRead);
    } else {
        opj_stream_set_write_function(stream.get(), OnWrite);
        opj_stream_set_skip_function(stream.get(), OnSkipWrite);
    }
    opj_stream_set_seek_function(stream.get(), OnSeek);
    return stream;
}

ColorSpace FromLibrary(OPJ_COLOR_SPACE space, uint32_t components) {
    switch (space) {
        case OPJ_CLRSPC_SRGB:
            return ColorSpace::Srgb;
        case OPJ_CLRSPC_GRAY:
            return ColorSpace::Grey;
        case OPJ_CLRSPC_SYCC:
            return ColorSpace::Sycc;
        case OPJ_CLRSPC_EYCC:
        case OPJ_CLRSPC_CMYK:
            return ColorSpace::Other;
        default:
            // A code stream says nothing of colour: three components or more are taken
            // for red, green and blue, fewer for grey.
            return components >= 3 ? ColorSpace::Srgb : ColorSpace::Grey;
    }
}

}  // namespace

bool IsJp2(const uint8_t* head, size_t n) { return n >= 12 && std::memcmp(head, kJp2Signature, 12) == 0; }
bool IsJpc(const uint8_t* head, size_t n) { return n >= 4 && std::memcmp(head, kCodeStreamStart, 4) == 0; }

Image ReadJpeg2000(ByteStream* stream, bool fileFormat) {
    CheckDeclared(stream, fileFormat);
    Channel channel{stream, stream->Tell()};

    CodecPtr codec(opj_create_decompress(fileFormat ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) Fail(kLoadFailed);
    Silence(codec.get());
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) Fail(kLoadFailed);
    StreamPtr in = MakeStream(channel, true);

    opj_image_t* header = nullptr;
    const bool read = opj_read_header(in.get(), codec.get(), &header);
    ImagePtr decoded(header);
    if (!read || !decoded) Fail(kLoadFailed);
    if (!opj_decode(codec.get(), in.get(), decoded.get()) || !opj_end_decompress(codec.get(), in.get()))
        Fail(kLoadFailed);

    // What the library returns is checked again before use: a palette or channel
    // definitions may have changed the components.
    const opj_image_t& source = *decoded;
    if (source.numcomps == 0 || !source.comps) Fail(kLoadFailed);
    if (source.numcomps > kMaxComponents) Fail(kTooManyComponents);
    Image image;
    image.colorSpace = FromLibrary(source.color_space, source.numcomps);
    for (uint32_t i = 0; i < source.numcomps; ++i) {
        const opj_image_comp_t& c = source.comps[i];
        if (!c.data || c.prec == 0 || c.prec > kMaxPrecision || c.dx == 0 || c.dy == 0) Fail(kLoadFailed);
        const uint32_t maxval = (1u << c.prec) - 1;
        Component& out = AddComponent(image, c.w, c.h, maxval);
        out.hstep = c.dx;
        out.vstep = c.dy;
        out.opacity = c.alpha != 0;
        // Signed samples move up by half the range, so that every component is unsigned.
        const int64_t offset = c.sgnd ? int64_t{1} << (c.prec - 1) : 0;
        for (size_t k = 0; k < out.samples.size(); ++k)
            out.samples[k] = static_cast<uint16_t>(std::clamp<int64_t>(c.data[k] + offset, 0, maxval));
    }
    return image;
}

void WriteJpeg2000(const Image& image, ByteStream* stream, bool fileFormat, double rate) {
    const size_t count = image.components.size();
    if (count != 1 && count != 3) Fail(kEncodeFailed);
    const Component& first = image.components[0];
    const uint32_t width = first.width, height = first.height;

    opj_image_cmptparm_t parameters[3];
    std::memset(parameters, 0, sizeof parameters);
    for (size_t c = 0; c < count; ++c) {
        parameters[c].dx = parameters[c].dy = 1;
        parameters[c].w = width;
        parameters[c].h = height;
        parameters[c].prec = image.components[c].precision;
    }
    ImagePtr target(opj_image_create(static_cast<OPJ_UINT32>(count), parameters,
                                     count == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
    if (!target) Fail(kEncodeFailed);
    target->x0 = target->y0 = 0;
    target->x1 = width;
    target->y1 = height;
    for (size_t c = 0; c < count; ++c) {
        const std::vector<uint16_t>& samples = image.components[c].samples;
        std::copy(samples.begin(), samples.end(), target->comps[c].data);
    }

    // One quality layer at the target rate, over the reversible 5/3 wavelet, with as many
    // resolution levels (up to the usual six) as the smaller side allows.
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.cp_disto_alloc = 1;
    // A ratio of 0 asks for lossless coding; rate 0 gets the smallest rate the option string
    // can say.
    settings.tcp_rates[0] = rate >= 1.0 ? 0.0f : static_cast<float>(1.0 / std::max(rate, 0.001));
    settings.irreversible = 0;
    settings.tcp_mct = count == 3 ? 1 : 0;
    int levels = 1;
    while (levels < 6 && (std::min(width, height) >> levels) > 0) ++levels;
    settings.numresolution = levels;

    CodecPtr codec(opj_create_compress(fileFormat ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) Fail(kEncodeFailed);
    Silence(codec.get());
    if (!opj_setup_encoder(codec.get(), &settings, target.get())) Fail(kEncodeFailed);
    Channel channel{stream, stream->Tell()};
    if (channel.base < 0) Fail(kEncodeFailed);
    StreamPtr out = MakeStream(channel, false);
    if (!opj_start_compress(codec.get(), target.get(), out.get()) || !opj_encode(codec.get(), out.get()) ||
        !opj_end_compress(codec.get(), out.get()))
        Fail(kEncodeFailed);
}

}  // namespace jas
