// Decoding GIF: one pass over the blocks counts the frames (walking their data by sub-block
// lengths, without decoding it), a second composes the requested frame over the frames
// before it on a canvas the size of the logical screen. The canvas stays a palette picture
// while every frame drawn shares its colour table; a frame with other colours, or a
// background that must show through where no transparent index exists, turns it into a
// 24-bit picture with an alpha plane. Files built as a mosaic of small tiles with local
// tables and no global table are composed instead into one 24-bit picture.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "blocks.h"
#include "codec.h"
#include "gif.h"
#include "lzw.h"
#include "reader.h"
#include "rowiterator.h"

using namespace codec;

namespace gif {
namespace {

using namespace gifblock;

constexpr uint32_t kHeaderSize = 13;
constexpr uint32_t kDescriptorSize = 9;

// Bounds for hostile files: the frames one decode walks, and the pixels it may create,
// clear and draw while composing. A small file of many large frames could otherwise take
// hours; a decode may always make its canvas twice over, and beyond that about 2^29 pixels
// (a few seconds at most). The work is added up from the frame list before any pixel is
// made, so a file beyond the bound is refused at once.
constexpr int32_t kMaxFrames = 65536;
constexpr uint64_t kExtraPixels = uint64_t{1} << 29;
// Pictures up to this many pixels cost nothing worth guarding; larger frames and screens
// must be within reach of the image data the file holds.
constexpr uint64_t kFreePixels = uint64_t{1} << 20;

constexpr const char* kTooMuchWork = "GIF: too many frames to compose";
constexpr const char* kFrameTooLarge = "GIF: image data too short for the frame it declares";
constexpr const char* kScreenTooLarge = "GIF: image data too short for the screen it declares";
constexpr const char* kNoImage = "GIF: no image found";
constexpr const char* kNoMemory = "GIF: can't allocate memory";

int ReadByte(ByteStream* stream) {
    uint8_t b;
    return stream->Read(&b, 1, 1) == 1 ? b : -1;
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A colour table of 2^(n+1) entries; entries the file does not hold stay black.
void ReadTable(ByteStream* stream, rgb_color* table, int32_t size) {
    std::memset(table, 0, sizeof(rgb_color) * 256);
    stream->Read(table, 1, static_cast<uint32_t>(size) * 3);
}

int32_t TableSize(uint8_t flags) { return 2 << (flags & 7); }

// Pictures take the smallest depth that holds the table: 1, 4 or 8 bits.
uint32_t DepthFor(int32_t tableSize) { return tableSize <= 2 ? 1 : tableSize <= 16 ? 4 : 8; }

// Palette index x of a packed row, and its replacement, at 1, 4 or 8 bits per pixel (the
// left pixel in the high bits).
inline uint8_t IndexAt(const uint8_t* row, int32_t x, uint16_t bpp) {
    if (bpp == 8) return row[x];
    if (bpp == 4) return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

inline void PutIndex(uint8_t* row, int32_t x, uint8_t index, uint16_t bpp) {
    if (bpp == 8) {
        row[x] = index;
    } else if (bpp == 4) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F))
                    : static_cast<uint8_t>((b & 0x0F) | (index << 4));
    } else {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        if (index & 1)
            row[x >> 3] |= mask;
        else
            row[x >> 3] &= static_cast<uint8_t>(~mask);
    }
}

struct ImageDescriptor {
    uint16_t left, top, width, height;
    uint8_t flags;
};

// Lines of one palette index per byte into the frame's rows. Rows are stored from the
// bottom, so the first line goes to the top row. Interlaced frames come in four passes that
// start at rows 0, 4, 2, 1 with steps 8, 8, 4, 2; lines past the fourth pass sweep the rows
// once more from the top. A frame takes no more lines than that (its height, or twice its
// height when interlaced): the rest of its data would only cost time.
class FrameWriter : public LzwLineSink {
   public:
    FrameWriter(Picture& frame, bool interlaced)
        : rows_(&frame),
          interlaced_(interlaced),
          width_(static_cast<int32_t>(frame.GetWidth())),
          height_(static_cast<int32_t>(frame.GetHeight())),
          bpp_(frame.GetBpp()) {
        rows_.StartAtTop();
    }

