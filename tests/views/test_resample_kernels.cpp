// The resampling kernels: their table, their supports and a few exact values.
#include "resample.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ResampleKernelTable, SevenKernelsInOrderWithTheirWidths)
{
    const char* names[] = {"Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell"};
    const float widths[] = {0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};
    ASSERT_EQ(qm::ResampleKernels.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(qm::ResampleKernels[i].name, names[i]);
        EXPECT_EQ(qm::ResampleKernels[i].width, widths[i]);
        // Zero outside the support, whatever the kernel.
        EXPECT_EQ(qm::ResampleKernels[i].kernel(widths[i] + 0.01f), 0.0f) << names[i];
        EXPECT_EQ(qm::ResampleKernels[i].kernel(-widths[i] - 0.01f), 0.0f) << names[i];
    }
    EXPECT_EQ(qm::ResampleKernels[2].kernel, &qm::HermiteKernel);
}

TEST(ResampleKernelTable, KernelValues)
{
    EXPECT_EQ(qm::BoxKernel(0.5f), 1.0f); // the box is open on the left only
    EXPECT_EQ(qm::BoxKernel(-0.5f), 0.0f);
    EXPECT_EQ(qm::TriangleKernel(-0.25f), 0.75f);
    EXPECT_EQ(qm::BellKernel(0.5f), 0.5f);
    // At a = 1 the outer pieces of the cubics start at 1/6 and 1/18.
    EXPECT_FLOAT_EQ(qm::BSplineKernel(1.0f), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(qm::MitchellKernel(1.0f), 1.0f / 18.0f);
    EXPECT_FLOAT_EQ(qm::MitchellKernel(0.0f), 8.0f / 9.0f);
    EXPECT_NEAR(qm::Lanczos3Kernel(1.0f), 0.0f, 1e-6f);
    EXPECT_NE(qm::Lanczos3Kernel(1.0f), 0.0f); // pi x is rounded to float before the sine
    EXPECT_EQ(qm::Lanczos3Kernel(std::nanf("")), 0.0f);
}

} // namespace
