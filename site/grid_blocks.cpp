// The gridding of a site's raster block by block: each block is gridded by GDAL from the readings
// within its reach, several blocks at a time on threads of their own.
#include "grid_blocks.h"

#include "errors.h"
#include "gdal_support.h"
#include "grid_spacing.h"

#include <cpl_conv.h>
#include <cpl_multiproc.h>
#include <cpl_error.h>
#include <gdal_alg.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace qm::site::detail {

namespace {

struct ContextDeleter {
    void operator()(GDALGridContext* context) const { GDALGridContextFree(context); }
};
using ContextPtr = std::unique_ptr<GDALGridContext, ContextDeleter>;

// GDAL's options for a method, with the radius and the nodata value filled in.
struct MethodOptions {
    GDALGridAlgorithm algorithm;
    GDALGridLinearOptions linear{};
    GDALGridInverseDistanceToAPowerNearestNeighborOptions invdist{};
    GDALGridNearestNeighborOptions nearest{};
    GDALGridMovingAverageOptions average{};

    MethodOptions(GridMethod method, double radius)
    {
        linear.nSizeOfStructure = sizeof linear;
        linear.dfRadius = radius; // outside the triangulation: the nearest reading within the radius
        linear.dfNoDataValue = kNoData;
        invdist.nSizeOfStructure = sizeof invdist;
        invdist.dfPower = 2;
        invdist.dfRadius = radius;
        invdist.nMaxPoints = 12;
        invdist.nMinPoints = 1;
        invdist.dfNoDataValue = kNoData;
        nearest.nSizeOfStructure = sizeof nearest;
        nearest.dfRadius1 = nearest.dfRadius2 = radius;
        nearest.dfNoDataValue = kNoData;
        average.nSizeOfStructure = sizeof average;
        average.dfRadius1 = average.dfRadius2 = radius;
        average.nMinPoints = 1;
        average.dfNoDataValue = kNoData;
        switch (method) {
        case GridMethod::Linear: algorithm = GGA_Linear; break;
        case GridMethod::InverseDistance: algorithm = GGA_InverseDistanceToAPowerNearestNeighbor; break;
        case GridMethod::Nearest: algorithm = GGA_NearestNeighbor; break;
        case GridMethod::Average: algorithm = GGA_MovingAverage; break;
        }
    }
    const void* For(GDALGridAlgorithm which) const
    {
        switch (which) {
        case GGA_Linear: return &linear;
        case GGA_InverseDistanceToAPowerNearestNeighbor: return &invdist;
        case GGA_NearestNeighbor: return &nearest;
        default: return &average;
        }
    }
};

// The progress of a block. The user's progress is called on the caller's thread only; the other
// threads only look at `stop`, which a false answer sets.
struct BlockProgress {
    const GridProgress* user; // null on the other threads
    std::atomic<bool>* stop;
    std::atomic<double>* done;
    double cells, blockCells;
};

int CPL_STDCALL ReportBlock(double fraction, const char*, void* data)
{
    auto* p = static_cast<BlockProgress*>(data);
    if (p->user && *p->user && !(*p->user)(0.05 + 0.95 * (*p->done + fraction * p->blockCells) / p->cells))
        *p->stop = true;
    return *p->stop ? FALSE : TRUE;
}

// The number of blocks gridded at once: GDAL_NUM_THREADS, a count or ALL_CPUS (the default).
int Workers()
{
    const char* setting = CPLGetConfigOption("GDAL_NUM_THREADS", "ALL_CPUS");
    const int count = EQUAL(setting, "ALL_CPUS") ? CPLGetNumCPUs() : std::atoi(setting);
    return std::clamp(count, 1, 64);
}

// A GDAL setting for this thread only, restored on leaving.
class ThreadConfig {
public:
    ThreadConfig(const char* key, const char* value) : key_(key)
    {
        const char* before = CPLGetThreadLocalConfigOption(key, nullptr);
        if (before)
            before_ = before;
        CPLSetThreadLocalConfigOption(key, value);
    }
    ~ThreadConfig() { CPLSetThreadLocalConfigOption(key_, before_ ? before_->c_str() : nullptr); }
    ThreadConfig(const ThreadConfig&) = delete;
    ThreadConfig& operator=(const ThreadConfig&) = delete;

private:
    const char* key_;
    std::optional<std::string> before_;
};

// Grids one block from the readings within its reach into `block` (row 0 to the north).
// False when GDAL fails or the progress stops it.
bool GridBlock(const MethodOptions& options, double radius, const std::vector<double>& bx,
               const std::vector<double>& by, const std::vector<double>& bz, double west, double east, double north,
               double south, int width, int height, double cell, double margin, std::vector<float>& block,
               GDALProgressFunc progress, void* progressData)
{
    // Readings that give no triangle are gridded as GDAL's linear method grids the cells
    // outside the triangulation: the nearest reading within the radius.
    GDALGridAlgorithm algorithm = options.algorithm;
    if (algorithm == GGA_Linear && (bx.size() < 3 || ShapeOf<double>(bx, by) != Shape::Area))
        algorithm = GGA_NearestNeighbor;
    const auto count = static_cast<GUInt32>(bx.size());
    ContextPtr context(
        GDALGridContextCreate(algorithm, options.For(algorithm), count, bx.data(), by.data(), bz.data(), TRUE));
    if (!context && algorithm == GGA_Linear) {
        algorithm = GGA_NearestNeighbor;
        context.reset(
            GDALGridContextCreate(algorithm, options.For(algorithm), count, bx.data(), by.data(), bz.data(), TRUE));
    }
    if (!context)
        return false;
    block.assign(static_cast<std::size_t>(width) * height, kNoData);
    // From north to south, so that the first row is the northern edge.
    if (GDALGridContextProcess(context.get(), west, east, north, south, static_cast<GUInt32>(width),
                               static_cast<GUInt32>(height), GDT_Float32, block.data(), progress,
                               progressData) != CE_None)
        return false;
    context.reset();
    if (algorithm != GGA_Linear)
        return true;

    // Linear interpolation fills whole triangles, however far apart their corners: empty the
    // cells that no reading lies within the radius of.
    const Buckets near(std::span<const double>(bx), std::span<const double>(by), west - margin, south - margin, east + margin, north + margin, radius);
    const double r2 = radius * radius;
    for (int r = 0; r < height; ++r) {
        const double cy = north - (r + 0.5) * cell;
        for (int c = 0; c < width; ++c) {
            float& v = block[static_cast<std::size_t>(r) * width + c];
            if (v == kNoData)
                continue;
            const double cx = west + (c + 0.5) * cell;
            const int nc = near.Col(cx), nr = near.Row(cy);
            bool within = false;
            for (int rr = std::max(0, nr - 1); rr <= std::min(near.ny - 1, nr + 1) && !within; ++rr)
                for (int cc = std::max(0, nc - 1); cc <= std::min(near.nx - 1, nc + 1) && !within; ++cc)
                    for (std::uint32_t i : near.In(cc, rr))
                        if ((bx[i] - cx) * (bx[i] - cx) + (by[i] - cy) * (by[i] - cy) <= r2) {
                            within = true;
                            break;
                        }
            if (!within)
                v = kNoData;
        }
    }
    return true;
}



struct Block {
    int col0, row0, width, height;
};

// The blocks of a raster, and how far around each its readings are taken.
struct BlockPlan {
    int side = 0;
    double margin = 0;
    std::vector<Block> todo;
};

// Each block holds about 16,000 readings over all threads at work, so that the triangulations in
// memory stay small whatever the site's size. Linear interpolation takes the readings of a margin
// of the radius and two cells around the block, so that every triangle that matters inside the
// block is found whole; a cell that no reading lies within the radius of is emptied anyway.
BlockPlan PlanBlocks(const GridResult& result, std::size_t readings, int workers)
{
    BlockPlan plan;
    const double cell = result.cellSize;
    const double cells = static_cast<double>(result.width) * result.height;
    const double perBlock = std::max(4096.0, 16384.0 / workers);
    plan.side =
        static_cast<int>(std::clamp(std::sqrt(cells * perBlock / static_cast<double>(readings)), 64.0, 4096.0));
    // A radius far beyond the block would have every block triangulate most of the site: the
    // margin of linear interpolation stops at the block's own size.
    plan.margin =
        (result.method == GridMethod::Linear ? std::min(result.radius, plan.side * cell) : result.radius) + 2 * cell;
    for (int row0 = 0; row0 < result.height; row0 += plan.side)
        for (int col0 = 0; col0 < result.width; col0 += plan.side)
            plan.todo.push_back({col0, row0, std::min(plan.side, result.width - col0),
                                 std::min(plan.side, result.height - row0)});
    return plan;
}

// One gridding of all blocks: the threads take the next block until none is left or one stops.
class BlockRun {
public:
    BlockRun(const GridReadings& readings, const GridRequest& request, const GridResult& result, BlockPlan plan)
        : in_(readings), request_(request), result_(result), plan_(std::move(plan)),
          buckets_(std::span<const float>(readings.x), std::span<const float>(readings.y),
                   result.originX - readings.ox, result.originY - result.height * result.cellSize - readings.oy,
                   result.originX + result.width * result.cellSize - readings.ox, result.originY - readings.oy,
                   plan_.side * result.cellSize),
          options_(result.method, result.radius), cells_(static_cast<double>(result.width) * result.height)
    {
    }

