// Filtered image resampling: two-pass separable filtering with a chosen kernel.
#pragma once

#include "bitmap.h"

#include <array>
#include <string_view>

namespace qm {

// A resampling kernel: the weight at distance t (in source pixels at unit scale).
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
// either image. A destination with a width or height of 0 gets no pixels (nothing to write).
// `width` must be finite and not negative, `kernel` set, and the source well formed; otherwise an
// Error is thrown before either image is touched. The kernel is expected to be 0 beyond `width`.
void ResampleImage(Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width);

namespace detail {

// The ways the weighted sums can be computed. All give the same bytes; Scalar is the plain one-tap-
// at-a-time form that the vector forms are checked against.
enum class ResamplePath { Scalar, Sse2, Avx2 };

bool ResamplePathAvailable(ResamplePath path);
// ResampleImage with a chosen path (it must be available).
void ResampleImageWith(ResamplePath path, Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width);

} // namespace detail

} // namespace qm
