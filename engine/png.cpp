// PNG: an 8-byte signature, then chunks of length, type, data and CRC: IHDR, PLTE, tRNS,
// bKGD, pHYs, the IDAT image data, IEND. libpng parses the chunks and inflates the rows;
// this adapter maps its rows onto the picture and back.
//
// libpng reports every error by longjmp. A jump must not skip a destructor, so each piece
// of work that calls into the library runs as a step under Guarded: the frames between the
// armed jump and the library (the steps and the stream callbacks) hold only objects without
// destructors, and everything that owns memory lives in Decode or Encode, above the jump.
#include "png.h"

#include <libpng16/png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "rowiterator.h"
#include "sizelimits.h"

using namespace codec;

namespace {

constexpr const char* kCreateFailed = "Failed to create PNG structure";
constexpr const char* kInfoFailed = "Failed to initialize PNG info structure";
constexpr const char* kSaveFailed = "Error saving PNG file";

// Background records in the library's layout: palette index, red, green, blue, grey.
// Decoding composites against the file's own bKGD or, without one, against light grey, grey
// files included; encoding writes white unless the picture names a transparent colour.
constexpr uint8_t kLightGrey = 192;
constexpr png_color_16 kDecodeBackground{0, kLightGrey, kLightGrey, kLightGrey, kLightGrey};
constexpr png_color_16 kEncodeBackground{0, 255, 255, 255, 0};

// Palette pictures this small are scanned for their highest index so that the PLTE chunk
// carries only the entries in use.
constexpr uint64_t kTrimBelowPixels = 65536;

// Deflate codes at best 258 bytes in two bits, so no zlib stream inflates to more than 1032
// times its size: a file whose remaining bytes cannot hold its rows even at that rate is cut
// short and is refused before the picture is made.
constexpr uint64_t kInflatedBytesPerByte = 1032;
constexpr const char* kTooShort = "PNG file too short for its picture";

// Ancillary chunks the decoder has no use for are skipped unread. Text and colour profiles
// are compressed, and libpng would otherwise inflate and keep every one of them.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";
// libpng keeps at most this many of the chunks it still caches, and allocates at most this
// much for one chunk; the chunks read here (PLTE, tRNS, bKGD, pHYs, gAMA) are tiny.
constexpr png_uint_32 kChunkCacheMax = 128;
constexpr png_alloc_size_t kChunkMallocMax = 1u << 20;
// libpng's rows take up to 8 bytes per pixel (16-bit RGBA): the widest file is the one whose
// row of those fits the picture cap. PNG itself allows 2^31 - 1 in either direction.
constexpr uint64_t kLibraryBytesPerPixel = 8;
constexpr png_uint_32 kPngLargestSide = 0x7FFFFFFF;

static_assert(std::is_trivially_destructible_v<CRowIterator>,
              "the row steps hold a row iterator in frames a longjmp may skip");

// ---- library callbacks ------------------------------------------------------------------

// The message goes into the text the error pointer names (the decoder's lastError; the
// encoder has none and keeps its fixed text), then back to the armed jump. Returning would
// let the library print the message.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    if (auto* text = static_cast<char*>(png_get_error_ptr(png))) {
        std::strncpy(text, message ? message : "", 255);
        text[255] = '\0';
    }
    png_longjmp(png, 1);
}

// Library warnings are never shown.
void OnWarning(png_structp, png_const_charp) {}

// Nothing thrown may cross the library's C frames: a stream that throws counts as one that
// moved no bytes.
uint32_t ReadSome(ByteStream* stream, void* data, uint32_t n) noexcept {
    try {
        return stream->Read(data, 1, n);
    } catch (...) {
        return 0;
    }
}

uint32_t WriteSome(ByteStream* stream, const void* data, uint32_t n) noexcept {
    try {
        return stream->Write(data, 1, n);
    } catch (...) {
        return 0;
    }
}

