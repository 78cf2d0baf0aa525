// The page "Matrix": all files drawn as one colour raster, smoothed to the display or shown raw.
#include "matrix_page.h"

#include "error_box.h"
#include "field_value.h"
#include "image_adapter.h"
#include "matrix_overlay.h"
#include "matrix_raster.h"
#include "resample.h"
#include "survey_table.h"
#include "widgets.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <climits>
#include <utility>
#include <vector>

namespace qm {

namespace {

// The readings of a loaded table as the profile plots them: one per data row, the reading of
// column 1 as a whole number.
std::span<const double> TableReadings(const SurveyTable* table, std::vector<double>& readings)
{
    readings.clear();
    if (!table)
        return {};
    const int rows = table->RowCount();
    for (int r = 1; r < rows; ++r)
        readings.push_back(static_cast<double>(FieldValue(table->Cell(r, 1))));
    return readings;
}

} // namespace

MatrixPage::MatrixPage(MatrixFiles files, QWidget* parent) : QWidget(parent), files_(std::move(files))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* controls = FixedPanel(this, 106, -1);
    Button3 = Place(new QPushButton(QStringLiteral("Draw"), controls), 16, 16, 75, 25);
    Label6 = Place(new QLabel(QStringLiteral("Balance:"), controls), 8, 64);
    SpinEdit1 = new QSpinBox(controls);
    SpinEdit1->setGeometry(8, 80, 89, 22);
    SpinEdit1->setRange(INT_MIN, INT_MAX);
    SpinEdit1->setSingleStep(5);
    SpinEdit1->setValue(0);
    Label7 = Place(new QLabel(QStringLiteral("Contrast:"), controls), 8, 112);
    SpinEdit2 = new QSpinBox(controls);
    SpinEdit2->setGeometry(8, 128, 89, 22);
    SpinEdit2->setRange(INT_MIN, INT_MAX);
    SpinEdit2->setSingleStep(1);
    SpinEdit2->setValue(3);
    CheckBox1 = Place(new QCheckBox(QStringLiteral("Blur"), controls), 8, 200, 97, 17);
    CheckBox1->setChecked(true);
    CheckBox2 = Place(new QCheckBox(QStringLiteral("Show profile"), controls), 8, 232, 97, 17);
    CheckBox2->setChecked(true);
    // Shows which file a draw or a playback is at.
    ProgressBar1 = new QProgressBar(controls);
    ProgressBar1->setGeometry(8, 264, 89, 17);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("%v of %m"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setVisible(false);
    layout->addWidget(controls);
    // The image area keeps its design size at the right of the page however large the window
    // grows, so the smoothed image has that size; it shrinks only in a window too small for it.
    Image1 = new ImageBox(this, QSize(796, 484));
    Image1->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    layout->addStretch(1);
    layout->addWidget(Image1, 0, Qt::AlignRight | Qt::AlignTop);

    connect(Button3, &QPushButton::clicked, this, &MatrixPage::Button3Click);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &MatrixPage::SpinEditChange);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &MatrixPage::SpinEditChange);
}

void MatrixPage::SetBalance(std::uint16_t balance)
{
    balance_ = balance;
    // Showing the value is no change by the user: it starts no draw.
    settingBalanceBox_ = true;
    SpinEdit1->setValue(balance);
    settingBalanceBox_ = false;
}

void MatrixPage::ResetBalance()
{
    // The box keeps showing the old value until the next draw derives and shows a new one.
    balance_ = 0;
}

void MatrixPage::ShowProgress(int file, int files)
{
    if (files <= 0) {
        ProgressBar1->setVisible(false);
        return;
    }
    ProgressBar1->setRange(0, files);
    ProgressBar1->setValue(file);
    ProgressBar1->setVisible(true);
}

void MatrixPage::Button3Click()
{
    RunHandler(window(), [this] { Draw(); });
}

void MatrixPage::SpinEditChange()
{
    // The draw itself shows the baseline it derived: that is no request for another draw.
    if (settingBalanceBox_)
        return;
    RunHandler(window(), [this] {
        balance_ = static_cast<std::uint16_t>(static_cast<unsigned>(SpinEdit1->value()) & 0xFFFFu);
        Draw();
    });
}

void MatrixPage::Draw()
{
    // Events run inside a draw; a draw asked for meanwhile does not start a nested one, but runs
    // once the current one has ended, so a Balance or Contrast change made meanwhile is drawn.
    if (drawing_) {
        drawAgain_ = true;
        return;
    }
    drawing_ = true;
    drawAgain_ = false;
    // The window may be closed or destroyed while events run: every step checks this first.
    QPointer<MatrixPage> self(this);
    struct Done {
        QPointer<MatrixPage>& page;
        ~Done()
        {
            if (page) {
                page->drawing_ = false;
                page->ShowProgress(0, 0);
                if (page->drawAgain_ && !page->stopped_)
                    QTimer::singleShot(0, page.data(), &MatrixPage::Button3Click);
            }
        }
    } done{self};

    MatrixSource source;
    source.fileCount = [this, &self] { return (self && !stopped_) ? files_.count() : 0; };
    const SurveyTable* selected = nullptr;
    source.select = [this, &self, &selected](int q) -> const SurveyTable* {
        if (!self || stopped_ || q < 0 || q >= files_.count())
            return nullptr;
        ShowProgress(q + 1, files_.count());
        selected = files_.select(q);
        return selected;
    };
    source.balanceChanged = [this](std::uint16_t balance) { SetBalance(balance); };
    // The passes take the readings of the table file selection has just loaded.
    std::vector<double> readings;
    source.readings = [&selected, &readings] { return TableReadings(selected, readings); };

    // A draw starts with file selection of file 0, which empties the profile even when the list
    // holds no file.
    if (files_.count() <= 0)
        files_.select(0);

    bool completed = false;
    const std::int32_t contrast = SpinEdit2->value();
    Bitmap raw = BuildMatrixRaster(source, balance_, contrast, completed);
    if (!completed)
        return; // the file list changed under the draw: it ends, the picture stays

    const QSize area = Image1->size();
    Bitmap display(area.width(), area.height(), 4, 0xFF);
    QCoreApplication::processEvents();
    if (!self || stopped_)
        return;
    ResampleImage(raw, display, HermiteKernel, 1.0f);

    QImage smoothed = ToQImage(display);
    if (CheckBox2->isChecked()) {
        const int files = raw.height;
        const QStringList paths = files_.names();
        QStringList names;
        for (int q = 0; q < files; ++q)
            names << (q < paths.size() ? paths[q] : QString());
        DrawMatrixOverlay(smoothed, names);
    }
    Image1->SetPicture(CheckBox1->isChecked() ? smoothed : ToQImage(raw));
}

} // namespace qm
