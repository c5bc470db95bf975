// Page measuring and the map from a picture file's extension to its format id.
#pragma once

#include <cstdint>
#include <string>

// The format id for a file's extension (the text after the last "." of the part after the
// last path separator), compared without case; 0 lets the engine detect the format.
uint32_t FormatFromExtension(const std::string& path);

struct FittedSize {
    int32_t width = 0;
    int32_t height = 0;
};

// A picture's size fitted to a screen: the side that overflows the screen more is fitted to
// it exactly and the other follows the picture's proportions (truncating). Ties fit the width.
FittedSize FitToScreen(int32_t picWidth, int32_t picHeight, int32_t screenWidth, int32_t screenHeight);
