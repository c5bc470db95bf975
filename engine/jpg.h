// JPEG (JFIF and EXIF files, baseline and progressive) through libjpeg's version-62
// interface. Before each decode the EXIF reader scans the file, so that the resolution can
// come from the camera's tags.
#pragma once

#include <cstdint>
#include <memory>

#include "exif.h"
#include "picture.h"

// Bits of the JPEG codec option word (GetCodecOption(ImageFormat::Jpg)).
namespace JpegOption {
constexpr uint32_t ForceBaseline = 0x01;       // encode: baseline quantisation tables
constexpr uint32_t Arithmetic = 0x02;          // encode: arithmetic coding
constexpr uint32_t Greyscale = 0x04;           // encode: one-component file
constexpr uint32_t Optimize = 0x08;            // encode: optimised Huffman tables
constexpr uint32_t Progressive = 0x10;         // encode: progressive scans
constexpr uint32_t Smoothing = 0x40;           // encode: the codec's smoothing factor
constexpr uint32_t GreyscaleOutput = 0x80;     // decode: one grey sample per pixel
constexpr uint32_t Quantize = 0x100;           // decode: a palette of jpegQuality colours
constexpr uint32_t Dither = 0x200;             // decode: the codec's dither mode
constexpr uint32_t OnePass = 0x400;            // decode: one-pass quantisation
constexpr uint32_t NoFancyUpsampling = 0x800;  // decode: plain chroma replication
}  // namespace JpegOption

class PictureJPG : public Picture {
   public:
    // A libjpeg source and destination manager over a ByteStream with a 4096-byte buffer.
    class JpegStreamManager;

    PictureJPG();
    ~PictureJPG() override;

    bool Decode(ByteStream* stream);
    bool Encode(ByteStream* stream);

    // The reader of the last decode, or none before the first.
    ExifReader* GetExifReader() const { return exif_.get(); }

    // The camera data of the last decoded file; all zero until then.
    ExifData exifInfo;
    // Used by option bit 0x40: input smoothing 0 (none) .. 100.
    int32_t smoothingFactor = 0;
    // Used by option bit 0x200: 0 no dithering, 1 ordered, 2 Floyd-Steinberg (libjpeg's default).
    int32_t ditherMode = 2;

   private:
    std::unique_ptr<ExifReader> exif_;
};
