// The resampler on small images: sizes, kernel, width and pixel form from the input, then the
// source pixels. Every available computation path must give the same bytes (or the same error),
// both images must come back in 3-byte form with the right sizes, and with a kernel that sums to
// one a same-size pass reproduces the source and a flat source stays flat.
#include "fuzz_check.h"

#include "bitmap.h"
#include "errors.h"
#include "resample.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

struct Result {
    int outcome = 0; // 0 done, 1 qm::Error, 2 out of memory
    std::string message;
    qm::Bitmap source;
    qm::Bitmap destination;
};

Result Run(qm::detail::ResamplePath path, const qm::Bitmap& source, const qm::Bitmap& destination,
           qm::ResampleKernel kernel, float width)
{
    Result r;
    r.source = source;
    r.destination = destination;
    try {
        qm::detail::ResampleImageWith(path, r.source, r.destination, kernel, width);
    } catch (const qm::Error& e) {
        r.outcome = 1;
        r.message = e.what();
    } catch (const std::bad_alloc&) {
        r.outcome = 2;
    }
    return r;
}

bool SameImage(const qm::Bitmap& a, const qm::Bitmap& b)
{
    return a.width == b.width && a.height == b.height && a.bytesPerPixel == b.bytesPerPixel && a.data == b.data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const int sw = static_cast<int>(in.Byte() % 25);      // 0 is refused as too small
    const int sh = static_cast<int>(in.Byte() % 25);
    const int dw = static_cast<int>(in.Byte() % 49);
    const int dh = static_cast<int>(in.Byte() % 49);
    const unsigned form = in.Byte();
    const qm::NamedKernel& named = qm::ResampleKernels[form % qm::ResampleKernels.size()];
    float width = named.width;
    if (form & 0x80) {
        // Any 32-bit pattern: NaN, infinities and negative widths must be refused, not used.
        const std::uint32_t bits = in.Bits32();
        std::memcpy(&width, &bits, sizeof width);
        if (std::isfinite(width) && std::fabs(width) > 64.0f)
            return 0; // only slow, and bounded by the resampler's own cost check
    } else if (form & 0x40) {
        width = named.width * static_cast<float>(in.Byte()) / 64.0f;
    }
    const int sourceBytes = (form & 0x10) ? 3 : 4;
    const int destinationBytes = (form & 0x20) ? 3 : 4;

    qm::Bitmap source(sw, sh, sourceBytes, 0);
    const bool flat = (form & 0x08) != 0;
    const unsigned char fill[4] = {static_cast<unsigned char>(in.Byte()), static_cast<unsigned char>(in.Byte()),
                                   static_cast<unsigned char>(in.Byte()), 0xFF};
    for (std::size_t k = 0; k < source.data.size(); ++k)
        source.data[k] = flat ? fill[k % static_cast<std::size_t>(sourceBytes)] : static_cast<std::uint8_t>(in.Byte());
    qm::Bitmap destination(dw, dh, destinationBytes, 0x5A);

    const Result scalar = Run(qm::detail::ResamplePath::Scalar, source, destination, named.kernel, width);
    for (qm::detail::ResamplePath path : {qm::detail::ResamplePath::Sse2, qm::detail::ResamplePath::Avx2}) {
        if (!qm::detail::ResamplePathAvailable(path))
            continue;
        const Result other = Run(path, source, destination, named.kernel, width);
        QM_FUZZ_CHECK(other.outcome == scalar.outcome);
        QM_FUZZ_CHECK(other.message == scalar.message);
        QM_FUZZ_CHECK(SameImage(other.source, scalar.source));
        QM_FUZZ_CHECK(SameImage(other.destination, scalar.destination));
    }

    if (sw < 1 || sh < 1) {
        QM_FUZZ_CHECK(scalar.outcome == 1 && scalar.message == "Source bitmap too small");
    }
    if (scalar.outcome != 0) {
        // A refused call leaves both images as they were.
        QM_FUZZ_CHECK(SameImage(scalar.source, source));
        QM_FUZZ_CHECK(SameImage(scalar.destination, destination));
        return 0;
    }
    QM_FUZZ_CHECK(std::isfinite(width) && width >= 0.0f);
    QM_FUZZ_CHECK(scalar.source.bytesPerPixel == 3 && scalar.destination.bytesPerPixel == 3);
    QM_FUZZ_CHECK(scalar.source.IsWellFormed() && scalar.destination.IsWellFormed());
    QM_FUZZ_CHECK(scalar.destination.width == dw && scalar.destination.height == dh);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            QM_FUZZ_CHECK(scalar.source.PixelRgb(x, y) == source.PixelRgb(x, y));

    const bool unitSum = (named.kernel == qm::HermiteKernel || named.kernel == qm::TriangleKernel) && width == 1.0f;
    if (unitSum && dw == sw && dh == sh)
        QM_FUZZ_CHECK(SameImage(scalar.destination, qm::Bitmap(scalar.source)));
    if (unitSum && flat && dw >= sw && dh >= sh) {
        const std::uint32_t colour = source.PixelRgb(0, 0);
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                QM_FUZZ_CHECK(scalar.destination.PixelRgb(x, y) == colour);
    }
    return 0;
}
