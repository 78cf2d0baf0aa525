// The profile's view styles and scale modes by name, shared by the profile page and the tool.
#include "profile_modes.h"

namespace qm {

namespace {

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& names, std::string_view name)
{
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    return -1;
}

} // namespace

int ViewStyleIndex(std::string_view name)
{
    return IndexOf(kViewStyleNames, name);
}

int ScaleModeIndex(std::string_view name)
{
    return IndexOf(kScaleModeNames, name);
}

std::optional<ScaleRange> PresetScale(int mode)
{
    switch (mode) {
    case kScaleAuto:
        return ScaleRange{true, 0, 0};
    case kScale40To60:
        return ScaleRange{false, 40000, 60000};
    case kScale50To55:
        return ScaleRange{false, 50000, 55000};
    default:
        return std::nullopt;
    }
}

} // namespace qm
