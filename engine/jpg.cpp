// JPEG through libjpeg. libjpeg reports a fatal error by calling error_exit, which must not
// return: ours writes the library's message into lastError and long-jumps back to the
// function that armed the jump. Those functions and every frame the jump crosses hold only
// plain data (the library's structures live in a job record owned by the caller), so no
// destructor is skipped; the C++ objects (the stream manager, the EXIF reader) live in
// Decode and Encode, which the jump never crosses.
#include "jpg.h"

#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs <cstdio> before it; jerror.h needs jpeglib.h.
#include <jerror.h>
#include <jpeglib.h>

#include "codec.h"
#include "rowiterator.h"
#include "sizelimits.h"
#include "stream.h"

namespace {

constexpr size_t kBufferSize = 4096;

// A hostile progressive file can repeat scans without end, each pass over every
// coefficient; real files have a dozen.
constexpr long kMaxScans = 1000;

// A progressive (or multi-scan) file keeps every coefficient of the whole picture: two bytes
// per sample, up to four samples per pixel against the picture's three bytes, so a picture
// that fits the cap needs at most 8/3 of the cap for them.
constexpr uint64_t kCoefficientsPerCap = 3;
// libjpeg's whole working memory: the coefficients, and the full-colour copy of the picture
// that two-pass quantisation keeps (three bytes per pixel of an 8-bit picture).
constexpr uint64_t kLibraryMemoryPerCap = 6;

// Huffman-coded data spends at least one bit on every code. A sequential scan codes every
// block with a DC difference and an end of block (or more AC codes); the first DC scan of a
// progressive file codes every block once. Arithmetic coding has no such floor.
constexpr uint64_t kSequentialBitsPerBlock = 2;
constexpr uint64_t kProgressiveBitsPerBlock = 1;

constexpr const char* kTooShort = "JPEG file too short for its picture";
constexpr const char* kTooLarge = "PICTURE_MAX_MEMORY exceeded";

struct ErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
    jmp_buf jump;
    char* lastError;  // the picture's lastError, 256 chars
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->lastError);
    longjmp(err->jump, 1);
}

// Warnings and traces are never shown.
void OutputNothing(j_common_ptr) {}

void CountScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->lastError, JMSG_LENGTH_MAX, "Too many scans in JPEG file");
        longjmp(err->jump, 1);
    }
}

void SetupErrors(ErrorManager& err, char* lastError) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.output_message = OutputNothing;
    err.lastError = lastError;
}

// Dots per inch from an EXIF resolution and its unit (a length in inches); a value that
// does not fit leaves the axis alone.
template <class Set>
void DpiFromExif(float resolution, float unit, Set set) {
    if (resolution == 0 || unit == 0) return;
    // Rounded: 118.11 dots per centimetre is 300 dots per inch, not 299.
    const double dpi = std::floor(static_cast<double>(resolution) / unit + 0.5);
    if (std::isfinite(dpi) && dpi > -2147483648.0 && dpi < 2147483648.0) set(static_cast<int32_t>(dpi));
}

// Blocks of 8 x 8 samples the frame holds, over all its components; valid once the header
// up to the first scan has been read.
uint64_t FrameBlocks(j_decompress_ptr cinfo) {
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& comp = cinfo->comp_info[c];
        blocks += uint64_t{comp.width_in_blocks} * comp.height_in_blocks;
    }
    return blocks;
}

// Bytes of libjpeg's whole-picture coefficient arrays, each padded to whole sampling units.
uint64_t CoefficientBytes(j_decompress_ptr cinfo) {
    const auto roundUp = [](uint64_t v, uint64_t m) { return m ? (v + m - 1) / m * m : v; };
    uint64_t bytes = 0;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& comp = cinfo->comp_info[c];
        bytes += roundUp(comp.width_in_blocks, static_cast<uint64_t>(comp.h_samp_factor)) *
                 roundUp(comp.height_in_blocks, static_cast<uint64_t>(comp.v_samp_factor)) * sizeof(JBLOCK);
    }
    return bytes;
}

// The picture a quantised file makes has exactly the library's colours.
void KeepColours(Picture& pic, uint32_t count) {
    if (count == 0 || count >= pic.GetNumColors()) return;
    pic.header.biClrUsed = count;
    std::memcpy(pic.dib, &pic.header, sizeof pic.header);
    pic.info.bits = pic.GetBits(0);
}

}  // namespace

// ---- stream manager ---------------------------------------------------------------------

