// Small controls of the main window: link labels and the picture box of the matrix page.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>

namespace qm {

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
    explicit ImageBox(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

} // namespace qm
