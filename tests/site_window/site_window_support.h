// What the site map window's tests share: made-up placed readings, the error boxes shown, typing
// into a field as a user does, and the page's state.
#pragma once

#include "../browser_test_main.h"
#include "placed_readings.h"
#include "site_map_window.h"

#include <QLineEdit>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <string>

namespace qm::test {

// `files` survey lines `step` degrees apart, each of `perFile` readings running north; the reading
// of file f, row r is 10 f + r nT.
inline std::shared_ptr<site::PlacedReadings> Lines(int files, int perFile, double lat0, double lon0, double step)
{
    auto readings = std::make_shared<site::PlacedReadings>();
    for (int f = 0; f < files; ++f) {
        readings->files.push_back("line" + std::to_string(f) + ".csv");
        for (int r = 1; r <= perFile; ++r) {
            readings->lon.push_back(lon0 + f * step);
            readings->lat.push_back(lat0 + r * step);
            readings->value.push_back(10.0 * f + r);
            readings->file.push_back(static_cast<std::uint32_t>(f));
            readings->row.push_back(static_cast<std::uint32_t>(r));
        }
    }
    return readings;
}

// The error boxes shown, in order, while RecordErrorBox is the error box hook.
inline QStringList errorBoxes;
inline void RecordErrorBox(const QString& text)
{
    errorBoxes << text;
}

// Types a whole value into a field and leaves it, as a user does.
inline void Type(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    emit edit->editingFinished();
}

inline QVariantMap PageState(SiteMapWindow& window)
{
    return RunScript(window.View(), QStringLiteral("qmSite.state()")).toMap();
}

} // namespace qm::test