class PictureJPG::JpegStreamManager : public jpeg_source_mgr, public jpeg_destination_mgr {
   public:
    // Bytes from the library's read position to the end of the stream, or UINT64_MAX when
    // the stream cannot tell its length.
    uint64_t Remaining() {
        const int32_t size = stream_->Size(), at = stream_->Tell();
        if (size < 0 || at < 0 || size < at) return UINT64_MAX;
        return static_cast<uint64_t>(size - at) + bytes_in_buffer;
    }

    explicit JpegStreamManager(ByteStream* stream) : stream_(stream) {
        next_input_byte = nullptr;
        bytes_in_buffer = 0;  // the first read fills the buffer
        init_source = InitSource;
        fill_input_buffer = FillInputBuffer;
        skip_input_data = SkipInputData;
        resync_to_restart = jpeg_resync_to_restart;
        term_source = TermSource;

        next_output_byte = nullptr;
        free_in_buffer = 0;
        init_destination = InitDestination;
        empty_output_buffer = EmptyOutputBuffer;
        term_destination = TermDestination;
    }

   private:
    static JpegStreamManager* Self(j_decompress_ptr cinfo) {
        return static_cast<JpegStreamManager*>(cinfo->src);
    }
    static JpegStreamManager* Self(j_compress_ptr cinfo) {
        return static_cast<JpegStreamManager*>(cinfo->dest);
    }

    static void InitSource(j_decompress_ptr cinfo) { Self(cinfo)->startOfFile_ = true; }

    // A stream that ends early gets an end-of-image marker, so that libjpeg finishes the
    // picture with what it has and warns instead of failing.
    static boolean FillInputBuffer(j_decompress_ptr cinfo) {
        JpegStreamManager* self = Self(cinfo);
        uint32_t n = self->stream_->Read(self->buffer_, 1, kBufferSize);
        self->atEnd_ = n == 0;
        if (n == 0) {
            if (self->startOfFile_) ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            self->buffer_[0] = 0xFF;
            self->buffer_[1] = JPEG_EOI;
            n = 2;
        }
        self->next_input_byte = self->buffer_;
        self->bytes_in_buffer = n;
        self->startOfFile_ = false;
        return TRUE;
    }

    // A skip past the end of the stream stops at the end-of-image marker put there.
    static void SkipInputData(j_decompress_ptr cinfo, long count) {
        if (count <= 0) return;
        JpegStreamManager* self = Self(cinfo);
        while (count > static_cast<long>(self->bytes_in_buffer)) {
            count -= static_cast<long>(self->bytes_in_buffer);
            FillInputBuffer(cinfo);
            if (self->atEnd_) return;
        }
        self->next_input_byte += count;
        self->bytes_in_buffer -= static_cast<size_t>(count);
    }

    static void TermSource(j_decompress_ptr) {}

    static void InitDestination(j_compress_ptr cinfo) {
        JpegStreamManager* self = Self(cinfo);
        self->next_output_byte = self->buffer_;
        self->free_in_buffer = kBufferSize;
    }

    static boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
        JpegStreamManager* self = Self(cinfo);
        if (self->stream_->Write(self->buffer_, 1, kBufferSize) != kBufferSize)
            ERREXIT(cinfo, JERR_FILE_WRITE);
        self->next_output_byte = self->buffer_;
        self->free_in_buffer = kBufferSize;
        return TRUE;
    }

    static void TermDestination(j_compress_ptr cinfo) {
        JpegStreamManager* self = Self(cinfo);
        const size_t used = kBufferSize - self->free_in_buffer;
        if (used > 0 && self->stream_->Write(self->buffer_, static_cast<uint32_t>(used), 1) == 0)
            ERREXIT(cinfo, JERR_FILE_WRITE);
        self->stream_->Flush();
        if (self->stream_->Error()) ERREXIT(cinfo, JERR_FILE_WRITE);
    }

    ByteStream* stream_;
    JOCTET buffer_[kBufferSize];
    bool startOfFile_ = false;
    bool atEnd_ = false;  // the buffer holds the end-of-image marker put after the stream
};

// ---- decoding ---------------------------------------------------------------------------

namespace {

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    PictureJPG* picture;
    PictureJPG::JpegStreamManager* source;
    bool hasExif;
};

