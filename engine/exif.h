// The marker sections of a JPEG file and the camera data of its EXIF block. A JPEG file is
// a start-of-image marker followed by sections (0xFF, a marker code, a two-byte big-endian
// length that counts itself, the data) up to the start-of-scan section, after which the
// entropy-coded image runs to the end-of-image marker. The EXIF block is an APP1 section
// holding "Exif", two zero bytes and a little TIFF file whose directories carry the tags.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class ByteStream;

// The camera data of one file; every field stays zero until a tag or section fills it.
struct ExifData {
    char version[5];                  // tag 0x9000
    char cameraMake[32];              // tag 0x010F
    char cameraModel[40];             // tag 0x0110
    char dateTime[20];                // tag 0x9003
    int32_t height;                   // frame header
    int32_t width;                    // frame header
    int32_t orientation;              // tag 0x0112, 1..8
    int32_t isColor;                  // frame header: three components
    int32_t process;                  // frame header: the SOF marker code
    int32_t flashUsed;                // tag 0x9209
    float focalLength;                // tag 0x920A
    float exposureTime;               // tag 0x829A, else from the shutter speed 0x9201
    float apertureFNumber;            // tag 0x829D, else from the apertures 0x9202 and 0x9205
    float distance;                   // tag 0x9206
    float ccdWidth;                   // from the largest pixel dimension and the focal plane
    float exposureBias;               // tag 0x9204
    int32_t lightSource;              // tag 0x9208
    int32_t meteringMode;             // tag 0x9207
    int32_t exposureProgram;          // tag 0x8822
    int32_t isoEquivalent;            // tag 0x8827
    int32_t compressionLevel;         // tag 0x9102
    float focalPlaneXRes;             // tag 0xA20E
    float focalPlaneYRes;             // tag 0xA20F
    float focalPlaneUnits;            // tag 0xA210, as a length in inches
    float xResolution;                // tag 0x011A
    float yResolution;                // tag 0x011B
    float resolutionUnit;             // tag 0x0128, as a length in inches
    float brightness;                 // tag 0x9203
    char comments[1000];              // first comment section, or tag 0x9286
    const uint8_t* thumbnailPointer;  // into the EXIF section's data held by the reader
    uint32_t thumbnailSize;
    bool isExif;  // the EXIF block parsed without failure
};

class ExifReader {
   public:
    // Mode bits of the section scan.
    static constexpr int ReadExif = 0x1;   // parse the EXIF block and the first comment
    static constexpr int ReadImage = 0x2;  // keep the rest of the file after start-of-scan

    static constexpr int MaxSections = 20;
    // Marker type of the pseudo-section that holds everything after start-of-scan.
    static constexpr int ImageData = 0x123;

    struct Section {
        std::vector<uint8_t> data;  // from the two length bytes on
        int type = 0;               // marker code
        uint32_t size = 0;          // bytes in data
    };

    // Fills the given record (owned by the caller) or, without one, a zeroed record of its own.
    explicit ExifReader(ExifData* record = nullptr);
    ~ExifReader();
    ExifReader(const ExifReader&) = delete;
    ExifReader& operator=(const ExifReader&) = delete;

    bool DecodeSections(ByteStream* stream, int mode);
    void KeepExifOnly();
    const Section* FindSection(int type) const;
    bool WriteSections(ByteStream* stream);

    ExifData* GetRecord() const { return record_; }
    const char* GetLastError() const { return lastError_; }
    int GetSectionCount() const { return sectionCount_; }
    const Section& GetSection(int i) const { return sections_[static_cast<size_t>(i)]; }

    // Parses an EXIF block (from "Exif" on) into the record; true when it is sound.
    bool ProcessExif(const uint8_t* block, uint32_t length);

   private:
    struct Walk;
    // `thumbnail`: the directory was reached through a link to a next directory (IFD1 on).
    bool ProcessDirectory(Walk& walk, uint32_t offset, bool thumbnail);
    void ProcessComment(const uint8_t* data, uint32_t length);
    void SetError(const char* text);

    std::unique_ptr<ExifData> ownRecord_;  // set when no record was given
    ExifData* record_;
    char lastError_[256];
    bool motorola_ = false;
    int32_t largestDimension_ = 0;
    std::array<Section, MaxSections> sections_;
    int sectionCount_ = 0;
};
