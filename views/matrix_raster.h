// The colour matrix of all survey files: one raster row per file, one column per data row.
// The draw is driven by a caller that loads each file in turn (the viewer runs its file selection,
// the command-line tool loads directly); this core does the arithmetic and fills the raster.
#pragma once

#include "bitmap.h"

#include <cstdint>
#include <functional>
#include <span>

namespace qm {

class SurveyTable;

// Pass 1 running mean: sum and count wrap as unsigned 32-bit values.
struct BalanceAccumulator {
    std::uint32_t sum = 0;
    std::uint32_t count = 0;
    // Adds a reading (its low 32 bits); when `balance` is 0 it is set from the running mean, cut to
    // 16 bits, minus 15 (mod 65536). Returns true when `balance` was assigned.
    bool Add(std::int64_t fieldValue, std::uint16_t& balance);
};

// The colour rule of pass 2: h = (balance - v) * contrast - 10 in wrapping signed 32-bit
// arithmetic, clamped to -127..127; h > 0 gives red h + 127, h < 0 blue h + 127, h = 0 keeps the
// pen. `pen` is 0x00RRGGBB.
void ApplyReadingColour(std::uint16_t balance, std::int32_t contrast, std::int64_t fieldValue, std::uint32_t& pen);

// Row of file q's separator line on a display `height` pixels high showing `fileCount` files:
// (height / fileCount) * q in floating point, rounded half to even. 0 when there are no files.
int MatrixLabelRow(int height, int fileCount, int q);

// Callbacks the draw uses to reach the files. `fileCount()` is read again at every step, since the
// file list may change while events run. `select(q)` loads file q and returns its table, or
// nullptr when file q no longer exists (the draw then ends cleanly). It may let events run; the
// table it returns is read only up to the row count it has at each moment.
struct MatrixSource {
    std::function<int()> fileCount;
    std::function<const SurveyTable*(int q)> select;
    // Called when pass 1 assigns the balance (the viewer shows it in its spin box). May be empty.
    std::function<void(std::uint16_t)> balanceChanged;
    // The readings of the file just selected, when the caller already converted them (the viewer's
    // profile holds the reading of rows 1 and up, in order). May be empty, or return fewer values
    // than the table has data rows: the draw then converts the table's cells itself.
    std::function<std::span<const double>()> readings;
};

// Steps 1 to 5 of a draw: selects file 0, runs pass 1 (deriving `balance` while it is 0) and
// pass 2, and returns the raw raster: 32-bit, W + 1 by F + 1, white, column 0 left white.
// An empty file list gives a raster of height 0 (which the resampler refuses as too small).
// Throws what loading or conversion throws. When a file vanishes mid-draw, `completed` is false
// and the raster returned is empty; otherwise `completed` is true.
Bitmap BuildMatrixRaster(const MatrixSource& source, std::uint16_t& balance, std::int32_t contrast, bool& completed);

} // namespace qm