// Everything between creating and destroying the decompressor. Holds plain data only: any
// library error long-jumps out of it. False with lastError as it stands for a cancel or a
// failed Create.
bool DecodeSteps(DecodeJob* job) {
    j_decompress_ptr cinfo = &job->cinfo;
    PictureJPG& pic = *job->picture;

    cinfo->src = job->source;
    cinfo->progress = &job->progress;
    const uint64_t cap = GetPictureCap();
    const uint64_t libraryMemory =
        cap > LONG_MAX / kLibraryMemoryPerCap ? LONG_MAX : cap * kLibraryMemoryPerCap;
    cinfo->mem->max_memory_to_use = static_cast<long>(libraryMemory);
    jpeg_read_header(cinfo, TRUE);

    const uint32_t options = pic.GetCodecOption(ImageFormat::Jpg);
    if (options & JpegOption::GreyscaleOutput) cinfo->out_color_space = JCS_GRAYSCALE;
    if (options & JpegOption::Quantize) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = pic.info.jpegQuality;
    }
    if (options & JpegOption::Dither) {
        const int32_t mode = pic.ditherMode;
        cinfo->dither_mode = mode == 0 ? JDITHER_NONE : mode == 1 ? JDITHER_ORDERED : JDITHER_FS;
    }
    if (options & JpegOption::OnePass) cinfo->two_pass_quantize = FALSE;
    if (options & JpegOption::NoFancyUpsampling) cinfo->do_fancy_upsampling = FALSE;
    // libjpeg reads a denominator of 0 as an enlargement; 0 means full size here.
    cinfo->scale_num = 1;
    cinfo->scale_denom = pic.info.jpegScale > 1 ? pic.info.jpegScale : 1;

#ifdef JCS_EXTENSIONS
    // libjpeg-turbo can deliver colour pixels blue first, as the picture keeps them, which
    // spares a pass over every row.
    const bool blueFirst = cinfo->out_color_space == JCS_RGB && !cinfo->quantize_colors;
    if (blueFirst) cinfo->out_color_space = JCS_EXT_BGR;
#else
    const bool blueFirst = false;
#endif

    if (pic.info.escape == -1) {
        jpeg_calc_output_dimensions(cinfo);
        pic.header.biWidth = static_cast<int32_t>(cinfo->output_width);
        pic.header.biHeight = static_cast<int32_t>(cinfo->output_height);
        return true;
    }

    // What the header declares is checked before the library allocates for it: the picture
    // against the cap, the coefficients a progressive file keeps against their share of it,
    // and the frame against the bytes the stream has left.
    jpeg_calc_output_dimensions(cinfo);
    const uint32_t outputBpp = cinfo->output_components >= 3 ? 24 : 8;
    if (!FitsPictureCap(cinfo->output_width, cinfo->output_height, outputBpp)) {
        pic.SetLastError(kTooLarge);
        return false;
    }
    const bool wholeCoefficients = cinfo->progressive_mode || cinfo->comps_in_scan < cinfo->num_components;
    if (wholeCoefficients && CoefficientBytes(cinfo) / kCoefficientsPerCap > cap) {
        pic.SetLastError(kTooLarge);
        return false;
    }
    if (!cinfo->arith_code) {
        const uint64_t bits = cinfo->progressive_mode ? kProgressiveBitsPerBlock : kSequentialBitsPerBlock;
        if (!CanHold(job->source->Remaining(), FrameBlocks(cinfo) * bits, 8)) {
            pic.SetLastError(kTooShort);
            return false;
        }
    }

    jpeg_start_decompress(cinfo);
    const uint32_t width = cinfo->output_width;
    const uint32_t components = static_cast<uint32_t>(cinfo->output_components);
    if (!pic.Create(width, cinfo->output_height, 8 * components, ImageFormat::Jpg)) return false;

    if (job->hasExif) {
        // An axis without a resolution tag keeps the caller's resolution; setting it again
        // brings the header's pixels per metre in line with it.
        const ExifData& exif = pic.exifInfo;
        int32_t x = pic.GetXDpi(), y = pic.GetYDpi();
        DpiFromExif(exif.xResolution, exif.resolutionUnit, [&](int32_t dpi) { x = dpi; });
        DpiFromExif(exif.yResolution, exif.resolutionUnit, [&](int32_t dpi) { y = dpi; });
        pic.SetXDpi(x);
        pic.SetYDpi(y);
    } else if (cinfo->density_unit == 2) {
        // Dots per centimetre.
        pic.SetXDpi(static_cast<int32_t>(std::floor(cinfo->X_density * 2.54 + 0.5)));
        pic.SetYDpi(static_cast<int32_t>(std::floor(cinfo->Y_density * 2.54 + 0.5)));
    } else if (cinfo->density_unit == 1) {
        pic.SetXDpi(cinfo->X_density);
        pic.SetYDpi(cinfo->Y_density);
    } else {
        // Unit 0 gives only the pixels' aspect ratio (cjpeg writes 1:1, and libjpeg assumes
        // it for files without a JFIF header); the resolution stays as it was.
        pic.SetXDpi(pic.GetXDpi());
        pic.SetYDpi(pic.GetYDpi());
    }

    // A quantised picture indexes the library's colour map, greyscale ones too, and has as
    // many palette entries as the map has colours.
    const bool quantized = cinfo->quantize_colors != FALSE;
    if (quantized) {
        KeepColours(pic, static_cast<uint32_t>(cinfo->actual_number_of_colors));
        JSAMPARRAY map = cinfo->colormap;
        const int mapComponents = cinfo->out_color_components;
        pic.SetPalette(static_cast<uint32_t>(cinfo->actual_number_of_colors), map[0],
                       mapComponents > 1 ? map[1] : nullptr, mapComponents > 2 ? map[2] : nullptr);
    } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
        pic.SetGrayPalette();
    }

    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 width * components, 1);
    const bool cmyk = components == 4 && !quantized;
    const bool rgb = cinfo->num_components == 3 && !quantized;
    // Rows that fit the picture's row are decoded straight into it; CMYK rows and rows of
    // files with more components than a picture holds pass through the library's row.
    const bool direct = !cmyk && uint64_t{width} * components <= pic.GetEffWidth();

    // JPEG rows come top first; the picture's rows are stored bottom-up.
    CRowIterator iter(&pic);
    iter.StartAtTop();
    while (cinfo->output_scanline < cinfo->output_height) {
        if (pic.info.escape) return false;
        uint8_t* dst = iter.CurrentRow();
        JSAMPROW target = direct ? dst : row[0];
        if (jpeg_read_scanlines(cinfo, &target, 1) != 1) break;
        const JSAMPLE* src = row[0];
        if (cmyk) {
            // Adobe files store CMYK inverted: each byte is 255 minus the ink, so the
            // colour is the ink byte scaled by the black byte.
            for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
                const uint32_t k = src[3];
                dst[0] = static_cast<uint8_t>(src[2] * k / 255);
                dst[1] = static_cast<uint8_t>(src[1] * k / 255);
                dst[2] = static_cast<uint8_t>(src[0] * k / 255);
            }
        } else {
            if (!direct) iter.CopyIntoRow(src, static_cast<int32_t>(width * components));
            // libjpeg delivers red first unless asked otherwise; the picture keeps blue first.
            if (rgb && !blueFirst) pic.SwapRedBlue(dst, static_cast<int32_t>(3 * width));
        }
        iter.StepDown();
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Arms the jump, then runs the decoder. `job` is never changed after setjmp, and nothing
// else lives in this frame, so the landing code sees it as it was.
bool RunDecode(DecodeJob* const job) {
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(&job->cinfo);
        return false;
    }
    jpeg_create_decompress(&job->cinfo);
    const bool ok = DecodeSteps(job);
    jpeg_destroy_decompress(&job->cinfo);
    return ok;
}

}  // namespace

