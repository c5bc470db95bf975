// TIFF: a header gives the byte order and the offset of the first image file directory
// (IFD); each IFD describes one page by its tags and points at the next one. libtiff reads
// and writes the format. This adapter hands libtiff the engine's byte streams, reads pages
// in YCbCr, CMYK and the LogLuv models through libtiff's RGBA reader and every other page
// (RGB, grey, palette, grey with alpha, CIELab) band by band itself from the decoded strips
// or tiles, and writes pages with libtiff's scanline writer.
#include "tif.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "stream.h"

using namespace codec;

namespace {

constexpr const char* kOpenFailed = "Error encountered while opening TIFF file";
constexpr const char* kNoPage = "Error: page not present in TIFF file";
constexpr const char* kCancelled = "Cancelled";
constexpr const char* kNoImage = "PictureTIF can't create image";
constexpr const char* kNoRaster = "No space for raster buffer";
constexpr const char* kCorrupted = "Corrupted TIFF file!";
constexpr const char* kCorruptedTiles = "Corrupted tiled TIFF file!";
constexpr const char* kNoMemory = "PictureTIF can't allocate memory";
constexpr const char* kFloatRefused = "Unsupported floating-point TIFF samples";
constexpr const char* kFormatRefused = "Unsupported TIFF sample format";
constexpr const char* kPaletteRefused = "Unsupported TIFF palette depth";

// No buffer of the adapter, and no single allocation inside libtiff, may exceed this: a
// hostile directory cannot make either allocate more than a picture may hold.

// ---- libtiff's messages ---------------------------------------------------------------

// libtiff reports through handlers; its failures come back to the adapter as results, so
// the messages themselves are dropped.
void QuietHandler(const char*, const char*, va_list) {}
// Returning 1 tells libtiff the message was handled, so no process-wide handler runs.
int QuietHandlerExt(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void SilenceLibrary() {
    static const bool silenced = [] {
        TIFFSetErrorHandler(QuietHandler);
        TIFFSetWarningHandler(QuietHandler);
        TIFFSetErrorHandlerExt(nullptr);
        TIFFSetWarningHandlerExt(nullptr);
        return true;
    }();
    (void)silenced;
}

// ---- client callbacks over a ByteStream ---------------------------------------------

ByteStream* StreamOf(thandle_t handle) { return static_cast<ByteStream*>(handle); }

constexpr tmsize_t kStep = 1 << 30;  // ByteStream counts are 32-bit

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    tmsize_t done = 0;
    while (done < size) {
        const uint32_t step = static_cast<uint32_t>(std::min(size - done, kStep));
        const uint32_t got = StreamOf(handle)->Read(static_cast<uint8_t*>(buffer) + done, 1, step);
        done += got;
        if (got < step) break;
    }
    return done;
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    ByteStream* stream = StreamOf(handle);
    // libtiff aligns directories by seeking past the end; the gap is written as zeros
    // rather than left to whatever the stream's memory held.
    const int32_t position = stream->Tell(), end = stream->Size();
    if (end >= 0 && position > end) {
        static const uint8_t zeros[64] = {};
        if (!stream->Seek(end, 0)) return 0;
        for (int32_t gap = position - end; gap > 0;) {
            const uint32_t step = static_cast<uint32_t>(std::min<int32_t>(gap, sizeof zeros));
            if (stream->Write(zeros, 1, step) != step) return 0;
            gap -= static_cast<int32_t>(step);
        }
    }
    tmsize_t done = 0;
    while (done < size) {
        const uint32_t step = static_cast<uint32_t>(std::min(size - done, kStep));
        const uint32_t put = stream->Write(static_cast<uint8_t*>(buffer) + done, 1, step);
        done += put;
        if (put < step) break;
    }
    return done;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    constexpr toff_t kFailed = static_cast<toff_t>(-1);
    if (offset == kFailed || offset == 0xFFFFFFFFu) return kFailed;
    // Offsets from the current position or the end arrive as two's complement.
    const int64_t signedOffset = static_cast<int64_t>(offset);
    if (signedOffset < INT32_MIN || signedOffset > INT32_MAX) return kFailed;
    ByteStream* stream = StreamOf(handle);
    if (!stream->Seek(static_cast<int32_t>(signedOffset), whence)) return kFailed;
    if (whence == SEEK_SET) return offset;
    const int32_t position = stream->Tell();
    return position < 0 ? kFailed : static_cast<toff_t>(position);
}

int CloseProc(thandle_t) { return 0; }  // the stream belongs to the caller

toff_t SizeProc(thandle_t handle) {
    const int32_t size = StreamOf(handle)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

TIFF* OpenTiff(ByteStream* stream, const char* mode) {
    SilenceLibrary();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietHandlerExt, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietHandlerExt, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(GetPictureCap()));
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, stream, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

// a × b, or a value above every limit when the product does not fit.
uint64_t Times(uint64_t a, uint64_t b) {
    uint64_t product;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

uint64_t BytesFor(uint64_t bits) { return bits / 8 + (bits % 8 != 0); }

// A zero-filled scratch buffer, refused beyond the adapter's limit.
std::vector<uint8_t> Scratch(uint64_t bytes, const char* failure) {
    if (bytes > GetPictureCap()) Fail(failure);
    try {
        return std::vector<uint8_t>(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        Fail(failure);
    }
}

// Float tag values become whole numbers by truncation; values no int32 holds are clamped.
int32_t Truncate(float value) {
    if (!(value == value)) return 0;
    if (value <= static_cast<float>(INT32_MIN)) return INT32_MIN;
    if (value >= 2147483520.0f) return INT32_MAX;  // the largest float below 2^31
    return static_cast<int32_t>(value);
}

// ---- decoding ---------------------------------------------------------------------------

// What the current directory says about its page.
struct Page {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 1;  // samples per pixel
    uint16_t bits = 1;     // bits per sample
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint32_t rowsPerStrip = UINT32_MAX;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;

    bool Float() const { return sampleFormat == SAMPLEFORMAT_IEEEFP; }
    // Palette indices wider than a byte: the page becomes colour through its map.
    bool WidePalette() const { return photometric == PHOTOMETRIC_PALETTE && bits > 8; }
    bool Grey() const {
        return photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
    }
    // Pages that libtiff's RGBA reader turns into colour.
    bool RgbLike() const {
        return (bits >= 8 && photometric == PHOTOMETRIC_RGB) || photometric == PHOTOMETRIC_YCBCR ||
               photometric == PHOTOMETRIC_SEPARATED || photometric == PHOTOMETRIC_LOGL ||
               photometric == PHOTOMETRIC_LOGLUV;
    }
};

// Raw value of sample i of a row of packed samples of at most 8 bits. Samples narrower
// than a byte are packed from the most significant bit down; a sample may straddle two
// bytes, so every row buffer keeps a spare byte after it.
uint32_t SmallSample(const uint8_t* row, uint64_t i, uint32_t bits) {
    const uint64_t bit = i * bits;
    const uint32_t window = (static_cast<uint32_t>(row[bit >> 3]) << 8) | row[(bit >> 3) + 1];
    return (window >> (16 - bits - (bit & 7))) & ((1u << bits) - 1);
}

// The most significant byte of sample i of a wider sample. libtiff hands samples of 16, 24,
// 32 and 64 bits over in the machine's byte order; other widths stay a big-endian bit stream.
uint8_t HighByte(const uint8_t* row, uint64_t i, uint32_t bits) {
    if (bits % 8 == 0) {
        const uint8_t* p = row + i * (bits / 8);
        return std::endian::native == std::endian::little ? p[bits / 8 - 1] : p[0];
    }
    const uint64_t bit = i * bits;
    const uint32_t window = (static_cast<uint32_t>(row[bit >> 3]) << 8) | row[(bit >> 3) + 1];
    return static_cast<uint8_t>(window >> (8 - (bit & 7)));
}

// A sample as eight bits: wider samples keep their high byte; narrower ones are stretched
// to 0..255, or kept as they are when they are palette indices.
uint8_t Level(const uint8_t* row, uint64_t i, uint32_t bits, bool stretch) {
    if (bits > 8) return HighByte(row, i, bits);
    const uint32_t v = SmallSample(row, i, bits);
    return static_cast<uint8_t>(stretch && bits < 8 ? v * 255 / ((1u << bits) - 1) : v);
}

// An IEEE half-precision value.
double Half(uint16_t h) {
    const int exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
    double v;
    if (exponent == 0)
        v = std::ldexp(mantissa, -24);
    else if (exponent == 31)
        v = mantissa ? NAN : INFINITY;
    else
        v = std::ldexp(mantissa + 1024, exponent - 25);
    return h & 0x8000 ? -v : v;
}

// A floating-point sample of 16, 32 or 64 bits (in the machine's byte order, as libtiff
// hands them over) as eight bits: 0 is black and 1 full, values outside are clipped.
uint8_t FloatLevel(const uint8_t* row, uint64_t i, uint32_t bits) {
    const uint8_t* p = row + i * (bits / 8);
    double v;
    if (bits == 16) {
        uint16_t h;
        std::memcpy(&h, p, sizeof h);
        v = Half(h);
    } else if (bits == 32) {
        float f;
        std::memcpy(&f, p, sizeof f);
        v = f;
    } else {
        std::memcpy(&v, p, sizeof v);
    }
    if (!(v > 0)) return 0;  // NaN too
    if (v >= 1) return 255;
    return static_cast<uint8_t>(v * 255 + 0.5);
}

// A 16-bit sample as it stands.
uint32_t WideSample(const uint8_t* row, uint64_t i) {
    uint16_t v;
    std::memcpy(&v, row + i * 2, sizeof v);
    return v;
}

uint8_t ChannelByte(double v) {
    v = v > 0.00304 ? 1.055 * std::pow(v, 0.41667) - 0.055 : 12.92 * v;
    const double scaled = v * 255;
    if (!(scaled > 0)) return 0;
    if (scaled >= 255) return 255;
    return static_cast<uint8_t>(scaled);
}

// Maps of 8-bit values exist beside the standard 16-bit ones; a map whose values all fit a
// byte is taken as it is.
bool IsWideMap(const uint16_t* red, const uint16_t* green, const uint16_t* blue, uint32_t entries) {
    for (uint32_t i = 0; i < entries; ++i)
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) return true;
    return false;
}

RGBQUAD MapColor(uint16_t red, uint16_t green, uint16_t blue, bool wide) {
    const auto scale = [wide](uint16_t v) { return static_cast<uint8_t>(wide ? v * 255u / 65535u : v); };
    return RGBQUAD{scale(blue), scale(green), scale(red), 0};
}

// Colours premultiplied by alpha back to plain colours.
RGBQUAD Unmultiply(RGBQUAD c, uint8_t alpha) {
    if (alpha == 0 || alpha == 255) return c;
    const auto plain = [alpha](uint8_t v) {
        return static_cast<uint8_t>(std::min<uint32_t>(255, (v * 255u + alpha / 2) / alpha));
    };
    return RGBQUAD{plain(c.rgbBlue), plain(c.rgbGreen), plain(c.rgbRed), c.rgbReserved};
}

// CIE L*a*b* (D65 white) to sRGB.
RGBQUAD LabToRgb(uint8_t lightness, int32_t a, int32_t b) {
    const double p = (lightness * 0.39215686274509806654 + 16) * 0.008620689655172413793;
    const double fx = p + a * 0.002, fz = p - b * 0.005;
    const double x = fx * fx * fx * 0.95047, y = p * p * p, z = fz * fz * fz * 1.0883;
    RGBQUAD c{};
    c.rgbRed = ChannelByte(3.240479 * x - 1.53715 * y - 0.498535 * z);
    c.rgbGreen = ChannelByte(-0.969256 * x + 1.875992 * y + 0.041556 * z);
    c.rgbBlue = ChannelByte(0.055648 * x - 0.204043 * y + 1.057311 * z);
    return c;
}

// Refuses sample formats the page cannot be read in: floating-point samples are converted
// only for grey and RGB pages of 16, 32 or 64 bits, and palette indices only up to 16 bits.
void CheckSamples(const Page& page) {
    switch (page.sampleFormat) {
        case SAMPLEFORMAT_UINT:
        case SAMPLEFORMAT_INT:
        case SAMPLEFORMAT_VOID:
            break;
        case SAMPLEFORMAT_IEEEFP:
            if ((!page.Grey() && page.photometric != PHOTOMETRIC_RGB) ||
                (page.bits != 16 && page.bits != 32 && page.bits != 64))
                Fail(kFloatRefused);
            break;
        default:
            Fail(kFormatRefused);
    }
    if (page.WidePalette() && (page.bits != 16 || page.Float())) Fail(kPaletteRefused);
}

// Output bytes that `bytes` of data can give at most in the compressions whose expansion
// is bounded; UINT64_MAX for the others.
uint64_t LargestOutput(uint64_t bytes, uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return bytes;
        case COMPRESSION_PACKBITS:  // a 2-byte packet repeats a byte up to 128 times
            return Times(bytes / 2 + 1, 128);
        case COMPRESSION_LZW:  // codes of at least 9 bits, each of at most 4096 bytes
            return Times(bytes * 8 / 9 + 1, 4096);
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:  // zlib's largest ratio
            return Times(bytes + 1, 1032);
        default:
            return UINT64_MAX;
    }
}

// Refuses, before anything is allocated, a page whose strips or tiles cannot hold the rows
// they are declared to hold: uncompressed ones need every byte inside the file, compressed
// ones enough bytes for their compression's largest expansion.
void CheckStrileData(TIFF* tif, const Page& page, uint16_t compression, uint64_t fileSize) {
    if (LargestOutput(0, compression) == UINT64_MAX || page.height == 0) return;
    const bool tiled = TIFFIsTiled(tif);
    const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const uint32_t rows = page.rowsPerStrip == 0 ? page.height : std::min(page.rowsPerStrip, page.height);
    const uint64_t perPlane = (static_cast<uint64_t>(page.height) + rows - 1) / rows;
    const uint64_t tileBytes = tiled ? TIFFTileSize64(tif) : 0;
    for (uint32_t s = 0; s < count; ++s) {
        uint64_t needed = tileBytes;
        if (!tiled) {
            const uint64_t first = (s % perPlane) * rows;
            if (first >= page.height) continue;
            needed =
                TIFFVStripSize64(tif, static_cast<uint32_t>(std::min<uint64_t>(rows, page.height - first)));
        }
        const uint64_t offset = TIFFGetStrileOffset(tif, s), bytes = TIFFGetStrileByteCount(tif, s);
        const uint64_t held = offset >= fileSize ? 0 : std::min(bytes, fileSize - offset);
        if (LargestOutput(held, compression) < needed) Fail(tiled ? kCorruptedTiles : kCorrupted);
    }
}

Page ReadPage(TIFF* tif) {
    Page page;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &page.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &page.bits);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &page.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &page.photometric);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &page.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &page.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &page.sampleFormat);
    return page;
}

