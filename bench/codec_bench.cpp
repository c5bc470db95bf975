// Decode and encode throughput of every codec on one comic page (bench::PageRgb, 1200 x 1800,
// 24 bits), through the engine and, for the codecs over a library, through plain calls of
// that library doing the same work: the same settings as the engine's adapter, the same
// pixels in the same layout (rows bottom-up, blue first, each row padded to 4 bytes), in
// memory on both sides. Names are codec/operation/side; bench/run-codec-bench.sh turns the
// engine/plain pairs into overhead ratios.
//
// Before timing, each pair's outputs are compared: the encoders must write the same bytes
// and the decoders the same pixels, or the pair is reported as an error instead of a time.
#include <benchmark/benchmark.h>
#include <libpng16/png.h>
#include <openjpeg.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "panelle/picture.h"
#include "panelle/stream.h"
#include "photo.h"  // includes jpeglib.h with what it needs declared

namespace {

using bench::kHeight;
using bench::kWidth;

constexpr uint32_t kDpi = 96;
constexpr png_uint_32 kPelsPerMeter = 3780;  // 96 dots per inch
constexpr size_t kStride = (size_t{kWidth} * 3 + 3) / 4 * 4;

// Pixels as the engine stores them, produced by the plain decoders.
using Bitmap = std::vector<uint8_t>;

uint8_t* Row(Bitmap& bits, uint32_t fileRow) { return &bits[kStride * (kHeight - 1 - fileRow)]; }
const uint8_t* Row(const Bitmap& bits, uint32_t fileRow) { return &bits[kStride * (kHeight - 1 - fileRow)]; }

const Bitmap& PageBitmap() {
    static const Bitmap bits = [] {
        const std::vector<uint8_t> rgb = bench::PageRgb();
        Bitmap b(kStride * kHeight);
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* src = &rgb[size_t{y} * kWidth * 3];
            uint8_t* dst = Row(b, y);
            for (uint32_t x = 0; x < kWidth; ++x)
                dst[3 * x] = src[3 * x + 2], dst[3 * x + 1] = src[3 * x + 1], dst[3 * x + 2] = src[3 * x];
        }
        return b;
    }();
    return bits;
}

const Picture& PagePicture() {
    static const std::unique_ptr<Picture> pic = [] {
        auto p = std::make_unique<Picture>(kWidth, kHeight, 24, 0);
        std::memcpy(p->GetBits(0), PageBitmap().data(), kStride * kHeight);
        return p;
    }();
    return *pic;
}

std::vector<uint8_t> Bytes(MemoryStream& ms) {
    return std::vector<uint8_t>(ms.buffer, ms.buffer + std::max(ms.Size(), 0));
}

// A growing output block for the plain encoders, grown as C code grows one (realloc to twice
// the size), so that the plain side pays for its output much as the engine's MemoryStream
// does. A vector that copies into a fresh block at each doubling would make the plain side
// spend more time in page faults than in libtiff for an uncompressed page.
class Sink {
   public:
    Sink() = default;
    Sink(Sink&& from) noexcept : data_(from.data_), size_(from.size_), capacity_(from.capacity_) {
        from.data_ = nullptr;
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink() { std::free(data_); }

    void WriteAt(size_t at, const void* bytes, size_t n) {
        if (at + n > capacity_) {
            const size_t capacity = std::max(at + n, 2 * capacity_ + 4096);
            void* grown = std::realloc(data_, capacity);
            if (!grown) throw std::bad_alloc();
            data_ = static_cast<uint8_t*>(grown);
            capacity_ = capacity;
        }
        if (at > size_) std::memset(data_ + size_, 0, at - size_);
        std::memcpy(data_ + at, bytes, n);
        size_ = std::max(size_, at + n);
    }
    void Append(const void* bytes, size_t n) { WriteAt(size_, bytes, n); }

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

   private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0, capacity_ = 0;
};

// A file in memory for the libraries that read and write through callbacks: a file being
// written grows in `written`, a file being read is the caller's bytes.
struct MemoryFile {
    Sink written;
    const std::vector<uint8_t>* read = nullptr;
    size_t at = 0;