PictureJPG::PictureJPG() : Picture(ImageFormat::Jpg) { std::memset(&exifInfo, 0, sizeof exifInfo); }

PictureJPG::~PictureJPG() = default;

bool PictureJPG::Decode(ByteStream* stream) {
    if (!stream) return false;
    try {
        // The EXIF scan reads the sections up to the first scan; the decoder starts over.
        // The record starts empty, so a second decode never sees the first file's tags.
        const int32_t start = stream->Tell();
        std::memset(&exifInfo, 0, sizeof exifInfo);
        exif_ = std::make_unique<ExifReader>(&exifInfo);
        exif_->DecodeSections(stream, ExifReader::ReadExif);
        stream->Seek(start, 0);

        JpegStreamManager manager(stream);
        DecodeJob job{};
        SetupErrors(job.err, info.lastError);
        job.cinfo.err = &job.err.pub;
        job.progress.progress_monitor = CountScans;
        job.picture = this;
        job.source = &manager;
        job.hasExif = exifInfo.isExif;
        return RunDecode(&job);
    } catch (const std::bad_alloc&) {
        SetLastError("Could not allocate memory");
        return false;
    }
}

// ---- encoding ---------------------------------------------------------------------------

namespace {

struct EncodeJob {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    PictureJPG* picture;
    jpeg_destination_mgr* destination;
};

bool EncodeSteps(EncodeJob* job) {
    j_compress_ptr cinfo = &job->cinfo;
    PictureJPG& pic = *job->picture;
    cinfo->dest = job->destination;

    // Palette pictures reach here only with the identity grey ramp: index = grey level.
    const bool grey = pic.IsIndexed();
    const uint32_t width = pic.GetWidth(), height = pic.GetHeight();
    cinfo->image_width = width;
    cinfo->image_height = height;
    cinfo->input_components = grey ? 1 : 3;
#ifdef JCS_EXTENSIONS
    // libjpeg-turbo takes colour pixels blue first, as the picture keeps them.
    constexpr J_COLOR_SPACE kColorInput = JCS_EXT_BGR;
#else
    constexpr J_COLOR_SPACE kColorInput = JCS_RGB;
#endif
    cinfo->in_color_space = grey ? JCS_GRAYSCALE : kColorInput;

    jpeg_set_defaults(cinfo);
    const uint32_t options = pic.GetCodecOption(ImageFormat::Jpg);
    if (options & JpegOption::Arithmetic) cinfo->arith_code = TRUE;
    if (options & JpegOption::Optimize) cinfo->optimize_coding = TRUE;
    if (options & JpegOption::Greyscale) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (options & JpegOption::Smoothing) {
        const int32_t f = pic.smoothingFactor;
        cinfo->smoothing_factor = f < 0 ? 0 : f > 100 ? 100 : f;
    }
    jpeg_set_quality(cinfo, pic.info.jpegQuality, (options & JpegOption::ForceBaseline) ? TRUE : FALSE);
    if (options & JpegOption::Progressive) jpeg_simple_progression(cinfo);

    cinfo->density_unit = 1;  // dots per inch
    cinfo->X_density = static_cast<UINT16>(pic.info.xDpi);
    cinfo->Y_density = static_cast<UINT16>(pic.info.yDpi);

    jpeg_start_compress(cinfo, TRUE);

    const uint32_t effWidth = pic.GetEffWidth();
    const uint32_t samples = width * static_cast<uint32_t>(cinfo->input_components);
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 (effWidth > samples ? effWidth : samples) + 8, 1);
    const bool packed = grey && pic.GetBpp() < 8;

