// The position readout: a row's GPS fix as raw text, degrees-minutes-seconds and decimal degrees.
#pragma once

#include <string>
#include <string_view>

namespace qm {

class SurveyTable;

// The six position fields of the main window, as 8-bit text (the degree sign is byte 0xB0).
struct PositionFields {
    std::string edtLat = "56.751655";
    std::string edtLat2 = "56.751655";
    std::string lad = "56.751655";
    std::string edtLon = "37.202829";
    std::string edtLon2 = "37.202829";
    std::string lod = "37.202829";
};

// The four cells the readout reads: columns 3 to 6 of a row.
struct FixCells {
    std::string_view latHemisphere; // column 3
    std::string_view latitude;      // column 4
    std::string_view lonHemisphere; // column 5
    std::string_view longitude;     // column 6
};

// Writes the fields step by step; on a conversion error it throws ConvertError, and the fields
// written before the failing step keep their new texts.
void ReadPosition(const FixCells& cells, PositionFields& fields);
// The same for a table row; a missing cell throws ListIndexError when it is read.
void ReadPosition(const SurveyTable& table, int row, PositionFields& fields);

} // namespace qm
