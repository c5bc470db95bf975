// Helpers shared by the resampler and the colour reduction (Picture::ConvertToGrey,
// Picture::ReduceColors), for callers that convert pictures themselves.
#pragma once

#include "picture.h"

// Grey level of a colour by the engine's luminance weights, (117 b + 601 g + 306 r) >> 10:
// white stays 255, black 0.
uint8_t GreyLevel(RGBQUAD color);

// True when the picture has a palette and every entry has red = green = blue.
bool HasGreyPalette(const Picture& picture);

// Transparency held by the palette (a transparent index, or alpha bytes in the entries) or by
// a transparent colour of a 24-bit picture becomes an alpha plane, and the index and the
// palette's alpha are cleared, so that filters and new palettes keep it. Nothing happens
// when no pixel is transparent. False only when the plane cannot be allocated.
bool MoveTransparencyToAlpha(Picture& picture);
