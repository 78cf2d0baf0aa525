// The gathering of placed readings over a list of survey files written to disk (one may be missing).
// GatherReadings, ForEachPlacedRow and a SharedGathering by 1, 2 and 3 threads joined must all give
// what a plain reading gives: each file loaded into a fresh SurveyTable, and each data row read by
// the reading conversion and the position readout of the survey core, in list and row order.
//
// Input: one option byte (bit 0: "," as the decimal separator; bit 1: a missing file in the list,
// placed by bits 2-4), then the files separated by kFileSeparator.
#include "fuzz_check.h"

#include "errors.h"
#include "field_value.h"
#include "placed_readings.h"
#include "position.h"
#include "survey_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using qm::site::PlacedReadings;

constexpr std::string_view kFileSeparator = "<<next-file>>";
constexpr std::size_t kMaxFiles = 8;

const std::filesystem::path& TempFolder()
{
    static const std::filesystem::path folder = [] {
        std::random_device random;
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("qm-fuzz-gathering-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// ---- The plain reading ----

bool Degrees(const std::string& text, double limit, double& degrees)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, degrees);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(degrees) && std::fabs(degrees) <= limit;
}

// Row r of the table placed: the reading of column 1 and the readout's decimal degrees.
bool PlaceRow(const qm::SurveyTable& table, int r, double& value, double& lon, double& lat)
{
    try {
        std::string reading(table.Cell(r, 1));
        std::replace(reading.begin(), reading.end(), '.', qm::DecimalSeparator());
        long double number = 0;
        if (!qm::TryStrToFloat(reading, number) || !std::isfinite(static_cast<double>(number)))
            return false;
        value = static_cast<double>(number);
        qm::PositionFields fields;
        qm::ReadPosition(table, r, fields);
        return Degrees(fields.lad, 90, lat) && Degrees(fields.lod, 180, lon);
    } catch (const qm::Error&) {
        return false;
    }
}

// An earlier export of placed readings among the surveys: its header starts with these six cells.
bool IsReadingsExport(const qm::SurveyTable& table)
{
    constexpr std::string_view kHeader[] = {"row", "label", "value", "lat", "lon"};
    if (table.RowCount() < 1 || table.CellCount(0) < 5 || table.RowCaption(0) != "file")
        return false;
    for (int c = 1; c <= 5; ++c)
        if (table.Cell(0, c) != kHeader[c - 1])
            return false;
    return true;
}

PlacedReadings ModelGathering(const std::vector<std::filesystem::path>& files)
{
    PlacedReadings model;
    for (const std::filesystem::path& file : files)
        model.files.push_back(file);
    for (std::size_t f = 0; f < files.size(); ++f) {
        qm::SurveyTable table;
        try {
            table.LoadFromCsv(files[f]);
        } catch (const qm::Error& e) {
            model.failures.push_back({files[f], e.what()});
            continue;
        }
        if (IsReadingsExport(table)) {
            model.failures.push_back({files[f], "An export of placed readings, not a survey file"});
            continue;
        }
        for (int r = 1; r < table.RowCount(); ++r) {
            if (table.CellCount(r) == 0 && table.RowCaption(r).empty())
                continue; // an empty line
            double value = 0;
            double lon = 0;
            double lat = 0;
            if (!PlaceRow(table, r, value, lon, lat)) {
                ++model.withoutPosition;
                continue;
            }
            model.lon.push_back(lon);
            model.lat.push_back(lat);
            model.value.push_back(value);
            model.file.push_back(static_cast<std::uint32_t>(f));
            model.row.push_back(static_cast<std::uint32_t>(r));
        }
    }
    return model;
}

// ---- Checks ----

// Bit for bit: the same doubles, "-0" apart from "0".
bool SameDoubles(const std::vector<double>& a, const std::vector<double>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; });
}

