// Filtered image resampling: two-pass separable filtering with a chosen kernel.
#pragma once

#include "bitmap.h"

#include <array>
#include <string_view>

namespace qm {

using ResampleKernel = float (*)(float t);

float BoxKernel(float t);
float TriangleKernel(float t);
float HermiteKernel(float t);
float BellKernel(float t);
float BSplineKernel(float t);
float Lanczos3Kernel(float t);
float MitchellKernel(float t);

struct NamedKernel {
    std::string_view name;
    ResampleKernel kernel;
    float width;
};

// The seven kernels by name, in a fixed order.
extern const std::array<NamedKernel, 7> ResampleKernels;

// Scales `source` onto `destination` (whose width and height the caller set). Both come back with
// 3-byte pixels. Throws Error "Source bitmap too small" when the source is empty, before touching
// either image.
void ResampleImage(Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width);

} // namespace qm
