// Encoding GIF89a. A palette picture becomes one frame under a global colour table. A
// 24-bit picture becomes a mosaic of 17 x 15 pixel frames, each with a local table of 256
// entries: entry 0 for the transparent colour and one entry per pixel of the tile, so that
// every pixel keeps its exact colour.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "blocks.h"
#include "coders.h"
#include "gif.h"
#include "reader.h"
#include "stream.h"

using namespace codec;
using namespace gif;

namespace {

using namespace gifblock;

constexpr uint32_t kTileWidth = 17;
constexpr uint32_t kTileHeight = 15;

// The GIF codec option picks how image data is produced.
constexpr uint32_t kUncompressed = 1;
constexpr uint32_t kRunLength = 2;

constexpr uint32_t kMaxSide = 65535;  // sizes and offsets are 16-bit fields

constexpr const char* kWriteError = "Write Error in GIF file";
constexpr const char* kTooLarge = "GIF: picture larger than 65535 pixels";
constexpr const char* kNoMemory = "GIF: can't allocate memory";

// Low byte first; the high byte as value / 256.
void Put16(ByteStream* out, int32_t value) {
    out->PutC(static_cast<uint8_t>(value & 0xFF));
    out->PutC(static_cast<uint8_t>(value / 256));
}

void PutPalette(ByteStream* out, const Picture& picture) {
    uint8_t table[256 * 3];
    const uint32_t n = std::min<uint32_t>(picture.GetNumColors(), 256);
    for (uint32_t i = 0; i < n; ++i) {
        const RGBQUAD c = picture.GetPaletteColor(static_cast<uint8_t>(i));
        table[3 * i] = c.rgbRed;
        table[3 * i + 1] = c.rgbGreen;
        table[3 * i + 2] = c.rgbBlue;
    }
    out->Write(table, 1, 3 * n);
}

// Palette indexes from the top row down, each row left to right.
class PictureCursor : public GifPixelSource {
   public:
    explicit PictureCursor(const Picture& picture)
        : picture_(picture),
          width_(static_cast<int32_t>(picture.GetWidth())),
          column_(0),
          row_(static_cast<int32_t>(picture.GetHeight()) - 1),
          left_(uint64_t{picture.GetWidth()} * picture.GetHeight()) {}

    int Next() override {
        if (left_ == 0) return -1;
        --left_;
        const int index = picture_.GetPixelIndex(column_, row_);
        if (++column_ >= width_) {
            column_ = 0;
            --row_;
        }
        return index;
    }

   private:
    const Picture& picture_;
    int32_t width_, column_, row_;
    uint64_t left_;
};

}  // namespace

void PictureGIF::SetComment(const char* text) {
    std::strncpy(comment, text ? text : "", sizeof comment - 1);
    comment[sizeof comment - 1] = '\0';
}

bool PictureGIF::Encode(ByteStream* stream) {
    if (!CheckEncodeArgs(stream)) return false;
    return RunCodec(*this, kNoMemory, [&]() -> bool {
        if (GetWidth() > kMaxSide || GetHeight() > kMaxSide) Fail(kTooLarge);
        if (GetBpp() > 8) {
            WriteMosaic(stream);
            return true;
        }
        WriteHeader(stream);
        WriteGraphicControl(stream);
        WriteComment(stream);
        WriteImage(stream, false);
        stream->PutC(kTrailer);
        return true;
    });
}

// "GIF89a", the screen size, and the global table of palette pictures: the flags byte says
// the table holds 2^bits entries (0x80, 0xE3, 0xE7 for 1, 4, 8 bits); 24-bit pictures get
// 0x11 and no table.
void PictureGIF::WriteHeader(ByteStream* stream) const {
    stream->Write("GIF89a", 1, 6);
    Put16(stream, header.biWidth);
    Put16(stream, header.biHeight);
    const bool palette = GetNumColors() != 0;
    const int bits = GetBpp();
    stream->PutC(palette ? static_cast<uint8_t>(kTablePresent | ((bits - 1) << 5) | (bits - 1)) : 0x11);
    stream->PutC(0);  // background colour index
    stream->PutC(0);  // pixel aspect ratio
    if (palette) PutPalette(stream, *this);
}