    int Line(uint8_t* pixels, int32_t count) override {
        if (!interlaced_) {
            if (!rows_.InsideImage()) return -1;  // more lines than the frame has rows
            Put(rows_.CurrentRow(), pixels, count);
            rows_.StepDown();
            return 0;
        }
        if (lines_ >= 2 * height_) return -1;
        ++lines_;
        Put(rows_.RowAt(height_ - 1 - nextRow_), pixels, count);
        nextRow_ += step_;
        while (nextRow_ >= height_) {
            if (++pass_ >= 2) step_ /= 2;
            nextRow_ = step_ / 2;
        }
        return 0;
    }

   private:
    // A short last line writes only the pixels it has.
    void Put(uint8_t* row, const uint8_t* pixels, int32_t count) const {
        if (!row) return;
        count = std::min(count, width_);
        if (bpp_ == 8) {
            std::memcpy(row, pixels, static_cast<size_t>(count));
            return;
        }
        for (int32_t x = 0; x < count; ++x) PutIndex(row, x, pixels[x], bpp_);
    }

    CRowIterator rows_;
    bool interlaced_;
    int32_t width_, height_;
    uint16_t bpp_;
    int32_t nextRow_ = 0, step_ = 8, pass_ = 0, lines_ = 0;
};

}  // namespace

class GifDecoder {
   public:
    GifDecoder(PictureGIF& gif, ByteStream* stream)
        : gif_(gif), stream_(stream), lzw_(std::make_unique<LzwDecoder>()) {}

    bool Run();

   private:
    enum class Step { Continue, Stop, Cancel };

    // A graphic control block as it applies to the image after it (and only that one).
    struct Control {
        int32_t transIndex = -1;
        uint16_t delay = 0;
        int32_t disposal = 0;
    };

    // What the counting pass learns about one image.
    struct FrameRecord {
        ImageDescriptor descriptor;
        uint64_t dataBytes;  // the bytes its data sub-blocks hold
        int32_t disposal;
    };

    // Part of the canvas in pixels counted from the top left.
    struct Rect {
        int32_t x = 0, y = 0, width = 0, height = 0;
        uint64_t Area() const { return uint64_t(width) * uint64_t(height); }
    };

    // The canvas under a frame whose disposal restores it, kept to be put back.
    struct Saved {
        Rect rect;
        bool trueColour = false;
        std::vector<uint8_t> indexes;
        std::vector<RGBQUAD> colours;  // rgbReserved is the alpha
    };

    // Fails with the text a picture's own Create left in it.
    [[noreturn]] void FailWith(const Picture& picture) {
        if (&picture != &gif_) gif_.SetLastError(picture.GetLastError());
        throw CodecError{nullptr};
    }

    bool ReadExtension(Control& pending, bool keep);
    bool ReadDescriptor(ImageDescriptor& d);
    void CountFrames(bool firstOnly);
    void SizeCanvas();
    void CheckWork(int32_t last) const;
    Rect Clip(const ImageDescriptor& d) const;
    void SkipData(GifBlockReader& reader);
    Step DecodeImage(GifBlockReader& reader, const Control& control);

    void StartCanvas(const ImageDescriptor& d, const rgb_color* table, int32_t tableSize, uint32_t depth,
                     int32_t transIndex);
    void ToTrueColour();
    void ClearRect(const Rect& r);
    void Save(const Rect& r);
    void Restore();
    bool DrawsBackgroundIndex(const Rect& r, int32_t transIndex) const;
    void DrawFrame(const ImageDescriptor& d, const rgb_color* table, int32_t tableSize, int32_t transIndex);
    void DrawMosaicTile(const ImageDescriptor& d);
    void TakeCanvas(const Control& control);

    uint64_t CanvasArea() const { return uint64_t{canvasWidth_} * canvasHeight_; }

    PictureGIF& gif_;
    ByteStream* stream_;
    std::unique_ptr<LzwDecoder> lzw_;

    uint16_t screenWidth_ = 0, screenHeight_ = 0;
    uint32_t canvasWidth_ = 0, canvasHeight_ = 0;
    bool globalPresent_ = false;
    int32_t globalSize_ = 0;
    rgb_color global_[256] = {};