bool FlushStream(ByteStream* stream) noexcept {
    try {
        return stream->Flush();
    } catch (...) {
        return false;
    }
}

constexpr size_t kIoPiece = 0x40000000;  // the stream counts in 32 bits

void OnRead(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<ByteStream*>(png_get_io_ptr(png));
    while (length > 0) {
        const uint32_t piece = static_cast<uint32_t>(std::min(length, kIoPiece));
        if (ReadSome(stream, data, piece) != piece) png_error(png, "Read Error");
        data += piece;
        length -= piece;
    }
}

void OnWrite(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<ByteStream*>(png_get_io_ptr(png));
    while (length > 0) {
        const uint32_t piece = static_cast<uint32_t>(std::min(length, kIoPiece));
        if (WriteSome(stream, data, piece) != piece) png_error(png, "Write Error");
        data += piece;
        length -= piece;
    }
}

void OnFlush(png_structp png) {
    if (!FlushStream(static_cast<ByteStream*>(png_get_io_ptr(png)))) png_error(png, "Flush Error");
}

// ---- the armed jump ---------------------------------------------------------------------

using Step = void (*)(void* job);

// Runs one step with the library's error return armed; false when the library jumped back.
// This frame holds two pointers that are not changed after setjmp.
[[gnu::noinline]] bool Guarded(png_structp png, Step step, void* job) {
    if (setjmp(png_jmpbuf(png))) return false;
    step(job);
    return true;
}

// The library's structures, released together however the call ends.
struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs() {
        if (png) png_destroy_read_struct(&png, &info, nullptr);
    }
};

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    WriteStructs() = default;
    WriteStructs(const WriteStructs&) = delete;
    WriteStructs& operator=(const WriteStructs&) = delete;
    ~WriteStructs() {
        if (png) png_destroy_write_struct(&png, &info);
    }
};

// ---- decoding ---------------------------------------------------------------------------

struct DecodeJob {
    PicturePNG* self;
    ByteStream* stream;
    png_structp png;
    png_infop info;
    int bitDepth;     // per sample, as stored
    int passes;       // 7 for an Adam7 file, else 1
    size_t rowBytes;  // size of the row buffer the rows need
    uint8_t* row;     // the row buffer, owned by Decode
    bool stopped;     // the header step ended the call; lastError says why (or is kept)
};

uint8_t LowByte(png_uint_16 v) { return static_cast<uint8_t>(v & 0xFF); }

// Dots per inch from a pHYs value in pixels per metre.
int32_t DotsPerInch(png_uint_32 perMetre) {
    return static_cast<int32_t>(std::floor(static_cast<double>(perMetre * 254ull) * 0.0001 + 0.5));
}

// Whether the bytes left in the stream (the image data, once the header chunks are read)
// can inflate to the filtered rows of the picture. Interlaced rows are counted without their
// per-row rounding, which only makes the bound lower.
bool StreamCanHoldRows(ByteStream* stream, uint64_t width, uint64_t height, uint64_t pixelDepth,
                       bool interlaced) {
    const int32_t size = stream->Size(), at = stream->Tell();
    if (size < 0 || at < 0 || size < at) return true;  // a stream of unknown length
    const uint64_t rows =
        interlaced ? width * height * pixelDepth / 8 : height * (1 + (width * pixelDepth + 7) / 8);
    return CanHold(static_cast<uint64_t>(size - at), rows, kInflatedBytesPerByte);
}