    const uint8_t* Data() const { return read ? read->data() : written.data(); }
    size_t Size() const { return read ? read->size() : written.size(); }

    // Copies up to n bytes from the position on and gives how many.
    size_t Read(void* buffer, size_t n) {
        n = at < Size() ? std::min(n, Size() - at) : 0;
        std::memcpy(buffer, Data() + at, n);
        at += n;
        return n;
    }
    // Writes n bytes at the position; a file being read takes none.
    size_t Write(const void* bytes, size_t n) {
        if (read) return 0;
        written.WriteAt(at, bytes, n);
        at += n;
        return n;
    }
};

// ---- the engine -------------------------------------------------------------------------

// Encodes the page with a codec option set on a copy of the picture's information.
std::vector<uint8_t> EngineEncode(uint32_t format, uint32_t option, std::string& error) {
    Picture pic;
    pic.Ghost(&PagePicture());
    pic.SetCodecOption(option, format);
    MemoryStream out;
    out.Open();
    if (!pic.Encode(&out, format)) error = pic.GetLastError();
    return Bytes(out);
}

bool EngineDecode(const std::vector<uint8_t>& file, uint32_t format, Picture& pic) {
    MemoryStream in(const_cast<uint8_t*>(file.data()), static_cast<int32_t>(file.size()));
    return pic.Decode(&in, format);
}

// ---- plain libjpeg (libjpeg-turbo reads and writes blue-first rows itself) ---------------

Bitmap JpegDecodePlain(const std::vector<uint8_t>& file) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    Bitmap bits(kStride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = Row(bits, cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return bits;
}

bench::JpegFile JpegEncodePlain(const Bitmap& bits) {
    return bench::Compress(JCS_EXT_BGR, [&](uint32_t y) { return Row(bits, y); });
}

// ---- plain libpng: RGB 8 bit, bKGD white, pHYs, the library's default filters and level ---

struct PngSource {
    const std::vector<uint8_t>* file;
    size_t at;
};

// The input is the benchmark's own file; a short read would end the program (no jump is
// armed on the plain side).
void PngRead(png_structp png, png_bytep data, size_t length) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->file->size() - src->at) png_error(png, "short file");
    std::memcpy(data, src->file->data() + src->at, length);
    src->at += length;
}

void PngWrite(png_structp png, png_bytep data, size_t length) {
    static_cast<Sink*>(png_get_io_ptr(png))->Append(data, length);
}

void PngFlush(png_structp) {}

Bitmap PngDecodePlain(const std::vector<uint8_t>& file) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource src{&file, 0};
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    Bitmap bits(kStride * height);
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, Row(bits, y), nullptr);
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return bits;
}

