// Gathering placed readings: which rows are placed, which are left out, and files that fail.
#include "fix_numbers.h"
#include "placed_readings.h"

#include "extended_precision.h"
#include "field_value.h"
#include "file_io.h"
#include "position.h"
#include "site_helpers.h"
#include "survey_table.h"
#include "task_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
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

// The files of gathered readings as text, byte for byte as the system names them.
std::vector<std::string> FileNames(const std::vector<std::filesystem::path>& files)
{
    std::vector<std::string> names;
    for (const std::filesystem::path& file : files)
        names.push_back(Utf8Of(file));
    return names;
}

TEST_F(GatherTest, PlacesRowsWithAFixAndCountsTheRest)
{
    const std::string mixed = Write("mixed.csv", kMixed);
    const std::string missing = (dir_ / "missing.csv").string();
    const std::string semicolon =
        Write("semi.csv", "Label;Field nT;Time;NS;Latitude;EW;Longitude\n"
                          "P1;48000.125;10:00:00;N;5645.0993;E;03712.1697\n");
    const std::vector<std::string> names{mixed, missing, semicolon};
    const std::vector<std::filesystem::path> files(names.begin(), names.end());

    std::vector<std::size_t> progress;
    const PlacedReadings placed = GatherReadings(files, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 3u);
        progress.push_back(done);
        return true;
    });

    EXPECT_EQ(FileNames(placed.files), names);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed.file.ByReading(), (std::vector<std::uint32_t>{0, 0, 2}));
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
    // Each file's path holds its parts beside its text: a few hundred bytes with libstdc++, twice
    // that in Windows' wide characters.
    EXPECT_LE(placed.MemoryUsage(), 40 * placed.size() + 3 * 1024);
    // The names are counted with the arrays.
    std::size_t nameBytes = 0;
    for (const std::string& name : names)
        nameBytes += name.size();
    EXPECT_GE(placed.MemoryUsage(), 32 * placed.size() + nameBytes);

    // Gathered by two threads, one from each end of the list, and joined: the same readings, file
    // indices and failures in list order included. Each thread is held until the other has
    // gathered a file, so that both take part.
    std::vector<std::filesystem::path> twice = files;
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
    std::vector<std::string> namesTwice = names;
    namesTwice.insert(namesTwice.end(), names.begin(), names.end());
    EXPECT_EQ(FileNames(joined.files), namesTwice);
    EXPECT_EQ(joined.file, alone.file);
    EXPECT_EQ(joined.row, alone.row);
    EXPECT_EQ(joined.lat, alone.lat);
    EXPECT_EQ(joined.lon, alone.lon);
    EXPECT_EQ(joined.value, alone.value);
    EXPECT_EQ(joined.withoutPosition, 2 * placed.withoutPosition);
    ASSERT_EQ(joined.failures.size(), 2u);
    EXPECT_EQ(joined.failures[0].file, missing);
    EXPECT_EQ(joined.failures[1].file, missing);
    EXPECT_LE(joined.MemoryUsage(), 40 * joined.size() + 6 * 1024);
}

// On one, two or three threads, the same readings and failures in list order; a stop seen by one
// part is told as Cancelled, whichever part saw it.
TEST_F(GatherTest, GatheringInPartsGivesTheListInOrderAndTellsAStop)
{
    std::vector<std::filesystem::path> files;
    for (int f = 0; f < 7; ++f)
        files.push_back(f == 3 ? dir_ / "missing.csv" : std::filesystem::path(Write("p" + std::to_string(f) + ".csv", kMixed)));
    const PlacedReadings alone = GatherReadings(files);
    for (std::size_t threads = 1; threads <= 3; ++threads) {
        const PlacedReadings parts = GatherReadingsInParts(files, threads);
        EXPECT_EQ(parts.file, alone.file) << threads;
        EXPECT_EQ(parts.row, alone.row) << threads;
        EXPECT_EQ(parts.value, alone.value) << threads;
        EXPECT_EQ(parts.files, alone.files) << threads;
        ASSERT_EQ(parts.failures.size(), 1u) << threads;
        EXPECT_EQ(parts.failures[0].file, alone.failures[0].file) << threads;
        EXPECT_EQ(parts.withoutPosition, alone.withoutPosition) << threads;
    }
    std::atomic<int> calls{0};
    EXPECT_THROW(GatherReadingsInParts(files, 3, [&calls](std::size_t, std::size_t) { return ++calls < 3; }), Cancelled);
}

