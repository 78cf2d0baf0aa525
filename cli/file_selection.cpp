#include "file_selection.h"

#include "survey_table.h"

#include <filesystem>

namespace qm::cli {

void SelectFile(SurveyTable& table, const std::string& path)
{
    table.Clear();
    table.LoadFromCsv(std::filesystem::path(path));
    // The viewer's order: columns 1, 2, 3, 4 and 6 first, so a missing column fails on the first
    // of them, then the narrow hemisphere columns.
    for (int column : {1, 2, 3, 4, 6}) {
        table.SetColumnWidth(column, 80);
    }
    table.SetColumnWidth(3, 30);
    table.SetColumnWidth(5, 30);
}

} // namespace qm::cli
