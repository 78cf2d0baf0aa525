// The conversions give the same results on a worker thread as on the program's first thread: the
// gathering and the exports convert fixes on threads of their own, and a new thread may start with
// a different floating-point environment (32-bit Windows and MinGW threads start the x87 unit at
// 53-bit precision, the first thread at 64).
#include "extended_precision.h"
#include "field_value.h"
#include "position.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

// What the conversions make of a few texts whose last digits need extended precision: the readout's
// six fields of fixes of up to 14 minute decimals, and numbers read and written as general text.
std::vector<std::string> Results()
{
    std::vector<std::string> out;
    const char* fixes[][2] = {{"5645.0993", "03712.1697"},
                              {"5645.09931234567891", "03712.16971234567891"},
                              {"0001.99999999999999", "17959.99999999999999"},
                              {"8959.12345678901234", "00000.00000000000001"}};
    for (const auto& fix : fixes) {
        PositionFields fields;
        ReadPosition(FixCells{"N", fix[0], "W", fix[1]}, fields);
        for (const std::string* text : {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon, &fields.edtLon2,
                                        &fields.lod})
            out.push_back(*text);
    }
    for (const char* text : {"0.1", "2.5000000000000000001", "123456789.123456789", "1E-20", "0.333333333333333333333"}) {
        const long double value = StrToFloat(text);
        out.push_back(FloatToStrGeneral(value));
        unsigned char bytes[sizeof value] = {};
        std::memcpy(bytes, &value, 10 < sizeof value ? 10 : sizeof value);
        out.emplace_back(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    return out;
}

TEST(WorkerThreadTest, ConversionsAgreeWithTheFirstThread)
{
    const std::vector<std::string> first = Results();
    // A worker as the Windows API starts one, where there is an x87 unit; else a plain one.
    for (const bool asWindows : {false, true}) {
        std::vector<std::string> worker;
        std::thread([&worker, asWindows] {
            if (asWindows && !ExtendedPrecision::StartAsAWindowsThread())
                return;
            worker = Results();
        }).join();
        if (worker.empty())
            continue;
        ASSERT_EQ(worker.size(), first.size());
        for (std::size_t i = 0; i < first.size(); ++i)
            EXPECT_EQ(worker[i], first[i]) << i << (asWindows ? " as a Windows thread" : "");
    }
}

} // namespace
} // namespace qm
