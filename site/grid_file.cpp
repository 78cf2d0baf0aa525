// A grid computed straight into its file. One of a size the tool holds whole is computed, then
// written; a larger one is never held whole: its rows go to a GeoTIFF as they are gridded, and the
// colour scale and the other formats are read back from that file a stripe of rows at a time.
#include "grid.h"

#include "grid_blocks.h"
#include "grid_write.h"
#include "output_format.h"

#include "errors.h"
#include "file_io.h"
#include "gdal_support.h"
#include "staged_file.h"

#include <cpl_conv.h>
#include <gdal_priv.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace qm::site {

namespace {

namespace fs = std::filesystem;
using gdal::ErrorTrap;

// The height of the GeoTIFF's tiles: rows go to the file, and come back, a row of tiles at a time.
constexpr int kStripe = 256;
// GDAL's block cache while a large grid is written: by default it may grow to a twentieth of the
// memory before it lets go of any block, which would hold a whole grid of 100M cells.
constexpr GIntBig kCacheBytes = GIntBig{64} << 20;

// Lowers GDAL's cache (a setting of the whole process) while it lives, and restores it.
class SmallBlockCache {
public:
    SmallBlockCache() : before_(GDALGetCacheMax64())
    {
        if (before_ > kCacheBytes)
            GDALSetCacheMax64(kCacheBytes);
    }
    ~SmallBlockCache() { GDALSetCacheMax64(before_); }
    SmallBlockCache(const SmallBlockCache&) = delete;
    SmallBlockCache& operator=(const SmallBlockCache&) = delete;

private:
    GIntBig before_;
};

// A GeoTIFF's rows read from north to south a stripe at a time; the stripe's blocks leave GDAL's
// cache once read.
class StripeReader {
public:
    StripeReader(GDALDataset& dataset, const GridResult& grid)
        : dataset_(dataset), width_(grid.width), height_(grid.height)
    {
    }
    bool Row(int row, std::span<float> out)
    {
        if (row < first_ || row >= first_ + count_) {
            first_ = row;
            count_ = std::min(kStripe, height_ - row);
            stripe_.resize(static_cast<std::size_t>(width_) * count_);
            if (dataset_.GetRasterBand(1)->RasterIO(GF_Read, 0, first_, width_, count_, stripe_.data(), width_,
                                                    count_, GDT_Float32, 0, 0, nullptr) != CE_None) {
                count_ = 0;
                return false;
            }
            dataset_.FlushCache();
        }
        std::copy_n(stripe_.data() + static_cast<std::size_t>(row - first_) * width_, width_, out.data());
        return true;
    }
    detail::RowReader Reader()
    {
        return [this](int row, std::span<float> out) { return Row(row, out); };
    }

private:
    GDALDataset& dataset_;
    int width_, height_;
    int first_ = 0, count_ = 0;
    std::vector<float> stripe_;
};

// The default colour scale of a grid read back from its GeoTIFF: the percentiles of the cells that
// are not empty, in three passes over the file. Throws Error when the file cannot be read.
ColourScale ScaleOfFile(GDALDataset& dataset, const GridResult& grid, const fs::path& target)
{
    const ValuePass pass = [&](const std::function<void(std::span<const float>)>& take) {
        StripeReader rows(dataset, grid);
        std::vector<float> row(static_cast<std::size_t>(grid.width)), kept;
        for (int r = 0; r < grid.height; ++r) {
            if (!rows.Row(r, row))
                throw Error(WriteFailure(target, "the grid's values cannot be read back"));
            kept.clear();
            std::copy_if(row.begin(), row.end(), std::back_inserter(kept), [](float v) { return v != kNoData; });
            take(kept);
        }
    };
    return DefaultScale(PercentilesOf(pass), Palette::Diverging);
}

// The rows of a grid written to a new GeoTIFF as they are gridded, a row of tiles at a time: only
// the rows of an unfinished row of tiles are held, and no block stays in GDAL's cache once written.
class TiffRows final : public detail::RowSink {
public:
    // `targets`: the GeoTIFF's name and its style's, or a temporary name beside the user's file
    // `shown` (never put in place), for a plain GeoTIFF that the other formats are copied from.
    TiffRows(std::vector<fs::path> targets, fs::path shown, bool plain)
        : targets_(std::move(targets)), shown_(std::move(shown)), plain_(plain)
    {
    }

    void Begin(const GridResult& grid) override
    {
        ErrorTrap trap;
        cache_.emplace();
        staged_ = std::make_unique<StagedFiles>(targets_);
        width_ = grid.width;
        height_ = grid.height;
        dataset_ = detail::CreateValuesTiff(staged_->Temp(0), grid, plain_);
        if (!dataset_)
            Fail(trap.What("the file cannot be created"));
    }