TEST(TaskRunnerTest, RunsEveryTaskAndThrowsTheFirstFailureInTaskOrder)
{
    std::vector<std::atomic<int>> ran(4);
    try {
        RunTasks(4, [&ran](std::size_t t) {
            ++ran[t];
            if (t >= 2)
                throw static_cast<int>(t);
        });
        ADD_FAILURE() << "nothing thrown";
    } catch (int t) {
        EXPECT_EQ(t, 2);
    }
    for (const std::atomic<int>& count : ran)
        EXPECT_EQ(count, 1);
}

// The arrays are sized ahead from the files' sizes with room to spare; what a gathering gives,
// alone or joined, holds exactly its readings.
// The file index kept by runs must answer as the plain array of one index a reading would, for
// any order of files, after any cut.
TEST(ReadingFilesTest, AnswersAsOneIndexAReadingWould)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<std::uint32_t> plain;
        const int runs = static_cast<int>(random() % 6);
        for (int r = 0; r < runs; ++r)
            plain.insert(plain.end(), random() % 4, static_cast<std::uint32_t>(random() % 3));
        ReadingFiles files(plain);
        ASSERT_EQ(files.size(), plain.size());
        ASSERT_EQ(files.ByReading(), plain);
        for (std::size_t i = 0; i < plain.size(); ++i)
            ASSERT_EQ(files[i], plain[i]) << trial << " " << i;
        EXPECT_THROW(files[plain.size()], std::out_of_range);
        for (std::size_t r = 1; r < files.Runs().size(); ++r)
            ASSERT_NE(files.Runs()[r].file, files.Runs()[r - 1].file); // adjacent runs merged
        // A cut, then more readings, equals the same readings made at once.
        const std::size_t cut = plain.empty() ? 0 : random() % (plain.size() + 1);
        files.Truncate(cut);
        plain.resize(cut);
        files.Append(1, 2);
        plain.insert(plain.end(), 2, 1);
        ASSERT_EQ(files, ReadingFiles(plain)) << trial;
    }
    // In file order, a file's range; a file without readings gives the empty range where it would lie.
    const ReadingFiles ordered(std::vector<std::uint32_t>{0, 0, 2, 2, 2, 5});
    EXPECT_EQ(ordered.Range(0), (std::pair<std::size_t, std::size_t>{0, 2}));
    EXPECT_EQ(ordered.Range(2), (std::pair<std::size_t, std::size_t>{2, 5}));
    EXPECT_EQ(ordered.Range(1), (std::pair<std::size_t, std::size_t>{2, 2}));
    EXPECT_EQ(ordered.Range(9), (std::pair<std::size_t, std::size_t>{6, 6}));
}