    // The counting pass: every image, the bytes of all their data, and what tells a mosaic
    // of tiles from an animation (tiles follow one another in reading order without
    // overlapping, and no control block gives a delay or a disposal that restores).
    std::vector<FrameRecord> frames_;
    uint64_t totalData_ = 0;
    bool tiledLayout_ = true;
    bool timed_ = false;

    Picture frame_{ImageFormat::Gif};
    Picture canvas_{ImageFormat::Gif};
    std::unique_ptr<Picture> mosaicCanvas_;
    bool mosaic_ = false;
    bool reachedImage_ = false;
    int32_t imageNumber_ = 0;

    // A palette canvas keeps frame 0's table; its background (what shows where nothing is
    // drawn, and what disposal to the background restores) is frame 0's transparent index.
    bool trueColour_ = false;
    int32_t background_ = -1;
    rgb_color canvasTable_[256] = {};
    RGBQUAD canvasPalette_[256] = {};
    int32_t canvasTableSize_ = 0;
    Rect previousRect_;
    int32_t previousDisposal_ = 0;
    Saved saved_;
};

}  // namespace gif

bool PictureGIF::Decode(ByteStream* stream) {
    if (!stream) return false;
    return RunCodec(*this, gif::kNoMemory, [&]() -> bool {
        gif::GifDecoder decoder(*this, stream);
        return decoder.Run();
    });
}