// Reads the chunks before the image data, sets the library's transformations and makes
// the picture.
void ReadHeader(void* p) {
    DecodeJob& job = *static_cast<DecodeJob*>(p);
    PicturePNG& pic = *job.self;
    png_structp png = job.png;
    png_infop info = job.info;

    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    job.bitDepth = bitDepth;
    // Bits per pixel as stored: every channel at the file's bit depth.
    const int pixelDepth = png_get_channels(png, info) * bitDepth;

    // Alpha is composited away against a background for every layout except those whose
    // pixels take exactly 32 bits (8-bit RGBA, 16-bit grey with alpha): those keep it.
    png_color_16p fileBackground = nullptr;
    const bool hasBackground = png_get_bKGD(png, info, &fileBackground) != 0 && fileBackground;
    // 1-, 2- and 4-bit grey levels cannot hold light grey, and their only transparency is a
    // key level: without a bKGD the key's palette entry becomes light grey instead (below).
    const bool greyKeyEntry = colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8 && !hasBackground;
    if (greyKeyEntry) {
        // no compositing: the pixels keep their levels
    } else if (pixelDepth != 32) {
        if (hasBackground)
            png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        else
            png_set_background(png, &kDecodeBackground, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    } else if (hasBackground) {
        pic.info.transColor = RGBQUAD{LowByte(fileBackground->blue), LowByte(fileBackground->green),
                                      LowByte(fileBackground->red), 0};
    }
    if (bitDepth == 16) png_set_strip_16(png);

    // Colour pixels become 24-bit ones; grey and palette pixels keep their depth, 16-bit grey
    // and 8-bit grey with alpha (composited) become 8-bit.
    const uint32_t depth = pixelDepth > 16 ? 24 : pixelDepth == 16 ? 8 : static_cast<uint32_t>(pixelDepth);

    // A measuring or cancelled call ends here, before any pixels are made; the size stays
    // in the header of the codec object.
    if (pic.info.escape) {
        pic.header.biWidth = static_cast<int32_t>(width);
        pic.header.biHeight = static_cast<int32_t>(height);
        job.stopped = true;
        return;
    }
    if (!FitsPictureCap(width, height, depth)) {
        pic.SetLastError("PICTURE_MAX_MEMORY exceeded");
        job.stopped = true;
        return;
    }
    if (!StreamCanHoldRows(job.stream, width, height, pixelDepth,
                           png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)) {
        pic.SetLastError(kTooShort);
        job.stopped = true;
        return;
    }
    if (!pic.Create(width, height, depth, ImageFormat::Png)) {
        job.stopped = true;
        return;
    }

    // pHYs unit 0 gives only an aspect ratio, taken as it stands (a file without pHYs gives
    // 0 and so the default); unit 1 is the metre.
    png_uint_32 xRes = 0, yRes = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    png_get_pHYs(png, info, &xRes, &yRes, &unit);
    if (unit == PNG_RESOLUTION_UNKNOWN) {
        pic.SetXDpi(static_cast<int32_t>(xRes));
        pic.SetYDpi(static_cast<int32_t>(yRes));
    } else if (unit == PNG_RESOLUTION_METER) {
        pic.SetXDpi(DotsPerInch(xRes));
        pic.SetYDpi(DotsPerInch(yRes));
    }

    // 2-bit pixels are widened to 4-bit ones below; without a PLTE their four levels are
    // the greys 0, 85, 170, 255.
    png_colorp plte = nullptr;
    int plteCount = 0;
    if (png_get_PLTE(png, info, &plte, &plteCount) && plte && plteCount > 0) {
        uint8_t triples[256][3];
        const int n = std::min(plteCount, 256);
        for (int i = 0; i < n; ++i) {
            triples[i][0] = plte[i].red;
            triples[i][1] = plte[i].green;
            triples[i][2] = plte[i].blue;
        }
        pic.SetPalette(triples, static_cast<uint32_t>(n));
    } else if (bitDepth == 2) {
        for (uint8_t i = 0; i < 4; ++i) {
            const auto level = static_cast<uint8_t>(85 * i);
            pic.SetPaletteColor(i, level, level, level, 0);
        }
    } else {
        pic.SetGrayPalette();
    }

    // A palette file's tRNS holds one alpha value per leading entry. A grey file's holds a
    // key level instead, whose pixels the library has replaced by the background already,
    // so its entries stay opaque.
    png_bytep transAlpha = nullptr;
    int transCount = 0;
    png_color_16p transKey = nullptr;
    if (png_get_tRNS(png, info, &transAlpha, &transCount, &transKey) && transCount > 0) {
        if (RGBQUAD* palette = pic.GetPalette()) {
            // The key names a level, and every pixel of that level is transparent: showing
            // its entry as light grey composites them exactly.
            if (greyKeyEntry && transKey && transKey->gray < pic.GetNumColors())
                palette[transKey->gray] = RGBQUAD{kLightGrey, kLightGrey, kLightGrey, 0};
            const bool table = colorType == PNG_COLOR_TYPE_PALETTE && transAlpha;
            const uint32_t colors = pic.GetNumColors();
            const uint32_t n = std::min(colors, static_cast<uint32_t>(transCount));
            for (uint32_t i = 0; i < n; ++i) palette[i].rgbReserved = table ? transAlpha[i] : 255;
            if (transCount == 1 && palette[0].rgbReserved == 0) {
                pic.SetTransIndex(0);
            } else {
                pic.info.alphaPaletteEnabled = true;
                for (uint32_t i = n; i < colors; ++i) palette[i].rgbReserved = 255;
            }
        }
    }

    // Alpha that survives goes to the alpha plane: rows come as four bytes per pixel, with
    // grey spread to three channels and a filler where no alpha is left.
    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
        (colorType == PNG_COLOR_TYPE_GRAY_ALPHA && pixelDepth == 32)) {
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            png_set_gray_to_rgb(png);
            png_set_expand(png);
        }
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        pic.AlphaCreate();
        if (!pic.AlphaIsValid()) {
            pic.SetLastError("Can't allocate memory");
            job.stopped = true;
            return;
        }
    }
    if (colorType & PNG_COLOR_MASK_COLOR) png_set_bgr(png);  // the picture stores blue first

    job.passes = png_set_interlace_handling(png);
    pic.SetCodecOption(job.passes > 1 ? 1 : 0, ImageFormat::Png);
    png_read_update_info(png, info);

    // One stored pixel's bytes per column, and never less than the transformed row the
    // library will deliver or the picture row copied through the buffer.
    size_t bytes = static_cast<size_t>(width) * ((static_cast<size_t>(pixelDepth) + 7) / 8);
    bytes = std::max(
        {bytes, static_cast<size_t>(png_get_rowbytes(png, info)), static_cast<size_t>(pic.GetEffWidth())});
    job.rowBytes = bytes + 10;
}

