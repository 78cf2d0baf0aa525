// What the viewer's file selection does to the table, without a window: the table is cleared, the
// file loaded and the column widths set (which fails for a table of fewer than seven columns).
#pragma once

#include <string>

namespace qm {
class SurveyTable;
}

namespace qm::cli {

void SelectFile(SurveyTable& table, const std::string& path);

} // namespace qm::cli
