// The position panel: the readout of the selected reading's GPS fix and the "Map" command.
#include "main_window.h"

#include "error_box.h"
#include "map_page.h"
#include "map_window.h"
#include "position.h"
#include "survey_table_view.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>

namespace {

// The map type constants of the radio group, by item index (the captions may carry accelerators).
QString MapTypeName(int index)
{
    static const char* const kTypes[] = {"G_NORMAL_MAP", "G_SATELLITE_MAP", "G_HYBRID_MAP", "G_PHYSICAL_MAP"};
    return index >= 0 && index < 4 ? QString::fromLatin1(kTypes[index]) : QString();
}

} // namespace

void TForm1::AdvListView1Click()
{
    qm::RunHandler(this, [this] { ReadPosition(); });
}

void TForm1::ReadPosition()
{
    const int row = AdvListView1->SelectedRow();
    if (row < 0)
        return;
    QLineEdit* edits[] = {edtLat, edtLat2, lad, edtLon, edtLon2, lod};
    qm::PositionFields before;
    std::string* texts[] = {&before.edtLat, &before.edtLat2, &before.lad, &before.edtLon, &before.edtLon2, &before.lod};
    for (int i = 0; i < 6; ++i)
        *texts[i] = qm::EncodeText(edits[i]->text());
    qm::PositionFields fields = before;
    std::string* after[] = {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon, &fields.edtLon2, &fields.lod};
    // Fields written before a failing step keep their new texts.
    auto show = [&] {
        for (int i = 0; i < 6; ++i)
            if (*after[i] != *texts[i]) {
                edits[i]->setText(qm::DecodeText(*after[i]));
                edits[i]->setCursorPosition(0); // the narrow field shows the start of a long number
            }
    };
    try {
        qm::ReadPosition(AdvListView1->table(), row, fields);
    } catch (...) {
        show();
        throw;
    }
    show();
}

void TForm1::CheckMapControl(const QString& controlName, bool tick)
{
    for (int i = 0; i < clControls->count(); ++i) {
        QListWidgetItem* item = clControls->item(i);
        if (item->text().compare(controlName, Qt::CaseInsensitive) == 0) {
            item->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
            return;
        }
    }
}

void TForm1::Button4Click()
{
    qm::RunHandler(this, [this] {
        // A position the map cannot show ("?" of a reading without a fix, or typed text) is refused
        // before anything is generated, so no broken or foreign script reaches the page.
        qm::ValidateMapPosition(qm::EncodeText(lad->text()), qm::EncodeText(lod->text()));
        if (!mapWindow_)
            return;
        mapWindow_->show();
        mapWindow_->raise();
        QStringList controls;
        for (int i = 0; i < clControls->count(); ++i)
            if (clControls->item(i)->checkState() == Qt::Checked)
                controls << clControls->item(i)->text();
        CheckMapControl(QStringLiteral("GHierarchicalMapTypeControl"), false);
        const QString mapType = MapTypeName(rgTipoMapaItems->checkedId());
        mapWindow_->GenerateMap(750, 400, controls, true, lad->text(), lod->text(), mapType);
        PlaceRightOfMapWindow();
    });
}