class Decoder {
   public:
    Decoder(Picture& picture, TIFF* tif, const Page& page) : pic(picture), tif(tif), page(page) {}

    // Pages libtiff's RGBA reader understands are read one band of strips or tiles at a
    // time into a small raster, in the file's own order, and then oriented like the others.
    void ReadRgba() {
        char message[1024];
        TIFFRGBAImage image;
        if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&image, tif, 1, message)) Fail(kCorrupted);
        struct Ender {
            TIFFRGBAImage* image;
            ~Ender() { TIFFRGBAImageEnd(image); }
        } ender{&image};

        const uint32_t width = page.width, height = page.height;
        const uint32_t bandRows = std::min(BandUnit(kCorrupted), height);
        const uint64_t rasterWords = static_cast<uint64_t>(bandRows) * width;
        if (rasterWords > GetPictureCap() / 4) Fail(kNoRaster);
        std::vector<uint32_t> raster;
        try {
            raster.resize(static_cast<size_t>(rasterWords));
        } catch (const std::bad_alloc&) {
            Fail(kNoRaster);
        }

        // libtiff flips the raster from the file's orientation to the one requested, and
        // takes the four transposed orientations for the four plain ones; asking for the
        // file's own (or its plain counterpart) leaves the rows and columns as stored.
        const uint16_t o = image.orientation;
        image.req_orientation = o >= ORIENTATION_LEFTTOP && o <= ORIENTATION_LEFTBOT
                                    ? static_cast<uint16_t>(o - 4)
                                : o >= ORIENTATION_TOPLEFT && o <= ORIENTATION_BOTLEFT ? o
                                                                                       : ORIENTATION_TOPLEFT;

        for (uint32_t ys = 0; ys < height; ys += bandRows) {
            const uint32_t nrow = std::min(bandRows, height - ys);
            image.row_offset = static_cast<int>(ys);
            image.col_offset = 0;
            if (!TIFFRGBAImageGet(&image, raster.data(), width, nrow)) Fail(kCorrupted);
            for (uint32_t j = 0; j < nrow; ++j) {
                if (pic.GetEscape()) Fail(kCancelled);
                // The file's first row is the top of the picture; the container's is the bottom.
                uint8_t* dst = pic.GetBits(height - 1 - (ys + j));
                const uint32_t* src = raster.data() + static_cast<size_t>(j) * width;
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t v = src[x];
                    dst[3 * x] = static_cast<uint8_t>(TIFFGetB(v));
                    dst[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(v));
                    dst[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(v));
                }
            }
        }
        Orient();
    }

    void SetPalette() {
        const uint32_t n = pic.GetNumColors();
        if (n == 0) return;
        RGBQUAD palette[256] = {};
        if (page.Grey()) {
            const bool whiteIsZero = page.photometric == PHOTOMETRIC_MINISWHITE;
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t v = static_cast<uint8_t>(n == 2 ? i * 255 : (255 / (n - 1)) * i);
                const uint8_t grey = whiteIsZero ? static_cast<uint8_t>(255 - v) : v;
                palette[i] = RGBQUAD{grey, grey, grey, 0};
            }
        } else if (page.photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *red, *green, *blue;
            if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
                const uint32_t entries = 1u << std::min<uint32_t>(page.bits, 16);
                const bool wide = IsWideMap(red, green, blue, entries);
                for (uint32_t i = 0; i < std::min<uint32_t>(entries, 256); ++i)
                    palette[i] = MapColor(red[i], green[i], blue[i], wide);
            }
        }
        pic.SetPalette(palette, n);
    }

    // Every other page is read one band of rows at a time: a strip, or a row of tiles
    // pasted side by side. Pages with separate sample planes read one band per plane.
    void ReadBands() {
        const bool tiled = TIFFIsTiled(tif);
        const bool separate = page.planar == PLANARCONFIG_SEPARATE && page.samples > 1;
        // Of separate planes only the first four are used: index or colour, and alpha.
        const uint32_t planes = separate ? std::min<uint32_t>(page.samples, 4) : 1;
        const uint32_t samplesPerRow = separate ? 1 : page.samples;  // in one plane's row, per pixel
        const uint64_t pixelBits = static_cast<uint64_t>(page.bits) * samplesPerRow;
        const uint64_t rowBytes = BytesFor(Times(page.width, pixelBits));
        const uint32_t width = page.width, height = page.height;
        const char* corrupt = tiled ? kCorruptedTiles : kCorrupted;
        const uint32_t bandRows = std::min(BandUnit(corrupt), height);

        // One spare byte after the last row lets a sample straddle the row's end.
        const uint64_t planeBytes = Times(bandRows, rowBytes);
        if (planeBytes > GetPictureCap() / planes) Fail(kNoMemory);
        std::vector<uint8_t> band = Scratch(planeBytes * planes + 8, kNoMemory);
        uint32_t tileWidth = 0;
        uint64_t tileRowBytes = 0;
        std::vector<uint8_t> tile;
        if (tiled) {
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
            if (tileWidth == 0) Fail(kCorruptedTiles);
            tileRowBytes = BytesFor(Times(tileWidth, pixelBits));
            tile = Scratch(Times(bandRows, tileRowBytes), kNoMemory);
        }

        // RGB pages with alpha that is not declared unassociated carry premultiplied colours,
        // as libtiff's RGBA reader assumes too.
        uint16_t extraCount = 0, *extra = nullptr;
        const bool premultiplied = page.photometric == PHOTOMETRIC_RGB && page.samples == 4 &&
                                   !(TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) &&
                                     extraCount && extra[0] == EXTRASAMPLE_UNASSALPHA);
        const uint32_t pictureBits = pic.GetBpp();
        // Colour is made of three samples, or of a wide index into the colour map; an RGB
        // page with fewer has rows too short for it.
        if (pictureBits == 24 && page.samples < 3 && !page.WidePalette()) Fail(kCorrupted);
        uint16_t *mapRed = nullptr, *mapGreen = nullptr, *mapBlue = nullptr;
        bool wideMap = false;
        if (page.WidePalette() && TIFFGetField(tif, TIFFTAG_COLORMAP, &mapRed, &mapGreen, &mapBlue))
            wideMap = IsWideMap(mapRed, mapGreen, mapBlue, 1u << page.bits);
        const bool copyRows = page.samples == 1 && page.bits == pictureBits;
        const bool indices = pictureBits < 8 || page.photometric == PHOTOMETRIC_PALETTE;

        for (uint32_t ys = 0; ys < height; ys += bandRows) {
            if (pic.GetEscape()) Fail(kCancelled);
            const uint32_t nrow = std::min(bandRows, height - ys);
            std::fill(band.begin(), band.end(), 0);
            for (uint32_t s = 0; s < planes; ++s) {
                uint8_t* plane = band.data() + s * planeBytes;
                if (!tiled) {
                    const tmsize_t want = static_cast<tmsize_t>(nrow * rowBytes);
                    if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, ys, static_cast<uint16_t>(s)), plane,
                                             want) < 0)
                        Fail(kCorrupted);
                    continue;
                }
                uint64_t c = 0;
                for (uint32_t x = 0; x < width; x += tileWidth, c += tileRowBytes) {
                    const tmsize_t want = static_cast<tmsize_t>(nrow * tileRowBytes);
                    const uint32_t index = TIFFComputeTile(tif, x, ys, 0, static_cast<uint16_t>(s));
                    if (TIFFReadEncodedTile(tif, index, tile.data(), want) < 0) Fail(kCorruptedTiles);
                    // The last tile of a row reaches past the picture's right edge.
                    const uint64_t bytes = c < rowBytes ? std::min(tileRowBytes, rowBytes - c) : 0;
                    for (uint32_t k = 0; k < nrow && bytes; ++k)
                        std::memcpy(plane + k * rowBytes + c, tile.data() + k * tileRowBytes, bytes);
                    if (x > UINT32_MAX - tileWidth) break;
                }
            }

            for (uint32_t k = 0; k < nrow; ++k) {
                // The file's first row is the top of the picture; the container's is the bottom.
                const int32_t y = static_cast<int32_t>(height - 1 - (ys + k));
                const uint8_t* rows[4] = {};  // the row of each plane, or the one row
                for (uint32_t s = 0; s < std::min<uint32_t>(planes, 4); ++s)
                    rows[s] = band.data() + s * planeBytes + k * rowBytes;
                if (copyRows) {
                    std::memcpy(pic.GetBits(static_cast<uint32_t>(y)), rows[0],
                                static_cast<size_t>(std::min<uint64_t>(rowBytes, pic.GetEffWidth())));
                    continue;
                }
                // Sample s of pixel x, as eight bits.
                const auto sample = [&](uint32_t x, uint32_t s, bool stretch) {
                    const uint8_t* row = separate ? rows[s] : rows[0];
                    const uint64_t i = separate ? x : static_cast<uint64_t>(x) * page.samples + s;
                    if (separate && s >= planes) return uint8_t{0};
                    return page.Float() ? FloatLevel(row, i, page.bits) : Level(row, i, page.bits, stretch);
                };
                if (pictureBits <= 8) {
                    for (uint32_t x = 0; x < width; ++x) {
                        pic.SetPixelIndex(static_cast<int32_t>(x), y, sample(x, 0, !indices));
                        if (page.samples == 2) pic.AlphaSet(static_cast<int32_t>(x), y, sample(x, 1, true));
                    }
                    continue;
                }
                uint8_t* dst = pic.GetBits(static_cast<uint32_t>(y));
                if (page.photometric == PHOTOMETRIC_RGB && page.bits == 8 && !separate && !premultiplied) {
                    // the common case, byte by byte: red, green, blue first in each pixel
                    const uint8_t* src = rows[0];
                    const uint32_t step = page.samples;
                    for (uint32_t x = 0; x < width; ++x, src += step)
                        dst[3 * x] = src[2], dst[3 * x + 1] = src[1], dst[3 * x + 2] = src[0];
                    if (uint8_t* alpha = step == 4 ? pic.AlphaGetPointer(0, y) : nullptr)
                        for (uint32_t x = 0; x < width; ++x) alpha[x] = rows[0][4 * x + 3];
                    continue;
                }
                if (page.WidePalette()) {
                    for (uint32_t x = 0; x < width; ++x) {
                        RGBQUAD c{};
                        if (mapRed) {
                            const uint32_t index =
                                separate ? WideSample(rows[0], x)
                                         : WideSample(rows[0], static_cast<uint64_t>(x) * page.samples);
                            c = MapColor(mapRed[index], mapGreen[index], mapBlue[index], wideMap);
                        }
                        dst[3 * x] = c.rgbBlue, dst[3 * x + 1] = c.rgbGreen, dst[3 * x + 2] = c.rgbRed;
                        if (page.samples == 2) pic.AlphaSet(static_cast<int32_t>(x), y, sample(x, 1, true));
                    }
                    continue;
                }
                for (uint32_t x = 0; x < width; ++x) {
                    RGBQUAD c{};
                    if (page.photometric == PHOTOMETRIC_RGB) {
                        c = RGBQUAD{sample(x, 2, true), sample(x, 1, true), sample(x, 0, true), 0};
                        if (premultiplied) c = Unmultiply(c, sample(x, 3, true));
                    } else {
                        const uint8_t a = sample(x, 1, true), b = sample(x, 2, true);
                        // CIELab stores a and b as signed bytes, ICCLab with an offset of 128.
                        if (page.photometric == PHOTOMETRIC_ICCLAB)
                            c = LabToRgb(sample(x, 0, true), a - 128, b - 128);
                        else
                            c = LabToRgb(sample(x, 0, true), a > 127 ? a - 256 : a, b > 127 ? b - 256 : b);
                    }
                    dst[3 * x] = c.rgbBlue, dst[3 * x + 1] = c.rgbGreen, dst[3 * x + 2] = c.rgbRed;
                    if (page.samples == 4) pic.AlphaSet(static_cast<int32_t>(x), y, sample(x, 3, true));
                }
            }
        }
        Orient();
    }

   private:
    // Rows per band: one strip, or one row of tiles.
    uint32_t BandUnit(const char* failure) const {
        uint32_t rows = page.rowsPerStrip;
        if (TIFFIsTiled(tif)) {
            rows = 0;
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &rows);
        }
        if (rows == 0) Fail(failure);
        return rows;
    }

    // The rows were stored with the file's first row at the top and its first column at
    // the left; the orientation says where those belong on the page.
    void Orient() {
        bool ok = true;
        switch (page.orientation) {
            case ORIENTATION_TOPRIGHT:
                ok = pic.Mirror();
                break;
            case ORIENTATION_BOTRIGHT:
                ok = pic.Flip() && pic.Mirror();
                break;
            case ORIENTATION_BOTLEFT:
                ok = pic.Flip();
                break;
            case ORIENTATION_LEFTTOP:
                ok = pic.RotateRight() && pic.Mirror();
                break;
            case ORIENTATION_RIGHTTOP:
                ok = pic.RotateRight();
                break;
            case ORIENTATION_RIGHTBOT:
                ok = pic.RotateLeft() && pic.Mirror();
                break;
            case ORIENTATION_LEFTBOT:
                ok = pic.RotateLeft();
                break;
            default:
                break;
        }
        if (!ok) Fail(kNoMemory);
    }

    Picture& pic;
    TIFF* tif;
    const Page& page;
};