namespace gif {

bool GifDecoder::Run() {
    uint8_t h[kHeaderSize];
    if (stream_->Read(h, 1, kHeaderSize) != kHeaderSize || std::memcmp(h, "GIF8", 4) != 0) return false;
    screenWidth_ = U16(h + 6);
    screenHeight_ = U16(h + 8);
    const uint8_t flags = h[10];
    globalSize_ = TableSize(flags);
    globalPresent_ = (flags & kTablePresent) != 0;
    if (globalPresent_) ReadTable(stream_, global_, globalSize_);
    const int32_t start = stream_->Tell();

    if (gif_.info.escape == -1) {
        CountFrames(true);
        SizeCanvas();
        gif_.header.biWidth = static_cast<int32_t>(canvasWidth_);
        gif_.header.biHeight = static_cast<int32_t>(canvasHeight_);
        return true;
    }

    CountFrames(false);
    stream_->Seek(start, 0);
    const int32_t frames = static_cast<int32_t>(frames_.size());
    gif_.info.frameCount = frames;
    if (gif_.info.frame < 0 || gif_.info.frame >= frames) return false;
    SizeCanvas();
    const ImageDescriptor& first = frames_[0].descriptor;
    mosaic_ = !globalPresent_ && frames > 1 && first.width != screenWidth_ && first.height != screenHeight_ &&
              tiledLayout_ && !timed_;
    if (mosaic_) gif_.info.frame = frames - 1;  // a mosaic needs every tile
    CheckWork(gif_.info.frame);

    GifBlockReader reader(stream_);
    Control pending;
    // After a stray byte, bytes are skipped up to and including the next zero byte.
    bool inSync = true;
    for (;;) {
        const int ch = ReadByte(stream_);
        if (ch < 0) break;
        if (gif_.info.escape > 0) return false;
        if (!inSync && ch != 0) continue;
        if (ch == kExtension) {
            if (!ReadExtension(pending, true)) break;
        } else if (ch == kImage) {
            const Step step = DecodeImage(reader, pending);
            pending = {};
            if (step == Step::Cancel) return false;
            if (step == Step::Stop) break;
        } else if (ch == kTrailer) {
            break;
        } else {
            inSync = ch == 0;
        }
    }

    if (mosaic_ && mosaicCanvas_) {
        if (gif_.gifgce.flags & 1)
            mosaicCanvas_->SetTransColor(
                frame_.GetPaletteColor(static_cast<uint8_t>(frame_.info.transIndex)));
        mosaicCanvas_->SetTransIndex((gif_.gifgce.flags & 1) ? 0 : -1);
        gif_.Transfer(*mosaicCanvas_);
        mosaicCanvas_.reset();
        return true;
    }
    if (!reachedImage_ || !gif_.IsValid()) Fail(kNoImage);
    return true;
}

// One extension block, read to the zero length byte that ends it. A graphic control block
// becomes the pending control of the next image; comments and the loop count are kept
// when keep is set. Returns false only when the file ends inside the block.
bool GifDecoder::ReadExtension(Control& pending, bool keep) {
    const int label = ReadByte(stream_);
    if (label < 0) return false;
    int n = ReadByte(stream_);
    if (n < 0) return false;
    uint8_t data[255];
    if (n > 0 && stream_->Read(data, 1, static_cast<uint32_t>(n)) != static_cast<uint32_t>(n)) return false;
    switch (label) {
        case kGraphicControl:
            // Flags, delay, transparent index; a longer block keeps those in its first bytes.
            if (n >= 4) {
                pending = {(data[0] & 1) ? data[3] : -1, U16(data + 1), (data[0] >> 2) & 7};
                if (keep) gif_.gifgce = {data[0], U16(data + 1), data[3]};
            }
            break;
        case kComment:
            // The first sub-block is the text.
            if (keep && n > 0) {
                std::memcpy(gif_.comment, data, static_cast<size_t>(n));
                gif_.comment[n] = '\0';
            }
            break;
        case kApplication:
            // An 11-byte identifier, then a sub-block whose bytes 1 and 2 are the loop count.
            if (n == 11) {
                n = ReadByte(stream_);
                if (n < 0) return false;
                if (n > 0 && stream_->Read(data, 1, static_cast<uint32_t>(n)) != static_cast<uint32_t>(n))
                    return false;
                if (keep && n > 2) gif_.loops = data[1] + 256 * data[2];
            }
            break;
        default:
            break;
    }
    while (n > 0) {
        n = ReadByte(stream_);
        if (n > 0 && !stream_->Seek(n, 1)) return false;
    }
    return n == 0;
}

bool GifDecoder::ReadDescriptor(ImageDescriptor& d) {
    uint8_t b[kDescriptorSize];
    if (stream_->Read(b, 1, kDescriptorSize) != kDescriptorSize) return false;
    d = {U16(b), U16(b + 2), U16(b + 4), U16(b + 6), b[8]};
    return true;
}

// Walks every block of the file as the decoding loop does. Image data is skipped by its
// sub-block lengths, never decoded; extensions leave nothing behind but what the images
// after them record.
void GifDecoder::CountFrames(bool firstOnly) {
    GifBlockReader reader(stream_);
    Control pending;
    bool inSync = true;
    int32_t bandTop = -1, bandRight = 0, lowest = 0;
    for (;;) {
        const int ch = ReadByte(stream_);
        if (ch < 0) break;
        if (!inSync && ch != 0) continue;
        if (ch == kExtension) {
            if (!ReadExtension(pending, false)) break;
            if (pending.delay != 0 || pending.disposal >= 2) timed_ = true;
            continue;
        }
        if (ch == kTrailer) break;
        if (ch != kImage) {
            inSync = ch == 0;
            continue;
        }
        ImageDescriptor d;
        if (!ReadDescriptor(d)) break;
        if (frames_.size() == static_cast<size_t>(kMaxFrames)) break;
        if (d.flags & kTablePresent) stream_->Seek(3 * TableSize(d.flags), 1);
        reader.Start();
        reader.Byte();  // the minimum code size
        const uint64_t bytes = reader.SkipSubBlocks();
        reader.Finish();
        frames_.push_back({d, bytes, pending.disposal});
        totalData_ += bytes;
        pending = {};

        // Tiles come row by row: one to the right of the last in the same row, or a new
        // row below everything so far.
        const bool sameRow = d.top == bandTop && d.left >= bandRight;
        if (!sameRow && d.top < lowest) tiledLayout_ = false;
        if (!sameRow) bandTop = d.top;
        bandRight = d.left + d.width;
        lowest = std::max(lowest, d.top + d.height);
        if (firstOnly) break;
    }
}

// The canvas is the logical screen, grown in each direction where the first image is larger
// than the screen (or the screen has no size): such files are shown at the image's size.
void GifDecoder::SizeCanvas() {
    canvasWidth_ = screenWidth_;
    canvasHeight_ = screenHeight_;
    if (frames_.empty()) return;
    const ImageDescriptor& d = frames_[0].descriptor;
    if (d.width > screenWidth_) canvasWidth_ = std::max<uint32_t>(screenWidth_, uint32_t{d.left} + d.width);
    if (d.height > screenHeight_)
        canvasHeight_ = std::max<uint32_t>(screenHeight_, uint32_t{d.top} + d.height);
}

// Before any pixel is made: every frame up to the last one composed must be within reach of
// its data, the canvas within reach of all the data, and the composing work bounded.
void GifDecoder::CheckWork(int32_t last) const {
    const uint64_t canvas = CanvasArea();
    if (canvas > kFreePixels && !CanHold(totalData_, canvas, kLzwPixelsPerByte)) Fail(kScreenTooLarge);
    uint64_t work = 0;
    for (int32_t i = 0; i <= last; ++i) {
        const FrameRecord& f = frames_[static_cast<size_t>(i)];
        const uint64_t area = uint64_t{f.descriptor.width} * f.descriptor.height;
        if (area > kFreePixels && !CanHold(f.dataBytes, area, kLzwPixelsPerByte)) Fail(kFrameTooLarge);
        const uint64_t drawn = Clip(f.descriptor).Area();
        work += area + drawn;
        if (i > 0 && frames_[static_cast<size_t>(i - 1)].disposal >= 2)
            work += Clip(frames_[static_cast<size_t>(i - 1)].descriptor).Area();
        if (f.disposal == 3 && i < last) work += drawn;
    }
    if (work > kExtraPixels + canvas) Fail(kTooMuchWork);
}

// The part of an image that falls on the canvas.
GifDecoder::Rect GifDecoder::Clip(const ImageDescriptor& d) const {
    Rect r;
    r.x = d.left;
    r.y = d.top;
    r.width =
        d.left < canvasWidth_ ? static_cast<int32_t>(std::min<uint32_t>(d.width, canvasWidth_ - d.left)) : 0;
    r.height =
        d.top < canvasHeight_ ? static_cast<int32_t>(std::min<uint32_t>(d.height, canvasHeight_ - d.top)) : 0;
    return r;
}

// Image data nobody decodes, up to the end of its sub-blocks.
void GifDecoder::SkipData(GifBlockReader& reader) {
    reader.Start();
    reader.Byte();
    reader.SkipSubBlocks();
    reader.Finish();
}

GifDecoder::Step GifDecoder::DecodeImage(GifBlockReader& reader, const Control& control) {
    ImageDescriptor d;
    if (!ReadDescriptor(d)) return Step::Stop;
    if (static_cast<size_t>(imageNumber_) >= frames_.size()) return Step::Stop;

    const bool local = (d.flags & kTablePresent) != 0;
    rgb_color localTable[256];
    int32_t tableSize = globalSize_;
    const rgb_color* table = global_;
    if (local) {
        tableSize = TableSize(d.flags);
        ReadTable(stream_, localTable, tableSize);
        table = localTable;
    }
    const uint32_t depth = DepthFor(tableSize);
    reachedImage_ = true;

    // The frame itself, in a picture of its own.
    const bool empty = d.width == 0 || d.height == 0;
    if (empty) {
        frame_.Destroy();
    } else {
        if (!frame_.Create(d.width, d.height, depth, ImageFormat::Gif)) FailWith(frame_);
        if (local || globalPresent_) {
            // With a transparent index the entries past the table are white.
            uint8_t r[256], g[256], b[256];
            for (int32_t i = 0; i < 256; ++i) {
                const bool inTable = i < tableSize;
                r[i] = inTable ? table[i].r : 255;
                g[i] = inTable ? table[i].g : 255;
                b[i] = inTable ? table[i].b : 255;
            }
            frame_.SetPalette(control.transIndex != -1 ? 256u : static_cast<uint32_t>(tableSize), r, g, b);
        }
    }
    frame_.info.transIndex = control.transIndex;

    if (empty) {
        SkipData(reader);
    } else {
        reader.Start();
        FrameWriter writer(frame_, (d.flags & kInterlaced) != 0);
        lzw_->Decode(reader, d.width, writer);
        if (!lzw_->ReachedTerminator()) reader.SkipSubBlocks();
        reader.Finish();
    }
    if (gif_.info.escape != 0) return Step::Cancel;

    const bool last = imageNumber_ == gif_.info.frame;
    if (mosaic_) {
        if (!mosaicCanvas_) {
            mosaicCanvas_ = std::make_unique<Picture>();
            if (!mosaicCanvas_->Create(canvasWidth_, canvasHeight_, 24, ImageFormat::Gif))
                FailWith(*mosaicCanvas_);
        }
        DrawMosaicTile(d);
        ++imageNumber_;
        return last ? Step::Stop : Step::Continue;
    }

    if (imageNumber_ == 0) {
        StartCanvas(d, table, tableSize, depth, control.transIndex);
    } else if (previousDisposal_ == 2) {
        ClearRect(previousRect_);
    } else if (previousDisposal_ == 3) {
        Restore();
    }
    const Rect rect = Clip(d);
    if (control.disposal == 3 && !last) Save(rect);
    DrawFrame(d, table, tableSize, control.transIndex);
    previousRect_ = rect;
    previousDisposal_ = control.disposal;

    if (last) {
        TakeCanvas(control);
        return Step::Stop;
    }
    ++imageNumber_;
    return Step::Continue;
}

void GifDecoder::StartCanvas(const ImageDescriptor& d, const rgb_color* table, int32_t tableSize,
                             uint32_t depth, int32_t transIndex) {
    if (!canvas_.Create(canvasWidth_, canvasHeight_, depth, ImageFormat::Gif)) FailWith(canvas_);
    if (frame_.IsValid()) canvas_.SetPalette(frame_.GetPalette(), frame_.GetNumColors());
    std::memcpy(canvasPalette_, canvas_.GetPalette(), sizeof(RGBQUAD) * canvas_.GetNumColors());
    std::memcpy(canvasTable_, table, sizeof canvasTable_);
    canvasTableSize_ = tableSize;
    // An index the canvas cannot hold marks nothing.
    background_ =
        transIndex >= 0 && static_cast<uint32_t>(transIndex) < canvas_.GetNumColors() ? transIndex : -1;
    canvas_.Clear(static_cast<uint8_t>(std::max(background_, 0)));
    const Rect r = Clip(d);
    const bool covers =
        r.x == 0 && r.y == 0 && uint32_t(r.width) == canvasWidth_ && uint32_t(r.height) == canvasHeight_;
    if (background_ < 0 && !covers) {
        // Where the first frame leaves the canvas uncovered, nothing is shown.
        ToTrueColour();
        ClearRect({0, 0, static_cast<int32_t>(canvasWidth_), static_cast<int32_t>(canvasHeight_)});
    }
}

// The palette canvas becomes 24-bit with an alpha plane: background pixels transparent.
void GifDecoder::ToTrueColour() {
    if (trueColour_) return;
    Picture rgb(ImageFormat::Gif);
    if (!rgb.Create(canvasWidth_, canvasHeight_, 24, ImageFormat::Gif)) FailWith(rgb);
    rgb.AlphaCreate();
    if (!rgb.AlphaIsValid()) Fail(kNoMemory);
    const RGBQUAD* palette = canvas_.GetPalette();
    const uint32_t colors = canvas_.GetNumColors();
    const uint16_t bpp = canvas_.GetBpp();
    for (uint32_t y = 0; y < canvasHeight_; ++y) {
        const uint8_t* src = canvas_.GetBits(0) + uint64_t(y) * canvas_.GetEffWidth();
        uint8_t* dst = rgb.GetBits(0) + uint64_t(y) * rgb.GetEffWidth();
        uint8_t* a = rgb.alpha + uint64_t(y) * canvasWidth_;
        for (uint32_t x = 0; x < canvasWidth_; ++x) {
            const uint8_t index = IndexAt(src, static_cast<int32_t>(x), bpp);
            const RGBQUAD c = index < colors ? palette[index] : RGBQUAD{0, 0, 0, 0};
            dst[3 * x] = c.rgbBlue;
            dst[3 * x + 1] = c.rgbGreen;
            dst[3 * x + 2] = c.rgbRed;
            a[x] = index == background_ ? 0 : 255;
        }
    }
    canvas_.Transfer(rgb);
    trueColour_ = true;
}

// Disposal to the background: the frame's rectangle shows through again.
void GifDecoder::ClearRect(const Rect& r) {
    if (!trueColour_ && background_ < 0) ToTrueColour();
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        const uint32_t row = canvasHeight_ - 1 - static_cast<uint32_t>(y);
        uint8_t* dst = canvas_.GetBits(0) + uint64_t(row) * canvas_.GetEffWidth();
        if (trueColour_) {
            std::memset(dst + 3 * r.x, 0, 3 * size_t(r.width));
            std::memset(canvas_.alpha + uint64_t(row) * canvasWidth_ + r.x, 0, size_t(r.width));
        } else {
            for (int32_t x = r.x; x < r.x + r.width; ++x)
                PutIndex(dst, x, static_cast<uint8_t>(background_), canvas_.GetBpp());
        }
    }
}