// The join appends to the arrays of the part that reserved room for the whole list; the room left
// over stays within a sixteenth, also when the files ahead placed far fewer readings than their
// bytes promised (there it copies into arrays of exactly their size).
TEST_F(GatherTest, GatheredArraysHoldTheirReadingsWithLittleRoomToSpare)
{
    const auto file = [this](const std::string& name, const char* fix) {
        std::string text = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
        for (int r = 0; r < 200; ++r)
            text += 'P' + std::to_string(1000 + r) + ",50000.5,10:00," + fix + "\r\n";
        return Write(name, text);
    };
    for (const int placing : {8, 4}) {
        std::vector<std::filesystem::path> files;
        for (int f = 0; f < 8; ++f)
            files.push_back(file("f" + std::to_string(placing) + "_" + std::to_string(f) + ".csv",
                                 f < placing ? "N,5645.0993,E,03712.1697" : "?,,?,"));
        const std::size_t readings = 200u * static_cast<std::size_t>(placing);
        const auto expectTight = [readings](const PlacedReadings& placed) {
            EXPECT_EQ(placed.size(), readings);
            for (const std::size_t capacity : {placed.lon.capacity(), placed.lat.capacity(), placed.value.capacity(),
                                               placed.row.capacity()}) {
                EXPECT_GE(capacity, readings);
                EXPECT_LE(capacity, readings + readings / 16);
            }
        };
        const PlacedReadings alone = GatherReadings(files);
        expectTight(alone);
        EXPECT_EQ(alone.file.Runs().size(), static_cast<std::size_t>(placing)); // one run a file
        // All files taken by the front, then all by the back.
        for (const bool frontFirst : {true, false}) {
            SharedGathering gathering(files, 2);
            std::vector<PlacedReadings> backs(1);
            PlacedReadings front;
            if (frontFirst)
                front = gathering.GatherFront();
            backs[0] = gathering.GatherBack();
            if (!frontFirst)
                front = gathering.GatherFront();
            const PlacedReadings joined = gathering.Join(std::move(front), std::move(backs));
            expectTight(joined);
            EXPECT_EQ(joined.file, alone.file);
            EXPECT_EQ(joined.row, alone.row);
            EXPECT_EQ(joined.lon, alone.lon);
        }
    }
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

#ifndef _WIN32
// A name that is no UTF-8 (Latin-1 bytes) is kept byte for byte: gathered, named, and found again
// for a second pass over the same list.
TEST_F(GatherTest, ANameOfAnyBytesIsFoundAgainForASecondPass)
{
    const std::string latin1 = Write("caf\xE9 line.csv", kMixed);
    const PlacedReadings placed = GatherReadings({latin1});
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_TRUE(placed.failures.empty());
    EXPECT_EQ(FileNames(placed.files), std::vector<std::string>{latin1});
    std::vector<std::uint32_t> rows;
    const GatherCounts again =
        ForEachPlacedRow(placed.files, [&rows](const PlacedRow& row) { rows.push_back(row.row); });
    EXPECT_TRUE(again.failures.empty());
    EXPECT_EQ(rows, placed.row);
}
#endif

// The readout's decimal degrees of a fix, its decimal texts read back.
std::pair<double, double> Readout(const std::string& lat, const std::string& lon, bool south, bool west)
{
    PositionFields fields;
    ReadPosition(FixCells{south ? "S" : "N", lat, west ? "W" : "E", lon}, fields);
    double degrees[2] = {};
    std::from_chars(fields.lad.data(), fields.lad.data() + fields.lad.size(), degrees[0]);
    std::from_chars(fields.lod.data(), fields.lod.data() + fields.lod.size(), degrees[1]);
    return {degrees[0], degrees[1]};
}

// A coordinate text of `degreeDigits` degree digits and `decimals` minute decimals after `point`,
// its digits random, or now and then all 0 or all 9 (the ends of every range).
std::string CoordinateText(std::mt19937_64& random, int degreeDigits, int decimals, char point)
{
    const int kind = static_cast<int>(random() % 8);
    const auto digit = [&](int limit) {
        return static_cast<char>('0' + (kind == 0 ? 0 : kind == 1 ? limit - 1 : static_cast<int>(random() % limit)));
    };
    std::string text;
    for (int k = 0; k < degreeDigits; ++k)
        text += digit(k == 0 && degreeDigits == 3 ? 2 : 10);
    text += digit(6);
    text += digit(10);
    text += point;
    for (int k = 0; k < decimals; ++k)
        text += digit(10);
    return text;
}

// The direct path must give bit for bit what the readout's decimal text gives, under either decimal
// separator of the process: every four-decimal minute fraction of a few degrees, then random fixes
// of 0 to 21 minute decimals, mostly 3 to 8, after "." or ",", in all four quarters of the globe.
TEST(FastPathTest, AgreesWithTheReadoutForAnyCountOfMinuteDecimals)
{
    char lat[16];
    char lon[16];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(lat, sizeof lat, "0045.%04d", i);
        std::snprintf(lon, sizeof lon, "03745.%04d", (i * 7919) % 10000);
        const auto [expectedLat, expectedLon] = Readout(lat, lon, i % 3 == 0, i % 2 == 0);
        double fastLat = 1;
        double fastLon = 1;
        ASSERT_TRUE(detail::FastDecimalDegrees(lat, 2, i % 3 == 0, fastLat));
        ASSERT_TRUE(detail::FastDecimalDegrees(lon, 3, i % 2 == 0, fastLon));
        ASSERT_EQ(fastLat, expectedLat) << lat;
        ASSERT_EQ(fastLon, expectedLon) << lon;
    }
    constexpr int kMostDecimals = LDBL_MANT_DIG >= 64 ? 21 : 17;
    std::mt19937_64 random(7);
    for (const char separator : {'.', ','}) {
        SetDecimalSeparator(separator);
        for (int i = 0; i < 40000; ++i) {
            const int decimals = i % 10 == 9 ? static_cast<int>(random() % 23) : 3 + static_cast<int>(random() % 6);
            const char point = random() % 4 == 0 ? ',' : '.';
            const bool south = random() % 2 == 0;
            const bool west = random() % 2 == 0;
            const std::string latText = CoordinateText(random, 2, decimals, point);
            const std::string lonText = CoordinateText(random, 3, decimals, point);
            double fastLat = 1;
            double fastLon = 1;
            const bool direct = (point == '.' || decimals >= 4) && decimals <= kMostDecimals;
            ASSERT_EQ(detail::FastDecimalDegrees(latText, 2, south, fastLat), direct) << latText;
            ASSERT_EQ(detail::FastDecimalDegrees(lonText, 3, west, fastLon), direct) << lonText;
            if (!direct)
                continue;
            const auto [expectedLat, expectedLon] = Readout(latText, lonText, south, west);
            ASSERT_EQ(fastLat, expectedLat) << latText << " under " << separator;
            ASSERT_EQ(fastLon, expectedLon) << lonText << " under " << separator;
            ASSERT_EQ(std::signbit(fastLon), std::signbit(expectedLon)) << lonText;
        }
    }
    SetDecimalSeparator('.');
    // Where the leading digit moves: degrees just under a power of ten with minutes past 60 (the
    // text allows 99), and the small values near the equator or the prime meridian.
    for (const char* degrees : {"00", "01", "08", "09", "10", "89", "99", "000", "009", "099", "100", "179", "999"}) {
        for (const char* minutes : {"00.", "00.0", "00.000001", "00.0001666", "00.00000016", "01.5", "59.999999",
                                    "60.000000", "60.0000001", "99.999999", "99.99999999", "03.333333"}) {
            const std::string text = std::string(degrees) + minutes;
            const bool lon = std::strlen(degrees) == 3;
            double fast = 1;
            ASSERT_TRUE(detail::FastDecimalDegrees(text, lon ? 3 : 2, true, fast)) << text;
            const auto [expectedLat, expectedLon] =
                lon ? Readout("0000.0", text, false, true) : Readout(text, "00000.0", true, false);
            ASSERT_EQ(fast, lon ? expectedLon : expectedLat) << text;
            ASSERT_EQ(std::signbit(fast), std::signbit(lon ? expectedLon : expectedLat)) << text;
        }
    }
    // Other forms are left to the general way.
    double unused = 0;
    EXPECT_FALSE(detail::FastDecimalDegrees("56 5.0993", 2, false, unused));
    EXPECT_FALSE(detail::FastDecimalDegrees("5645.0993 ", 2, false, unused));
    EXPECT_FALSE(detail::FastDecimalDegrees("5645.09-3", 2, false, unused));
    EXPECT_FALSE(detail::FastDecimalDegrees("564.50993", 2, false, unused));
    EXPECT_FALSE(detail::FastDecimalDegrees("", 3, false, unused));
}