// ---- encoding ---------------------------------------------------------------------------

bool IsGreyRamp(const Picture& pic) {
    // The ramp that black-is-zero decoding gives: i × 255 / (n − 1) for n entries.
    const uint32_t n = pic.GetNumColors();
    if (n < 2) return false;
    for (uint32_t i = 0; i < n; ++i) {
        const RGBQUAD c = pic.GetPaletteColor(static_cast<uint8_t>(i));
        const uint32_t v = (255 / (n - 1)) * i;
        if (c.rgbRed != v || c.rgbGreen != v || c.rgbBlue != v) return false;
    }
    return true;
}

// Whether libtiff can write this kind of page with the given compression.
bool CanCompress(uint32_t compression, uint32_t bitsPerPixel, uint16_t photometric) {
    if (compression > 0xFFFF || !TIFFIsCODECConfigured(static_cast<uint16_t>(compression))) return false;
    switch (compression) {
        case COMPRESSION_NONE:
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_PACKBITS:
        case COMPRESSION_LZMA:
        case COMPRESSION_ZSTD:
            return true;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_JBIG:
            return bitsPerPixel == 1;
        case COMPRESSION_JPEG:
            return bitsPerPixel >= 8 && photometric != PHOTOMETRIC_PALETTE;
        case COMPRESSION_WEBP:
            return bitsPerPixel >= 24;
        default:
            return false;  // decoders only (old JPEG, NeXT, ThunderScan), or special data
    }
}