void GifDecoder::Save(const Rect& r) {
    saved_.rect = r;
    saved_.trueColour = trueColour_;
    saved_.indexes.clear();
    saved_.colours.clear();
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        const uint32_t row = canvasHeight_ - 1 - static_cast<uint32_t>(y);
        const uint8_t* src = canvas_.GetBits(0) + uint64_t(row) * canvas_.GetEffWidth();
        for (int32_t x = r.x; x < r.x + r.width; ++x) {
            if (trueColour_) {
                const uint8_t* p = src + 3 * x;
                saved_.colours.push_back({p[0], p[1], p[2], canvas_.alpha[uint64_t(row) * canvasWidth_ + x]});
            } else {
                saved_.indexes.push_back(IndexAt(src, x, canvas_.GetBpp()));
            }
        }
    }
}

// "Restore previous": the canvas under the last frame as it was before that frame. A canvas
// that has become 24-bit meanwhile takes the saved indexes through the table.
void GifDecoder::Restore() {
    const Rect& r = saved_.rect;
    size_t i = 0;
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        const uint32_t row = canvasHeight_ - 1 - static_cast<uint32_t>(y);
        uint8_t* dst = canvas_.GetBits(0) + uint64_t(row) * canvas_.GetEffWidth();
        for (int32_t x = r.x; x < r.x + r.width; ++x, ++i) {
            if (!trueColour_) {
                PutIndex(dst, x, saved_.indexes[i], canvas_.GetBpp());
                continue;
            }
            RGBQUAD c;
            if (saved_.trueColour) {
                c = saved_.colours[i];
            } else {
                const uint8_t index = saved_.indexes[i];
                c = canvasPalette_[index];
                c.rgbReserved = index == background_ ? 0 : 255;
            }
            uint8_t* p = dst + 3 * x;
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
            canvas_.alpha[uint64_t(row) * canvasWidth_ + x] = c.rgbReserved;
        }
    }
}

