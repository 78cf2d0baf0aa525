// Gathering placed readings: which rows are placed, which are left out, and files that fail.
#include "placed_readings.h"

#include "field_value.h"
#include "position.h"
#include "site_helpers.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <future>
#include <random>
#include <thread>

namespace qm::site {
namespace {

using test::SiteScratch;

constexpr char kMixed[] =
    "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n"
    "L1,52395.02,10:00:00,N,5645.0993,E,03712.1697\r\n" // placed
    "L2,52396,10:00:01,?,5645.0993,E,03712.1697\r\n"    // no fix
    "L3,52397,10:00:02,0,,,\r\n"                        // no fix
    "L4,5x,10:00:03,N,5645.0993,E,03712.1697\r\n"       // reading does not convert
    "L5,52398,10:00:04,N,56ab.0993,E,03712.1697\r\n"    // position does not convert
    "L6,52399\r\n"                                      // no fix cells at all
    "L7,-7.5,10:00:06,S,3348.4520,W,11821.1430\r\n"    // placed, southern and western
    "L8,52400,10:00:07,N,9945.0000,E,03712.1697\r\n"  // beyond the pole: not on the globe
    "\r\n";                                           // a blank line: no reading

using GatherTest = SiteScratch;

TEST_F(GatherTest, PlacesRowsWithAFixAndCountsTheRest)
{
    const std::string mixed = Write("mixed.csv", kMixed);
    const std::string missing = (dir_ / "missing.csv").string();
    const std::string semicolon =
        Write("semi.csv", "Label;Field nT;Time;NS;Latitude;EW;Longitude\n"
                          "P1;48000.125;10:00:00;N;5645.0993;E;03712.1697\n");
    const std::vector<std::string> files{mixed, missing, semicolon};

    std::vector<std::size_t> progress;
    const PlacedReadings placed = GatherReadings(files, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 3u);
        progress.push_back(done);
        return true;
    });

    EXPECT_EQ(placed.files, files);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed.file, (std::vector<std::uint32_t>{0, 0, 2}));
    EXPECT_EQ(placed.row, (std::vector<std::uint32_t>{1, 7, 1}));
    // The readout's decimal texts read back: "56.751655" and "37.2028283333333".
    EXPECT_EQ(placed.lat[0], 56.751655);
    EXPECT_EQ(placed.lon[0], 37.2028283333333);
    EXPECT_LT(placed.lat[1], 0);
    EXPECT_LT(placed.lon[1], 0);
    // Readings are not rounded.
    EXPECT_EQ(placed.value, (std::vector<double>{52395.02, -7.5, 48000.125}));
    EXPECT_EQ(placed.withoutPosition, 6u);
    ASSERT_EQ(placed.failures.size(), 1u);
    EXPECT_EQ(placed.failures[0].file, missing);
    EXPECT_EQ(placed.failures[0].message, "File cannot be opened");
    EXPECT_EQ(progress, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_LE(placed.MemoryUsage(), 40 * placed.size() + 3 * 256);

    // Gathered by two threads, one from each end of the list, and joined: the same readings, file
    // indices and failures in list order included. Each thread is held until the other has
    // gathered a file, so that both take part.
    std::vector<std::string> twice = files;
    twice.insert(twice.end(), files.begin(), files.end());
    SharedGathering gathering(twice, 2);
    std::promise<void> backStarted;
    std::promise<void> frontStarted;
    PlacedReadings back;
    std::thread backThread([&] {
        back = gathering.GatherBack([&](std::size_t done, std::size_t) {
            if (done == 1) {
                backStarted.set_value();
                frontStarted.get_future().wait();
            }
            return true;
        });
    });
    PlacedReadings front = gathering.GatherFront([&](std::size_t done, std::size_t) {
        if (done == 0)
            backStarted.get_future().wait();
        if (done == 1)
            frontStarted.set_value();
        return true;
    });
    backThread.join();
    EXPECT_GT(front.size(), 0u);
    EXPECT_GT(back.size(), 0u);
    std::vector<PlacedReadings> backs;
    backs.push_back(std::move(back));
    const PlacedReadings joined = gathering.Join(std::move(front), std::move(backs));
    const PlacedReadings alone = GatherReadings(twice);
    EXPECT_EQ(joined.files, twice);
    EXPECT_EQ(joined.file, alone.file);
    EXPECT_EQ(joined.row, alone.row);
    EXPECT_EQ(joined.lat, alone.lat);
    EXPECT_EQ(joined.lon, alone.lon);
    EXPECT_EQ(joined.value, alone.value);
    EXPECT_EQ(joined.withoutPosition, 2 * placed.withoutPosition);
    ASSERT_EQ(joined.failures.size(), 2u);
    EXPECT_EQ(joined.failures[0].file, missing);
    EXPECT_EQ(joined.failures[1].file, missing);
    EXPECT_LE(joined.MemoryUsage(), 40 * joined.size() + 6 * 256);
}

TEST_F(GatherTest, ReadsDotReadingsUnderACommaLocaleAndStopsWhenCancelled)
{
    const std::string mixed = Write("mixed.csv", kMixed);
    SetDecimalSeparator(',');
    const PlacedReadings placed = GatherReadings({mixed});
    SetDecimalSeparator('.');
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed.value[0], 52395.02);
    EXPECT_EQ(placed.lat[0], 56.751655);

    EXPECT_THROW(GatherReadings({mixed, mixed}, [](std::size_t done, std::size_t) { return done < 1; }), Cancelled);
    const PlacedReadings none = GatherReadings({});
    EXPECT_EQ(none.size(), 0u);
    EXPECT_TRUE(none.failures.empty());
}

