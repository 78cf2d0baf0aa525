// The file separators and names drawn over the smoothed matrix image.
#pragma once

#include <QImage>
#include <QStringList>

namespace qm {

// For each file q of `paths`: a pure blue one-pixel line across the full width at row
// MatrixLabelRow(height, paths.size(), q), and the file name part of path q (no directories) with
// its top-left corner at (0, row), in the default font, dark text on an opaque white box.
// Needs a QGuiApplication (for the font). The image should be Format_RGB32 (see ToQImage).
void DrawMatrixOverlay(QImage& image, const QStringList& paths);

} // namespace qm
