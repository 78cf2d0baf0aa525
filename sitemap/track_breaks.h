// Where the site map's track of the selected file lifts the pen.
#pragma once

#include "placed_readings.h"
#include "traverses.h"

#include <cstddef>
#include <vector>

namespace qm {

// The readings of [first, last) at which a new piece of track begins: the start of each traverse
// (when `traverses` covers the readings) and each reading lying farther from the one before than
// five times the median spacing of the range. Ascending, without `first`.
std::vector<std::size_t> TrackBreaks(const site::PlacedReadings& readings, std::size_t first, std::size_t last,
                                     const process::Traverses* traverses);

} // namespace qm
