// Metafile import. A placeable Windows metafile starts with a 22-byte header (key,
// bounding box in metafile units, units per inch, checksum) before the 18-byte Windows
// metafile header; anything else is tried as an enhanced metafile, whose header record
// gives its picture frame in hundredths of a millimetre. The picture is played at 96 pixels per inch into a
// 24-bit picture filled with the window background colour.
#include "wmf.h"

#include <cairo.h>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "canvas.h"
#include "codec.h"
#include "player.h"
#include "reader.h"

using namespace codec;

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kMetaHeaderSize = 18;
constexpr uint16_t kMaxUnitsPerInch = 2540;
// The screen the picture is played for.
constexpr int64_t kScreenPixelsPerInch = 96;
constexpr int64_t kHundredthsMmPerInch = 2540;
// Extents of the picture description below this are multiplied by ten.
constexpr int64_t kExtentThreshold = 6554;
constexpr int64_t kLargestSide = 4000;
// The window background colour of the system.
constexpr double kWindowColor = 1.0;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Metafile {
    bool placeable = false;
    std::vector<uint8_t> bytes;  // the Windows metafile after the placeable header, or the EMF
    RECT box{};                  // placeable: bounding box in metafile units
    int64_t unitsPerInch = 0;
    int64_t xExt = 0, yExt = 0;  // placeable: extents of the picture description
    wmf::EmfHeader emf{};
};

// Reads exactly n bytes into a new buffer, or gives nothing.
std::optional<std::vector<uint8_t>> ReadAll(ByteStream* stream, int64_t n) {
    if (n < 0 || n > INT32_MAX) return std::nullopt;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (n > 0 && stream->Read(bytes.data(), 1, static_cast<uint32_t>(n)) != static_cast<uint32_t>(n))
        return std::nullopt;
    return bytes;
}

bool ReadPlaceable(ByteStream* stream, Metafile& mf) {
    uint8_t head[kPlaceableSize];
    if (stream->Read(head, 1, sizeof head) != sizeof head) return false;
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= U16(head + i);
    const uint16_t unitsPerInch = U16(head + 14);
    if (U32(head) != kPlaceableKey || U16(head + 20) != sum || unitsPerInch < 1 ||
        unitsPerInch > kMaxUnitsPerInch)
        return false;

    uint8_t meta[kMetaHeaderSize];
    if (stream->Read(meta, 1, sizeof meta) != sizeof meta) return false;
    const uint16_t type = U16(meta);
    if (type != 1 && type != 2) return false;
    int64_t byteSize = static_cast<int64_t>(U32(meta + 6)) * 2;
    if (byteSize > stream->Size() || byteSize < static_cast<int64_t>(kMetaHeaderSize)) return false;
    if (!stream->Seek(-static_cast<int32_t>(kMetaHeaderSize), 1)) return false;
    // Some writers (Inkscape among them) count the placeable header in the size.
    const int64_t remaining = static_cast<int64_t>(stream->Size()) - stream->Tell();
    if (byteSize > remaining && byteSize - remaining <= static_cast<int64_t>(kPlaceableSize))
        byteSize = remaining;
    std::optional<std::vector<uint8_t>> bytes = ReadAll(stream, byteSize);
    if (!bytes) return false;

    mf.placeable = true;
    mf.bytes = std::move(*bytes);
    mf.box = {S16(head + 6), S16(head + 8), S16(head + 10), S16(head + 12)};
    mf.unitsPerInch = unitsPerInch;
    // The picture description: the box at the screen's resolution, enlarged tenfold while
    // both extents stay below the threshold.
    mf.xExt = (mf.box.right - mf.box.left) * kScreenPixelsPerInch / mf.unitsPerInch;
    mf.yExt = (mf.box.bottom - mf.box.top) * kScreenPixelsPerInch / mf.unitsPerInch;
    if (mf.xExt > 0 || mf.yExt > 0)
        while (mf.xExt < kExtentThreshold && mf.yExt < kExtentThreshold) mf.xExt *= 10, mf.yExt *= 10;
    return true;
}

bool ReadEnhanced(ByteStream* stream, int32_t start, Metafile& mf) {
    const int64_t size = static_cast<int64_t>(stream->Size()) - start;
    if (size <= 0) return false;
    std::optional<std::vector<uint8_t>> bytes = ReadAll(stream, size);
    if (!bytes) return false;
    const std::optional<wmf::EmfHeader> header = wmf::ReadEmfHeader(bytes->data(), bytes->size());
    if (!header) return false;
    mf.bytes = std::move(*bytes);
    mf.emf = *header;
    return true;
}

// Hundredths of a millimetre as pixels at the screen's resolution, rounded to nearest.
int64_t FramePixels(int64_t hundredthsMm) {
    const int64_t scaled = hundredthsMm * kScreenPixelsPerInch;
    return (scaled >= 0 ? scaled + kHundredthsMmPerInch / 2 : scaled - kHundredthsMmPerInch / 2) /
           kHundredthsMmPerInch;
}