// Likewise for the readings: random plain decimals against the reading conversion.
TEST(FastPathTest, AgreesWithTheReadingConversion)
{
    std::mt19937 random(7);
    for (int i = 0; i < 40000; ++i) {
        char reading[32];
        std::snprintf(reading, sizeof reading, "%.*f", static_cast<int>(random() % 6),
                      (static_cast<double>(random()) - 2147483648.0) / static_cast<double>(1 + random() % 100000));
        double fast = 0;
        ASSERT_TRUE(detail::FastReading(reading, '.', fast));
        ASSERT_EQ(fast, static_cast<double>(StrToFloat(reading))) << reading;
    }
    double unused = 0;
    EXPECT_FALSE(detail::FastReading("1E3", '.', unused));
    EXPECT_FALSE(detail::FastReading("1.2.3", '.', unused));
    EXPECT_FALSE(detail::FastReading("1234567890123456", '.', unused));
}

// A worker thread as the Windows API starts one (its x87 unit at 53 bits) places every reading as
// the first thread does: fixes of 3 to 14 minute decimals, readings of up to 15 digits.
TEST_F(GatherTest, AWorkerStartedAsByWindowsPlacesAsTheFirstThread)
{
    std::mt19937_64 random(11);
    std::string text = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
    for (int i = 0; i < 3000; ++i) {
        const int decimals = 3 + static_cast<int>(random() % 12);
        text += "P," + std::to_string(random() % 1000000) + "." + std::to_string(random() % 1000000000) + ",10:00," +
                (random() % 2 ? "N," : "S,") + CoordinateText(random, 2, decimals, '.') + (random() % 2 ? ",E," : ",W,") +
                CoordinateText(random, 3, decimals, '.') + "\r\n";
    }
    const std::vector<std::filesystem::path> files{Write("windows.csv", text)};
    const PlacedReadings first = GatherReadings(files);
    ASSERT_GT(first.size(), 1500u); // some of the texts are of forms no fix takes
    PlacedReadings worker;
    bool started = false;
    std::thread([&] {
        started = ExtendedPrecision::StartAsAWindowsThread();
        if (started)
            worker = GatherReadings(files);
    }).join();
    if (!started)
        GTEST_SKIP() << "no x87 unit";
    EXPECT_EQ(worker.lat, first.lat);
    EXPECT_EQ(worker.lon, first.lon);
    EXPECT_EQ(worker.value, first.value);
}

