// The colour scale of the site map, its legend and the coloured grid exports: a value range, a
// palette and the colour of a reading. Plain C++, no Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace qm::site {

enum class Palette {
    Diverging,  // blue below the centre, white at it, red above: anomalies stand out both ways
    Sequential, // perceptually uniform, dark to light
    Greyscale,  // white to black: positive readings dark, as archaeological plots show them
    GreyscaleInverse, // black to white
};

struct ColourScale {
    double min = 0;
    double max = 1;
    double centre = 0.5; // where the diverging palette is white: the median of the readings
    Palette palette = Palette::Diverging;
};

using Rgb = std::array<std::uint8_t, 3>;

// The default scale of a set of readings: the 2nd to the 98th percentile, centred on the median,
// so that a few spikes or gap values do not wash out the rest. Sensible for an empty set, for
// one value and for all values equal (min < max always holds).
ColourScale DefaultScale(std::span<const double> values, Palette palette);

// The default scale in two steps, so that the percentiles of a large set are found once, off the
// interface thread, and the palette chosen later: the 2nd, 50th and 98th percentile of the finite
// values (`count` of them).
struct ReadingPercentiles {
    double p2 = 0;
    double p50 = 0;
    double p98 = 0;
    std::size_t count = 0;
};
ReadingPercentiles PercentilesOf(std::span<const double> values);
// The same of values too many to hold, read in pieces: `pass(take)` hands every value to `take`,
// a piece at a time, the same values on each of the (at most three) passes. The same results as
// the values held whole.
using ValuePass = std::function<void(const std::function<void(std::span<const float> piece)>& take)>;
ReadingPercentiles PercentilesOf(const ValuePass& pass);
ColourScale DefaultScale(const ReadingPercentiles& percentiles, Palette palette);

// The colour of a value; values outside [min, max] take the end colours.
Rgb ColourOf(const ColourScale& scale, double value);

// `steps` colours evenly from min to max, for a legend or a lookup table on the page.
std::vector<Rgb> Ramp(const ColourScale& scale, int steps);

} // namespace qm::site
