// The page "Line": the profile chart with its scale strip left of it (the two track bars that set
// the top and the bottom of a manual scale, the scale mode and the view style).
#pragma once

#include <QImage>
#include <QWidget>

#include <exception>
#include <span>

class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

namespace qm {

class ProfileChart;
class SurveyTable;

class ProfilePage : public QWidget {
    Q_OBJECT
public:
    explicit ProfilePage(QWidget* parent = nullptr);

    // Empties all series.
    void ClearSeries();
    // Plots the table's readings in the chosen view style; nothing for a style text that names none.
    void Plot(const SurveyTable& table);
    QImage Picture() const;

    // Handlers of the strip; each runs inside the error box boundary.
    void ScaleModeChange();                 // a scale mode or view style chosen
    void TrackBarChange();                  // a track bar moved
    void StepBar(QSlider* bar, int delta);  // the arrow buttons

    QWidget* Panel3 = nullptr;
    QLabel* Label8 = nullptr;
    QSlider* TrackBar1 = nullptr;  // the top of the manual scale
    QToolButton* BitBtn1 = nullptr;
    QToolButton* BitBtn2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr; // scale mode
    QLabel* Label5 = nullptr;
    QComboBox* ComboBox2 = nullptr; // view style
    QLabel* Label9 = nullptr;
    QSlider* TrackBar2 = nullptr;  // the bottom of the manual scale
    QToolButton* BitBtn3 = nullptr;
    QToolButton* BitBtn4 = nullptr;
    ProfileChart* Chart1 = nullptr;

signals:
    // A press on point `valueIndex` of a series (data row valueIndex + 1), and a double click.
    void PointClicked(int seriesIndex, int valueIndex);
    void DoubleClicked();

private:
    // Setting a bar's position inside TrackBarChange runs it again, nested; the depth and the
    // first error of a nested run belong to this page.
    int trackBarDepth_ = 0;
    std::exception_ptr nestedError_;
};

} // namespace qm
