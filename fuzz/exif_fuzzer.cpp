// libFuzzer target for the EXIF reader on arbitrary bytes: the section scan with both mode
// bits, the section writer and keep-EXIF-only, and the EXIF block parser on the input taken
// as the TIFF data of a block.
#include <cstdint>
#include <cstring>
#include <vector>

#include "exif.h"
#include "fuzz_cap.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseFuzzPictureCap();
    if (size > (1u << 24)) return 0;
    std::vector<uint8_t> bytes(data, data + size);

    {
        MemoryStream in(bytes.data(), static_cast<int32_t>(bytes.size()));
        ExifReader reader;
        if (reader.DecodeSections(&in, ExifReader::ReadExif | ExifReader::ReadImage)) {
            MemoryStream out;
            out.Open();
            reader.WriteSections(&out);
            reader.KeepExifOnly();
            const ExifData& r = *reader.GetRecord();
            // The thumbnail must lie inside memory the reader still holds.
            volatile uint8_t sink = 0;
            for (uint32_t i = 0; r.thumbnailPointer && i < r.thumbnailSize; ++i)
                sink = sink ^ r.thumbnailPointer[i];
            (void)sink;
        }
    }

    // Exactly the block on the heap, so that a read past its end is caught.
    std::vector<uint8_t> block(6 + size);
    std::memcpy(block.data(), "Exif\0\0", 6);
    if (size) std::memcpy(block.data() + 6, data, size);
    ExifReader reader;
    reader.ProcessExif(block.data(), static_cast<uint32_t>(block.size()));
    return 0;
}