Sink PngEncodePlain(const Bitmap& bits) {
    Sink out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_color_16 white{0, 255, 255, 255, 0};
    png_set_bKGD(png, info, &white);
    png_set_pHYs(png, info, kPelsPerMeter, kPelsPerMeter, PNG_RESOLUTION_METER);
    // the engine's settings for colour rows
    png_set_compression_level(png, 3);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_write_info(png, info);
    png_set_bgr(png);
    for (uint32_t y = 0; y < kHeight; ++y) png_write_row(png, Row(bits, y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---- plain libtiff over a memory file: the engine's tags, strips and compression ---------

MemoryFile* FileOf(thandle_t h) { return static_cast<MemoryFile*>(h); }

tmsize_t TiffRead(thandle_t h, void* buffer, tmsize_t size) {
    return static_cast<tmsize_t>(FileOf(h)->Read(buffer, static_cast<size_t>(size)));
}

tmsize_t TiffWrite(thandle_t h, void* buffer, tmsize_t size) {
    return static_cast<tmsize_t>(FileOf(h)->Write(buffer, static_cast<size_t>(size)));
}

toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    MemoryFile* f = FileOf(h);
    const int64_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->Size() : 0;
    f->at = static_cast<size_t>(base + static_cast<int64_t>(offset));
    return f->at;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return FileOf(h)->Size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

TIFF* TiffOpen(MemoryFile& file, const char* mode) {
    return TIFFClientOpen("page", mode, &file, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                          TiffUnmap);
}

void TiffQuiet(const char*, const char*, va_list) {}

Bitmap TiffDecodePlain(const std::vector<uint8_t>& file) {
    MemoryFile in;
    in.read = &file;
    TIFF* tif = TiffOpen(in, "r");
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, height);
    Bitmap bits(kStride * height);
    std::vector<uint8_t> strip(size_t{width} * 3 * rowsPerStrip);
    for (uint32_t y0 = 0; y0 < height; y0 += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, height - y0);
        TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, 0), strip.data(),
                             static_cast<tmsize_t>(size_t{width} * 3 * rows));
        for (uint32_t k = 0; k < rows; ++k) {
            const uint8_t* src = &strip[size_t{width} * 3 * k];
            uint8_t* dst = Row(bits, y0 + k);
            for (uint32_t x = 0; x < width; ++x)
                dst[3 * x] = src[3 * x + 2], dst[3 * x + 1] = src[3 * x + 1], dst[3 * x + 2] = src[3 * x];
        }
    }
    TIFFClose(tif);
    return bits;
}

Sink TiffEncodePlain(const Bitmap& bits, uint16_t compression) {
    MemoryFile out;
    TIFF* tif = TiffOpen(out, "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    // The library's default strip size, as the engine asks for it: rows of about 8 KB.
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, UINT32_MAX));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(kDpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(kDpi));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    // The predictor rewrites the row it is given, so rows go through a copy.
    std::vector<uint8_t> line(size_t{kWidth} * 3);
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* src = Row(bits, y);
        for (uint32_t x = 0; x < kWidth; ++x)
            line[3 * x] = src[3 * x + 2], line[3 * x + 1] = src[3 * x + 1], line[3 * x + 2] = src[3 * x];
        TIFFWriteScanline(tif, line.data(), y, 0);
    }
    TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return std::move(out.written);
}

// ---- plain OpenJPEG: a JP2 file, the engine's coding parameters --------------------------

// The engine's JPEG 2000 rate is the picture's JPEG quality over 100, the target size as a
// fraction of the raw size; the page keeps the default quality 90, which is what a user
// who does not ask for a quality gets (panelle-cli convert's default too).
constexpr double kJp2Rate = 90 * 0.01;

OPJ_SIZE_T OpjRead(void* buffer, OPJ_SIZE_T n, void* user) {
    const size_t got = FileOf(user)->Read(buffer, n);
    return got > 0 ? got : static_cast<OPJ_SIZE_T>(-1);  // the library's end of the data
}

OPJ_SIZE_T OpjWrite(void* buffer, OPJ_SIZE_T n, void* user) { return FileOf(user)->Write(buffer, n); }

// The JP2 writer skips the code stream box's header and comes back to it once it knows
// the length; the bytes skipped over are written then.
OPJ_OFF_T OpjSkip(OPJ_OFF_T n, void* user) {
    MemoryFile* f = FileOf(user);
    f->at = static_cast<size_t>(static_cast<OPJ_OFF_T>(f->at) + n);
    return n;
}

OPJ_BOOL OpjSeek(OPJ_OFF_T to, void* user) {
    FileOf(user)->at = static_cast<size_t>(to);
    return OPJ_TRUE;
}

// What one plain call makes of the library's objects, destroyed when the call ends.
struct Opj {
    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;

    Opj() = default;
    Opj(const Opj&) = delete;
    Opj& operator=(const Opj&) = delete;
    ~Opj() {
        if (stream) opj_stream_destroy(stream);
        if (codec) opj_destroy_codec(codec);
        if (image) opj_image_destroy(image);
    }

