// The page "Matrix": all files drawn as one colour raster, smoothed to the display or shown raw.
#include "main_window.h"

#include "error_box.h"
#include "image_adapter.h"
#include "matrix_overlay.h"
#include "matrix_raster.h"
#include "profile_chart.h"
#include "resample.h"
#include "survey_table_view.h"
#include "widgets.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPointer>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

void TForm1::Button3Click()
{
    qm::RunHandler(this, [this] { Draw(); });
}

void TForm1::SpinEditChange()
{
    // The draw itself shows the baseline it derived: that is no request for another draw.
    if (settingBalanceBox_)
        return;
    qm::RunHandler(this, [this] {
        balance_ = static_cast<std::uint16_t>(static_cast<unsigned>(SpinEdit1->value()) & 0xFFFFu);
        Draw();
    });
}

void TForm1::ProcessEventsOnce()
{
    QCoreApplication::processEvents();
}

void TForm1::Draw()
{
    // Events run inside a draw; a draw asked for meanwhile does not start a nested one, but runs
    // once the current one has ended, so a Balance or Contrast change made meanwhile is drawn.
    if (drawing_) {
        drawAgain_ = true;
        return;
    }
    drawing_ = true;
    drawAgain_ = false;
    QPointer<TForm1> self(this);
    struct Done {
        QPointer<TForm1>& window;
        ~Done()
        {
            if (window) {
                window->drawing_ = false;
                window->ShowProgress(0, 0);
                if (window->drawAgain_ && !window->closing_)
                    QTimer::singleShot(0, window.data(), &TForm1::Button3Click);
            }
        }
    } done{self};

    qm::MatrixSource source;
    source.fileCount = [this, &self] { return (self && !closing_) ? ListView1->topLevelItemCount() : 0; };
    source.select = [this, &self](int q) -> const qm::SurveyTable* {
        if (!self || closing_ || q < 0 || q >= ListView1->topLevelItemCount())
            return nullptr;
        SetSelectedFile(q);
        ShowProgress(q + 1, ListView1->topLevelItemCount());
        SelectFile();
        return &AdvListView1->table();
    };
    source.balanceChanged = [this](std::uint16_t balance) { SetBalance(balance); };
    // File selection has just plotted the readings: the passes take them from the profile.
    source.readings = [this]() -> std::span<const double> {
        for (int i = 0; i < qm::ProfileChart::kSeriesCount; ++i)
            if (Chart1->series(i).Count() > 0)
                return Chart1->series(i).Values();
        return {};
    };

    bool completed = false;
    const std::int32_t contrast = SpinEdit2->value();
    qm::Bitmap raw = qm::BuildMatrixRaster(source, balance_, contrast, completed);
    if (!completed)
        return; // the file list changed under the draw: it ends, the picture stays

    const QSize area = Image1->size();
    qm::Bitmap display(area.width(), area.height(), 4, 0xFF);
    ProcessEventsOnce();
    if (!self || closing_)
        return;
    qm::ResampleImage(raw, display, qm::HermiteKernel, 1.0f);

    QImage smoothed = qm::ToQImage(display);
    if (CheckBox2->isChecked()) {
        const int files = raw.height;
        const QStringList paths = Files();
        QStringList names;
        for (int q = 0; q < files; ++q)
            names << (q < paths.size() ? paths[q] : QString());
        qm::DrawMatrixOverlay(smoothed, names);
    }
    Image1->SetPicture(CheckBox1->isChecked() ? smoothed : qm::ToQImage(raw));
}
