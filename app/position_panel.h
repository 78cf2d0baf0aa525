// The position panel: the selected reading's GPS fix in three forms, "del", and the map inputs
// (map view, map controls) with the "Map" command that shows the position on the map window.
#pragma once

#include <QPointer>
#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TFormMapa;

namespace qm {

class SurveyTable;

class PositionPanel : public QWidget {
    Q_OBJECT
public:
    explicit PositionPanel(QWidget* parent = nullptr);

    void SetMapWindow(TFormMapa* mapWindow);

    // Shows the fix of one table row in the six fields. Throws on a fix that does not convert;
    // fields written before the failing step keep their new texts.
    void ShowPosition(const SurveyTable& table, int row);
    // True from a failed readout until a readout succeeds or the user types into `lad` or `lod`:
    // the decimal fields may then still hold the position of another reading.
    bool PositionStale() const { return positionStale_; }
    // Ticks or unticks one map control by name (names match without regard to case).
    void CheckMapControl(const QString& controlName, bool tick);
    // The "Map" command: checks the decimal position and generates the map page with the chosen
    // view and controls. Throws on a position the map cannot show, or while the position is stale;
    // false without a map window.
    bool ShowOnMap();

    QPushButton* Button5 = nullptr; // "del"
    QLabel* lblLon = nullptr;
    QLabel* lblLat = nullptr;
    QLineEdit* edtLat = nullptr;
    QLineEdit* edtLat2 = nullptr;
    QLineEdit* lad = nullptr;
    QLineEdit* edtLon = nullptr;
    QLineEdit* edtLon2 = nullptr;
    QLineEdit* lod = nullptr;
    QPushButton* Button4 = nullptr; // "Map"
    QGroupBox* rgTipoMapa = nullptr;
    QButtonGroup* rgTipoMapaItems = nullptr;
    QListWidget* clControls = nullptr;

signals:
    // "Map" pressed, and "del" pressed (the window runs both: they reach the table and the map).
    void MapClicked();
    void DeleteClicked();

private:
    QPointer<TFormMapa> mapWindow_;
    bool positionStale_ = false;
};

} // namespace qm
