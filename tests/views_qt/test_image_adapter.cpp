// Bitmap <-> QImage copies (byte order, row padding, pixel forms) and the matrix overlay drawing.
#include "image_adapter.h"
#include "matrix_overlay.h"
#include "matrix_raster.h"

#include <QColor>
#include <QtTest>

class TestImageAdapter : public QObject {
    Q_OBJECT

private slots:
    void bitmapToImageKeepsColoursAcrossPaddedRows();
    void roundTripInBothPixelForms();
    void malformedBitmapGivesNullImage();
    void overlayDrawsBlueLinesAndNameBoxes();
    void overlayWithoutFilesLeavesImageAlone();
};

namespace {

// Width 3 makes 9-byte rows in 3-byte form: the QImage's rows are padded to 12.
qm::Bitmap Sample(int bpp)
{
    qm::Bitmap bitmap(3, 2, bpp, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            bitmap.SetPixel(x, y, 0x102030u * static_cast<std::uint32_t>(x + 3 * y + 1) + 0x010203u);
        }
    }
    return bitmap;
}

} // namespace

void TestImageAdapter::bitmapToImageKeepsColoursAcrossPaddedRows()
{
    for (int bpp : {3, 4}) {
        const qm::Bitmap bitmap = Sample(bpp);
        const QImage image = qm::ToQImage(bitmap);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.size(), QSize(3, 2));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                const std::uint8_t* p = bitmap.pixel(x, y);
                QCOMPARE(image.pixel(x, y), qRgb(p[2], p[1], p[0]));
            }
        }
    }
}

void TestImageAdapter::roundTripInBothPixelForms()
{
    for (int bpp : {3, 4}) {
        const qm::Bitmap bitmap = Sample(bpp);
        const qm::Bitmap back = qm::FromQImage(qm::ToQImage(bitmap), bpp);
        QCOMPARE(back.bytesPerPixel, bpp);
        QCOMPARE(back.width, 3);
        QCOMPARE(back.height, 2);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                QCOMPARE(back.PixelRgb(x, y), bitmap.PixelRgb(x, y));
            }
        }
    }
    // Other formats are converted; transparency is dropped.
    QImage rgb888(2, 1, QImage::Format_RGB888);
    rgb888.setPixel(0, 0, qRgb(1, 2, 3));
    rgb888.setPixel(1, 0, qRgb(250, 128, 7));
    const qm::Bitmap converted = qm::FromQImage(rgb888, 3);
    QCOMPARE(converted.PixelRgb(0, 0), 0x010203u);
    QCOMPARE(converted.PixelRgb(1, 0), 0xFA8007u);
}

void TestImageAdapter::malformedBitmapGivesNullImage()
{
    qm::Bitmap bitmap(4, 4, 4);
    bitmap.data.resize(7);
    QVERIFY(qm::ToQImage(bitmap).isNull());
    QVERIFY(qm::ToQImage(qm::Bitmap(0, 5, 3)).isNull());
    QCOMPARE(qm::FromQImage(QImage()).width, 0);
}

void TestImageAdapter::overlayDrawsBlueLinesAndNameBoxes()
{
    QImage image(796, 484, QImage::Format_RGB32);
    image.fill(qRgb(200, 0, 0));
    const QStringList paths = {"/data/site/a.csv", "/data/site/line two.csv", "c.csv"};
    qm::DrawMatrixOverlay(image, paths);
    const QRgb blue = qRgb(0, 0, 255);
    for (int q = 0; q < 3; ++q) {
        const int y = qm::MatrixLabelRow(484, 3, q);
        QCOMPARE(image.pixel(795, y), blue);
        QCOMPARE(image.pixel(600, y), blue);
        QVERIFY(image.pixel(600, y + 1) != blue);
        // The name box starts at (0, y) and is opaque white or dark text, never the raster colour.
        QVERIFY(image.pixel(0, y) != qRgb(200, 0, 0));
        bool dark = false;
        for (int x = 0; x < 40 && !dark; ++x) {
            for (int dy = 0; dy < 12 && !dark; ++dy) {
                dark = qGray(image.pixel(x, y + dy)) < 100 && qRed(image.pixel(x, y + dy)) < 100;
            }
        }
        QVERIFY2(dark, "no dark text in the name box");
    }
    // Between the lines, far from the names, the raster is untouched.
    QCOMPARE(image.pixel(700, 80), qRgb(200, 0, 0));
}

void TestImageAdapter::overlayWithoutFilesLeavesImageAlone()
{
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    const QImage before = image;
    qm::DrawMatrixOverlay(image, {});
    QCOMPARE(image, before);
}

QTEST_MAIN(TestImageAdapter)
#include "test_image_adapter.moc"