uint16_t DefaultCompression(uint32_t bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
            return COMPRESSION_CCITTFAX4;
        case 4:
        case 8:
            return COMPRESSION_LZW;
        case 24:
        case 32:
            return COMPRESSION_JPEG;
        default:
            return COMPRESSION_NONE;
    }
}

// Writes the picture's tags and rows into the current directory; false on any failure.
bool WritePage(Picture& pic, TIFF* tif, bool multipage, int32_t page) {
    const uint32_t width = pic.GetWidth(), height = pic.GetHeight();
    uint32_t bitsPerPixel = pic.GetBpp();
    uint16_t samples = bitsPerPixel >= 24 ? 3 : 1;
    if (bitsPerPixel == 24 && pic.AlphaIsValid()) bitsPerPixel = 32, samples = 4;

    uint16_t photometric;
    // White-is-zero wants the lighter colour first: when the picture's entry 0 is the
    // darker, the rows are written inverted. The picture itself is left alone, since its
    // transparent index and every other reference to an entry would no longer match.
    bool invert = false;
    if (bitsPerPixel == 1) {
        photometric = PHOTOMETRIC_MINISWHITE;
        const RGBQUAD* palette = pic.GetPalette();
        invert = Picture::CompareLuminance(palette[0], palette[1]) < 0;
    } else if (bitsPerPixel <= 8) {
        photometric = IsGreyRamp(pic) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
    } else {
        photometric = PHOTOMETRIC_RGB;
    }
    const bool greyAlpha = bitsPerPixel == 8 && pic.AlphaIsValid();
    if (greyAlpha) samples = 2;
    const uint16_t bitsPerSample = static_cast<uint16_t>(bitsPerPixel >= 24 ? 8 : bitsPerPixel);

    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (ok && samples % 2 == 0) {
        // The last sample is alpha, not premultiplied into the colours.
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, UINT32_MAX);
    ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
         TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
         TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(pic.GetXDpi())) &&
         TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(pic.GetYDpi()));
    if (ok && multipage) {
        char name[32];
        std::snprintf(name, sizeof name, "Page %d", page);
        ok =
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(page)) &&
            TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    } else if (ok) {
        ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    }
    if (ok && photometric == PHOTOMETRIC_PALETTE) {
        uint16_t red[256] = {}, green[256] = {}, blue[256] = {};
        for (uint32_t i = 0; i < pic.GetNumColors() && i < 256; ++i) {
            const RGBQUAD c = pic.GetPaletteColor(static_cast<uint8_t>(i));
            red[i] = static_cast<uint16_t>(c.rgbRed * 65535 / 255);
            green[i] = static_cast<uint16_t>(c.rgbGreen * 65535 / 255);
            blue[i] = static_cast<uint16_t>(c.rgbBlue * 65535 / 255);
        }
        ok = TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
    }

    // The codec option names the compression; one libtiff cannot write for this picture
    // (a decoder-only one carried over from a decoded file, say) gives way to the default.
    const uint32_t option = pic.GetCodecOption(ImageFormat::Tif);
    const uint16_t compression = option && CanCompress(option, bitsPerPixel, photometric)
                                     ? static_cast<uint16_t>(option)
                                     : DefaultCompression(bitsPerPixel);
    ok = ok && TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (ok && compression == COMPRESSION_LZW && bitsPerPixel >= 8)
        ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (ok && compression == COMPRESSION_JPEG) {
        // JPEG codes blocks of 8 rows, and every strip but the last holds whole blocks.
        rowsPerStrip = rowsPerStrip > UINT32_MAX - 7 ? UINT32_MAX - 7 : (rowsPerStrip + 7) / 8 * 8;
        ok = TIFFSetField(tif, TIFFTAG_JPEGQUALITY, static_cast<int>(pic.GetJpegQuality())) &&
             TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }
    if (!ok) return false;

    // libtiff may change a row it is given (the predictor differences it in place), so
    // every row goes through a copy.
    std::vector<uint8_t> line;
    try {
        line.resize(
            std::max<size_t>(static_cast<size_t>(TIFFScanlineSize64(tif)), static_cast<size_t>(width) * 4));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t r = 0; r < height; ++r) {
        const uint32_t y = height - 1 - r;  // the file's first row is the picture's top
        const uint8_t* src = pic.GetBits(y);
        if (greyAlpha) {
            for (uint32_t x = 0; x < width; ++x) {
                line[2 * x] = pic.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y));
                line[2 * x + 1] = pic.AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y));
            }
        } else if (bitsPerPixel == 32) {
            for (uint32_t x = 0; x < width; ++x) {
                line[4 * x] = src[3 * x + 2];
                line[4 * x + 1] = src[3 * x + 1];
                line[4 * x + 2] = src[3 * x];
                line[4 * x + 3] = pic.AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y));
            }
        } else if (bitsPerPixel == 24) {
            uint8_t* out = line.data();
            for (uint32_t x = 0; x < width; ++x, src += 3, out += 3)
                out[0] = src[2], out[1] = src[1], out[2] = src[0];
        } else {
            std::memcpy(line.data(), src, pic.GetEffWidth());
            if (invert)
                for (uint32_t i = 0; i < pic.GetEffWidth(); ++i) line[i] = static_cast<uint8_t>(~line[i]);
        }
        if (TIFFWriteScanline(tif, line.data(), r, 0) < 0) return false;
    }
    return true;
}

}  // namespace

