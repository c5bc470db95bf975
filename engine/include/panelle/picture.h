// The in-memory picture: one packed DIB block (header, palette, bottom-up pixel rows
// padded to 4 bytes), an information block with everything that is not pixels, and
// optional alpha and selection planes of one byte per pixel.
#pragma once

#include <cstdint>
#include <cstdio>

#include "format.h"
#include "sizelimits.h"
#include "wintypes.h"

class ByteStream;
class Picture;

struct ImageInfo {
    uint32_t effWidth;    // bytes per pixel row
    uint8_t* bits;        // first pixel row inside dib
    Picture* ghost;       // set when this image borrows another image's buffers
    Picture* parent;      // owning image of a layer
    uint32_t type;        // format of origin (ImageFormat)
    char lastError[256];  // text of the last failure
    int32_t progress;     // advanced by long operations
    int32_t escape;       // 0 run; -1 measure only; other values cancel
    int32_t transIndex;   // transparent palette index, -1 none
    RGBQUAD transColor;   // transparent colour of images without palette
    uint8_t jpegQuality;
    uint8_t jpegScale;
    int32_t frame;       // frame (page) to decode
    int32_t frameCount;  // frames found by the decoder
    uint32_t frameDelay;
    int32_t xDpi;
    int32_t yDpi;
    RECT selectionBox;  // x: left..right (exclusive), y: bottom..top (exclusive)
    uint8_t alphaMax;   // global opacity when drawing
    bool alphaPaletteEnabled;
    bool enabled;
    int32_t xOffset;
    int32_t yOffset;
    uint32_t codecOptions[FormatCount];
    RGBQUAD lastColor;  // cache of the last nearest-palette-index search
    uint8_t lastColorIndex;
    bool lastColorValid;
    int32_t layerCount;
    uint32_t flags;
};

class Picture {
   public:
    explicit Picture(uint32_t imageType = 0);
    Picture(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imageType);
    Picture(const Picture& source, bool copyPixels, bool copySelection = true, bool copyAlpha = true);
    virtual ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    // Moving takes the buffers over as Transfer does; the source is left empty.
    Picture(Picture&& from) noexcept {
        Startup(0);
        Transfer(from);
    }

