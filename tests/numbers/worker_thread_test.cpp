// The readout gives the same texts on a worker thread started as the Windows API starts one (its
// x87 unit at 53 bits, the first thread's at 64) as on the first thread.
#include "extended_precision.h"
#include "field_value.h"
#include "position.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

// The readout's six fields of fixes of 4 to 14 minute decimals, and numbers written as general text.
std::vector<std::string> Results()
{
    std::vector<std::string> out;
    for (const auto& [lat, lon] : {std::pair{"5645.0993", "03712.1697"}, {"5645.09931234567891", "03712.16971234567891"},
                                   {"0001.99999999999999", "17959.99999999999999"}}) {
        PositionFields f;
        ReadPosition(FixCells{"N", lat, "W", lon}, f);
        out.insert(out.end(), {f.edtLat, f.edtLat2, f.lad, f.edtLon, f.edtLon2, f.lod});
    }
    for (const char* text : {"0.1", "2.5000000000000000001", "123456789.123456789"})
        out.push_back(FloatToStrGeneral(StrToFloat(text)));
    return out;
}

TEST(WorkerThreadTest, TheReadoutAgreesWithTheFirstThread)
{
    const std::vector<std::string> first = Results();
    std::vector<std::string> worker;
    std::thread([&worker] {
        if (ExtendedPrecision::StartAsAWindowsThread())
            worker = Results();
    }).join();
    if (worker.empty())
        GTEST_SKIP() << "no x87 unit";
    EXPECT_EQ(worker, first);
}

} // namespace
} // namespace qm
