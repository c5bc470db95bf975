// The component-image formats: every reader gives a list of components (planes of samples,
// each with its own size and precision) and a colour space; this codec turns them into a
// picture and a picture back into one grey or three colour components of 8 bits.
//
// Decoding: three components of the same size and precision are red, green and blue and
// give a 24-bit picture, with an alpha plane when a fourth component is their opacity (and
// a grey picture gets one from a second component named opacity); any other layout gives
// one grey picture per component, of which `frame` picks one. A first component whose precision is not 1, 4
// or 8 (and any Y-Cb-Cr image) is first converted to 8-bit sRGB. Samples are scaled from their range to the
// picture's: 0 .. maxval becomes 0 .. 255 for colour, and 0 .. 1, 0 .. 15 or 0 .. 255 for
// grey pictures of 1, 4 and 8 bits.
#include "jas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "codec.h"
#include "jas_image.h"
#include "reader.h"
#include "stream.h"

using namespace codec;

namespace {

using jas::ColorSpace;
using jas::Component;

constexpr const char* kNoPicture = "Can't allocate memory";
constexpr const char* kNoRowMemory = "error: cannot allocate memory";
constexpr const char* kNoSrgb = "cannot convert to sRGB";
constexpr const char* kWrongFrame = "wrong frame!";
constexpr const char* kNotRgbOrGrey = "JasPer can save only RGB or GrayScale images";
constexpr const char* kNoImage = "error : jas_image_create";
constexpr const char* kPgxGreyOnly = "PGX can save only GrayScale images";

// Reads whichever of the five formats the first bytes announce.
jas::Image ReadAny(ByteStream* stream) {
    const int32_t start = stream->Tell();
    uint8_t head[12];
    const uint32_t n = Reader(stream).Some(head, sizeof head);
    if (start < 0 || !stream->Seek(start, 0)) Fail(jas::kLoadFailed);
    if (jas::IsJp2(head, n)) return jas::ReadJpeg2000(stream, true);
    if (jas::IsJpc(head, n)) return jas::ReadJpeg2000(stream, false);
    if (jas::IsPgx(head, n)) return jas::ReadPgx(stream);
    if (jas::IsPnm(head, n)) return jas::ReadPnm(stream);
    if (jas::IsRas(head, n)) return jas::ReadRas(stream);
    Fail(jas::kLoadFailed);
}

// The sample of a component at a position of the first component's grid: subsampled
// components repeat each sample over the positions it covers.
uint32_t SampleAt(const Component& c, const Component& first, uint32_t x, uint32_t y) {
    const uint64_t cx = static_cast<uint64_t>(x) * first.hstep / c.hstep;
    const uint64_t cy = static_cast<uint64_t>(y) * first.vstep / c.vstep;
    return c.Row(
        static_cast<uint32_t>(std::min<uint64_t>(cy, c.height - 1)))[std::min<uint64_t>(cx, c.width - 1)];
}

// Y, Cb and Cr (chroma centred on half the range) to red, green and blue in the range of Y.
void YccToRgb(uint32_t luma, uint32_t cb, uint32_t cr, uint32_t maxval, uint32_t rgb[3]) {
    const double half = (maxval + 1) / 2;
    const double y = luma, b = cb - half, r = cr - half;
    const double values[3] = {y + 1.402 * r, y - 0.344136 * b - 0.714136 * r, y + 1.772 * b};
    for (int c = 0; c < 3; ++c)
        rgb[c] = static_cast<uint32_t>(std::lround(std::clamp(values[c], 0.0, double(maxval))));
}

// Three 8-bit components of the first component's size, in sRGB. Grey repeats the
// luminance; colour images take their first three components.
jas::Image ToSrgb(const jas::Image& in) {
    ColorSpace space = in.colorSpace;
    if (space == ColorSpace::Unknown) space = in.components.size() >= 3 ? ColorSpace::Srgb : ColorSpace::Grey;
    if (space == ColorSpace::Other || (space != ColorSpace::Grey && in.components.size() < 3)) Fail(kNoSrgb);

    const Component& first = in.components[0];
    const uint32_t width = first.width, height = first.height;
    jas::Image out;
    out.colorSpace = ColorSpace::Srgb;
    out.components.resize(3);
    for (Component& c : out.components) {
        c.width = width;
        c.height = height;
        c.samples.resize(static_cast<size_t>(width) * height);
    }
    const bool grey = space == ColorSpace::Grey;
    const Component& c1 = in.components[grey ? 0 : 1];
    const Component& c2 = in.components[grey ? 0 : 2];
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t rgb[3];
            uint32_t maxval = first.maxval;
            const uint32_t v0 = first.Row(y)[x];
            if (grey) {
                rgb[0] = rgb[1] = rgb[2] = v0;
            } else {
                const uint32_t v1 = jas::Scale(SampleAt(c1, first, x, y), c1.maxval, maxval);
                const uint32_t v2 = jas::Scale(SampleAt(c2, first, x, y), c2.maxval, maxval);
                if (space == ColorSpace::Sycc) {
                    YccToRgb(v0, v1, v2, maxval, rgb);
                } else {
                    rgb[0] = v0, rgb[1] = v1, rgb[2] = v2;
                }
            }
            for (int c = 0; c < 3; ++c)
                out.components[c].Row(y)[x] = static_cast<uint16_t>(jas::Scale(rgb[c], maxval, 255));
        }
    return out;
}