    // The library's stream over a memory file, with its default buffer (1 MiB).
    void Open(MemoryFile& file, bool input) {
        stream = opj_stream_default_create(input ? OPJ_TRUE : OPJ_FALSE);
        opj_stream_set_user_data(stream, &file, nullptr);
        if (input) {
            opj_stream_set_user_data_length(stream, file.Size());
            opj_stream_set_read_function(stream, OpjRead);
        } else {
            opj_stream_set_write_function(stream, OpjWrite);
        }
        opj_stream_set_skip_function(stream, OpjSkip);
        opj_stream_set_seek_function(stream, OpjSeek);
    }
};

// A sample from 0 .. maxval scaled to 0 .. 255, rounded to nearest, as the engine scales
// every component from its precision's range.
inline uint8_t To8Bits(int64_t value, int64_t maxval) {
    value = std::clamp<int64_t>(value, 0, maxval);
    return static_cast<uint8_t>(value == maxval ? 255 : (value * 255 + maxval / 2) / maxval);
}

// An empty bitmap when the file does not decode to three components of the page's size.
Bitmap Jp2DecodePlain(const std::vector<uint8_t>& file) {
    MemoryFile in;
    in.read = &file;
    Opj opj;
    opj.codec = opj_create_decompress(OPJ_CODEC_JP2);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(opj.codec, &parameters);
    opj.Open(in, true);
    if (!opj_read_header(opj.stream, opj.codec, &opj.image) ||
        !opj_decode(opj.codec, opj.stream, opj.image) || !opj_end_decompress(opj.codec, opj.stream) ||
        opj.image->numcomps < 3)
        return {};
    const opj_image_comp_t* comps = opj.image->comps;
    int64_t maxval[3], offset[3];
    for (int c = 0; c < 3; ++c) {
        if (comps[c].w != kWidth || comps[c].h != kHeight || comps[c].prec == 0 || comps[c].prec > 16)
            return {};
        maxval[c] = (int64_t{1} << comps[c].prec) - 1;
        offset[c] = comps[c].sgnd ? int64_t{1} << (comps[c].prec - 1) : 0;
    }
    Bitmap bits(kStride * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y) {
        const size_t at = size_t{y} * kWidth;
        const OPJ_INT32 *red = comps[0].data + at, *green = comps[1].data + at, *blue = comps[2].data + at;
        uint8_t* dst = Row(bits, y);
        for (uint32_t x = 0; x < kWidth; ++x) {
            dst[3 * x] = To8Bits(blue[x] + offset[2], maxval[2]);
            dst[3 * x + 1] = To8Bits(green[x] + offset[1], maxval[1]);
            dst[3 * x + 2] = To8Bits(red[x] + offset[0], maxval[0]);
        }
    }
    return bits;
}

// An empty file when the library fails.
Sink Jp2EncodePlain(const Bitmap& bits) {
    opj_image_cmptparm_t components[3];
    std::memset(components, 0, sizeof components);
    for (opj_image_cmptparm_t& c : components) {
        c.dx = c.dy = 1;
        c.w = kWidth;
        c.h = kHeight;
        c.prec = 8;
    }
    MemoryFile out;
    Opj opj;
    opj.image = opj_image_create(3, components, OPJ_CLRSPC_SRGB);
    opj_image_t* image = opj.image;
    image->x0 = image->y0 = 0;
    image->x1 = kWidth;
    image->y1 = kHeight;
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* src = Row(bits, y);
        const size_t at = size_t{y} * kWidth;
        for (uint32_t x = 0; x < kWidth; ++x) {
            image->comps[0].data[at + x] = src[3 * x + 2];
            image->comps[1].data[at + x] = src[3 * x + 1];
            image->comps[2].data[at + x] = src[3 * x];
        }
    }

    // The engine's settings: one quality layer at the rate, the reversible 5/3 wavelet, the
    // colour transform, and as many resolution levels as the smaller side allows up to six,
    // which for the page is six.
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.cp_disto_alloc = 1;
    settings.tcp_rates[0] = static_cast<float>(1.0 / kJp2Rate);
    settings.irreversible = 0;
    settings.tcp_mct = 1;
    settings.numresolution = 6;

    opj.codec = opj_create_compress(OPJ_CODEC_JP2);
    opj.Open(out, false);
    if (!opj_setup_encoder(opj.codec, &settings, image) ||
        !opj_start_compress(opj.codec, image, opj.stream) || !opj_encode(opj.codec, opj.stream) ||
        !opj_end_compress(opj.codec, opj.stream))
        return Sink{};
    return std::move(out.written);
}