void CheckSame(const PlacedReadings& got, const PlacedReadings& want, const char* what)
{
    bool same = got.files == want.files && got.withoutPosition == want.withoutPosition &&
                got.file == want.file && got.row == want.row && SameDoubles(got.value, want.value) &&
                SameDoubles(got.lon, want.lon) && SameDoubles(got.lat, want.lat) &&
                got.failures.size() == want.failures.size();
    for (std::size_t k = 0; same && k < want.failures.size(); ++k)
        same = got.failures[k].file == want.failures[k].file && got.failures[k].message == want.failures[k].message;
    if (same)
        return;
    std::fprintf(stderr, "%s: %zu readings, %llu without position, %zu failures; the model %zu, %llu, %zu\n", what,
                 got.size(), static_cast<unsigned long long>(got.withoutPosition), got.failures.size(), want.size(),
                 static_cast<unsigned long long>(want.withoutPosition), want.failures.size());
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
        if (got.file[i] != want.file[i] || got.row[i] != want.row[i] || got.value[i] != want.value[i] ||
            got.lon[i] != want.lon[i] || got.lat[i] != want.lat[i]) {
            std::fprintf(stderr, "first difference at %zu: file %u row %u (%.17g, %.17g) %.17g; the model file %u row %u (%.17g, %.17g) %.17g\n",
                         i, got.file[i], got.row[i], got.lon[i], got.lat[i], got.value[i], want.file[i], want.row[i],
                         want.lon[i], want.lat[i], want.value[i]);
            break;
        }
    }
    QM_FUZZ_CHECK(false);
}

PlacedReadings Shared(const std::vector<std::filesystem::path>& files, std::size_t threads)
{
    qm::site::SharedGathering gathering(files, threads);
    std::vector<PlacedReadings> backs(threads - 1);
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t + 1 < threads; ++t)
        workers.emplace_back([&gathering, &backs, t] { backs[t] = gathering.GatherBack(); });
    PlacedReadings front = gathering.GatherFront();
    for (std::thread& worker : workers)
        worker.join();
    return gathering.Join(std::move(front), std::move(backs));
}

PlacedReadings ByRow(const std::vector<std::filesystem::path>& files)
{
    PlacedReadings placed;
    placed.files = files;
    const qm::site::GatherCounts counts = qm::site::ForEachPlacedRow(files, [&placed](const qm::site::PlacedRow& row) {
        placed.lon.push_back(row.lon);
        placed.lat.push_back(row.lat);
        placed.value.push_back(row.value);
        placed.file.push_back(row.file);
        placed.row.push_back(row.row);
    });
    placed.withoutPosition = counts.withoutPosition;
    placed.failures = counts.failures;
    return placed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    qm::SetDecimalSeparator((options & 1) != 0 ? ',' : '.');
    std::string_view rest = in.RestText();
    std::vector<std::filesystem::path> files;
    for (bool more = true; more && files.size() < kMaxFiles;) {
        const std::size_t at = rest.find(kFileSeparator);
        more = at != std::string_view::npos;
        const std::string_view bytes = rest.substr(0, at);
        rest.remove_prefix(more ? at + kFileSeparator.size() : rest.size());
        const std::filesystem::path path = TempFolder() / ("f" + std::to_string(files.size()) + ".csv");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        QM_FUZZ_CHECK(out.good());
        files.push_back(path);
    }
    if ((options & 2) != 0) {
        const std::size_t at = std::min<std::size_t>(options >> 2 & 7, files.size());
        files.insert(files.begin() + static_cast<std::ptrdiff_t>(at), (TempFolder() / "missing.csv").string());
    }

    const PlacedReadings model = ModelGathering(files);
    CheckSame(qm::site::GatherReadings(files), model, "GatherReadings");
    CheckSame(ByRow(files), model, "ForEachPlacedRow");
    for (std::size_t threads = 1; threads <= 3; ++threads)
        CheckSame(Shared(files, threads), model, threads == 1 ? "1 thread" : threads == 2 ? "2 threads" : "3 threads");
    return 0;
}