// ---- PictureTIF -------------------------------------------------------------------------

PictureTIF::~PictureTIF() { CloseHandle(); }

void PictureTIF::CloseHandle() {
    if (handle) TIFFClose(handle);
    handle = nullptr;
    target = nullptr;
    multipage = false;
    pages = 0;
}

bool PictureTIF::Decode(ByteStream* stream) {
    if (!stream) return false;
    std::unique_ptr<TIFF, TiffCloser> tif;
    return RunCodec(*this, kNoMemory, [&]() -> bool {
        tif.reset(OpenTiff(stream, "rb"));
        if (!tif) Fail(kOpenFailed);

        const tdir_t count = TIFFNumberOfDirectories(tif.get());
        info.frameCount = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
        if (info.frame < 0 || info.frame >= info.frameCount ||
            !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(info.frame)))
            Fail(kNoPage);

        Page page = ReadPage(tif.get());
        if (page.bits == 0 || page.samples == 0) Fail(kCorrupted);

        if (info.escape == -1) {
            header.biWidth = static_cast<int32_t>(std::min<uint32_t>(page.width, INT32_MAX));
            header.biHeight = static_cast<int32_t>(std::min<uint32_t>(page.height, INT32_MAX));
            SetLastError("output dimensions returned");
            return true;
        }

        uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
        float value;
        const auto dpi = [unit](float v) {
            return Truncate(unit == RESUNIT_CENTIMETER ? v * 2.54f + 0.5f : v);
        };
        if (TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &value)) SetXDpi(dpi(value));
        if (TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &value)) SetYDpi(dpi(value));
        if (TIFFGetField(tif.get(), TIFFTAG_XPOSITION, &value)) info.xOffset = Truncate(value);
        if (TIFFGetField(tif.get(), TIFFTAG_YPOSITION, &value)) info.yOffset = Truncate(value);

        header.biClrUsed = 0;
        info.transIndex = -1;
        if (page.rowsPerStrip > page.height) {
            page.rowsPerStrip = page.height;
            TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip);
        }

        const bool rgbLike = page.RgbLike();
        CheckSamples(page);
        uint32_t bitsPerPixel;
        if (rgbLike || page.samples >= 3 || page.WidePalette())
            bitsPerPixel = 24;  // CIELab and the like become colour too
        else if (page.Grey() && page.bits == 1)
            bitsPerPixel = 1;
        else if (page.bits == 4)
            bitsPerPixel = 4;
        else
            bitsPerPixel = 8;

        if (info.escape) Fail(kCancelled);
        uint16_t compression = COMPRESSION_NONE;
        TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
        const int32_t size = stream->Size();
        if (size >= 0) CheckStrileData(tif.get(), page, compression, static_cast<uint64_t>(size));
        if (!Create(page.width, page.height, bitsPerPixel, ImageFormat::Tif)) Fail(kNoImage);
        // The sample after the colour ones is alpha: the fourth of RGB (or CIELab), the
        // second of grey or palette. Pages of the RGBA reader's colour models (CMYK among
        // them) get none: their four samples are all colour.
        const bool readHere = !rgbLike || page.photometric == PHOTOMETRIC_RGB;
        if (readHere && (page.samples == 4 || (page.samples == 2 && !rgbLike))) AlphaCreate();
        SetCodecOption(compression, ImageFormat::Tif);

        // libtiff's RGBA reader converts colour models (YCbCr, CMYK, LogL, LogLuv). RGB pages
        // need no conversion and are read band by band like the others: the RGBA reader
        // would premultiply unassociated alpha, losing the colour of faint pixels, and in
        // libtiff 4.5 it fails on small uncompressed tiles of files not mapped into memory.
        Decoder decoder(*this, tif.get(), page);
        if (rgbLike && page.photometric != PHOTOMETRIC_RGB) {
            decoder.ReadRgba();
        } else {
            decoder.SetPalette();
            decoder.ReadBands();
        }
        return true;
    });
}