// ---- the codecs -------------------------------------------------------------------------

// A plain encoder: encodes the page and gives the file's size, and keeps a copy of the file
// when asked (outside the timed loop).
using PlainEncoder = std::function<size_t(const Bitmap&, std::vector<uint8_t>* keep)>;

template <class Encode>
PlainEncoder Plain(Encode encode) {
    return [encode](const Bitmap& bits, std::vector<uint8_t>* keep) -> size_t {
        const auto file = encode(bits);
        if (keep) keep->assign(file.data(), file.data() + file.size());
        return file.size();
    };
}

struct Codec {
    const char* name;
    uint32_t format;
    uint32_t option;  // the engine's codec option for the encoder
    std::function<Bitmap(const std::vector<uint8_t>&)> plainDecode;  // none for our own codecs
    PlainEncoder plainEncode;
};

const std::vector<Codec>& Codecs() {
    static const std::vector<Codec> codecs = {
        {"jpeg", ImageFormat::Jpg, 0, JpegDecodePlain, Plain(JpegEncodePlain)},
        {"png", ImageFormat::Png, 0, PngDecodePlain, Plain(PngEncodePlain)},
        {"tiff-lzw", ImageFormat::Tif, COMPRESSION_LZW, TiffDecodePlain,
         Plain([](const Bitmap& b) { return TiffEncodePlain(b, COMPRESSION_LZW); })},
        {"tiff-none", ImageFormat::Tif, COMPRESSION_NONE, TiffDecodePlain,
         Plain([](const Bitmap& b) { return TiffEncodePlain(b, COMPRESSION_NONE); })},
        // JPEG 2000 takes no codec option: its rate comes from the picture's JPEG quality,
        // left at the default 90 (kJp2Rate).
        {"jpeg2000", ImageFormat::Jp2, 0, Jp2DecodePlain, Plain(Jp2EncodePlain)},
        {"bmp", ImageFormat::Bmp, 0, nullptr, nullptr},
        {"tga", ImageFormat::Tga, 0, nullptr, nullptr},
        {"pcx", ImageFormat::Pcx, 0, nullptr, nullptr},
    };
    return codecs;
}

// The file every decoder reads: made by the plain library where there is one, so both
// sides read the same bytes, and by the engine for our own formats.
const std::vector<uint8_t>& InputFile(const Codec& codec) {
    static std::vector<std::unique_ptr<std::vector<uint8_t>>> files(Codecs().size());
    auto& file = files[&codec - Codecs().data()];
    if (!file) {
        file = std::make_unique<std::vector<uint8_t>>();
        std::string error;
        if (codec.plainEncode)
            codec.plainEncode(PageBitmap(), file.get());
        else
            *file = EngineEncode(codec.format, codec.option, error);
    }
    return *file;
}

bool SamePixels(const Picture& pic, const Bitmap& bits) {
    if (bits.size() != kStride * kHeight) return false;
    if (pic.GetWidth() != kWidth || pic.GetHeight() != kHeight || pic.GetBpp() != 24) return false;
    for (uint32_t y = 0; y < kHeight; ++y)
        if (std::memcmp(pic.GetBits(y), &bits[kStride * y], size_t{kWidth} * 3) != 0) return false;
    return true;
}

