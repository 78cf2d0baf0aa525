// The choices of the profile page, shared by the viewer and the tool: the view styles (one chart
// series each) and the scale modes with their fixed ranges.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qm {

// The view styles by series index.
inline constexpr std::array<std::string_view, 3> kViewStyleNames{"ribbon", "column", "line"};
// The series index of a style name; -1 for a name that is none of them.
int ViewStyleIndex(std::string_view name);

enum ScaleMode : int { kScaleAuto = 0, kScale40To60 = 1, kScale50To55 = 2, kScaleManual = 3 };
inline constexpr std::array<std::string_view, 4> kScaleModeNames{"auto", "40-60", "50-55", "manual"};
// The mode of a name; -1 for a name that is none of them.
int ScaleModeIndex(std::string_view name);

// Bounds of the value axis; automatic means they follow the plotted data. The default is the
// chart's start range.
struct ScaleRange {
    bool automatic = false;
    double min = 40000;
    double max = 60000;
};
// The range of a preset mode (auto, 40-60, 50-55); none for "manual", which the track bars set,
// and for an index that is no mode.
std::optional<ScaleRange> PresetScale(int mode);

} // namespace qm