// An enhanced metafile's size: its picture frame, which is in hundredths of a millimetre
// and so means the same on every device, at the screen's resolution. The bounds are in
// pixels of the device that recorded the picture (often a printer), so they serve only
// when the frame has no area.
void EmfSize(const wmf::EmfHeader& h, int64_t& width, int64_t& height) {
    width = FramePixels(static_cast<int64_t>(h.frame.right) - h.frame.left);
    height = FramePixels(static_cast<int64_t>(h.frame.bottom) - h.frame.top);
    if (width == 0 || height == 0) {
        width = static_cast<int64_t>(h.bounds.right) - h.bounds.left;
        height = static_cast<int64_t>(h.bounds.bottom) - h.bounds.top;
    }
}

// Owners of the Cairo objects.
struct SurfaceCloser {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextCloser {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

}  // namespace

bool PictureWMF::Decode(ByteStream* stream, uint32_t forcedWidth, uint32_t forcedHeight) {
    if (!stream) return false;
    return RunCodec(*this, nullptr, [&]() -> bool {
        const int32_t start = stream->Tell();
        Metafile mf;
        int64_t width, height;
        if (ReadPlaceable(stream, mf)) {
            width =
                (static_cast<int64_t>(mf.box.right) - mf.box.left) * kScreenPixelsPerInch / mf.unitsPerInch;
            height =
                (static_cast<int64_t>(mf.box.bottom) - mf.box.top) * kScreenPixelsPerInch / mf.unitsPerInch;
        } else {
            stream->Seek(start, 0);
            if (!ReadEnhanced(stream, start, mf)) Fail("corrupted WMF");
            EmfSize(mf.emf, width, height);
        }
        // There is no answer with the sizes alone: measuring cancels too.
        if (info.escape) Fail("Cancelled");
        if (width == 0 || height == 0) Fail("empty WMF");

        if (forcedWidth) width = forcedWidth;
        if (forcedHeight) height = forcedHeight;
        if (width > kLargestSide) height = height * kLargestSide / width, width = kLargestSide;
        if (height > kLargestSide) width = width * kLargestSide / height, height = kLargestSide;
        // A box whose right lies left of its left (or bottom above top) has no picture.
        if (width < 0 || height < 0) Fail("empty WMF");

        // Sides that shrank to nothing are left for Create to refuse.
        if (width > 0 && height > 0) {
            std::unique_ptr<cairo_surface_t, SurfaceCloser> surface(cairo_image_surface_create(
                CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height)));
            if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
            std::unique_ptr<cairo_t, ContextCloser> cr(cairo_create(surface.get()));
            if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return false;
            cairo_set_source_rgb(cr.get(), kWindowColor, kWindowColor, kWindowColor);
            cairo_paint(cr.get());

            wmf::Canvas canvas(cr.get(), static_cast<int>(width), static_cast<int>(height));
            if (mf.placeable)
                wmf::PlayWmf(canvas, mf.bytes.data(), mf.bytes.size(), mf.box, mf.xExt, mf.yExt);
            else
                wmf::PlayEmf(canvas, mf.bytes.data(), mf.bytes.size(), mf.emf);
            cr.reset();
            cairo_surface_flush(surface.get());

            if (info.escape) Fail("Cancelled");
            if (!Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24, ImageFormat::Wmf))
                return false;
            // Cairo's rows run top down with 0x00RRGGBB words; ours bottom up in blue, green, red.
            const uint8_t* pixels = cairo_image_surface_get_data(surface.get());
            const int stride = cairo_image_surface_get_stride(surface.get());
            for (int64_t y = 0; y < height; ++y) {
                const uint32_t* src = reinterpret_cast<const uint32_t*>(pixels + y * stride);
                uint8_t* dst = GetBits(static_cast<uint32_t>(height - 1 - y));
                for (int64_t x = 0; x < width; ++x) {
                    dst[x * 3] = static_cast<uint8_t>(src[x]);
                    dst[x * 3 + 1] = static_cast<uint8_t>(src[x] >> 8);
                    dst[x * 3 + 2] = static_cast<uint8_t>(src[x] >> 16);
                }
            }
            return true;
        }
        return Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24, ImageFormat::Wmf) !=
               nullptr;
    });
}

bool PictureWMF::Encode(ByteStream* stream) {
    if (stream) SetLastError("Save WMF not supported");
    return false;
}

namespace {

// A placeable metafile's key, or an enhanced metafile's header record (type 1).
bool LooksLikeWmf(const uint8_t* head, size_t n) {
    if (n < 4) return false;
    const uint32_t first =
        head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<uint32_t>(head[3]) << 24);
    return first == kPlaceableKey || first == 1;
}

}  // namespace

// Metafiles are read only: the encoder says so.
extern const CodecInfo kWmfCodec{
    ImageFormat::Wmf, "wmf", {},   &LooksLikeWmf, kDecode<PictureWMF>, kEncode<PictureWMF>,
    ImageFormat::Wmf, false, false};
