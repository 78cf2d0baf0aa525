// Small controls of the main window (link labels, the picture box of the matrix page) and the two
// helpers that place controls at their design positions.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QStringList>
#include <QLabel>
#include <QWidget>

namespace qm {

// Places a control at its design position; without a size it takes its natural size.
template <typename W>
W* Place(W* widget, int left, int top, int width = -1, int height = -1)
{
    if (width < 0 || height < 0) {
        widget->adjustSize();
        widget->move(left, top);
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

// The paths of files dropped on a window: local files by their path, anything else by its address
// (which then fails as a file that cannot be read).
QStringList DroppedPaths(const QMimeData& data);

// The context menu of a picture ("Save image as...", "Copy image"), shown at `at` of `source`;
// both entries are disabled when there is no picture. Returns what was chosen.
enum class ImageMenuChoice { None, Save, Copy };
ImageMenuChoice ExecImageMenu(QWidget* source, const QPoint& at, bool hasPicture);

// A panel of fixed width and/or height (a size of 0 or less leaves that direction free).
QWidget* FixedPanel(QWidget* parent, int width, int height);

// A blue label with a hand cursor that reports a click.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Shows its picture stretched to its own size, by repeating and dropping pixels (no smoothing), so
// that one reading stays one sharp cell of the raw matrix.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    // `designSize` is the size a layout gives the box (its size hint).
    explicit ImageBox(QWidget* parent = nullptr, QSize designSize = {});
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    QSize sizeHint() const override { return designSize_.isValid() ? designSize_ : QWidget::sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QSize designSize_;
};

} // namespace qm
