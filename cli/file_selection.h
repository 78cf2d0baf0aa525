// What the viewer's file selection does to the table, without a window: the table is cleared, the
// file loaded and the column widths set (which fails for a table of fewer than seven columns).
#pragma once

#include <string>

namespace qm {
class SurveyTable;
}

namespace qm::cli {

void SelectFile(SurveyTable& table, const std::string& path);

// Converts the reading of every data row, as plotting the profile does; throws the first
// conversion error.
void ConvertReadings(const SurveyTable& table);

} // namespace qm::cli