// 2-bit pixels become 4-bit ones in place. Pixel n moves from byte n/4 to byte n/2; walking
// from the last pixel to the first reads every source byte before it is overwritten.
void Widen2To4(uint8_t* row, uint32_t width) {
    for (uint32_t n = width; n-- > 0;) {
        const auto value = static_cast<uint8_t>((row[n / 4] >> (2 * (3 - n % 4))) & 3);
        const uint32_t shift = 4 * (1 - n % 2);
        row[n / 2] = static_cast<uint8_t>((row[n / 2] & ~(0x0F << shift)) | (value << shift));
    }
}

// Reads the rows top down, pass by pass, then the chunks after the image data. In the later
// passes of an interlaced file the buffer first receives the row as earlier passes left it,
// so that the library merges the new pixels into it.
void ReadRows(void* p) {
    DecodeJob& job = *static_cast<DecodeJob*>(p);
    PicturePNG& pic = *job.self;
    png_structp png = job.png;
    uint8_t* const row = job.row;
    const int32_t width = static_cast<int32_t>(pic.GetWidth());
    const int32_t height = static_cast<int32_t>(pic.GetHeight());
    const int32_t effWidth = static_cast<int32_t>(pic.GetEffWidth());
    const bool withAlpha = pic.AlphaIsValid();

    for (int pass = 0; pass < job.passes; ++pass) {
        CRowIterator rows(&pic);
        rows.StartAtTop();
        for (int32_t done = 0; done < height; ++done) {
            if (pic.info.escape) png_longjmp(png, 1);
            if (withAlpha) {
                const int32_t y = height - 1 - done;
                uint8_t* pixels = rows.RowAt(y);
                uint8_t* alpha = pic.AlphaGetPointer(0, y);
                if (pass > 0) {
                    for (int32_t x = 0; x < width; ++x) {
                        std::memcpy(row + 4 * x, pixels + 3 * x, 3);
                        row[4 * x + 3] = alpha[x];
                    }
                }
                png_read_row(png, row, nullptr);
                for (int32_t x = 0; x < width; ++x) {
                    std::memcpy(pixels + 3 * x, row + 4 * x, 3);
                    alpha[x] = row[4 * x + 3];
                }
            } else {
                if (pass > 0) rows.CopyFromRow(row, effWidth);
                png_read_row(png, row, nullptr);
                if (job.bitDepth == 2 && pass == job.passes - 1) Widen2To4(row, static_cast<uint32_t>(width));
                rows.CopyIntoRow(row, effWidth);
                rows.StepDown();
            }
        }
    }
    png_read_end(png, job.info);
}

