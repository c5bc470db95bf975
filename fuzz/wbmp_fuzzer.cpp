// WBMP states its sizes in the header, so pictures too large to fuzz are skipped unread.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecoder(data, size, ImageFormat::Wbmp);
}
