// Decoding GIF: one pass over the blocks counts the frames, a second composes the
// requested frame over the frames before it on a canvas the size of the logical screen.
// Files built as a mosaic of small tiles with local tables and no global table are
// composed instead into one 24-bit picture.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "blocks.h"
#include "gif.h"
#include "lzw.h"
#include "reader.h"
#include "rowiterator.h"

namespace {

using namespace gifblock;

constexpr uint32_t kHeaderSize = 13;
constexpr uint32_t kDescriptorSize = 9;

// Bounds for hostile files: the frames one decode walks, and the pixels it may create,
// clear and draw while composing. Every frame is drawn over a canvas the size of the
// screen, so a small file of many large frames could otherwise take hours; a decode may
// always make its canvas and one full frame, and beyond that about 2^29 pixels (a few
// seconds at most).
constexpr int32_t kMaxFrames = 65536;
constexpr uint64_t kExtraPixels = uint64_t{1} << 29;

constexpr const char* kTooMuchWork = "GIF: too many frames to compose";
constexpr const char* kNoMemory = "GIF: can't allocate memory";
// What an image without width or height leaves behind: the picture it would be created
// at cannot exist.
constexpr const char* kNoPixels = "Picture::Create : width and height must be greater than zero";

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

// Takes a frame's lines without storing them, stopping where a frame writer would: this is
// how the counting pass finds where a frame's data ends.
class LineCounter : public LzwLineSink {
public:
    LineCounter(int32_t height, bool interlaced) : limit_(interlaced ? 2 * height : height) {}
    int Line(uint8_t*, int32_t) override {
        if (lines_ >= limit_) return -1;
        ++lines_;
        return 0;
    }

private:
    int32_t limit_;
    int32_t lines_ = 0;
};

}  // namespace

class GifDecoder {
public:
    GifDecoder(PictureGIF& gif, ByteStream* stream)
        : gif_(gif), stream_(stream), lzw_(std::make_unique<LzwDecoder>()) {}

    bool Run();

private:
    enum class Step { Continue, Stop, Cancel };

    struct CountedFrame {
        int32_t dataStart;
        ImageDescriptor descriptor;
        uint32_t depth;
    };

    // Fails with the text a picture's own Create left in it.
    [[noreturn]] void FailWith(const Picture& picture) {
        if (&picture != &gif_) gif_.SetLastError(picture.GetLastError());
        throw CodecError{nullptr};
    }

    int64_t DataBudget();
    bool ReadExtension();
    bool ReadDescriptor(ImageDescriptor& d);
    bool Fits(const ImageDescriptor& d) const {
        return d.left + d.width <= screenWidth_ && d.top + d.height <= screenHeight_;
    }
    void Reposition(GifBlockReader& reader, int32_t dataStart, int64_t* budget);
    int32_t CountFrames();
    Step DecodeImage(GifBlockReader& reader, int64_t* budget);
    void TakeComposition();
    void DrawFrame(const ImageDescriptor& d);
    void DrawMosaicTile(const ImageDescriptor& d);
    void DecodeLastCounted();
    void Charge(uint64_t pixels) {
        if (pixels > pixelBudget_) Fail(kTooMuchWork);
        pixelBudget_ -= pixels;
    }
    uint64_t ScreenArea() const { return uint64_t{screenWidth_} * screenHeight_; }

    PictureGIF& gif_;
    ByteStream* stream_;
    std::unique_ptr<LzwDecoder> lzw_;

    uint16_t screenWidth_ = 0, screenHeight_ = 0;
    bool globalPresent_ = false;
    int32_t globalSize_ = 0;
    rgb_color global_[256] = {};
    // Signs of a mosaic: no global table, and a first image smaller than the screen in
    // both directions.
    int marks_ = 0;
    CountedFrame lastCounted_{};

