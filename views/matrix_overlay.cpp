// Separator lines and file names over the smoothed matrix image, drawn in file order so that a
// name box covers the start of its own line and the next file's line is drawn after it.
#include "matrix_overlay.h"

#include "matrix_raster.h"

#include <QColor>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>

namespace qm {

void DrawMatrixOverlay(QImage& image, const QStringList& paths)
{
    if (image.isNull() || paths.isEmpty()) {
        return;
    }
    const int files = static_cast<int>(paths.size());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QFontMetrics metrics(painter.font());
    for (int q = 0; q < files; ++q) {
        const int y = MatrixLabelRow(image.height(), files, q);
        painter.setPen(QPen(QColor(0, 0, 255), 0));
        painter.drawLine(0, y, image.width() - 1, y);

        const QString name = QFileInfo(paths[q]).fileName();
        if (name.isEmpty()) {
            continue;
        }
        const QRect box(QPoint(0, y), metrics.size(Qt::TextSingleLine, name));
        painter.fillRect(box, Qt::white);
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    }
}

} // namespace qm