TEST_F(GatherTest, RepeatedCoordinateTextsKeepTheirOwnValues)
{
    // Texts converted before are looked up: the same digits in the other hemisphere, as the other
    // coordinate, with another count of decimals, or at a distance that shares their place in the
    // look-up must still read as their own; texts of any length read as the readout reads them.
    const char* const rows[][4] = {
        {"N", "5645.0993", "E", "03712.1697"},     {"S", "5645.0993", "W", "03712.1697"},
        {"N", "5651.6529", "E", "03712.1697"},     {"N", "3712.1697", "E", "05645.0993"},
        {"N", "5645.0993", "E", "03712.1697"},     {"S", "5651.6529", "E", "05651.6529"},
        {"N", "5645.0993", "W", "03712.1697"},     {"N", "5645.12", "E", "03712.169712"},
        {"N", "0056.4512", "E", "00371.2169712"},  {"S", "5645,099312", "W", "03712,1697"},
        {"N", "5645.099312", "E", "03712.16970"},  {"N", "5645.0993120000000000000001", "E", "03712,1"},
        {"N", "5645.0993120000000000000001", "W", "03712,1"},
    };
    std::string text = "Label;Field nT;Time;NS;Latitude;EW;Longitude\n";
    for (const auto& row : rows)
        text += std::string("R;1;10:00:00;") + row[0] + ";" + row[1] + ";" + row[2] + ";" + row[3] + "\n";
    const PlacedReadings placed = GatherReadings({Write("repeat.csv", text)});
    // The last row's longitude does not convert: the readout reads "1W" where "," is followed by
    // fewer than four decimals (the row before reads "1E" as a number).
    ASSERT_EQ(placed.size(), std::size(rows) - 1);
    EXPECT_EQ(placed.withoutPosition, 1u);
    for (std::size_t k = 0; k < placed.size(); ++k) {
        const auto [lat, lon] = Readout(rows[k][1], rows[k][3], rows[k][0][0] == 'S', rows[k][2][0] == 'W');
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

TEST_F(GatherTest, EarlierExportsAreNamedAndLeftOutNotPlacedAgain)
{
    const std::string survey = Write("line.csv", kMixed);
    const std::string plain = Write("site.csv", "file,row,label,value,lat,lon\nline.csv,1,L1,52395.02,56.75,37.2\n");
    const std::string processed =
        Write("clean.csv", "file,row,label,value,lat,lon,raw,spike\r\nline.csv,1,L1,,56.75,37.2,52395.02,0\r\n");
    const PlacedReadings readings = GatherReadings({survey, plain, processed});
    EXPECT_EQ(readings.size(), GatherReadings({survey}).size());
    ASSERT_EQ(readings.failures.size(), 2u);
    EXPECT_EQ(readings.failures[0].file, plain);
    EXPECT_EQ(readings.failures[0].message, "An export of placed readings, not a survey file");
    EXPECT_EQ(readings.failures[1].file, processed);
}

// The labels a hover reads again from where the gathering noted each block of rows are those the
// gathering saw, whichever part took the file and whatever its delimiter.
TEST_F(GatherTest, LabelsReadAgainFromTheNotedRowStartsAreTheGatheredOnes)
{
    std::vector<std::filesystem::path> files;
    for (int f = 0; f < 5; ++f) {
        const char d = f % 2 ? ';' : ',';
        std::string text = std::string("Label") + d + "Field" + d + "Time" + d + "NS" + d + "Lat" + d + "EW" + d + "Lon\r\n";
        for (int r = 1; r < 150 + 40 * f; ++r) {
            text += 'F';
            text += std::to_string(f) + "-" + std::to_string(r) + (r % 9 ? "" : " \xe9") + d + "5239" +
                    std::to_string(r % 10) + d + "10:00:00" + d + (r % 13 ? "N" : "?") + d + "5645.0993" + d + "E" + d +
                    "03712.1697" + (r % 5 ? "\r\n" : "\n");
        }
        files.push_back(f == 2 ? dir_ / "missing.csv" : std::filesystem::path(Write("l" + std::to_string(f) + ".csv", text)));
    }
    std::vector<std::string> seen;
    ForEachPlacedRow(files, [&seen](const PlacedRow& row) { seen.emplace_back(row.label); });
    const PlacedReadings readings = GatherReadingsInParts(files, 3);
    ASSERT_EQ(readings.size(), seen.size());
    ASSERT_GT(readings.size(), 500u);
    constexpr int kStep = SurveyTable::kRowStartStep;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const std::uint32_t f = readings.file[i];
        const int row = static_cast<int>(readings.row[i]);
        const std::vector<std::string> labels = ReadRowLabels(files[f], readings.rowStarts.at(f), row - row % kStep);
        ASSERT_LT(static_cast<std::size_t>(row % kStep), labels.size()) << i;
        ASSERT_EQ(labels[static_cast<std::size_t>(row % kStep)], seen[i]) << i;
    }
    EXPECT_TRUE(readings.rowStarts.at(2).starts.empty()); // the missing file
    EXPECT_LT(readings.RowStartsMemory(), readings.size());
    // A file written again since has its rows elsewhere: no label rather than a piece of a line.
    std::ofstream(files[1], std::ios::binary | std::ios::app) << "F1-extra;1;2;N;5645.0993;E;03712.1697\r\n";
    EXPECT_TRUE(ReadRowLabels(files[1], readings.rowStarts.at(1), 0).empty());
    EXPECT_FALSE(ReadRowLabels(files[3], readings.rowStarts.at(3), 0).empty());
}

TEST_F(GatherTest, TheJoinPutsFilesInListOrderWhicheverPartTookThem)
{
    std::vector<std::filesystem::path> files;
    for (int f = 0; f < 6; ++f)
        files.push_back(Write("line" + std::to_string(f) + ".csv",
                              "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n"
                              "P1," + std::to_string(50000 + f) + ",10:00,N,5645.0993,E,03712.1697\r\n"
                              "P2," + std::to_string(50100 + f) + ",10:01,N,5645.0994,E,03712.1698\r\n"));
    const PlacedReadings whole = GatherReadings(files);

    // A first back part takes the last file; while it is between files, a second takes all the
    // others from the back; the front finds none left. Joined in either order of the parts, the
    // readings are those of the list gathered in order.
    for (const bool reversed : {false, true}) {
        SharedGathering gathering(files, 3);
        PlacedReadings inner;
        bool nested = false;
        PlacedReadings outer = gathering.GatherBack([&](std::size_t done, std::size_t) {
            if (done == 1 && !nested) {
                nested = true;
                inner = gathering.GatherBack();
            }
            return true;
        });
        PlacedReadings front = gathering.GatherFront();
        ASSERT_EQ(outer.size(), 2u);
        ASSERT_EQ(front.size(), 0u);
        std::vector<PlacedReadings> backs;
        backs.push_back(reversed ? std::move(outer) : std::move(inner));
        backs.push_back(reversed ? std::move(inner) : std::move(outer));
        const PlacedReadings joined = gathering.Join(std::move(front), std::move(backs));
        EXPECT_EQ(joined.value, whole.value) << reversed;
        EXPECT_EQ(joined.file, whole.file) << reversed;
        EXPECT_EQ(joined.row, whole.row) << reversed;
    }
}

} // namespace
} // namespace qm::site
