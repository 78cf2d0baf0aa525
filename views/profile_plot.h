// Plotting a survey table as a profile, the same in the viewer's page "Line" and in the tool.
#pragma once

namespace qm {

class ChartSeries;
class SurveyTable;

// Replaces the series' points by one per data row (the heading row 0 is skipped): the reading of
// column 1 as a whole number, labelled with the row's caption, in the point colour.
void PlotProfile(ChartSeries& series, const SurveyTable& table);

} // namespace qm