    void Rows(int row0, int count, std::span<const float> values) override
    {
        pending_.insert(pending_.end(), values.begin(), values.end());
        const bool last = row0 + count >= height_;
        for (;;) {
            const int rows = static_cast<int>(pending_.size() / static_cast<std::size_t>(width_));
            if (rows == 0 || (rows < kStripe && !last))
                return;
            const int n = std::min(rows, kStripe);
            ErrorTrap trap;
            if (dataset_->GetRasterBand(1)->RasterIO(GF_Write, 0, written_, width_, n, pending_.data(), width_, n,
                                                     GDT_Float32, 0, 0, nullptr) != CE_None)
                Fail(trap.What("writing the values failed"));
            dataset_->FlushCache();
            if (trap.Failed())
                Fail(trap.What("writing the values failed"));
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n) * width_);
            written_ += n;
        }
    }

    // Closes the GeoTIFF (its last blocks are written on closing) and opens it to be read back.
    GDALDatasetUniquePtr Reopen()
    {
        ErrorTrap trap;
        dataset_.reset();
        if (trap.Failed())
            Fail(trap.What("writing the values failed"));
        GDALDatasetUniquePtr read(
            GDALDataset::Open(Utf8Of(staged_->Temp(0)).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        if (!read)
            Fail(trap.What("the file cannot be read back"));
        return read;
    }

    // Throws the failure as the user reads it: GDAL's reason names the temporary file, which
    // stands for the user's.
    [[noreturn]] void Fail(const std::string& reason, std::size_t file = 0) const
    {
        if (shown_.empty())
            throw Error(staged_->Failure(reason, file));
        std::string text = reason;
        const std::string temp = Utf8Of(staged_->Temp(0)), user = Utf8Of(shown_);
        for (std::size_t at = text.find(temp); at != std::string::npos; at = text.find(temp, at + user.size()))
            text.replace(at, temp.size(), user);
        throw Error(WriteFailure(shown_, text));
    }
    StagedFiles& Staged() { return *staged_; }

private:
    std::vector<fs::path> targets_;
    fs::path shown_;
    bool plain_;
    std::optional<SmallBlockCache> cache_;
    std::unique_ptr<StagedFiles> staged_; // before the dataset: its files go once the dataset is closed
    GDALDatasetUniquePtr dataset_;
    int width_ = 0, height_ = 0, written_ = 0;
    std::vector<float> pending_;
};

// The name of a temporary file beside `target`: its name with `suffix` added.
fs::path Beside(const fs::path& target, const char* suffix)
{
    fs::path name = target;
    name += suffix;
    return name;
}

// A format other than GeoTIFF from the grid's values read back from the temporary GeoTIFF.
void CopyFromValues(GDALDataset& values, const GridResult& grid, GridFormat format, const fs::path& target)
{
    if (format == GridFormat::SurferGrd) {
        detail::WriteSurferGridOf(values, target);
        return;
    }
    StripeReader rows(values, grid);
    if (format == GridFormat::Xyz) {
        detail::WriteXyzOf(grid, rows.Reader(), target);
        return;
    }
    // The coloured image too goes through a temporary GeoTIFF, which GDAL's PNG and KMZ writers copy
    // a row at a time.
    const ColourScale scale = ScaleOfFile(values, grid, target);
    ErrorTrap trap;
    const StagedFiles colours({Beside(target, ".colours.tif")});
    GDALDatasetUniquePtr coloured =
        detail::Coloured(grid, scale, rows.Reader(), "GTiff", Utf8Of(colours.Temp(0)));
    if (!coloured)
        throw Error(WriteFailure(target, trap.What("the grid cannot be coloured")));
    coloured->FlushCache();
    if (format == GridFormat::Png)
        detail::WritePngOf(*coloured, grid, target);
    else
        detail::WriteKmzOf(*coloured, grid, target);
}

// Writes the output of a grid whose rows went to the sink's GeoTIFF.
void FinishStreamed(TiffRows& sink, const GridResult& grid, GridFormat format, const fs::path& target)
{
    GDALDatasetUniquePtr values = sink.Reopen();
    if (format != GridFormat::GeoTiff) {
        CopyFromValues(*values, grid, format, target);
        return;
    }
    const ColourScale scale = ScaleOfFile(*values, grid, target);
    values.reset();
    if (!detail::WriteStyle(scale, sink.Staged().Temp(1)))
        sink.Fail("", 1);
    sink.Staged().Commit();
}

GridResult ToFile(detail::GridReadings in, const GridRequest& request, const fs::path& target,
                  std::uint64_t wholeCells)
{
    gdal::RegisterDrivers();
    const std::optional<GridFormat> format = GridFormatFor(target);
    if (!format)
        detail::RefuseUnknownFormat(target);
    fs::path style = target;
    style.replace_extension(".qml");
    const bool tiff = *format == GridFormat::GeoTiff;
    // On a failure or a cancel the sink's temporary files go with it, so nothing is left.
    TiffRows sink(tiff ? std::vector<fs::path>{target, style} : std::vector<fs::path>{Beside(target, ".values.tif")},
                  tiff ? fs::path() : target, !tiff);
    GridResult grid = detail::ComputeGridTo(std::move(in), request, &sink, wholeCells);
    try {
        if (grid.values.empty())
            FinishStreamed(sink, grid, *format, target);
        else
            WriteGrid(grid, GridScale(grid), target);
    } catch (const std::bad_alloc&) {
        throw Error(WriteFailure(target, "out of memory"));
    }
    return grid;
}

} // namespace

GridResult GridToFile(const PlacedReadings& readings, const GridRequest& request, const fs::path& path,
                      std::uint64_t wholeCells)
{
    return ToFile(detail::ReadingsOf(readings), request, path, wholeCells);
}

GridResult GridToFile(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                      const GridRequest& request, const fs::path& path, std::uint64_t wholeCells)
{
    return ToFile(detail::ReadingsOf(lon, lat, value), request, path, wholeCells);
}

} // namespace qm::site
