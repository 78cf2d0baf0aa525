#include "file_selection.h"

#include "file_columns.h"
#include "survey_table.h"

#include <filesystem>

namespace qm::cli {

void SelectFile(SurveyTable& table, const std::string& path)
{
    table.Clear();
    table.LoadFromCsv(std::filesystem::path(path));
    SetFileColumnWidths(table);
}

} // namespace qm::cli