// The opacity of a colour or grey image, taken out of its components: the fourth of four
// RGB or Y-Cb-Cr components of one size and precision (code streams name no channels, and
// JPEG 2000 files name it in their channel definitions), or the second of a grey image's
// two when the file names it opacity. Other layouts keep every component.
std::optional<Component> TakeOpacity(jas::Image& image) {
    std::vector<Component>& c = image.components;
    const bool rgba =
        c.size() == 4 && (image.colorSpace == ColorSpace::Srgb || image.colorSpace == ColorSpace::Sycc);
    const bool greyAlpha = c.size() == 2 && image.colorSpace == ColorSpace::Grey && c[1].opacity;
    if (!rgba && !greyAlpha) return std::nullopt;
    for (const Component& k : c) {
        if (k.width != c[0].width || k.height != c[0].height || k.hstep != c[0].hstep ||
            k.vstep != c[0].vstep)
            return std::nullopt;
        if (rgba && k.precision != c[0].precision) return std::nullopt;
        if (&k != &c.back() && k.opacity) return std::nullopt;
    }
    Component opacity = std::move(c.back());
    c.pop_back();
    return opacity;
}

bool IsRgb(const jas::Image& image) {
    if (image.components.size() != 3) return false;
    const Component& a = image.components[0];
    return std::all_of(image.components.begin(), image.components.end(), [&](const Component& c) {
        return c.width == a.width && c.height == a.height && c.precision == a.precision;
    });
}

}  // namespace

bool PictureJAS::Decode(ByteStream* stream, uint32_t imageType) {
    if (!stream) return false;
    return RunCodec(*this, kNoRowMemory, [&]() -> bool {
        jas::Image image = ReadAny(stream);
        if (image.components.empty()) Fail(jas::kLoadFailed);
        if (image.components.size() > jas::kMaxComponents) Fail(jas::kTooManyComponents);
        const std::optional<Component> opacity = TakeOpacity(image);
        const uint32_t precision = image.components[0].precision;
        if ((precision != 1 && precision != 4 && precision != 8) || image.colorSpace == ColorSpace::Sycc)
            image = ToSrgb(image);

        if (IsRgb(image)) {
            const Component* rgb = image.components.data();
            const uint32_t width = rgb[0].width, height = rgb[0].height;
            if (!Create(width, height, 24, imageType)) Fail(kNoPicture);
            // Pictures store blue, green, red, with the bottom row first. Eight-bit samples,
            // the common case, need no scaling: only values above the range are clipped.
            const bool eightBits = rgb[0].maxval == 255 && rgb[1].maxval == 255 && rgb[2].maxval == 255;
            for (uint32_t y = 0; y < height; ++y) {
                uint8_t* out = GetBits(height - 1 - y);
                const uint16_t *red = rgb[0].Row(y), *green = rgb[1].Row(y), *blue = rgb[2].Row(y);
                if (eightBits) {
                    for (uint32_t x = 0; x < width; ++x) {
                        out[3 * x] = static_cast<uint8_t>(std::min<uint16_t>(blue[x], 255));
                        out[3 * x + 1] = static_cast<uint8_t>(std::min<uint16_t>(green[x], 255));
                        out[3 * x + 2] = static_cast<uint8_t>(std::min<uint16_t>(red[x], 255));
                    }
                    continue;
                }
                for (uint32_t x = 0; x < width; ++x)
                    for (int c = 0; c < 3; ++c)
                        out[3 * x + 2 - c] =
                            static_cast<uint8_t>(jas::Scale(rgb[c].Row(y)[x], rgb[c].maxval, 255));
            }
            if (opacity) SetOpacity(*opacity);
            return true;
        }

        const auto count = static_cast<int32_t>(image.components.size());
        info.frameCount = count;
        if (info.frame < 0 || info.frame >= count) Fail(kWrongFrame);
        const Component& grey = image.components[static_cast<size_t>(info.frame)];
        if (!Create(grey.width, grey.height, std::min<uint32_t>(grey.precision, 8), imageType))
            Fail(kNoPicture);
        SetGrayPalette();
        const uint32_t levels = (1u << GetBpp()) - 1;
        for (uint32_t y = 0; y < grey.height; ++y) {
            const auto row = static_cast<int32_t>(grey.height - 1 - y);
            for (uint32_t x = 0; x < grey.width; ++x)
                SetPixelIndex(static_cast<int32_t>(x), row,
                              static_cast<uint8_t>(jas::Scale(grey.Row(y)[x], grey.maxval, levels)));
        }
        if (opacity) SetOpacity(*opacity);
        return true;
    });
}