// ---- encoding ---------------------------------------------------------------------------

struct EncodeJob {
    PicturePNG* self;
    png_structp png;
    png_infop info;
    int bitDepth;
    int colorType;
    int interlace;
    png_color_16 background;
    const png_color* palette;  // PLTE entries, or none
    int paletteCount;
    const uint8_t* alphas;  // tRNS entries, or none
    int alphaCount;
    uint8_t* row;  // the row buffer, owned by Encode
};

// Gives the header and the chunks before the image data, then the rows top down in every
// pass (the library picks the pixels each interlace pass needs), then IEND.
void WriteImage(void* p) {
    EncodeJob& job = *static_cast<EncodeJob*>(p);
    PicturePNG& pic = *job.self;
    png_structp png = job.png;
    png_infop info = job.info;
    const int32_t width = static_cast<int32_t>(pic.GetWidth());
    const int32_t height = static_cast<int32_t>(pic.GetHeight());
    uint8_t* const row = job.row;

    png_set_IHDR(png, info, pic.GetWidth(), pic.GetHeight(), job.bitDepth, job.colorType, job.interlace,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (job.paletteCount > 0) png_set_PLTE(png, info, job.palette, job.paletteCount);
    if (job.alphaCount > 0) png_set_tRNS(png, info, job.alphas, job.alphaCount, nullptr);
    png_set_bKGD(png, info, &job.background);
    png_set_pHYs(png, info, static_cast<png_uint_32>(std::max(pic.header.biXPelsPerMeter, 0)),
                 static_cast<png_uint_32>(std::max(pic.header.biYPelsPerMeter, 0)), PNG_RESOLUTION_METER);
    // Colour rows are filtered, and for filtered rows the library asks zlib by default for
    // level 6 with Z_FILTERED, which turns matches shorter than six bytes into literals. Scanned
    // pages are full of short repeats (screentone, lettering, JPEG ringing along the ink), so
    // zlib's plain greedy matching at level 3 makes those files about a sixth smaller in well
    // under half the time; photographs come out the same size. Palette and grey rows are not
    // filtered and keep the library's default.
    if (job.colorType == PNG_COLOR_TYPE_RGB || job.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        png_set_compression_level(png, 3);
        png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    }
    png_write_info(png, info);

    const int passes = png_set_interlace_handling(png);
    const RGBQUAD* palette = pic.GetPalette();
    const uint32_t alphaMax = pic.info.alphaMax;
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = height - 1; y >= 0; --y) {
            if (job.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
                const uint8_t* alpha = pic.AlphaGetPointer(0, y);
                const uint8_t* pixels = pic.GetBits(0) + static_cast<uint64_t>(y) * pic.GetEffWidth();
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t* out = row + 4 * x;
                    if (palette) {
                        const RGBQUAD c = palette[pic.BlindGetPixelIndex(x, y)];
                        out[0] = c.rgbRed, out[1] = c.rgbGreen, out[2] = c.rgbBlue;
                    } else {
                        out[0] = pixels[3 * x + 2], out[1] = pixels[3 * x + 1], out[2] = pixels[3 * x];
                    }
                    out[3] = static_cast<uint8_t>(alphaMax * alpha[x] / 255);
                }
            } else {
                std::memcpy(row, pic.GetBits(0) + static_cast<uint64_t>(y) * pic.GetEffWidth(),
                            pic.GetEffWidth());
                if (job.colorType == PNG_COLOR_TYPE_RGB)
                    pic.SwapRedBlue(row, static_cast<int32_t>(pic.GetEffWidth()));
            }
            png_write_row(png, row);
        }
    }
    png_write_end(png, info);
}

