// The page "Matrix": all files of the list drawn as one colour raster, smoothed to the display or
// shown raw, with the baseline ("Balance:"), the gain ("Contrast:") and the progress bar.
#pragma once

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <span>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace qm {

class ImageBox;
class SurveyTable;

// What a draw reads from the window, file by file.
struct MatrixFiles {
    std::function<int()> count;
    // Selects file `index` as a click would and returns its loaded table (throws as loading does).
    std::function<const SurveyTable*(int index)> select;
    std::function<QStringList()> names;
};

class MatrixPage : public QWidget {
    Q_OBJECT
public:
    explicit MatrixPage(MatrixFiles files, QWidget* parent = nullptr);

    std::uint16_t Balance() const { return balance_; }
    // Shows the baseline in "Balance:" without starting a draw.
    void SetBalance(std::uint16_t balance);
    // Sets the baseline to 0, to be derived again by the next draw, and leaves the box as it is.
    void ResetBalance();

    // Handlers; each runs inside the error box boundary.
    void Button3Click();   // "Draw"
    void SpinEditChange(); // "Balance:" or "Contrast:" changed by the user

    bool DrawRunning() const { return drawing_; }
    // Shows "file of files" below the check boxes; hidden for files <= 0.
    void ShowProgress(int file, int files);
    // The window closes: a running draw ends at its next step and none is started again.
    void Stop() { stopped_ = true; }

    QPushButton* Button3 = nullptr;
    QLabel* Label6 = nullptr;
    QSpinBox* SpinEdit1 = nullptr; // balance
    QLabel* Label7 = nullptr;
    QSpinBox* SpinEdit2 = nullptr; // contrast
    QCheckBox* CheckBox1 = nullptr; // "Blur"
    QCheckBox* CheckBox2 = nullptr; // "Show profile"
    ImageBox* Image1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    void Draw();

    MatrixFiles files_;
    std::uint16_t balance_ = 0;
    bool drawing_ = false;
    bool drawAgain_ = false;
    bool stopped_ = false;
    bool settingBalanceBox_ = false;
};

} // namespace qm