    // Grids blocks [first, last) of the plan on `threads` threads into `rows`: the raster's rows
    // from `row0` on, whole rows. Throws what a block failed with, or Cancelled.
    void Run(std::size_t first, std::size_t last, int row0, std::span<float> rows, int threads)
    {
        next_ = first;
        last_ = last;
        outRow0_ = row0;
        out_ = rows;
        {
            std::vector<std::jthread> helpers;
            for (int t = 1; t < threads; ++t)
                helpers.emplace_back([this] { Work([this] { WorkBlocks(false); }); });
            Work([this] { WorkBlocks(true); });
        }
        ThrowIfStopped();
    }

    // Grids every block on `threads` threads while this thread hands the sink each band of
    // `perBand` blocks, whole rows, in order from north to south. Two bands are in flight, so that
    // no thread waits for the slowest block of a band while only two bands are held.
    void Stream(std::size_t perBand, int threads, RowSink& sink)
    {
        const std::size_t bands = (plan_.todo.size() + perBand - 1) / perBand;
        next_ = 0;
        last_ = plan_.todo.size();
        std::exception_ptr failure;
        {
            {
                const std::lock_guard lock(lock_);
                for (std::size_t band = 0; band < std::min<std::size_t>(bands, 2); ++band)
                    PrepareBand(band, perBand);
            }
            // Joined when the scope ends, after a failure here (a thread that cannot be started
            // included) has stopped them.
            std::vector<std::jthread> workers;
            try {
                for (int t = 0; t < threads; ++t)
                    workers.emplace_back([this, perBand] { Work([this, perBand] { StreamBlocks(perBand); }); });
                for (std::size_t band = 0; band < bands && WaitForBand(slots_[band % 2]); ++band) {
                    sink.Rows(slots_[band % 2].row0, slots_[band % 2].rows, slots_[band % 2].cells);
                    const std::lock_guard lock(lock_);
                    if (band + 2 < bands)
                        PrepareBand(band + 2, perBand);
                    ready_.notify_all();
                }
            } catch (...) {
                failure = std::current_exception();
                const std::lock_guard lock(lock_);
                stop_ = true;
                ready_.notify_all();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
        ThrowIfStopped();
    }

    const BlockPlan& Plan() const { return plan_; }

private:
    // The first failure of a thread ends the gridding with it.
    void Fail(std::string message)
    {
        const std::lock_guard lock(failureLock_);
        if (failure_.empty())
            failure_ = std::move(message);
        stop_ = true;
    }

    // An exception leaving a helper thread would end the program, so each thread turns its own
    // into the grid's failure (the readings of a block, or GDAL's own memory, can run out).
    template <typename Blocks>
    void Work(const Blocks& blocks)
    {
        try {
            try {
                blocks();
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& e) {
                Fail(std::string("The grid could not be computed: ") + e.what());
            }
        } catch (...) {
            // Out of memory, also while saying so: a flag needs none.
            outOfMemory_ = true;
            stop_ = true;
        }
    }

    // On the caller's thread, once every thread is done: a failure or a stop is thrown there.
    void ThrowIfStopped() const
    {
        if (outOfMemory_)
            throw Error(kOutOfMemory);
        if (!failure_.empty())
            throw Error(failure_);
        if (stop_)
            throw Cancelled();
    }

    // A thread's buffers, reused from block to block.
    struct Buffers {
        std::vector<double> x, y, z;
        std::vector<float> block;
    };

    // The readings within the margin of a block, in metres of the zone.
    void Gather(double west, double east, double north, double south, Buffers& buf) const
    {
        buf.x.clear();
        buf.y.clear();
        buf.z.clear();
        const double ox = in_.ox, oy = in_.oy, margin = plan_.margin;
        const int reach = static_cast<int>(std::min(std::ceil(margin / buckets_.size) + 1,
                                                    static_cast<double>(std::max(buckets_.nx, buckets_.ny))));
        const int c0 = buckets_.Col(west - ox + 1e-9), r0 = buckets_.Row(south - oy + 1e-9);
        for (int r = std::max(0, r0 - reach); r <= std::min(buckets_.ny - 1, r0 + reach); ++r)
            for (int c = std::max(0, c0 - reach); c <= std::min(buckets_.nx - 1, c0 + reach); ++c)
                for (std::uint32_t i : buckets_.In(c, r))
                    if (ox + in_.x[i] >= west - margin && ox + in_.x[i] <= east + margin &&
                        oy + in_.y[i] >= south - margin && oy + in_.y[i] <= north + margin) {
                        buf.x.push_back(ox + in_.x[i]);
                        buf.y.push_back(oy + in_.y[i]);
                        buf.z.push_back(in_.value[in_.Reading(i)]);
                    }
    }

    // Grids block `b` into `rows`, the raster's rows from `row0` on. False when it failed (the
    // failure noted) or was stopped.
    bool GridOne(const Block& b, BlockProgress& progress, Buffers& buf, const gdal::ErrorTrap& trap,
                 std::span<float> rows, int row0)
    {
        const double cell = result_.cellSize;
        const double west = result_.originX + b.col0 * cell, east = west + b.width * cell;
        const double north = result_.originY - b.row0 * cell, south = north - b.height * cell;
        Gather(west, east, north, south, buf);
        if (!buf.x.empty() && !GridBlock(options_, result_.radius, buf.x, buf.y, buf.z, west, east, north, south,
                                         b.width, b.height, cell, plan_.margin, buf.block, &ReportBlock, &progress)) {
            Fail(stop_ ? std::string() : "GDAL could not grid the readings: " + trap.First());
            return false;
        }
        if (!buf.x.empty())
            for (int r = 0; r < b.height; ++r)
                std::copy_n(buf.block.data() + static_cast<std::size_t>(r) * b.width, b.width,
                            rows.data() + static_cast<std::size_t>(b.row0 - row0 + r) * result_.width + b.col0);
        cellsDone_.fetch_add(progress.blockCells);
        ReportBlock(0, nullptr, &progress);
        return true;
    }

    BlockProgress ProgressOf(const Block& b, bool reports)
    {
        return BlockProgress{reports ? &request_.progress : nullptr, &stop_, &cellsDone_, cells_,
                             static_cast<double>(b.width) * b.height};
    }

    void WorkBlocks(bool callerThread)
    {
        ThreadConfig oneThread("GDAL_NUM_THREADS", "1");
        gdal::ErrorTrap blockTrap;
        Buffers buf;
        for (std::size_t index = next_++; index < last_ && !stop_; index = next_++) {
            BlockProgress progress = ProgressOf(plan_.todo[index], callerThread);
            if (!GridOne(plan_.todo[index], progress, buf, blockTrap, out_, outRow0_))
                break;
        }
    }

    // A band of blocks being gridded or written: whole rows of the raster from row0 on.
    struct BandSlot {
        std::size_t band = SIZE_MAX;
        int row0 = 0;
        int rows = 0;
        std::size_t left = 0; // blocks not yet gridded
        std::vector<float> cells;
    };

    // Under lock_: makes `slot` ready for band `band`, every cell empty.
    void PrepareBand(std::size_t band, std::size_t perBand)
    {
        BandSlot& slot = slots_[band % 2];
        const std::size_t first = band * perBand, last = std::min(first + perBand, plan_.todo.size());
        slot.row0 = plan_.todo[first].row0;
        slot.rows = plan_.todo[last - 1].row0 + plan_.todo[last - 1].height - slot.row0;
        slot.cells.assign(static_cast<std::size_t>(result_.width) * slot.rows, kNoData);
        slot.left = last - first;
        slot.band = band;
    }

    // The blocks in order on a thread of the stream; a block waits until its band has a slot.
    void StreamBlocks(std::size_t perBand)
    {
        ThreadConfig oneThread("GDAL_NUM_THREADS", "1");
        gdal::ErrorTrap blockTrap;
        Buffers buf;
        for (std::size_t index = next_++; index < last_ && !stop_; index = next_++) {
            const std::size_t band = index / perBand;
            BandSlot& slot = slots_[band % 2];
            {
                std::unique_lock lock(lock_);
                while (slot.band != band && !stop_)
                    ready_.wait_for(lock, std::chrono::milliseconds(50));
            }
            BlockProgress progress = ProgressOf(plan_.todo[index], false);
            if (stop_ || !GridOne(plan_.todo[index], progress, buf, blockTrap, slot.cells, slot.row0))
                break;
            const std::lock_guard lock(lock_);
            if (--slot.left == 0)
                ready_.notify_all();
        }
    }

    // On the writing thread: waits until every block of `slot` is gridded, telling the progress
    // meanwhile. False when the gridding stopped.
    bool WaitForBand(BandSlot& slot)
    {
        std::unique_lock lock(lock_);
        while (slot.left > 0 && !stop_) {
            ready_.wait_for(lock, std::chrono::milliseconds(100));
            if (request_.progress) {
                lock.unlock();
                const bool go = request_.progress(0.05 + 0.95 * cellsDone_.load() / cells_);
                lock.lock();
                if (!go)
                    stop_ = true;
            }
        }
        return !stop_;
    }

    const GridReadings& in_;
    const GridRequest& request_;
    const GridResult& result_;
    const BlockPlan plan_;
    const Buckets buckets_;
    const MethodOptions options_;
    const double cells_;
    std::atomic<std::size_t> next_{0};
    std::size_t last_ = 0;
    int outRow0_ = 0;
    std::span<float> out_;
    std::atomic<double> cellsDone_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> outOfMemory_{false};
    std::mutex failureLock_;
    std::string failure_;
    std::mutex lock_; // of the band slots
    std::condition_variable ready_;
    BandSlot slots_[2];
};

// The raster's blocks handed on a band of blocks at a time, whole rows from north to south, so
// that only two bands are held: each band's cells start empty, as a block without readings leaves
// them. A band of a narrow grid takes several rows of blocks, so that every thread has blocks to grid.
void SendBands(BlockRun& run, const GridResult& result, int workers, RowSink& sink)
{
    const BlockPlan& plan = run.Plan();
    const std::size_t perRow = static_cast<std::size_t>((result.width + plan.side - 1) / plan.side);
    const std::size_t perBand = perRow * ((2 * static_cast<std::size_t>(workers) + perRow - 1) / perRow);
    const int threads = static_cast<int>(std::min<std::size_t>(plan.todo.size(), static_cast<std::size_t>(workers)));
    run.Stream(perBand, threads, sink);
}

} // namespace

// Blocks of cells, each gridded from the readings within its reach, several at a time:
// GDAL_NUM_THREADS (all processors by default, as for GDAL's own gridding) sets how many.
void GridBlocks(const GridReadings& readings, const GridRequest& request, GridResult& result, RowSink* sink)
{
    const int workers = Workers();
    BlockPlan plan = PlanBlocks(result, readings.x.size(), workers);
    const std::size_t blocks = plan.todo.size();
    const int threads = static_cast<int>(std::min<std::size_t>(blocks, static_cast<std::size_t>(workers)));
    BlockRun run(readings, request, result, std::move(plan));
    if (sink)
        SendBands(run, result, workers, *sink);
    else
        run.Run(0, blocks, 0, result.values, threads);
}

} // namespace qm::site::detail
