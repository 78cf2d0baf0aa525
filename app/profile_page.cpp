// The page "Line": plotting the profile, the scale modes and the track bars.
#include "profile_page.h"

#include "error_box.h"
#include "profile_chart.h"
#include "profile_modes.h"
#include "profile_plot.h"
#include "survey_table.h"
#include "widgets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include <utility>

namespace qm {

namespace {

// The index of the item whose text the box shows, or -1 when the (editable) text matches none.
int ItemIndex(const QComboBox* box)
{
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && box->itemText(box->currentIndex()) == text)
        return box->currentIndex();
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

template <std::size_t N>
QStringList Captions(const std::array<std::string_view, N>& names)
{
    QStringList captions;
    for (std::string_view name : names)
        captions << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    return captions;
}

} // namespace

ProfilePage::ProfilePage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel3 = FixedPanel(this, 73, -1);
    Panel3->setMinimumHeight(480);
    Label8 = Place(new QLabel(QStringLiteral("Scale"), Panel3), 0, 0);
    auto makeBar = [this](int left, int top, int width, int height, int position) {
        auto* bar = new QSlider(Qt::Vertical, Panel3);
        bar->setGeometry(left, top, width, height);
        bar->setRange(0, 100000);
        bar->setInvertedAppearance(true); // position 0 at the top end
        bar->setInvertedControls(true);
        bar->setSingleStep(1);
        bar->setPageStep(10000);
        bar->setTickPosition(QSlider::TicksBothSides);
        bar->setTickInterval(10000);
        bar->setValue(position);
        return bar;
    };
    auto makeStep = [this](const char* caption, int left, int top) {
        auto* button = new QToolButton(Panel3);
        button->setText(QString::fromLatin1(caption));
        button->setGeometry(left, top, 19, 25);
        return button;
    };
    TrackBar1 = makeBar(0, 16, 33, 142, 60000);
    BitBtn1 = makeStep("^", 40, 24);
    BitBtn2 = makeStep("v", 40, 128);
    Label1 = Place(new QLabel(QStringLiteral("Scale:"), Panel3), 3, 168);
    ComboBox1 = new QComboBox(Panel3);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems(Captions(kScaleModeNames));
    ComboBox1->setCurrentIndex(kScaleManual);
    ComboBox1->setGeometry(0, 184, 65, 22);
    Label5 = Place(new QLabel(QStringLiteral("View style:"), Panel3), 0, 216);
    ComboBox2 = new QComboBox(Panel3);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->addItems(Captions(kViewStyleNames));
    ComboBox2->setCurrentIndex(0);
    ComboBox2->setGeometry(0, 232, 65, 22);
    Label9 = Place(new QLabel(QStringLiteral("Scale"), Panel3), 0, 312);
    TrackBar2 = makeBar(0, 327, 33, 150, 40000);
    BitBtn3 = makeStep("^", 40, 336);
    BitBtn4 = makeStep("v", 40, 440);
    layout->addWidget(Panel3);

    Chart1 = new ProfileChart(this);
    layout->addWidget(Chart1, 1);

    connect(Chart1, &ProfileChart::ClickSeries, this,
            [this](int seriesIndex, int valueIndex) { emit PointClicked(seriesIndex, valueIndex); });
    connect(Chart1, &ProfileChart::DoubleClicked, this, &ProfilePage::DoubleClicked);
    connect(ComboBox1, &QComboBox::currentTextChanged, this, &ProfilePage::ScaleModeChange);
    connect(ComboBox2, &QComboBox::currentTextChanged, this, &ProfilePage::ScaleModeChange);
    connect(TrackBar1, &QSlider::valueChanged, this, &ProfilePage::TrackBarChange);
    connect(TrackBar2, &QSlider::valueChanged, this, &ProfilePage::TrackBarChange);
    connect(BitBtn1, &QToolButton::clicked, this, [this] { StepBar(TrackBar1, -10); });
    connect(BitBtn2, &QToolButton::clicked, this, [this] { StepBar(TrackBar1, +10); });
    connect(BitBtn3, &QToolButton::clicked, this, [this] { StepBar(TrackBar2, -10); });
    connect(BitBtn4, &QToolButton::clicked, this, [this] { StepBar(TrackBar2, +10); });
}

void ProfilePage::ClearSeries()
{
    for (int i = 0; i < ProfileChart::kSeriesCount; ++i)
        Chart1->series(i).Clear();
}

void ProfilePage::Plot(const SurveyTable& table)
{
    const int style = ItemIndex(ComboBox2);
    if (style < 0 || style >= static_cast<int>(kViewStyleNames.size()))
        return;
    PlotProfile(Chart1->series(style), table);
}

QImage ProfilePage::Picture() const
{
    return Chart1->grab().toImage();
}

void ProfilePage::ScaleModeChange()
{
    RunHandler(window(), [this] {
        ChartAxis& axis = Chart1->LeftAxis();
        const int mode = ItemIndex(ComboBox1);
        if (const auto preset = PresetScale(mode)) {
            axis.SetAutomatic(preset->automatic);
            if (!preset->automatic) {
                axis.SetMaximum(preset->max);
                axis.SetMinimum(preset->min);
            }
        } else if (mode == kScaleManual) {
            axis.SetAutomatic(false);
            axis.SetMaximum(TrackBar1->value());
            axis.SetMinimum(TrackBar2->value());
        }
    });
}

// A position change of either bar. Setting a bar's position runs this again at once, nested in the
// running one; an error of a nested run ends the outer run too, and is shown once.
void ProfilePage::TrackBarChange()
{
    auto body = [this] {
        ++trackBarDepth_;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{trackBarDepth_};
        auto setPosition = [this](QSlider* bar, int position) {
            bar->setValue(position);
            if (nestedError_)
                std::rethrow_exception(std::exchange(nestedError_, nullptr));
        };
        if (TrackBar2->value() >= TrackBar1->value())
            setPosition(TrackBar1, TrackBar2->value() + 1);
        if (TrackBar2->value() >= TrackBar1->value())
            setPosition(TrackBar2, TrackBar1->value() - 1);
        if (ItemIndex(ComboBox1) == kScaleManual) {
            ChartAxis& axis = Chart1->LeftAxis();
            axis.SetMaximum(TrackBar1->value());
            axis.SetMinimum(TrackBar2->value());
        }
    };
    if (trackBarDepth_ > 0) {
        try {
            body();
        } catch (...) {
            if (!nestedError_)
                nestedError_ = std::current_exception();
        }
        return;
    }
    nestedError_ = nullptr;
    RunHandler(window(), body);
}

void ProfilePage::StepBar(QSlider* bar, int delta)
{
    bar->setValue(bar->value() + delta);
}

} // namespace qm