    uint64_t pixelBudget_ = kExtraPixels;
    Picture canvas_{ImageFormat::Gif};
    std::unique_ptr<Picture> mosaicCanvas_;
    bool mosaic_ = false;
    bool reachedImage_ = false;
    int32_t imageNumber_ = 0;
    int32_t firstTransIndex_ = -1;
    int32_t previousDisposal_ = 0;
};

bool PictureGIF::Decode(ByteStream* stream) {
    if (!stream) return false;
    try {
        GifDecoder decoder(*this, stream);
        return decoder.Run();
    } catch (const CodecError& e) {
        if (e.text) SetLastError(e.text);
    } catch (const std::bad_alloc&) {
        SetLastError(kNoMemory);
    }
    return false;
}

// Image data read by one pass. A sound file is read once per pass; corrupt ones whose
// codes run past the table make the reader go back and search, and that rereading stops
// at a few times the size of the file.
int64_t GifDecoder::DataBudget() {
    const int32_t size = stream_->Size();
    if (size < 0) return INT64_MAX;
    return 4 * int64_t{size} + (int64_t{1} << 20);
}

bool GifDecoder::Run() {
    uint8_t h[kHeaderSize];
    if (stream_->Read(h, 1, kHeaderSize) != kHeaderSize || std::memcmp(h, "GIF8", 4) != 0) return false;
    screenWidth_ = U16(h + 6);
    screenHeight_ = U16(h + 8);
    const uint8_t flags = h[10];

    if (gif_.info.escape == -1) {
        gif_.header.biWidth = screenWidth_;
        gif_.header.biHeight = screenHeight_;
        return true;
    }
    pixelBudget_ = 2 * ScreenArea() + kExtraPixels;

    globalSize_ = TableSize(flags);
    globalPresent_ = (flags & kTablePresent) != 0;
    if (globalPresent_)
        ReadTable(stream_, global_, globalSize_);
    else
        ++marks_;

    const int32_t start = stream_->Tell();
    const int32_t frames = CountFrames();
    stream_->Seek(start, 0);
    gif_.info.frameCount = frames;
    if (gif_.info.frame < 0 || gif_.info.frame >= frames) return false;
    if (frames == 1) marks_ = 0;

    int64_t budget = DataBudget();
    GifBlockReader reader(stream_, &budget);
    // After a stray byte, bytes are skipped up to and including the next zero byte.
    bool inSync = true;
    for (;;) {
        const int ch = ReadByte(stream_);
        if (ch < 0) break;
        if (gif_.info.escape > 0) return false;
        if (!inSync && ch != 0) continue;
        if (ch == kExtension) {
            if (!ReadExtension()) break;
        } else if (ch == kImage) {
            const Step step = DecodeImage(reader, &budget);
            if (step == Step::Cancel) return false;
            if (step == Step::Stop) break;
        } else if (ch == kTrailer) {
            break;
        } else {
            inSync = ch == 0;
        }
    }

    if (mosaic_ && mosaicCanvas_) {
        if (gif_.gifgce.flags & 1) {
            mosaicCanvas_->SetTransColor(gif_.GetPaletteColor(static_cast<uint8_t>(gif_.info.transIndex)));
            mosaicCanvas_->SetTransIndex(0);
        }
        gif_.Transfer(*mosaicCanvas_);
    }
    mosaicCanvas_.reset();

    // A loop that ended before its first image leaves the last frame the counting pass saw.
    if (!reachedImage_) DecodeLastCounted();
    if (!gif_.IsValid()) Fail(kNoPixels);
    return true;
}

