// Drawing a picture onto a surface (Picture::Draw, Picture::Stretch). The composing of the
// output pixels is pure computation over the picture and a 24-bit bottom-up work buffer;
// it is exposed here so that it can run on plain buffers, apart from any surface.
#pragma once

#include <cstdint>

#include "picture.h"
#include "wintypes.h"

// The part of the destination rectangle (x, y, cx, cy) inside the clip box, in device
// units with y growing downwards. Never inverted: width and height are 0 or more.
RECT PaintBox(const RECT& clip, int32_t x, int32_t y, int32_t cx, int32_t cy);

// Where one call draws: the destination rectangle and its visible part.
struct DrawPlacement {
    int32_t x, y, cx, cy;  // destination rectangle, cx and cy positive
    RECT paint;            // PaintBox of it
    bool smooth;           // bilinear instead of nearest pixel when scaling
};

// Bytes per row of a 24-bit DIB of the given width (rows padded to 4 bytes).
uint32_t DibRowBytes24(int32_t width);

// Fills the work buffer (paint width x height, 24 bpp, bottom-up: row 0 is the paint box's
// bottom row) with the picture scaled to the destination rectangle, nearest pixel or
// bilinear. The picture must have pixels.
void ComposeScaled(const Picture& picture, const DrawPlacement& place, uint8_t* work);

// Blends the picture over the background already in the work buffer: transparent index or
// colour, alpha plane, palette alpha and the global alphaMax, scaled as ComposeScaled
// when the destination size differs from the picture's.
void ComposeBlended(const Picture& picture, const DrawPlacement& place, uint8_t* work);
