// The page "Line": plotting the profile, "del", the point click, the scale modes and track bars.
#include "main_window.h"

#include "error_box.h"
#include "field_value.h"
#include "profile_chart.h"
#include "survey_table_view.h"

#include <QComboBox>
#include <QSlider>

#include <exception>

namespace {

// The index of the item whose text the box shows, or -1 when the (editable) text matches none.
int ItemIndex(const QComboBox* box)
{
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && box->itemText(box->currentIndex()) == text)
        return box->currentIndex();
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

const QColor kPointColour(255, 255, 0);

} // namespace

void TForm1::PlotProfile()
{
    const int style = ItemIndex(ComboBox2);
    if (style < 0 || style > 2)
        return;
    qm::ChartSeries& series = Chart1->series(style);
    series.Clear();
    const qm::SurveyTable& table = AdvListView1->table();
    const int rows = table.RowCount();
    for (int r = 1; r < rows; ++r)
        series.Add(static_cast<double>(qm::FieldValue(table.Cell(r, 1))), table.RowCaption(r), kPointColour);
}

void TForm1::Button5Click()
{
    qm::RunHandler(this, [this] {
        const int selected = AdvListView1->SelectedRow();
        if (selected >= 0)
            AdvListView1->DeleteRow(selected);
        for (int i = 0; i < 3; ++i)
            Chart1->series(i).Clear();
        PlotProfile();
    });
}

void TForm1::Chart1ClickSeries(int /*seriesIndex*/, int valueIndex)
{
    qm::RunHandler(this, [this, valueIndex] {
        const int row = valueIndex + 1;
        // The chart always shows the rows of the current table; a stale press is ignored.
        if (valueIndex < 0 || row >= AdvListView1->table().RowCount())
            return;
        AdvListView1->ShowRow(row);
        ReadPosition();
    });
}

void TForm1::ComboBox1Change()
{
    qm::RunHandler(this, [this] {
        qm::ChartAxis& axis = Chart1->LeftAxis();
        switch (ItemIndex(ComboBox1)) {
        case 0:
            axis.SetAutomatic(true);
            break;
        case 1:
            axis.SetAutomatic(false);
            axis.SetMaximum(60000);
            axis.SetMinimum(40000);
            break;
        case 2:
            axis.SetAutomatic(false);
            axis.SetMaximum(55000);
            axis.SetMinimum(50000);
            break;
        case 3:
            axis.SetAutomatic(false);
            axis.SetMaximum(TrackBar1->value());
            axis.SetMinimum(TrackBar2->value());
            break;
        default:
            break;
        }
    });
}

// A position change of either bar. Setting a bar's position runs this again at once, nested in the
// running one; an error of a nested run ends the outer run too, and is shown once.
void TForm1::TrackBar1Change()
{
    static int depth = 0;
    static std::exception_ptr nestedError;
    auto body = [this] {
        ++depth;
        struct Leave {
            ~Leave() { --depth; }
        } leave;
        auto setPosition = [](QSlider* bar, int position) {
            bar->setValue(position);
            if (nestedError)
                std::rethrow_exception(std::exchange(nestedError, nullptr));
        };
        if (TrackBar2->value() >= TrackBar1->value())
            setPosition(TrackBar1, TrackBar2->value() + 1);
        if (TrackBar2->value() >= TrackBar1->value())
            setPosition(TrackBar2, TrackBar1->value() - 1);
        if (ItemIndex(ComboBox1) == 3) {
            qm::ChartAxis& axis = Chart1->LeftAxis();
            axis.SetMaximum(TrackBar1->value());
            axis.SetMinimum(TrackBar2->value());
        }
    };
    if (depth > 0) {
        try {
            body();
        } catch (...) {
            if (!nestedError)
                nestedError = std::current_exception();
        }
        return;
    }
    nestedError = nullptr;
    qm::RunHandler(this, body);
}

void TForm1::BitBtn1Click()
{
    TrackBar1->setValue(TrackBar1->value() - 10);
}

void TForm1::BitBtn2Click()
{
    TrackBar1->setValue(TrackBar1->value() + 10);
}

void TForm1::BitBtn3Click()
{
    TrackBar2->setValue(TrackBar2->value() - 10);
}

void TForm1::BitBtn4Click()
{
    TrackBar2->setValue(TrackBar2->value() + 10);
}