void PictureJAS::SetOpacity(const jas::Component& opacity) {
    AlphaCreate();
    if (!AlphaIsValid()) Fail(kNoPicture);
    const uint32_t height = GetHeight(), width = GetWidth();
    for (uint32_t y = 0; y < height && y < opacity.height; ++y) {
        uint8_t* alpha = AlphaGetPointer(0, static_cast<int32_t>(height - 1 - y));
        const uint16_t* row = opacity.Row(y);
        for (uint32_t x = 0; x < width && x < opacity.width; ++x)
            alpha[x] = static_cast<uint8_t>(jas::Scale(row[x], opacity.maxval, 255));
    }
}

bool PictureJAS::Encode(ByteStream* stream, uint32_t imageType) {
    if (!CheckEncodeArgs(stream)) return false;
    return RunCodec(*this, jas::kEncodeFailed, [&]() -> bool {
        // Only grey pictures whose palette is the identity ramp are written from a palette;
        // their indices are the grey levels.
        const bool palette = IsIndexed();
        if (palette && !IsGrayScale()) Fail(kNotRgbOrGrey);
        const uint32_t width = GetWidth(), height = GetHeight();

        jas::Image image;
        try {
            image.colorSpace = palette ? ColorSpace::Grey : ColorSpace::Srgb;
            image.components.resize(palette ? 1 : 3);
            for (Component& c : image.components) {
                c.width = width;
                c.height = height;
                c.samples.resize(static_cast<size_t>(width) * height);
            }
        } catch (const std::bad_alloc&) {
            Fail(kNoImage);
        }
        for (uint32_t y = 0; y < height; ++y) {
            const auto row = static_cast<int32_t>(height - 1 - y);
            const uint8_t* bgr = palette ? nullptr : GetBits(static_cast<uint32_t>(row));
            for (uint32_t x = 0; x < width; ++x) {
                if (palette) {
                    image.components[0].Row(y)[x] = GetPixelIndex(static_cast<int32_t>(x), row);
                } else {
                    for (int c = 0; c < 3; ++c) image.components[c].Row(y)[x] = bgr[3 * x + 2 - c];
                }
            }
        }

        if (imageType == ImageFormat::Pgx && !palette) Fail(kPgxGreyOnly);
        // The rate is the target size as a fraction of the uncompressed size: quality 90
        // gives 0.900.
        const double rate = GetJpegQuality() * 0.01;
        switch (imageType) {
            case ImageFormat::Jp2:
                jas::WriteJpeg2000(image, stream, true, rate);
                break;
            case ImageFormat::Jpc:
                jas::WriteJpeg2000(image, stream, false, rate);
                break;
            case ImageFormat::Pgx:
                jas::WritePgx(image, stream);
                break;
            case ImageFormat::Pnm:
                jas::WritePnm(image, stream);
                break;
            case ImageFormat::Ras:
                jas::WriteRas(image, stream);
                break;
            default:
                Fail(jas::kEncodeFailed);
        }
        return true;
    });
}

namespace {

bool DecodeJas(PictureJAS& codec, ByteStream* stream, uint32_t id) { return codec.Decode(stream, id); }
bool EncodeJas(PictureJAS& codec, ByteStream* stream, uint32_t id) { return codec.Encode(stream, id); }
constexpr auto kDecodeJas = &DecodeWith<PictureJAS, &DecodeJas>;
constexpr auto kEncodeJas = &EncodeWith<PictureJAS, &EncodeJas>;

}  // namespace

// Five formats over one codec. Detection runs it with id 0: it finds the format from the
// first bytes itself, and the picture it makes has no type of its own.
extern const CodecInfo kJp2Codec{ImageFormat::Jp2, "jp2", {},    &jas::IsJp2, kDecodeJas,
                                 kEncodeJas,       0,     false, true};
extern const CodecInfo kJpcCodec{ImageFormat::Jpc, "jpc", {},    &jas::IsJpc, kDecodeJas,
                                 kEncodeJas,       0,     false, true};
extern const CodecInfo kPgxCodec{ImageFormat::Pgx, "pgx", {},    &jas::IsPgx, kDecodeJas,
                                 kEncodeJas,       0,     false, true};
extern const CodecInfo kPnmCodec{ImageFormat::Pnm, "pnm", {},    &jas::IsPnm, kDecodeJas,
                                 kEncodeJas,       0,     false, true};
extern const CodecInfo kRasCodec{ImageFormat::Ras, "ras", {},    &jas::IsRas, kDecodeJas,
                                 kEncodeJas,       0,     false, true};