    // ---- container ----
    void Startup(uint32_t imageType);
    uint8_t* Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imageType = 0);
    bool Destroy();
    void Copy(const Picture& source, bool copyPixels = true, bool copySelection = true,
              bool copyAlpha = true);
    void CopyInfo(const Picture& source);
    bool Transfer(Picture& from);
    void Ghost(const Picture* source);
    uint8_t* GetBits(uint32_t row = 0) const;
    uint32_t GetSize() const;
    void Clear(uint8_t value = 0);
    bool IsInside(int32_t x, int32_t y) const;

    bool IsValid() const { return dib != nullptr; }
    uint32_t GetWidth() const { return static_cast<uint32_t>(header.biWidth); }
    uint32_t GetHeight() const { return static_cast<uint32_t>(header.biHeight); }
    uint32_t GetEffWidth() const { return info.effWidth; }
    uint32_t GetNumColors() const { return header.biClrUsed; }
    uint16_t GetBpp() const { return header.biBitCount; }
    uint32_t GetType() const { return info.type; }
    const char* GetLastError() const { return info.lastError; }
    void SetLastError(const char* text);
    uint8_t GetJpegQuality() const { return info.jpegQuality; }
    uint8_t GetJpegScale() const { return info.jpegScale; }
    void SetJpegQuality(uint8_t quality) { info.jpegQuality = quality > 100 ? 100 : quality; }
    void SetJpegScale(uint8_t scale) { info.jpegScale = scale; }
    int32_t GetXDpi() const { return info.xDpi; }
    int32_t GetYDpi() const { return info.yDpi; }
    void SetXDpi(int32_t dpi);
    void SetYDpi(int32_t dpi);
    uint32_t GetCodecOption(uint32_t format = 0) const;
    bool SetCodecOption(uint32_t option, uint32_t format = 0);
    int32_t GetTransIndex() const { return info.transIndex; }
    void SetTransIndex(int32_t index) { info.transIndex = index; }
    RGBQUAD GetTransColor() const;
    void SetTransColor(RGBQUAD color);
    bool IsTransparent() const { return info.transIndex >= 0; }
    bool IsIndexed() const { return header.biClrUsed != 0; }
    uint8_t GetColorType() const;
    void SetOffset(int32_t x, int32_t y) { info.xOffset = x, info.yOffset = y; }
    int32_t GetFrame() const { return info.frame; }
    void SetFrame(int32_t frame) { info.frame = frame; }
    int32_t GetFrameCount() const { return info.frameCount; }
    int32_t GetEscape() const { return info.escape; }
    void SetEscape(int32_t escape) { info.escape = escape; }

    // ---- alpha plane and selection mask ----
    bool AlphaIsValid() const { return alpha != nullptr; }
    void AlphaCreate();
    void AlphaDelete();
    void AlphaSet(int32_t x, int32_t y, uint8_t level);
    uint8_t AlphaGet(int32_t x, int32_t y) const;
    uint8_t* AlphaGetPointer(int32_t x, int32_t y) const;
    uint8_t BlindAlphaGet(int32_t x, int32_t y) const {
        return alpha[x + static_cast<int64_t>(y) * header.biWidth];
    }
    bool AlphaPaletteIsValid() const;
    bool AlphaFlip();
    bool AlphaMirror();
    void SelectionDelete();
    bool SelectionIsInside(int32_t x, int32_t y) const;

    // ---- palette ----
    uint32_t GetPaletteSize() const { return header.biClrUsed * 4; }
    RGBQUAD* GetPalette() const;
    RGBQUAD GetPaletteColor(uint8_t index) const;
    bool GetPaletteColor(uint8_t index, uint8_t* red, uint8_t* green, uint8_t* blue) const;
    void SetPaletteColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 0);
    void SetPaletteColor(uint8_t index, RGBQUAD color);
    void SetPalette(const RGBQUAD* entries, uint32_t count = 256);
    void SetPalette(uint32_t count, const uint8_t* red, const uint8_t* green = nullptr,
                    const uint8_t* blue = nullptr);
    void SetPalette(const uint8_t (*triples)[3], uint32_t count = 256);
    void SetGrayPalette();
    bool IsGrayScale() const;
    void SwapIndex(uint8_t index1, uint8_t index2);

    // ---- pixels ----
    uint8_t GetPixelIndex(int32_t x, int32_t y) const;
    uint8_t BlindGetPixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t index);
    RGBQUAD GetPixelColor(int32_t x, int32_t y, bool withAlpha = true) const;
    RGBQUAD BlindGetPixelColor(int32_t x, int32_t y) const;
    void SetPixelColor(int32_t x, int32_t y, RGBQUAD color, bool withAlpha = false);
    void SetPixelColor(int32_t x, int32_t y, uint32_t colorRef);
    uint8_t* GetPixelPointer(int32_t x, int32_t y) const;
    uint8_t GetNearestIndex(RGBQUAD color);
    static RGBQUAD ColorRefToRgbQuad(uint32_t colorRef);
    void SwapRedBlue(uint8_t* row, int32_t length) const;
    static int32_t CompareLuminance(RGBQUAD a, RGBQUAD b);

    // ---- transforms ----
    bool Flip();
    bool Mirror();
    bool RotateLeft(Picture* destination = nullptr);
    bool RotateRight(Picture* destination = nullptr);
    bool Negative();
    void BitfieldsToRgb24(const uint8_t* source, uint16_t redMask, uint16_t greenMask, uint16_t blueMask,
                          uint8_t bpp);

    // ---- resampling and colour reduction (resample.cpp, quantize.cpp) ----
    // Filters of the whole-picture resampler; the kernel widens with the reduction, so a
    // destination pixel averages everything it covers.
    enum class ResampleFilter : uint8_t { Box = 1, Triangle = 2, CatmullRom = 3, Mitchell = 4, Lanczos3 = 5 };
    // The whole picture at a new size: 24-bit pictures stay 24-bit, pictures whose palette is
    // all grey become 8-bit grey, other palette pictures 24-bit. An alpha plane (or a
    // transparent palette index or colour, which becomes one) is filtered premultiplied.
    // The same size leaves the picture untouched. False, with the picture unchanged and
    // lastError set, for an empty picture, a zero size or a result past the picture cap.
    bool Resample(uint32_t width, uint32_t height, ResampleFilter filter = ResampleFilter::Lanczos3);
    // 8-bit picture with the identity grey palette, by the luminance CompareLuminance uses.
    bool ConvertToGrey();
    // At most `colors` (2..256) colours: 1 bit for 2, 4 bits up to 16, else 8 bits. Grey
    // pictures get evenly spaced grey levels, others an adapted palette; `dither` diffuses
    // the error (Floyd-Steinberg). The alpha plane is kept as it is.
    bool ReduceColors(uint32_t colors, bool dither = false);
    // ---- end of resampling and colour reduction ----

    // ---- load and save ----
    bool Load(const char* fileName, uint32_t imageType = 0);
    bool Decode(FILE* stream, uint32_t imageType);
    bool Decode(ByteStream* stream, uint32_t imageType);
    bool Save(const char* fileName, uint32_t imageType);
    bool Encode(FILE* stream, uint32_t imageType);
    bool Encode(ByteStream* stream, uint32_t imageType);
    // True when there is a stream to write to and a picture to write; otherwise false with a
    // failure text.
    bool CheckEncodeArgs(ByteStream* stream);

    // ---- sampling and drawing (sample.cpp, draw.cpp) ----
    // Scoped, because Color, Box and Mirror would clash with members and one another.
    enum class SampleMethod : uint8_t {
        NearestNeighbour = 1,
        Bilinear = 2,
        BSpline = 3,
        Bicubic = 4,
        Bicubic2 = 5,
        Lanczos = 6,
        Box = 7,
        Hermite = 8,
        Hamming = 9,
        Sinc = 10,
        Blackman = 11,
        Bessel = 12,
        Gaussian = 13,
        Quadratic = 14,
        Mitchell = 15,
        CatmullRom = 16
    };
    enum class EdgeMode : uint8_t {
        Color = 1,
        Background = 2,
        Transparent = 3,
        Wrap = 4,
        Repeat = 5,
        Mirror = 6
    };
    RGBQUAD SampleInterpolated(float x, float y, SampleMethod method = SampleMethod::Bilinear,
                               EdgeMode edge = EdgeMode::Color, const RGBQUAD* replacement = nullptr) const;
    RGBQUAD SampleWithOverflow(int32_t x, int32_t y, EdgeMode edge = EdgeMode::Color,
                               const RGBQUAD* replacement = nullptr) const;
    void ResolveCoordinates(int32_t& x, int32_t& y, EdgeMode edge) const;
    void ResolveCoordinates(float& x, float& y, EdgeMode edge) const;
    // The target is the engine's own drawing surface (devicecontext.h).
    int32_t Draw(class DeviceContext* target, int32_t x, int32_t y, int32_t cx = -1, int32_t cy = -1,
                 const RECT* clipRect = nullptr, bool smooth = false) const;
    bool Stretch(class DeviceContext* target, int32_t x, int32_t y, int32_t cx, int32_t cy,
                 uint32_t rop) const;
    // ---- end of sampling and drawing ----

    // Fields, in the order the container lays them out.
    uint8_t* dib;
    BITMAPINFOHEADER header;
    ImageInfo info;
    uint8_t* selection;
    uint8_t* alpha;
    Picture** layers;

   private:
    uint64_t PlaneSize() const;
};