// One extension block; returns whether the block loop goes on after it.
bool GifDecoder::ReadExtension() {
    const int label = ReadByte(stream_);
    if (label < 0) return false;
    bool goOn = true;
    switch (label) {
        case kGraphicControl: {
            const int size = ReadByte(stream_);
            uint8_t b[4];
            if (size < 0 || stream_->Read(b, 1, 4) != 4) return false;
            gif_.gifgce = {b[0], U16(b + 1), b[3]};
            goOn = size == 4;
            if (goOn) {
                if (b[0] & 1) gif_.info.transIndex = b[3];
                gif_.info.frameDelay = gif_.gifgce.delay;
                gif_.disposalMethod = (b[0] >> 2) & 7;
            }
            break;
        }
        case kComment: {
            // The first sub-block is the text; an empty one ends the block loop.
            const int n = ReadByte(stream_);
            if (n < 0) return false;
            const uint32_t got = n > 0 ? stream_->Read(gif_.comment, 1, static_cast<uint32_t>(n)) : 0;
            gif_.comment[got] = '\0';
            goOn = n > 0 && got == static_cast<uint32_t>(n);
            break;
        }
        case kApplication: {
            // An 11-byte identifier, then a sub-block whose bytes 1 and 2 are the loop count.
            if (ReadByte(stream_) != 11) return false;
            uint8_t id[11];
            if (stream_->Read(id, 1, sizeof id) != sizeof id) return false;
            const int n = ReadByte(stream_);
            if (n <= 0) return false;
            uint8_t data[255];
            if (stream_->Read(data, 1, static_cast<uint32_t>(n)) != static_cast<uint32_t>(n)) return false;
            if (n > 2) gif_.loops = data[1] + 256 * data[2];
            break;
        }
        default:
            break;
    }
    while (goOn) {
        const int n = ReadByte(stream_);
        if (n <= 0) break;
        stream_->Seek(n, 1);
    }
    return goOn;
}

bool GifDecoder::ReadDescriptor(ImageDescriptor& d) {
    uint8_t b[kDescriptorSize];
    if (stream_->Read(b, 1, kDescriptorSize) != kDescriptorSize) return false;
    d = {U16(b), U16(b + 2), U16(b + 4), U16(b + 6), b[8]};
    return true;
}

// After a frame the stream goes just past its data. When the codes ran past the table the
// data cannot be trusted to end there, and the next image is searched for instead: a zero
// byte (the end of some sub-blocks) followed directly by ','.
void GifDecoder::Reposition(GifBlockReader& reader, int32_t dataStart, int64_t* budget) {
    if (!lzw_->MetBadCodes()) {
        reader.Rewind();
        return;
    }
    stream_->Seek(dataStart, 0);
    int previous = -1;
    for (;;) {
        if (*budget <= 0) {
            stream_->Seek(0, 2);
            return;
        }
        const int b = ReadByte(stream_);
        if (b < 0) return;
        --*budget;
        if (previous == 0 && b == kImage) {
            stream_->Seek(-1, 1);
            return;
        }
        previous = b;
    }
}

// Walks every block of the file as the decoding loop does, but never stops at an
// extension. Each image that fits in the screen counts, and its data is decoded (without
// keeping the pixels) to find where it ends. The extensions met leave their values behind.
int32_t GifDecoder::CountFrames() {
    int64_t budget = DataBudget();
    GifBlockReader reader(stream_, &budget);
    int32_t count = 0;
    bool inSync = true;
    for (;;) {
        const int ch = ReadByte(stream_);
        if (ch < 0) break;
        if (!inSync && ch != 0) continue;
        if (ch == kExtension) {
            ReadExtension();
            continue;
        }
        if (ch == kTrailer) break;
        if (ch != kImage) {
            inSync = ch == 0;
            continue;
        }
        ImageDescriptor d;
        if (!ReadDescriptor(d)) break;
        if (!Fits(d)) continue;
        if (count == kMaxFrames) break;
        ++count;

        int32_t tableSize = globalSize_;
        if (d.flags & kTablePresent) {
            rgb_color local[256];
            tableSize = TableSize(d.flags);
            ReadTable(stream_, local, tableSize);
        }
        const int32_t dataStart = stream_->Tell();
        lastCounted_ = {dataStart, d, DepthFor(tableSize)};
        reader.Start();
        LineCounter lines(d.height, (d.flags & kInterlaced) != 0);
        lzw_->Decode(reader, d.width, lines);
        Reposition(reader, dataStart, &budget);
    }
    return count;
}