// A plane made only for one encode is freed when the encode ends, however it ends.
struct TemporaryAlpha {
    Picture& picture;
    bool made = false;
    ~TemporaryAlpha() {
        if (made) picture.AlphaDelete();
    }
};

}  // namespace

bool PicturePNG::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, "Can't allocate memory", [&]() -> bool {
        ReadStructs structs;
        structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, info.lastError, OnError, OnWarning);
        if (!structs.png) Fail(kCreateFailed);
        structs.info = png_create_info_struct(structs.png);
        if (!structs.info) Fail(kInfoFailed);
        png_set_read_fn(structs.png, stream, OnRead);
        const uint64_t widest = std::min<uint64_t>(kPngLargestSide, GetPictureCap() / kLibraryBytesPerPixel);
        png_set_user_limits(structs.png, static_cast<png_uint_32>(std::max<uint64_t>(widest, 1)),
                            kPngLargestSide);
        png_set_chunk_cache_max(structs.png, kChunkCacheMax);
        png_set_chunk_malloc_max(structs.png, kChunkMallocMax);
        png_set_keep_unknown_chunks(structs.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                    static_cast<int>(sizeof kSkippedChunks / 5));

        // A failure from here on has its text in lastError already: the library's message,
        // Create's, or the text the caller had when the call was only measuring.
        DecodeJob job{this, stream, structs.png, structs.info, 0, 1, 0, nullptr, false};
        if (!Guarded(structs.png, ReadHeader, &job) || job.stopped) Fail("");
        std::vector<uint8_t> row(job.rowBytes);
        job.row = row.data();
        if (!Guarded(structs.png, ReadRows, &job)) Fail("");
        return true;
    });
}

