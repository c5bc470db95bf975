// Kernel weights of the interpolated sampling methods, for callers that need the raw
// filter (the picture's own sampling is Picture::SampleInterpolated).
#pragma once

#include "picture.h"

// Weight of a neighbour at signed distance t (neighbour position minus sample position),
// evaluated in single precision. Only the kernel methods (BSpline, Bicubic, Bicubic2,
// Lanczos and Box to CatmullRom) have one; every other id gives 0.
float SampleKernel(Picture::SampleMethod method, float t);
