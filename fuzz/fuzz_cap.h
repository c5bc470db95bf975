// Every fuzz target runs with a low picture cap instead of skipping inputs that declare
// large pictures, so that the decoders' own size checks (against the cap, and against what
// the stream can still deliver) are what keep each input quick, and are fuzzed themselves.
#pragma once

#include <cstdint>

#include "sizelimits.h"

constexpr uint64_t kFuzzPictureCap = uint64_t{64} << 20;  // 64 MiB of pixel rows

inline void UseFuzzPictureCap() { SetPictureCap(kFuzzPictureCap); }