// Whether the frame paints the canvas's background index as an opaque colour, which a
// palette canvas could not tell from the background.
bool GifDecoder::DrawsBackgroundIndex(const Rect& r, int32_t transIndex) const {
    if (background_ < 0 || transIndex == background_) return false;
    for (int32_t y = 0; y < r.height; ++y) {
        const uint8_t* src =
            frame_.GetBits(0) + uint64_t(frame_.GetHeight() - 1 - uint32_t(y)) * frame_.GetEffWidth();
        for (int32_t x = 0; x < r.width; ++x)
            if (IndexAt(src, x, frame_.GetBpp()) == background_) return true;
    }
    return false;
}

// The frame goes to its place on the canvas, clipped to it; pixels of the frame's
// transparent index leave the canvas as it was. A frame whose colours are not the canvas's
// turns the canvas into 24 bits first, so that what is drawn keeps its colours.
void GifDecoder::DrawFrame(const ImageDescriptor& d, const rgb_color* table, int32_t tableSize,
                           int32_t transIndex) {
    if (!frame_.IsValid()) return;
    const Rect r = Clip(d);
    if (!trueColour_) {
        const bool sameTable = tableSize == canvasTableSize_ &&
                               std::memcmp(table, canvasTable_, sizeof(rgb_color) * size_t(tableSize)) == 0;
        if (!sameTable || DrawsBackgroundIndex(r, transIndex)) ToTrueColour();
    }
    const uint16_t from = frame_.GetBpp(), to = canvas_.GetBpp();
    const RGBQUAD* palette = frame_.GetPalette();
    const uint32_t colors = frame_.GetNumColors();
    for (int32_t y = 0; y < r.height; ++y) {
        const uint8_t* src =
            frame_.GetBits(0) + uint64_t(frame_.GetHeight() - 1 - uint32_t(y)) * frame_.GetEffWidth();
        const uint32_t row = canvasHeight_ - 1 - static_cast<uint32_t>(r.y + y);
        uint8_t* dst = canvas_.GetBits(0) + uint64_t(row) * canvas_.GetEffWidth();
        if (trueColour_) {
            uint8_t* a = canvas_.alpha + uint64_t(row) * canvasWidth_ + r.x;
            uint8_t* p = dst + 3 * r.x;
            for (int32_t x = 0; x < r.width; ++x, p += 3) {
                const uint8_t index = IndexAt(src, x, from);
                if (index == transIndex) continue;
                const RGBQUAD c = index < colors ? palette[index] : RGBQUAD{0, 0, 0, 0};
                p[0] = c.rgbBlue;
                p[1] = c.rgbGreen;
                p[2] = c.rgbRed;
                a[x] = 255;
            }
        } else if (from == 8 && to == 8) {
            for (int32_t x = 0; x < r.width; ++x)
                if (src[x] != transIndex) dst[r.x + x] = src[x];
        } else {
            for (int32_t x = 0; x < r.width; ++x) {
                const uint8_t index = IndexAt(src, x, from);
                if (index != transIndex) PutIndex(dst, r.x + x, index, to);
            }
        }
    }
}

