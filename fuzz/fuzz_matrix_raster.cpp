// The matrix passes over files from the input, with the file list shrinking and the current table
// reloaded from inside the callbacks (as events run during a draw). Run twice on the same schedule,
// once taking the readings from a "profile" of the table just loaded and once converting the cells,
// the two draws must end the same way; a completed raster has the right size, a white column 0
// and only colours the rule can give.
//
// Input: contrast, balance (16 bits), a schedule of 16 bytes, then survey files separated by
// kFileSeparator.
#include "fuzz_check.h"

#include "errors.h"
#include "field_value.h"
#include "matrix_raster.h"
#include "survey_table.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kFileSeparator = "<<next-file>>";

struct Draw {
    std::vector<std::string_view> files;
    std::vector<std::uint8_t> schedule;
    int count = 0;
    std::size_t calls = 0;
    qm::SurveyTable table;
    std::vector<double> plotted; // the profile: readings of rows 1 and up, up to the first bad one
    int firstCount = -1;         // file count right after the first selection (step 1)

    std::uint8_t Next() { return calls < schedule.size() ? schedule[calls++] : 0; }
    void Load(int q)
    {
        table.Clear();
        table.LoadFromBytes(files[static_cast<std::size_t>(q)]);
        plotted.clear();
        for (int r = 1; r < table.RowCount(); ++r) {
            try {
                plotted.push_back(static_cast<double>(qm::FieldValue(table.Cell(r, 1))));
            } catch (const qm::Error&) {
                break;
            }
        }
    }
};

struct Outcome {
    int kind = 0; // 0 returned, 1 qm::Error
    std::string message;
    bool completed = false;
    std::uint16_t balance = 0;
    qm::Bitmap raster;
    int firstCount = -1;
};

Outcome Run(const std::vector<std::string_view>& files, const std::vector<std::uint8_t>& schedule,
            std::uint16_t balance, std::int32_t contrast, bool withReadings)
{
    Draw draw;
    draw.files = files;
    draw.schedule = schedule;
    draw.count = static_cast<int>(files.size());
    qm::MatrixSource source;
    source.fileCount = [&] { return draw.count; };
    source.select = [&](int q) -> const qm::SurveyTable* {
        const std::uint8_t op = draw.Next();
        if ((op & 3) == 1 && draw.count > 0)
            --draw.count; // the last file was deleted meanwhile
        if (draw.firstCount < 0)
            draw.firstCount = draw.count;
        if (q < 0 || q >= draw.count)
            return nullptr;
        draw.Load(q);
        return &draw.table;
    };
    source.balanceChanged = [&](std::uint16_t) {
        // Events run while the box shows the balance may reload the table with another file.
        const std::uint8_t op = draw.Next();
        if ((op & 3) == 2 && draw.count > 0)
            draw.Load(op % draw.count);
    };
    if (withReadings)
        source.readings = [&] { return std::span<const double>(draw.plotted); };

    Outcome out;
    out.balance = balance;
    try {
        out.raster = qm::BuildMatrixRaster(source, out.balance, contrast, out.completed);
    } catch (const qm::Error& e) {
        out.kind = 1;
        out.message = e.what();
    }
    out.firstCount = draw.firstCount;
    return out;
}

bool PenColour(std::uint32_t rgb)
{
    const std::uint32_t red = rgb >> 16 & 0xFF, green = rgb >> 8 & 0xFF, blue = rgb & 0xFF;
    if (green != 0)
        return false;
    return (red == 0 && blue <= 126) || (blue == 0 && red >= 128 && red <= 254);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const std::int32_t contrast = static_cast<std::int8_t>(in.Byte());
    const std::uint16_t balance = static_cast<std::uint16_t>(in.Bits16());
    std::vector<std::uint8_t> schedule;
    for (int k = 0; k < 16; ++k)
        schedule.push_back(static_cast<std::uint8_t>(in.Byte()));
    std::string_view rest = in.RestText();
    std::vector<std::string_view> files;
    for (std::size_t at = rest.find(kFileSeparator); at != std::string_view::npos; at = rest.find(kFileSeparator)) {
        files.push_back(rest.substr(0, at));
        rest.remove_prefix(at + kFileSeparator.size());
    }
    files.push_back(rest);
    if (files.size() > 8)
        return 0;

    qm::SetDecimalSeparator('.');
    const Outcome a = Run(files, schedule, balance, contrast, true);
    const Outcome b = Run(files, schedule, balance, contrast, false);
    QM_FUZZ_CHECK(a.kind == b.kind && a.message == b.message);
    QM_FUZZ_CHECK(a.completed == b.completed && a.balance == b.balance);
    QM_FUZZ_CHECK(a.raster.width == b.raster.width && a.raster.height == b.raster.height && a.raster.data == b.raster.data);

    if (a.kind != 0)
        return 0;
    if (balance != 0)
        QM_FUZZ_CHECK(a.balance == balance);
    if (!a.completed) {
        QM_FUZZ_CHECK(a.raster.width == 0 || a.raster.height == 0);
        return 0;
    }
    const qm::Bitmap& raster = a.raster;
    QM_FUZZ_CHECK(raster.IsWellFormed() && raster.bytesPerPixel == 4);
    QM_FUZZ_CHECK(raster.height == a.firstCount);
    for (int y = 0; y < raster.height; ++y) {
        if (raster.width > 0)
            QM_FUZZ_CHECK(raster.PixelRgb(0, y) == 0xFFFFFFu);
        for (int x = 1; x < raster.width; ++x) {
            const std::uint32_t rgb = raster.PixelRgb(x, y);
            QM_FUZZ_CHECK(rgb == 0xFFFFFFu || PenColour(rgb));
        }
    }
    return 0;
}
