// WBMP states its sizes in the header; the low picture cap and the check against the bytes
// that follow it keep large declarations quick.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecoder(data, size, ImageFormat::Wbmp);
}
