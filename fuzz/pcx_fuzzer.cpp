// PCX answers the request for sizes only with "Cancelled"; its decoder allocates no more
// than the run-length data can fill.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecoder(data, size, ImageFormat::Pcx);
}
