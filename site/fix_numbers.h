// The readout's numbers of a row's fix and reading computed directly: the gathering's fast paths.
// Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qm::site::detail {

// The direct computations behind the gathering, for the common forms of a cell; each gives exactly
// what the general conversions give, and false when the text is not of its form (the caller then
// takes the general way). They are called once a cell, so they leave the x87 unit as they find it:
// a caller on a thread of its own holds an ExtendedPrecision (extended_precision.h) around them.

// The decimal degrees the position readout shows for a coordinate text ("ddmm.mmmm" with 2 degree
// digits, "dddmm.mmmm" with 3), read back as a number: any count of minute decimals after "." (up
// to 21, or 17 where long double is a double), or four or more after ",", of which the readout
// reads only the first four.
bool FastDecimalDegrees(std::string_view text, int degreeDigits, bool negate, double& degrees);
// A plain decimal reading ("52395.02", " -7.5 ") of at most 15 significant digits.
bool FastReading(std::string_view text, char separator, double& value);

// The coordinate texts converted so far in a pass and their results, in a table indexed by the
// text's digits: a receiver logs a new fix about once a second and a magnetometer several readings
// in that time, a line walked north keeps its longitude text, and lines walked side by side pass
// the same latitudes, so many coordinate texts of a site were converted before. The conversion
// depends on the text's parts alone, so a result found here is the one converting again would give.
class CoordinateCache {
public:
    CoordinateCache();
    // FastDecimalDegrees of the cell, from the table when converted before.
    bool Convert(std::string_view cell, int degreeDigits, bool negate, double& result);

private:
    static constexpr int kKeyRestDigits = 2; // four minute decimals
    static constexpr std::size_t kSlots = std::size_t{1} << 16; // 1 MiB
    struct Slot {
        std::uint64_t key = 0;
        double degrees = 0;
    };
    std::vector<Slot> slots_;
};

} // namespace qm::site::detail
