// The name an export of the site map is written under: the menu item's format decides, a name
// without a suffix of that format gets the item's suffix, and a name with the suffix of another
// format is refused rather than written in a format it does not name.
#pragma once

#include <QString>

namespace qm {

// `typed` as chosen in the dialog, `suffix` the menu item's own (".tif"); throws
// std::runtime_error naming both formats when `typed` has the suffix of another output format.
QString FitExportName(const QString& typed, const QString& suffix);

} // namespace qm