// A mosaic tile is copied colour by colour, transparent pixels included.
void GifDecoder::DrawMosaicTile(const ImageDescriptor& d) {
    if (!frame_.IsValid() || !frame_.GetPalette()) return;
    const Rect r = Clip(d);
    const RGBQUAD* palette = frame_.GetPalette();
    const uint32_t colors = frame_.GetNumColors();
    for (int32_t y = 0; y < r.height; ++y) {
        const uint8_t* src = frame_.GetBits(0) + uint64_t(d.height - 1 - y) * frame_.GetEffWidth();
        uint8_t* dst = mosaicCanvas_->GetBits(0) +
                       uint64_t(canvasHeight_ - 1 - uint32_t(r.y + y)) * mosaicCanvas_->GetEffWidth();
        for (int32_t x = 0; x < r.width; ++x) {
            const uint8_t index = IndexAt(src, x, frame_.GetBpp());
            const RGBQUAD c = index < colors ? palette[index] : RGBQUAD{0, 0, 0, 0};
            uint8_t* p = dst + 3 * uint64_t(r.x + x);
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
        }
    }
}

// The codec's picture takes the canvas over, keeping its own information block; an alpha
// plane that ended up all opaque is dropped.
void GifDecoder::TakeCanvas(const Control& control) {
    ImageInfo info = gif_.info;
    if (trueColour_) {
        const uint64_t size = CanvasArea();
        bool opaque = true;
        for (uint64_t i = 0; i < size && opaque; ++i) opaque = canvas_.alpha[i] == 255;
        if (opaque) canvas_.AlphaDelete();
    }
    gif_.Transfer(canvas_);
    info.effWidth = gif_.info.effWidth;
    info.bits = gif_.info.bits;
    info.type = ImageFormat::Gif;
    info.lastColorValid = false;
    info.transIndex = trueColour_ ? -1 : background_;
    info.frameDelay = control.delay;
    gif_.info = info;
    gif_.disposalMethod = control.disposal;
}

}  // namespace gif

namespace {

// "GIF87a" and "GIF89a" share their first four bytes, which is all the decoder compares.
bool LooksLikeGif(const uint8_t* head, size_t n) { return n >= 4 && std::memcmp(head, "GIF8", 4) == 0; }

}  // namespace

extern const CodecInfo kGifCodec{
    ImageFormat::Gif, "gif", {},  &LooksLikeGif, kDecode<PictureGIF>, kEncode<PictureGIF>,
    ImageFormat::Gif, true,  true};