GifDecoder::Step GifDecoder::DecodeImage(GifBlockReader& reader, int64_t* budget) {
    ImageDescriptor d;
    if (!ReadDescriptor(d)) return Step::Stop;
    if (!Fits(d)) return Step::Continue;  // not counted; its data is skipped as stray bytes

    if (imageNumber_ == 0) {
        if (d.width != screenWidth_ && d.height != screenHeight_) ++marks_;
        mosaic_ = marks_ >= 2 && gif_.info.frameCount > 1;
    }

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

    // The canvas: the composition so far, or for the first image a new one cleared to the
    // transparent index of the last graphic control block.
    if (!mosaic_) {
        if (imageNumber_ == 0) {
            Charge(ScreenArea());
            canvas_.CopyInfo(gif_);
            if (!canvas_.Create(screenWidth_, screenHeight_, depth, ImageFormat::Gif)) FailWith(canvas_);
            firstTransIndex_ = gif_.info.transIndex;
            canvas_.Clear(gif_.gifgce.transIndex);
        } else {
            TakeComposition();
            // Disposal to the background clears the whole canvas to the first image's
            // transparent index; "restore previous" keeps the canvas as "do not dispose".
            if (previousDisposal_ == 2) {
                Charge(ScreenArea());
                canvas_.Clear(static_cast<uint8_t>(firstTransIndex_));
            }
        }
    }

    // The frame itself, in the codec's own picture.
    const bool empty = d.width == 0 || d.height == 0;
    Charge(uint64_t{d.width} * d.height);
    if (empty)
        gif_.Destroy();
    else if (!gif_.Create(d.width, d.height, depth, ImageFormat::Gif))
        FailWith(gif_);

    if (local || globalPresent_) {
        // With a transparent index the entries past the table are white.
        uint8_t r[256], g[256], b[256];
        for (int32_t i = 0; i < 256; ++i) {
            const bool inTable = i < tableSize;
            r[i] = inTable ? table[i].r : 255;
            g[i] = inTable ? table[i].g : 255;
            b[i] = inTable ? table[i].b : 255;
        }
        gif_.SetPalette(gif_.info.transIndex != -1 ? 256u : static_cast<uint32_t>(tableSize), r, g, b);
    }

    const bool interlaced = (d.flags & kInterlaced) != 0;
    const int32_t dataStart = stream_->Tell();
    reader.Start();
    if (empty) {
        LineCounter lines(d.height, interlaced);
        lzw_->Decode(reader, d.width, lines);
    } else {
        FrameWriter writer(gif_, interlaced);
        lzw_->Decode(reader, d.width, writer);
    }
    if (gif_.info.escape != 0) return Step::Cancel;

    if (!mosaic_) {
        DrawFrame(d);
        canvas_.info.transIndex = firstTransIndex_;
        const uint32_t shared = std::min(gif_.GetNumColors(), canvas_.GetNumColors());
        if (shared && gif_.GetPalette() && canvas_.GetPalette())
            std::memcpy(canvas_.GetPalette(), gif_.GetPalette(), shared * sizeof(RGBQUAD));
        gif_.Transfer(canvas_);
    } else {
        gif_.info.frame = gif_.info.frameCount - 1;  // a mosaic needs every tile
        if (!mosaicCanvas_) {
            Charge(ScreenArea());
            mosaicCanvas_ = std::make_unique<Picture>();
            if (!mosaicCanvas_->Create(screenWidth_, screenHeight_, 24, ImageFormat::Gif))
                FailWith(*mosaicCanvas_);
        }
        DrawMosaicTile(d);
    }

    previousDisposal_ = gif_.disposalMethod;
    Reposition(reader, dataStart, budget);
    if (imageNumber_ == gif_.info.frame) return Step::Stop;
    ++imageNumber_;
    return Step::Continue;
}