// The direct path must give bit for bit what the readout's decimal text and the reading conversion
// give: every minute fraction of a few degrees, and random fixes and readings.
TEST(FastPathTest, AgreesWithTheReadoutAndTheReadingConversion)
{
    const auto readout = [](const std::string& lat, const std::string& lon, const char* ns, const char* ew) {
        PositionFields fields;
        ReadPosition(FixCells{ns, lat, ew, lon}, fields);
        double degrees[2] = {};
        std::from_chars(fields.lad.data(), fields.lad.data() + fields.lad.size(), degrees[0]);
        std::from_chars(fields.lod.data(), fields.lod.data() + fields.lod.size(), degrees[1]);
        return std::pair{degrees[0], degrees[1]};
    };
    std::mt19937 random(7);
    char lat[16];
    char lon[16];
    for (int i = 0; i < 40000; ++i) {
        const int fraction = i < 10000 ? i : static_cast<int>(random() % 10000);
        const int minutes = i < 10000 ? 45 : static_cast<int>(random() % 60);
        std::snprintf(lat, sizeof lat, "%02d%02d.%04d", i < 10000 ? 0 : static_cast<int>(random() % 90), minutes, fraction);
        std::snprintf(lon, sizeof lon, "%03d%02d.%04d", i < 10000 ? 37 : static_cast<int>(random() % 180), minutes,
                      (fraction * 7919) % 10000);
        const bool south = i % 3 == 0;
        const bool west = i % 2 == 0;
        const auto [expectedLat, expectedLon] = readout(lat, lon, south ? "S" : "N", west ? "W" : "E");
        double fastLat = 1;
        double fastLon = 1;
        ASSERT_TRUE(detail::FastDecimalDegrees(lat, 2, south, fastLat));
        ASSERT_TRUE(detail::FastDecimalDegrees(lon, 3, west, fastLon));
        ASSERT_EQ(fastLat, expectedLat) << lat;
        ASSERT_EQ(fastLon, expectedLon) << lon;
        ASSERT_EQ(std::signbit(fastLon), std::signbit(expectedLon)) << lon;

        char reading[32];
        std::snprintf(reading, sizeof reading, "%.*f", static_cast<int>(random() % 6),
                      (static_cast<double>(random()) - 2147483648.0) / static_cast<double>(1 + random() % 100000));
        double fast = 0;
        ASSERT_TRUE(detail::FastReading(reading, '.', fast));
        ASSERT_EQ(fast, static_cast<double>(StrToFloat(reading))) << reading;
    }
    // Other forms are left to the general way.
    double unused = 0;
    EXPECT_FALSE(detail::FastDecimalDegrees("3348.452", 2, false, unused));
    EXPECT_FALSE(detail::FastDecimalDegrees("56 5.0993", 2, false, unused));
    EXPECT_FALSE(detail::FastReading("1E3", '.', unused));
    EXPECT_FALSE(detail::FastReading("1.2.3", '.', unused));
    EXPECT_FALSE(detail::FastReading("1234567890123456", '.', unused));
}

TEST_F(GatherTest, RepeatedCoordinateTextsKeepTheirOwnValues)
{
    // Texts converted before are looked up: the same digits in the other hemisphere, as the other
    // coordinate, or at a distance that shares their place in the look-up must still read as their own.
    const char* const rows[][4] = {
        {"N", "5645.0993", "E", "03712.1697"}, {"S", "5645.0993", "W", "03712.1697"},
        {"N", "5651.6529", "E", "03712.1697"}, {"N", "3712.1697", "E", "05645.0993"},
        {"N", "5645.0993", "E", "03712.1697"}, {"S", "5651.6529", "E", "05651.6529"},
        {"N", "5645.0993", "W", "03712.1697"},
    };
    std::string text = "Label,Field nT,Time,NS,Latitude,EW,Longitude\n";
    for (const auto& row : rows)
        text += std::string("R,1,10:00:00,") + row[0] + "," + row[1] + "," + row[2] + "," + row[3] + "\n";
    const PlacedReadings placed = GatherReadings({Write("repeat.csv", text)});
    ASSERT_EQ(placed.size(), std::size(rows));
    for (std::size_t k = 0; k < std::size(rows); ++k) {
        double lat = 0;
        double lon = 0;
        ASSERT_TRUE(detail::FastDecimalDegrees(rows[k][1], 2, rows[k][0][0] == 'S', lat));
        ASSERT_TRUE(detail::FastDecimalDegrees(rows[k][3], 3, rows[k][2][0] == 'W', lon));
        EXPECT_EQ(placed.lat[k], lat) << k;
        EXPECT_EQ(placed.lon[k], lon) << k;
    }
}

TEST_F(GatherTest, AFileReadsTheSameWhateverCameBeforeIt)
{
    // A heading with no delimiter: its split falls back to the delimiter settled before, which must
    // not depend on the files gathered before it in the same pass.
    const std::string semicolon =
        Write("semi.csv", "Label;Field nT;Time;NS;Latitude;EW;Longitude\n"
                          "P1;48000;10:00:00;N;5645.0993;E;03712.1697\n");
    const std::string bare = Write("bare.csv", "Survey\nQ1;48001;10:00:01;N;5645.0993;E;03712.1697\n");
    const PlacedReadings alone = GatherReadings({bare});
    const PlacedReadings after = GatherReadings({semicolon, bare});
    EXPECT_EQ(after.size(), 1u + alone.size());
    EXPECT_EQ(after.withoutPosition, alone.withoutPosition);
}

} // namespace
} // namespace qm::site
