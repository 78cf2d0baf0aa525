#include "widgets.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace qm {

ImageMenuChoice ExecImageMenu(QWidget* source, const QPoint& at, bool hasPicture)
{
    QMenu menu(source);
    QAction* save = menu.addAction(QStringLiteral("Save image as..."));
    QAction* copy = menu.addAction(QStringLiteral("Copy image"));
    save->setEnabled(hasPicture);
    copy->setEnabled(hasPicture);
    QAction* chosen = menu.exec(source->mapToGlobal(at));
    if (chosen == save)
        return ImageMenuChoice::Save;
    if (chosen == copy)
        return ImageMenuChoice::Copy;
    return ImageMenuChoice::None;
}

QWidget* FixedPanel(QWidget* parent, int width, int height)
{
    auto* panel = new QWidget(parent);
    if (width > 0)
        panel->setFixedWidth(width);
    if (height > 0)
        panel->setFixedHeight(height);
    return panel;
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(palette);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

ImageBox::ImageBox(QWidget* parent, QSize designSize) : QWidget(parent), designSize_(designSize) {}

void ImageBox::SetPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

void ImageBox::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), picture_);
}

QStringList DroppedPaths(const QMimeData& data)
{
    QStringList paths;
    for (const QUrl& url : data.urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    return paths;
}

} // namespace qm