// The composition so far moves from the codec's picture to the canvas, so that the codec's
// picture can take the next frame; the codec keeps its own information block.
void GifDecoder::TakeComposition() {
    const ImageInfo info = gif_.info;
    const BITMAPINFOHEADER header = gif_.header;
    canvas_.Transfer(gif_);
    gif_.info = info;
    gif_.info.bits = nullptr;
    gif_.header = header;
}

// The frame goes to its place on the canvas (rows counted from the bottom); pixels of the
// frame's transparent index leave the canvas as it was.
void GifDecoder::DrawFrame(const ImageDescriptor& d) {
    if (!canvas_.IsValid() || !gif_.IsValid()) return;
    const int32_t width = static_cast<int32_t>(canvas_.GetWidth());
    const int32_t height = static_cast<int32_t>(canvas_.GetHeight());
    const int32_t base = std::max(0, height - d.top - d.height);
    const int32_t rowEnd = std::min(height - d.top, base + static_cast<int32_t>(gif_.GetHeight()));
    const int32_t columns =
        std::min({width, d.left + d.width, d.left + static_cast<int32_t>(gif_.GetWidth())}) - d.left;
    const int32_t trans = gif_.info.transIndex;
    const uint16_t from = gif_.GetBpp(), to = canvas_.GetBpp();
    for (int32_t cy = base; cy < rowEnd; ++cy) {
        const uint8_t* src = gif_.GetBits(0) + uint64_t(cy - base) * gif_.GetEffWidth();
        uint8_t* dst = canvas_.GetBits(0) + uint64_t(cy) * canvas_.GetEffWidth();
        if (from == 8 && to == 8) {
            for (int32_t x = 0; x < columns; ++x)
                if (src[x] != trans) dst[d.left + x] = src[x];
            continue;
        }
        for (int32_t x = 0; x < columns; ++x) {
            const uint8_t index = IndexAt(src, x, from);
            if (index != trans) PutIndex(dst, d.left + x, index, to);
        }
    }
}

// A mosaic tile is copied colour by colour, transparent pixels included.
void GifDecoder::DrawMosaicTile(const ImageDescriptor& d) {
    if (!gif_.IsValid() || !gif_.GetPalette()) return;
    const RGBQUAD* palette = gif_.GetPalette();
    const uint32_t colors = gif_.GetNumColors();
    const int32_t height = static_cast<int32_t>(mosaicCanvas_->GetHeight());
    for (int32_t y = 0; y < d.height; ++y) {
        const uint8_t* src = gif_.GetBits(0) + uint64_t(d.height - 1 - y) * gif_.GetEffWidth();
        uint8_t* dst =
            mosaicCanvas_->GetBits(0) + uint64_t(height - 1 - (d.top + y)) * mosaicCanvas_->GetEffWidth();
        for (int32_t x = 0; x < d.width; ++x) {
            const uint8_t index = IndexAt(src, x, gif_.GetBpp());
            const RGBQUAD c = index < colors ? palette[index] : RGBQUAD{0, 0, 0, 0};
            uint8_t* p = dst + 3 * uint64_t(d.left + x);
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
        }
    }
}

// The counting pass decodes every frame into the codec's picture; when the decoding loop
// reaches no image, the last of them is what the decode returns, with a black palette.
void GifDecoder::DecodeLastCounted() {
    const ImageDescriptor& d = lastCounted_.descriptor;
    if (d.width == 0 || d.height == 0) {
        gif_.Destroy();
        return;
    }
    Charge(uint64_t{d.width} * d.height);
    if (!gif_.Create(d.width, d.height, lastCounted_.depth, ImageFormat::Gif)) FailWith(gif_);
    stream_->Seek(lastCounted_.dataStart, 0);
    int64_t budget = DataBudget();
    GifBlockReader reader(stream_, &budget);
    reader.Start();
    FrameWriter writer(gif_, (d.flags & kInterlaced) != 0);
    lzw_->Decode(reader, d.width, writer);
}
