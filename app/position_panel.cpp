// The position readout and the map inputs.
#include "position_panel.h"

#include "errors.h"
#include "map_page.h"
#include "map_window.h"
#include "position.h"
#include "text_codec.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qm {

namespace {

// The map type constants of the radio group, by item index (the captions may carry accelerators).
constexpr const char* kMapTypes[] = {"G_NORMAL_MAP", "G_SATELLITE_MAP", "G_HYBRID_MAP", "G_PHYSICAL_MAP"};

QString MapTypeName(int index)
{
    return index >= 0 && index < 4 ? QString::fromLatin1(kMapTypes[index]) : QString();
}

} // namespace

PositionPanel::PositionPanel(QWidget* parent) : QWidget(parent)
{
    Button5 = Place(new QPushButton(QStringLiteral("del"), this), 0, 0, 49, 17);
    lblLon = Place(new QLabel(QStringLiteral("Latitude: "), this), 8, 28);
    lblLat = Place(new QLabel(QStringLiteral("Longitude: "), this), 8, 50);
    // The fields start at the map's default position.
    const MapRequest defaults;
    const QString latStart = DecodeText(defaults.latitude);
    const QString lonStart = DecodeText(defaults.longitude);
    edtLat = Place(new QLineEdit(latStart, this), 88, 16, 81, 21);
    edtLat2 = Place(new QLineEdit(latStart, this), 176, 16, 81, 21);
    lad = Place(new QLineEdit(latStart, this), 264, 16, 81, 21);
    edtLon = Place(new QLineEdit(lonStart, this), 88, 42, 81, 21);
    edtLon2 = Place(new QLineEdit(lonStart, this), 176, 42, 81, 21);
    lod = Place(new QLineEdit(lonStart, this), 264, 42, 81, 21);
    lad->setToolTip(QStringLiteral("Latitud"));
    lod->setToolTip(QStringLiteral("Logitud"));
    Button4 = Place(new QPushButton(QStringLiteral("Map"), this), 8, 80, 75, 25);

    rgTipoMapa = Place(new QGroupBox(QStringLiteral("&Map View: "), this), 384, 6, 129, 97);
    rgTipoMapa->setToolTip(QStringLiteral("Tipo de mapa"));
    rgTipoMapaItems = new QButtonGroup(rgTipoMapa);
    auto* radios = new QVBoxLayout(rgTipoMapa);
    radios->setContentsMargins(4, 2, 2, 2);
    radios->setSpacing(0);
    QFont small = rgTipoMapa->font();
    small.setPixelSize(10);
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(kMapTypes[i]), rgTipoMapa);
        radio->setFont(small);
        rgTipoMapaItems->addButton(radio, i);
        radios->addWidget(radio);
    }
    rgTipoMapaItems->button(2)->setChecked(true);

    // The map controls to put on the map; kept as a hidden list, ticked by the map window.
    clControls = Place(new QListWidget(this), 408, 6, 121, 99);
    clControls->setToolTip(QStringLiteral("Controles visibles sobre el mapa"));
    const char* controls[] = {"GLargeMapControl", "GSmallMapControl", "GSmallZoomControl", "GScaleControl",
                              "GMapTypeControl", "GHierarchicalMapTypeControl", "GOverviewMapControl"};
    for (const char* name : controls) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), clControls);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    clControls->hide();

    connect(Button4, &QPushButton::clicked, this, &PositionPanel::MapClicked);
    connect(Button5, &QPushButton::clicked, this, &PositionPanel::DeleteClicked);
    // A position the user types in is theirs to map, whatever the last readout left.
    connect(lad, &QLineEdit::textEdited, this, [this] { positionStale_ = false; });
    connect(lod, &QLineEdit::textEdited, this, [this] { positionStale_ = false; });
}

void PositionPanel::SetMapWindow(TFormMapa* mapWindow)
{
    mapWindow_ = mapWindow;
}

void PositionPanel::ShowPosition(const SurveyTable& table, int row)
{
    QLineEdit* edits[] = {edtLat, edtLat2, lad, edtLon, edtLon2, lod};
    PositionFields before;
    std::string* texts[] = {&before.edtLat, &before.edtLat2, &before.lad, &before.edtLon, &before.edtLon2, &before.lod};
    for (int i = 0; i < 6; ++i)
        *texts[i] = EncodeText(edits[i]->text());
    PositionFields fields = before;
    std::string* after[] = {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon, &fields.edtLon2, &fields.lod};
    // Fields written before a failing step keep their new texts.
    auto show = [&] {
        for (int i = 0; i < 6; ++i)
            if (*after[i] != *texts[i]) {
                edits[i]->setText(DecodeText(*after[i]));
                edits[i]->setCursorPosition(0); // the narrow field shows the start of a long number
            }
    };
    try {
        ReadPosition(table, row, fields);
    } catch (...) {
        positionStale_ = true;
        show();
        throw;
    }
    positionStale_ = false;
    show();
}

void PositionPanel::CheckMapControl(const QString& controlName, bool tick)
{
    for (int i = 0; i < clControls->count(); ++i) {
        QListWidgetItem* item = clControls->item(i);
        if (item->text().compare(controlName, Qt::CaseInsensitive) == 0) {
            item->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
            return;
        }
    }
}

bool PositionPanel::ShowOnMap()
{
    // After a failed readout the decimal fields still hold an earlier reading's position, perhaps
    // of another file: mapping it would put the marker where the selected reading never was.
    if (positionStale_)
        throw Error("The selected reading has no position");
    // A position the map cannot show ("?" of a reading without a fix, or typed text) is refused
    // before anything is generated, so no broken or foreign script reaches the page.
    ValidateMapPosition(EncodeText(lad->text()), EncodeText(lod->text()));
    if (!mapWindow_)
        return false;
    mapWindow_->show();
    mapWindow_->raise();
    QStringList controls;
    for (int i = 0; i < clControls->count(); ++i)
        if (clControls->item(i)->checkState() == Qt::Checked)
            controls << clControls->item(i)->text();
    CheckMapControl(QStringLiteral("GHierarchicalMapTypeControl"), false);
    const QString mapType = MapTypeName(rgTipoMapaItems->checkedId());
    const MapRequest defaults;
    mapWindow_->GenerateMap(defaults.mapHeight, defaults.mapWidth, controls, true, lad->text(), lod->text(), mapType);
    return true;
}

} // namespace qm