void PictureGIF::WriteGraphicControl(ByteStream* stream) {
    gifgce.flags = static_cast<uint8_t>((info.transIndex != -1 ? 1 : 0) | ((disposalMethod & 7) << 2));
    gifgce.delay = static_cast<uint16_t>(info.frameDelay & 0xFFFF);
    gifgce.transIndex = static_cast<uint8_t>(info.transIndex & 0xFF);
    const uint8_t block[8] = {kExtension,
                              kGraphicControl,
                              4,
                              gifgce.flags,
                              static_cast<uint8_t>(gifgce.delay),
                              static_cast<uint8_t>(gifgce.delay >> 8),
                              gifgce.transIndex,
                              0};
    stream->Write(block, 1, sizeof block);
}

// A comment is one sub-block, so at most 255 characters of it are written.
void PictureGIF::WriteComment(ByteStream* stream) const {
    const size_t n = strnlen(comment, 255);
    if (n == 0) return;
    stream->PutC(kExtension);
    stream->PutC(kComment);
    stream->PutC(static_cast<uint8_t>(n));
    stream->Write(comment, 1, static_cast<uint32_t>(n));
    stream->PutC(0);
}

// One image, never interlaced, at the picture's offsets; the minimum code size is 2 for
// 1-bit pictures (GIF allows no less) and the bit depth otherwise.
void PictureGIF::WriteImage(ByteStream* stream, bool localTable) {
    stream->PutC(kImage);
    Put16(stream, info.xOffset);
    Put16(stream, info.yOffset);
    Put16(stream, header.biWidth);
    Put16(stream, header.biHeight);
    const int bits = GetBpp();
    stream->PutC(localTable ? static_cast<uint8_t>(kTablePresent | (bits - 1)) : 0);
    if (localTable) PutPalette(stream, *this);

    const int codeSize = bits == 1 ? 2 : bits;
    stream->PutC(static_cast<uint8_t>(codeSize));
    PictureCursor pixels(*this);
    bool written = true;
    switch (GetCodecOption(ImageFormat::Gif)) {
        case kUncompressed:
            written = WriteUncompressedCodes(pixels, stream, codeSize + 1);
            break;
        case kRunLength:
            WriteRunLengthCodes(pixels, stream, codeSize + 1);
            break;
        default:
            written = WriteLzwCodes(pixels, stream, codeSize + 1);
            break;
    }
    if (!written) SetLastError(kWriteError);
    stream->PutC(0);
}

// Tiles run row by row from the top left; the last ones of a row or column are smaller.
// Tile pixel (j, k), k counted from the tile's bottom row, owns palette entry 1 + j + 17k.
void PictureGIF::WriteMosaic(ByteStream* stream) {
    WriteHeader(stream);
    WriteComment(stream);

    const uint32_t width = GetWidth(), height = GetHeight();
    auto tile = std::make_unique<PictureGIF>();
    uint32_t tileWidth = 0, tileHeight = 0;
    for (uint32_t y = 0; y < height; y += kTileHeight) {
        for (uint32_t x = 0; x < width; x += kTileWidth) {
            const uint32_t w = std::min(kTileWidth, width - x), h = std::min(kTileHeight, height - y);
            if (w != tileWidth || h != tileHeight) {
                if (!tile->Create(w, h, 8, ImageFormat::Gif)) Fail(kNoMemory);
                tileWidth = w;
                tileHeight = h;
            }
            if (IsTransparent()) {
                tile->SetTransIndex(0);
                tile->SetPaletteColor(0, GetTransColor());
            }
            for (uint32_t k = 0; k < h; ++k) {
                for (uint32_t j = 0; j < w; ++j) {
                    const RGBQUAD c = GetPixelColor(static_cast<int32_t>(x + j),
                                                    static_cast<int32_t>(height - y - h + k), true);
                    const uint8_t entry = static_cast<uint8_t>(1 + j + kTileWidth * k);
                    tile->SetPaletteColor(entry, c);
                    tile->SetPixelIndex(static_cast<int32_t>(j), static_cast<int32_t>(k),
                                        tile->GetNearestIndex(tile->GetPaletteColor(entry)));
                }
            }
            tile->SetOffset(static_cast<int32_t>(x), static_cast<int32_t>(y));
            tile->WriteGraphicControl(stream);
            tile->WriteImage(stream, true);
            if (*tile->GetLastError()) SetLastError(tile->GetLastError());
        }
    }
    stream->PutC(kTrailer);
}