bool PictureTIF::Encode(ByteStream* stream, bool append) {
    const bool ok = RunCodec(*this, nullptr, [&]() -> bool {
        if (!stream) Fail("null file handler");
        if (!dib) Fail("null image!!!");
        if (!handle) {
            // An empty stream gets a new file; a stream holding a TIFF gets pages added.
            handle = OpenTiff(stream, stream->Size() > 0 ? "a" : "w");
            if (!handle) Fail("initialization fail");
            target = stream;
        } else if (stream != target) {
            Fail("initialization fail");
        }
        multipage = multipage || append || pages > 0;
        ++pages;
        bool written;
        try {
            written = WritePage(*this, handle, multipage, pages);
        } catch (const std::bad_alloc&) {
            written = false;
        }
        if (!written) Fail("Error saving TIFF file");
        // The directory is written here rather than left to closing, which cannot report
        // a failed write.
        if (!TIFFWriteDirectory(handle)) Fail("Error saving TIFF directory");
        if (!append) CloseHandle();
        return true;
    });
    if (!ok) CloseHandle();
    return ok;
}

namespace {

// The byte-order mark, "II" or "MM", that opens classic and big TIFF files alike.
bool LooksLikeTif(const uint8_t* head, size_t n) {
    return n >= 2 && ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'));
}

}  // namespace

extern const CodecInfo kTifCodec{
    ImageFormat::Tif, "tif", {"tiff"}, &LooksLikeTif, kDecode<PictureTIF>, kEncode<PictureTIF>,
    ImageFormat::Tif, true,  true};
