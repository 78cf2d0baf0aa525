// The resampling kernels and their table by name: the weight each filter gives a source pixel at
// a distance t. The resampler itself only calls them.
#include "resample.h"

#include <cmath>

namespace qm {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// sin(pi x) / (pi x), with pi x rounded to float before both the sine and the division.
long double SincValue(long double x)
{
    if (x == 0.0L) {
        return 1.0L;
    }
    const float px = static_cast<float>(kPi * x);
    return std::sin(static_cast<long double>(px)) / static_cast<long double>(px);
}

} // namespace

float BoxKernel(float t)
{
    return (t > -0.5f && t <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleKernel(float t)
{
    const long double a = std::fabs(static_cast<long double>(t));
    return a < 1.0L ? static_cast<float>(1.0L - a) : 0.0f;
}

float HermiteKernel(float t)
{
    const long double a = std::fabs(static_cast<long double>(t));
    return a < 1.0L ? static_cast<float>((2.0L * a - 3.0L) * a * a + 1.0L) : 0.0f;
}

float BellKernel(float t)
{
    const long double a = std::fabs(static_cast<long double>(t));
    if (a < 0.5L) {
        return static_cast<float>(0.75L - a * a);
    }
    if (a < 1.5L) {
        const long double d = a - 1.5L;
        return static_cast<float>(0.5L * d * d);
    }
    return 0.0f;
}

float BSplineKernel(float t)
{
    const long double a = std::fabs(static_cast<long double>(t));
    if (a < 1.0L) {
        return static_cast<float>(0.5L * a * a * a - a * a + 2.0L / 3.0L);
    }
    if (a < 2.0L) {
        const long double d = 2.0L - a;
        return static_cast<float>(d * d * d / 6.0L);
    }
    return 0.0f;
}

float Lanczos3Kernel(float t)
{
    const long double a = std::fabs(static_cast<long double>(t));
    return a < 3.0L ? static_cast<float>(SincValue(a) * SincValue(a / 3.0L)) : 0.0f;
}

float MitchellKernel(float t)
{
    // Mitchell-Netravali cubic with B = C = 1/3.
    const long double a = std::fabs(static_cast<long double>(t));
    const long double a2 = a * a;
    const long double a3 = a2 * a;
    if (a < 1.0L) {
        return static_cast<float>((7.0L * a3 - 12.0L * a2 + 16.0L / 3.0L) / 6.0L);
    }
    if (a < 2.0L) {
        return static_cast<float>((-(7.0L / 3.0L) * a3 + 12.0L * a2 - 20.0L * a + 32.0L / 3.0L) / 6.0L);
    }
    return 0.0f;
}

const std::array<NamedKernel, 7> ResampleKernels = {{
    {"Box", &BoxKernel, 0.5f},
    {"Triangle", &TriangleKernel, 1.0f},
    {"Hermite", &HermiteKernel, 1.0f},
    {"Bell", &BellKernel, 1.5f},
    {"B-Spline", &BSplineKernel, 2.0f},
    {"Lanczos3", &Lanczos3Kernel, 3.0f},
    {"Mitchell", &MitchellKernel, 2.0f},
}};

} // namespace qm
