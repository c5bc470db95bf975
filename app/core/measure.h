// Page measuring and the map from a picture file's extension to its format id.
#pragma once

#include <cstdint>
#include <string>

// The format id for a file's extension (the text after the last "." of the part after the
// last path separator), compared without case; 0 lets the engine detect the format.
uint32_t FormatFromExtension(const std::string& path);