bool PicturePNG::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    return RunCodec(*this, kSaveFailed, [&]() -> bool {
        WriteStructs structs;
        structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
        if (!structs.png) Fail(kCreateFailed);
        structs.info = png_create_info_struct(structs.png);
        if (!structs.info) Fail(kInfoFailed);
        png_set_write_fn(structs.png, stream, OnWrite, OnFlush);

        EncodeJob job{};
        job.self = this;
        job.png = structs.png;
        job.info = structs.info;
        job.bitDepth = 8;
        job.colorType = PNG_COLOR_TYPE_RGB;
        job.interlace = GetCodecOption(ImageFormat::Png) == 1 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;

        // Every file gets a bKGD chunk; a palette file's names entry 0, where the
        // transparent entry ends up.
        job.background = kEncodeBackground;
        if (info.transIndex != -1) {
            job.background.red = info.transColor.rgbRed;
            job.background.green = info.transColor.rgbGreen;
            job.background.blue = info.transColor.rgbBlue;
        }

        std::array<png_color, 256> plte{};
        std::array<uint8_t, 256> alphas{};
        if (RGBQUAD* palette = GetPalette()) {
            // Grey pictures are written as palette pictures too.
            job.colorType = PNG_COLOR_TYPE_PALETTE;
            job.bitDepth = GetBpp();
            const uint32_t colors = GetNumColors();
            const int32_t trans = info.transIndex;
            if (trans >= 0 && static_cast<uint32_t>(trans) < colors) {
                alphas[0] = 0;
                job.alphaCount = 1;
                if (trans != 0) {
                    // A one-entry tRNS can only mark entry 0, so the transparent entry moves
                    // there. The ghost shares the caller's palette and pixels: the caller's
                    // picture changes the same way, looks the same, and its transparent
                    // index follows.
                    SwapIndex(0, static_cast<uint8_t>(trans));
                    SetTransIndex(0);
                    if (Picture* owner = info.ghost) {
                        owner->SetTransIndex(0);
                        owner->info.lastColorValid = false;
                    }
                }
            }

            uint32_t count = colors;
            const int32_t width = static_cast<int32_t>(GetWidth()),
                          height = static_cast<int32_t>(GetHeight());
            if (count > 2 &&
                static_cast<uint64_t>(width) * static_cast<uint64_t>(height) < kTrimBelowPixels) {
                uint32_t highest = 0;
                for (int32_t y = 0; y < height; ++y)
                    for (int32_t x = 0; x < width; ++x)
                        highest = std::max<uint32_t>(highest, BlindGetPixelIndex(x, y));
                count = highest + 1;
            }
            if (info.alphaPaletteEnabled) {
                for (uint32_t i = 0; i < count; ++i) alphas[i] = palette[i].rgbReserved;
                job.alphaCount = static_cast<int>(count);
            }
            for (uint32_t i = 0; i < count; ++i)
                plte[i] = png_color{palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue};
            job.palette = plte.data();
            job.paletteCount = static_cast<int>(count);
            job.alphas = alphas.data();
        }

        // A 24-bit picture with a transparent colour is written with an alpha channel that
        // is 0 exactly on that colour. An alpha plane the picture has is the caller's own
        // (the ghost shares it) and keeps the zeros; one made here is dropped afterwards.
        TemporaryAlpha temporary{*this};
        if (GetBpp() == 24 && info.transIndex >= 0) {
            if (!AlphaIsValid()) {
                AlphaCreate();
                if (!AlphaIsValid()) Fail(kSaveFailed);
                temporary.made = true;
            }
            const RGBQUAD key = GetTransColor();
            const int32_t width = static_cast<int32_t>(GetWidth()),
                          height = static_cast<int32_t>(GetHeight());
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* pixels = GetBits(0) + static_cast<uint64_t>(y) * GetEffWidth();
                uint8_t* plane = AlphaGetPointer(0, y);
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* px = pixels + 3 * x;
                    if (px[0] == key.rgbBlue && px[1] == key.rgbGreen && px[2] == key.rgbRed) plane[x] = 0;
                }
            }
        }

        // With an alpha plane every picture, palette ones included, is written as 8-bit
        // RGBA. The palette still goes out as a suggested PLTE; a tRNS cannot stand beside
        // an alpha channel.
        if (AlphaIsValid()) {
            job.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
            job.bitDepth = 8;
            job.alphaCount = 0;
        }

        std::vector<uint8_t> row(std::max<size_t>(4ull * GetWidth(), GetEffWidth()) + 10);
        job.row = row.data();
        if (!Guarded(structs.png, WriteImage, &job)) Fail(kSaveFailed);
        return true;
    });
}

namespace {

// The eight-byte signature the library insists on.
bool LooksLikePng(const uint8_t* head, size_t n) { return n >= 8 && png_sig_cmp(head, 0, 8) == 0; }

}  // namespace

extern const CodecInfo kPngCodec{
    ImageFormat::Png, "png", {},  &LooksLikePng, kDecode<PicturePNG>, kEncode<PicturePNG>,
    ImageFormat::Png, false, true};
