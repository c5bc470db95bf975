// The marker sections of a JPEG file and the EXIF block inside its APP1 section. Every
// offset and count in the block comes from the file: each is checked against the block's
// length before it is followed, and the directory links are walked at most once each.
#include "exif.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "stream.h"

namespace {

constexpr int M_SOF0 = 0xC0, M_SOF15 = 0xCF;
constexpr int M_DHT = 0xC4, M_JPG = 0xC8, M_DAC = 0xCC;  // share the SOF range, carry no frame
constexpr int M_EOI = 0xD9;
constexpr int M_SOS = 0xDA;
constexpr int M_APP0 = 0xE0;
constexpr int M_APP1 = 0xE1;
constexpr int M_COM = 0xFE;

// TIFF tags with a rule of their own.
constexpr uint16_t TAG_ORIENTATION = 0x0112;
constexpr uint16_t TAG_X_RESOLUTION = 0x011A;
constexpr uint16_t TAG_Y_RESOLUTION = 0x011B;
constexpr uint16_t TAG_RESOLUTION_UNIT = 0x0128;
constexpr uint16_t TAG_THUMBNAIL_OFFSET = 0x0201;
constexpr uint16_t TAG_THUMBNAIL_LENGTH = 0x0202;
constexpr uint16_t TAG_EXIF_OFFSET = 0x8769;
constexpr uint16_t TAG_ISO_EQUIVALENT = 0x8827;
constexpr uint16_t TAG_SHUTTERSPEED = 0x9201;
constexpr uint16_t TAG_APERTURE = 0x9202;
constexpr uint16_t TAG_MAXAPERTURE = 0x9205;
constexpr uint16_t TAG_FLASH = 0x9209;
constexpr uint16_t TAG_USERCOMMENT = 0x9286;
constexpr uint16_t TAG_EXIF_IMAGEWIDTH = 0xA002;
constexpr uint16_t TAG_EXIF_IMAGELENGTH = 0xA003;
constexpr uint16_t TAG_INTEROP_OFFSET = 0xA005;
constexpr uint16_t TAG_FOCALPLANEUNITS = 0xA210;

// Text tags, copied into fields of the given size and always ended.
struct TextTag {
    uint16_t tag;
    size_t offset, size;
};
constexpr TextTag kTextTags[] = {
    {0x010F, offsetof(ExifData, cameraMake), sizeof(ExifData::cameraMake)},    // Make
    {0x0110, offsetof(ExifData, cameraModel), sizeof(ExifData::cameraModel)},  // Model
    {0x9000, offsetof(ExifData, version), sizeof(ExifData::version)},          // ExifVersion
    {0x9003, offsetof(ExifData, dateTime), sizeof(ExifData::dateTime)},        // DateTimeOriginal
};

// Number tags taken as they are.
struct FloatTag {
    uint16_t tag;
    float ExifData::*field;
};
constexpr FloatTag kFloatTags[] = {
    {0x011A, &ExifData::xResolution},      // XResolution
    {0x011B, &ExifData::yResolution},      // YResolution
    {0x829A, &ExifData::exposureTime},     // ExposureTime
    {0x829D, &ExifData::apertureFNumber},  // FNumber
    {0x9203, &ExifData::brightness},       // BrightnessValue
    {0x9204, &ExifData::exposureBias},     // ExposureBiasValue
    {0x9206, &ExifData::distance},         // SubjectDistance
    {0x920A, &ExifData::focalLength},      // FocalLength
    {0xA20E, &ExifData::focalPlaneXRes},   // FocalPlaneXResolution
    {0xA20F, &ExifData::focalPlaneYRes},   // FocalPlaneYResolution
};

struct IntTag {
    uint16_t tag;
    int32_t ExifData::*field;
};
constexpr IntTag kIntTags[] = {
    {0x8822, &ExifData::exposureProgram},   // ExposureProgram
    {0x9102, &ExifData::compressionLevel},  // CompressedBitsPerPixel
    {0x9207, &ExifData::meteringMode},      // MeteringMode
    {0x9208, &ExifData::lightSource},       // LightSource
};

// TIFF field formats 1..12: byte, ascii, short, long, rational, sbyte, undefined, sshort,
// slong, srational, float, double. Format 0 does not exist and takes no room.
constexpr uint32_t kBytesPerFormat[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr uint32_t kMaxFormat = 12;

// A directory is a 16-bit entry count, 12-byte entries, then a 32-bit link to the next.
constexpr uint32_t kEntrySize = 12;

// Directory links may point back at a directory already walked, or fan out so that the
// same directories are reached again and again: each offset is walked once, and a block
// gets at most this many directories (real files have three to five).
constexpr size_t kMaxDirectories = 64;

// The 18-byte JFIF header put in front of a section table that does not start with one:
// JFIF 1.01, dots per inch, 300 by 300, no thumbnail.
constexpr uint8_t kJfifHeader[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                     0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

bool IsFrameHeader(int marker) {
    return marker >= M_SOF0 && marker <= M_SOF15 && marker != M_DHT && marker != M_JPG && marker != M_DAC;
}

// A number as an integer field takes it: truncated toward zero, held inside int32.
int32_t Truncate(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

uint32_t TruncateUnsigned(double v) {
    if (!(v > 0)) return 0;
    if (v >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(v);
}

float ToFloat(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (std::isnan(v)) return 0;
    if (v > kMax) return std::numeric_limits<float>::infinity();
    if (v < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Resolution and focal plane units as a length in inches: 1 (none) and 2 (inch) are
// inches, 3 centimetres, 4 millimetres, 5 micrometres; other values change nothing.
void SetUnit(float& field, double value) {
    constexpr float kInches[6] = {0, 1.0f, 1.0f, 0.3937008f, 0.03937008f, 0.00003937008f};
    const int32_t unit = Truncate(value);
    if (unit >= 1 && unit <= 5) field = kInches[unit];
}

// Copies a text value of `available` bytes into a field of `size` chars, always ending it.
void CopyText(char* field, size_t size, const uint8_t* value, uint64_t available) {
    size_t n = 0;
    while (n + 1 < size && n < available && value[n] != 0) {
        field[n] = static_cast<char>(value[n]);
        ++n;
    }
    field[n] = '\0';
}

}  // namespace

// The state of one EXIF block's walk: the TIFF data and the directories seen so far.
struct ExifReader::Walk {
    const uint8_t* base;  // first byte of the TIFF header; every offset counts from here
    uint32_t length;      // bytes of TIFF data
    uint32_t visited[kMaxDirectories];
    size_t walked = 0;

    uint16_t Get16(const uint8_t* p, bool motorola) const {
        return motorola ? static_cast<uint16_t>((p[0] << 8) | p[1])
                        : static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t Get32(const uint8_t* p, bool motorola) const {
        return motorola ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 8) | p[3]
                        : (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[1]) << 8) | p[0];
    }

    // The first component of a value as a number; `available` bytes lie at p.
    double Convert(const uint8_t* p, uint32_t format, uint64_t available, bool motorola) const {
        if (format == 0 || format > kMaxFormat || available < kBytesPerFormat[format]) return 0;
        switch (format) {
            case 1:
                return p[0];
            case 3:
                return Get16(p, motorola);
            case 4:
                return Get32(p, motorola);
            case 5:
            case 10: {
                const int32_t num = static_cast<int32_t>(Get32(p, motorola));
                const int32_t den = static_cast<int32_t>(Get32(p + 4, motorola));
                return den == 0 ? 0 : static_cast<double>(num) / den;
            }
            case 6:
                return static_cast<int8_t>(p[0]);
            case 8:
                return static_cast<int16_t>(Get16(p, motorola));
            case 9:
                return static_cast<int32_t>(Get32(p, motorola));
            // Floating-point values are taken as they are stored, in the machine's order.
            case 11: {
                float f;
                std::memcpy(&f, p, sizeof f);
                return f;
            }
            case 12: {
                double d;
                std::memcpy(&d, p, sizeof d);
                return d;
            }
            default:
                return 0;
        }
    }
};

ExifReader::ExifReader(ExifData* record)
    : ownRecord_(record ? nullptr : std::make_unique<ExifData>()),
      record_(record ? record : ownRecord_.get()) {
    if (ownRecord_) std::memset(record_, 0, sizeof *record_);
    lastError_[0] = '\0';
}

ExifReader::~ExifReader() = default;

void ExifReader::SetError(const char* text) {
    std::strncpy(lastError_, text, sizeof lastError_ - 1);
    lastError_[sizeof lastError_ - 1] = '\0';
}

// ---- section scan -----------------------------------------------------------------------

bool ExifReader::DecodeSections(ByteStream* stream, int mode) {
    if (!stream) return false;
    if (stream->GetC() != 0xFF || stream->GetC() != 0xD8) return false;

    bool commentSeen = false;
    for (;;) {
        if (sectionCount_ >= MaxSections) {
            SetError("Too many sections in jpg file");
            return false;
        }

        // A marker is 0xFF and a code; any number of 0xFF fill bytes may come first, but
        // seven in a row mean this is no JPEG.
        int marker = 0;
        for (int a = 0; a < 7; ++a) {
            marker = stream->GetC();
            if (marker != 0xFF) break;
            if (a >= 6) return false;
        }

        const int lh = stream->GetC(), ll = stream->GetC();
        if (lh < 0 || ll < 0 || ((lh << 8) | ll) < 2) {
            SetError("invalid marker");
            return false;
        }
        const uint32_t itemLength = static_cast<uint32_t>((lh << 8) | ll);

        Section& section = sections_[static_cast<size_t>(sectionCount_)];
        try {
            section.data.assign(itemLength, 0);
        } catch (const std::bad_alloc&) {
            SetError("Could not allocate memory");
            return false;
        }
        section.data[0] = static_cast<uint8_t>(lh);
        section.data[1] = static_cast<uint8_t>(ll);
        if (stream->Read(section.data.data() + 2, 1, itemLength - 2) != itemLength - 2) {
            section = Section{};
            SetError("Premature end of file?");
            return false;
        }
        section.type = marker;
        section.size = itemLength;
        ++sectionCount_;
        const uint8_t* data = section.data.data();

        const auto drop = [&] {
            section = Section{};
            --sectionCount_;
        };

        if (IsFrameHeader(marker)) {
            // Precision, then height and width high byte first, then the component count.
            if (itemLength >= 8) {
                record_->height = (data[3] << 8) | data[4];
                record_->width = (data[5] << 8) | data[6];
                record_->isColor = data[7] == 3 ? 1 : 0;
            }
            record_->process = marker;
            continue;
        }
        switch (marker) {
            case M_EOI:
                // An end-of-image marker before any scan: a file without a picture.
                return false;
            case M_SOS: {
                if (!(mode & ReadImage)) return true;
                const int32_t here = stream->Tell();
                stream->Seek(0, 2);
                const int32_t end = stream->Tell();
                stream->Seek(here, 0);
                const uint32_t rest = end > here ? static_cast<uint32_t>(end - here) : 0;
                if (sectionCount_ >= MaxSections) {
                    SetError("Too many sections in jpg file");
                    return false;
                }
                Section& image = sections_[static_cast<size_t>(sectionCount_)];
                try {
                    image.data.assign(rest, 0);
                } catch (const std::bad_alloc&) {
                    SetError("could not allocate data for entire image");
                    return false;
                }
                if (rest && stream->Read(image.data.data(), 1, rest) != rest) {
                    image = Section{};
                    SetError("could not read the rest of the image");
                    return false;
                }
                image.type = ImageData;
                image.size = rest;
                ++sectionCount_;
                return true;
            }
            case M_APP0:
                drop();
                break;
            case M_APP1:
                if ((mode & ReadExif) && itemLength >= 6 && std::memcmp(data + 2, "Exif", 4) == 0)
                    record_->isExif = ProcessExif(data + 2, itemLength - 2);
                else
                    drop();
                break;
            case M_COM:
                if ((mode & ReadExif) && !commentSeen) {
                    commentSeen = true;
                    ProcessComment(data, itemLength);
                } else {
                    drop();
                }
                break;
            default:
                break;
        }
    }
}

// Printable text, line feeds and tabs pass; a carriage return before a line feed goes, any
// other byte becomes "?". Only the first 1000 bytes of the section count.
void ExifReader::ProcessComment(const uint8_t* data, uint32_t length) {
    const uint32_t used = length < 1000 ? length : 1000;
    size_t out = 0;
    for (uint32_t i = 2; i < used; ++i) {
        const uint8_t c = data[i];
        if (c == '\r' && i + 1 < length && data[i + 1] == '\n') continue;
        const bool printable = c >= 0x20 && c < 0x7F;
        record_->comments[out++] = (printable || c == '\n' || c == '\t') ? static_cast<char>(c) : '?';
    }
    record_->comments[out] = '\0';
}

// ---- EXIF block -------------------------------------------------------------------------

bool ExifReader::ProcessExif(const uint8_t* block, uint32_t length) {
    record_->flashUsed = 0;
    record_->comments[0] = '\0';
    largestDimension_ = 0;

    static constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!block || length < 6 || std::memcmp(block, kExifHeader, 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }

    Walk walk;
    walk.base = block + 6;
    walk.length = length - 6;

    // The TIFF header: "II" (Intel, low byte first) or "MM" (Motorola, high byte first),
    // the magic number 42 and the offset of the first directory.
    if (walk.length >= 2 && std::memcmp(walk.base, "II", 2) == 0) {
        motorola_ = false;
    } else if (walk.length >= 2 && std::memcmp(walk.base, "MM", 2) == 0) {
        motorola_ = true;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (walk.length < 4 || walk.Get16(walk.base + 2, motorola_) != 42) {
        SetError("Invalid Exif start (1)");
        return false;
    }

    if (!ProcessDirectory(walk, 8, false)) return false;
    const uint32_t first = walk.length >= 8 ? walk.Get32(walk.base + 4, motorola_) : 0;
    if (first > 8 && !ProcessDirectory(walk, first, false)) return false;

    if (record_->focalPlaneXRes != 0) {
        record_->ccdWidth = ToFloat(static_cast<double>(largestDimension_) * record_->focalPlaneUnits /
                                    record_->focalPlaneXRes);
    }
    return true;
}

bool ExifReader::ProcessDirectory(Walk& walk, uint32_t offset, bool thumbnail) {
    for (size_t i = 0; i < walk.walked; ++i)
        if (walk.visited[i] == offset) return true;
    if (walk.walked >= kMaxDirectories) return true;
    walk.visited[walk.walked++] = offset;

    const bool mm = motorola_;
    const uint64_t length = walk.length;
    if (static_cast<uint64_t>(offset) + 2 > length) {
        SetError("Illegally sized directory");
        return false;
    }
    const uint32_t count = walk.Get16(walk.base + offset, mm);
    const uint64_t entriesEnd = static_cast<uint64_t>(offset) + 2 + static_cast<uint64_t>(count) * kEntrySize;
    if (entriesEnd > length) {
        SetError("Illegally sized directory");
        return false;
    }

    ExifData& r = *record_;
    uint32_t thumbnailOffset = 0, thumbnailLength = 0;

    for (uint32_t de = 0; de < count; ++de) {
        const uint8_t* entry = walk.base + offset + 2 + static_cast<uint64_t>(de) * kEntrySize;
        const uint16_t tag = walk.Get16(entry, mm);
        const uint32_t format = walk.Get16(entry + 2, mm);
        const uint32_t components = walk.Get32(entry + 4, mm);
        if (format > kMaxFormat) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        const uint64_t byteCount = static_cast<uint64_t>(components) * kBytesPerFormat[format];

        // Values of up to four bytes sit in the entry itself; longer ones at an offset.
        const uint8_t* value;
        if (byteCount > 4) {
            const uint32_t valueOffset = walk.Get32(entry + 8, mm);
            if (static_cast<uint64_t>(valueOffset) + byteCount > length) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            value = walk.base + valueOffset;
        } else {
            value = entry + 8;
        }
        const auto number = [&] { return walk.Convert(value, format, byteCount, mm); };

        for (const TextTag& t : kTextTags)
            if (tag == t.tag) CopyText(reinterpret_cast<char*>(&r) + t.offset, t.size, value, byteCount);
        // The directories after the first describe the thumbnail: its resolution is not the
        // picture's.
        const bool resolution =
            tag == TAG_X_RESOLUTION || tag == TAG_Y_RESOLUTION || tag == TAG_RESOLUTION_UNIT;
        if (thumbnail && resolution) continue;
        for (const FloatTag& t : kFloatTags)
            if (tag == t.tag) r.*t.field = ToFloat(number());
        for (const IntTag& t : kIntTags)
            if (tag == t.tag) r.*t.field = Truncate(number());

        switch (tag) {
            case TAG_USERCOMMENT: {
                // Trailing spaces end the text. A value that starts with the character code
                // "ASCII" has its text after the 8-byte code, past any zero or space padding.
                uint64_t used = byteCount;
                while (used > 0 && value[used - 1] == ' ') --used;
                const uint8_t* text = value;
                if (used >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
                    text = nullptr;
                    for (uint64_t a = 5; a < 10 && a < used; ++a) {
                        if (value[a] != 0 && value[a] != ' ') {
                            text = value + a;
                            used -= a;
                            break;
                        }
                    }
                }
                if (text) CopyText(r.comments, 200, text, used);
                break;
            }
            case TAG_APERTURE:
            case TAG_MAXAPERTURE:
                // An APEX aperture value v is the F-number 2^(v/2).
                if (r.apertureFNumber == 0)
                    r.apertureFNumber = ToFloat(std::exp(number() * std::log(2.0) * 0.5));
                break;
            case TAG_SHUTTERSPEED:
                // An APEX shutter speed value v is the exposure time 1 / 2^v.
                if (r.exposureTime == 0) r.exposureTime = ToFloat(1 / std::exp(number() * std::log(2.0)));
                break;
            case TAG_FLASH:
                r.flashUsed = (Truncate(number()) & 7) ? 1 : 0;
                break;
            case TAG_ORIENTATION:
                r.orientation = Truncate(number());
                if (r.orientation < 1 || r.orientation > 8) {
                    SetError("Undefined rotation value");
                    r.orientation = 0;
                }
                break;
            case TAG_EXIF_IMAGELENGTH:
            case TAG_EXIF_IMAGEWIDTH: {
                const int32_t a = Truncate(number());
                if (largestDimension_ < a) largestDimension_ = a;
                break;
            }
            case TAG_RESOLUTION_UNIT:
                SetUnit(r.resolutionUnit, number());
                break;
            case TAG_FOCALPLANEUNITS:
                SetUnit(r.focalPlaneUnits, number());
                break;
            case TAG_ISO_EQUIVALENT: {
                // Some cameras store the ISO speed divided by 200.
                int64_t iso = Truncate(number());
                if (iso < 50) iso *= 200;
                r.isoEquivalent = iso < std::numeric_limits<int32_t>::min()
                                      ? std::numeric_limits<int32_t>::min()
                                      : static_cast<int32_t>(iso);
                break;
            }
            case TAG_THUMBNAIL_OFFSET:
                thumbnailOffset = TruncateUnsigned(number());
                break;
            case TAG_THUMBNAIL_LENGTH:
                thumbnailLength = TruncateUnsigned(number());
                break;
            case TAG_EXIF_OFFSET:
            case TAG_INTEROP_OFFSET: {
                const uint32_t sub = walk.Get32(value, mm);
                if (sub > 8) {
                    if (sub >= length) {
                        SetError("Illegal subdirectory link");
                        return false;
                    }
                    ProcessDirectory(walk, sub, thumbnail);
                }
                break;
            }
            default:
                break;
        }
    }

    // The link to the next directory (IFD1 after IFD0 holds the thumbnail); a directory
    // that ends right at the end of the data has none.
    if (entriesEnd + 4 <= length) {
        const uint32_t next = walk.Get32(walk.base + entriesEnd, mm);
        if (next != 0) {
            if (next >= length) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ProcessDirectory(walk, next, true);
        }
    }

    if (thumbnailOffset && thumbnailLength &&
        static_cast<uint64_t>(thumbnailOffset) + thumbnailLength <= length) {
        r.thumbnailPointer = walk.base + thumbnailOffset;
        r.thumbnailSize = thumbnailLength;
    }
    return true;
}

// ---- section table ----------------------------------------------------------------------

const ExifReader::Section* ExifReader::FindSection(int type) const {
    for (int i = 0; i + 1 < sectionCount_; ++i)
        if (sections_[static_cast<size_t>(i)].type == type) return &sections_[static_cast<size_t>(i)];
    return nullptr;
}

void ExifReader::KeepExifOnly() {
    Section exif, comment;
    bool haveExif = false, haveComment = false;
    for (int i = 0; i < sectionCount_; ++i) {
        Section& s = sections_[static_cast<size_t>(i)];
        if (!haveExif && s.type == M_APP1) {
            exif = std::move(s);
            haveExif = true;
        } else if (!haveComment && s.type == M_COM) {
            comment = std::move(s);
            haveComment = true;
        }
    }
    // A thumbnail found in a section that goes now would point at freed memory.
    if (record_->thumbnailPointer) {
        const uint8_t* p = record_->thumbnailPointer;
        const bool inKept = haveExif && p >= exif.data.data() && p < exif.data.data() + exif.data.size();
        if (!inKept) {
            record_->thumbnailPointer = nullptr;
            record_->thumbnailSize = 0;
        }
    }
    for (Section& s : sections_) s = Section{};
    sectionCount_ = 0;
    if (haveExif) sections_[static_cast<size_t>(sectionCount_++)] = std::move(exif);
    if (haveComment) sections_[static_cast<size_t>(sectionCount_++)] = std::move(comment);
}

bool ExifReader::WriteSections(ByteStream* stream) {
    if (!stream || !FindSection(M_SOS)) {
        SetError("Can't write exif : didn't read all");
        return false;
    }
    stream->PutC(0xFF);
    stream->PutC(0xD8);
    const int firstType = sections_[0].type;
    if (firstType != M_APP1 && firstType != M_APP0) stream->Write(kJfifHeader, 1, sizeof kJfifHeader);

    for (int i = 0; i + 1 < sectionCount_; ++i) {
        const Section& s = sections_[static_cast<size_t>(i)];
        stream->PutC(0xFF);
        stream->PutC(static_cast<uint8_t>(s.type));
        if (s.size) stream->Write(s.data.data(), 1, s.size);
    }
    // The last entry holds the compressed image and everything after it, markers included.
    const Section& last = sections_[static_cast<size_t>(sectionCount_ - 1)];
    if (last.size) stream->Write(last.data.data(), 1, last.size);
    return true;
}
