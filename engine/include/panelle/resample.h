// Whole-picture resampling (Picture::Resample) and the choice of a JPEG decode scale for it.
#pragma once

#include <cstdint>
#include <vector>

#include "picture.h"

// The libjpeg scale denominator (1, 2, 4 or 8, for Picture::SetJpegScale) that decodes a
// srcW x srcH JPEG to a picture still at least twice dstW x dstH on both axes, so that
// resampling the smaller decode loses nothing visible. 1 when no reduction qualifies or a
// size is zero.
uint8_t JpegScaleFor(uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH);

// Reach of a filter's kernel at the source's own scale, in pixels on each side.
float ResampleFilterRadius(Picture::ResampleFilter filter);

// Weight of a filter's kernel at distance t (source pixel minus sample position, in pixels
// of the kernel's own scale).
float ResampleFilterWeight(Picture::ResampleFilter filter, float t);

// Source pixels and weights of every destination pixel along one axis of srcSize pixels
// resampled to dstSize: destination i takes count[i] pixels from first[i] on, with weights
// weights[i * stride ...]. Weights of a pixel sum to 1.
struct ResampleTaps {
    std::vector<int32_t> first;
    std::vector<int32_t> count;
    std::vector<float> weights;
    int32_t stride = 0;
};
ResampleTaps ComputeResampleTaps(uint32_t srcSize, uint32_t dstSize, Picture::ResampleFilter filter);