// Why the engine's and the plain side's work differ, or empty when they match.
std::string Compare(const Codec& codec, bool decode) {
    const std::vector<uint8_t>& file = InputFile(codec);
    if (decode) {
        Picture pic;
        if (!EngineDecode(file, codec.format, pic)) return std::string("engine: ") + pic.GetLastError();
        if (!codec.plainDecode)
            return SamePixels(pic, PageBitmap()) ? "" : "decoded pixels differ from the page";
        if (!SamePixels(pic, codec.plainDecode(file))) return "engine and plain pixels differ";
        return "";
    }
    std::string error;
    const std::vector<uint8_t> mine = EngineEncode(codec.format, codec.option, error);
    if (!error.empty()) return "engine: " + error;
    std::vector<uint8_t> theirs;
    if (codec.plainEncode && (codec.plainEncode(PageBitmap(), &theirs), mine != theirs))
        return "engine and plain files differ";
    return "";
}

// Compared once per codec and operation, however often the benchmarks run.
const std::string& Mismatch(const Codec& codec, bool decode) {
    static std::vector<std::unique_ptr<std::string>> found(2 * Codecs().size());
    auto& slot = found[2 * (&codec - Codecs().data()) + decode];
    if (!slot) slot = std::make_unique<std::string>(Compare(codec, decode));
    return *slot;
}

void Report(benchmark::State& state, size_t fileBytes) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    state.counters["MP/s"] =
        benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_bytes"] = static_cast<double>(fileBytes);
}

void DecodeEngine(benchmark::State& state, const Codec& codec) {
    if (const std::string& why = Mismatch(codec, true); !why.empty()) return state.SkipWithError(why.c_str());
    const std::vector<uint8_t>& file = InputFile(codec);
    for (auto _ : state) {
        Picture pic;
        if (!EngineDecode(file, codec.format, pic)) state.SkipWithError(pic.GetLastError());
        benchmark::DoNotOptimize(pic.GetBits(0));
    }
    Report(state, file.size());
}

void DecodePlain(benchmark::State& state, const Codec& codec) {
    if (const std::string& why = Mismatch(codec, true); !why.empty()) return state.SkipWithError(why.c_str());
    const std::vector<uint8_t>& file = InputFile(codec);
    for (auto _ : state) {
        const Bitmap bits = codec.plainDecode(file);
        benchmark::DoNotOptimize(bits.data());
    }
    Report(state, file.size());
}

void EncodeEngine(benchmark::State& state, const Codec& codec) {
    if (const std::string& why = Mismatch(codec, false); !why.empty())
        return state.SkipWithError(why.c_str());
    size_t bytes = 0;
    for (auto _ : state) {
        Picture pic;
        pic.Ghost(&PagePicture());
        pic.SetCodecOption(codec.option, codec.format);
        MemoryStream out;
        out.Open();
        if (!pic.Encode(&out, codec.format)) state.SkipWithError(pic.GetLastError());
        bytes = static_cast<size_t>(out.Size());
    }
    Report(state, bytes);
}

void EncodePlain(benchmark::State& state, const Codec& codec) {
    if (const std::string& why = Mismatch(codec, false); !why.empty())
        return state.SkipWithError(why.c_str());
    size_t bytes = 0;
    for (auto _ : state) bytes = codec.plainEncode(PageBitmap(), nullptr);
    Report(state, bytes);
}

// Registered before main runs, one engine/plain pair per operation and codec.
const bool registered = [] {
    TIFFSetErrorHandler(TiffQuiet);
    TIFFSetWarningHandler(TiffQuiet);
    for (const Codec& codec : Codecs()) {
        const std::string name = codec.name;
        benchmark::RegisterBenchmark((name + "/decode/engine").c_str(), DecodeEngine, std::cref(codec))
            ->Unit(benchmark::kMillisecond);
        if (codec.plainDecode)
            benchmark::RegisterBenchmark((name + "/decode/plain").c_str(), DecodePlain, std::cref(codec))
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((name + "/encode/engine").c_str(), EncodeEngine, std::cref(codec))
            ->Unit(benchmark::kMillisecond);
        if (codec.plainEncode)
            benchmark::RegisterBenchmark((name + "/encode/plain").c_str(), EncodePlain, std::cref(codec))
                ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