    CRowIterator iter(&pic);
    iter.StartAtTop();
    while (cinfo->next_scanline < cinfo->image_height) {
        if (packed) {
            // 1- and 4-bit rows are widened to one sample per pixel.
            const int32_t y = static_cast<int32_t>(height - 1 - cinfo->next_scanline);
            for (uint32_t x = 0; x < width; ++x)
                row[0][x] = pic.BlindGetPixelIndex(static_cast<int32_t>(x), y);
        } else {
            iter.CopyFromRow(row[0], static_cast<int32_t>(effWidth));
            // The picture keeps blue first; libjpeg takes red first unless told otherwise.
            if (!grey && kColorInput == JCS_RGB) pic.SwapRedBlue(row[0], static_cast<int32_t>(effWidth));
        }
        jpeg_write_scanlines(cinfo, row, 1);
        iter.StepDown();
    }
    jpeg_finish_compress(cinfo);
    return true;
}

bool RunEncode(EncodeJob* const job) {
    if (setjmp(job->err.jump)) {
        jpeg_destroy_compress(&job->cinfo);
        return false;
    }
    jpeg_create_compress(&job->cinfo);
    const bool ok = EncodeSteps(job);
    jpeg_destroy_compress(&job->cinfo);
    return ok;
}

}  // namespace

bool PictureJPG::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    if (IsIndexed() && !IsGrayScale()) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    const int32_t start = stream->Tell();

    JpegStreamManager manager(stream);
    EncodeJob job{};
    SetupErrors(job.err, info.lastError);
    job.cinfo.err = &job.err.pub;
    job.picture = this;
    job.destination = &manager;
    if (!RunEncode(&job)) return false;

    // A codec object that decoded an EXIF file puts its EXIF and comment sections back in
    // front of the sections of the file just written.
    if (exif_ && exifInfo.isExif) {
        try {
            exif_->KeepExifOnly();
            stream->Seek(start, 0);
            const bool scanned = exif_->DecodeSections(stream, ExifReader::ReadImage);
            stream->Seek(start, 0);
            if (scanned) exif_->WriteSections(stream);
        } catch (const std::bad_alloc&) {
            SetLastError("Could not allocate memory");
            return false;
        }
    }
    return true;
}

namespace {

// Every JPEG stream starts with the start-of-image marker.
bool LooksLikeJpg(const uint8_t* head, size_t n) { return n >= 2 && head[0] == 0xFF && head[1] == 0xD8; }

}  // namespace

extern const CodecInfo kJpgCodec{
    ImageFormat::Jpg, "jpg", {"jpeg"}, &LooksLikeJpg, codec::kDecode<PictureJPG>, codec::kEncode<PictureJPG>,
    ImageFormat::Jpg, false, true};
