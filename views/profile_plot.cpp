// Plotting a survey table as a profile: one point per data row, the reading as a whole number.
#include "profile_plot.h"

#include "field_value.h"
#include "profile_chart.h"
#include "survey_table.h"

namespace qm {

void PlotProfile(ChartSeries& series, const SurveyTable& table)
{
    static const QColor kPointColour(255, 255, 0);
    series.Clear();
    const int rows = table.RowCount();
    for (int r = 1; r < rows; ++r)
        series.Add(static_cast<double>(FieldValue(table.Cell(r, 1))), table.RowCaption(r), kPointColour);
}

} // namespace qm
