// The survey table control: a QTableView over a model that reads the core table on demand, so a
// million-row file costs no widget items. Offers the table operations the window's handlers use
// (selection, focus mark, scrolling a row into view, the update bracket).
#pragma once

#include "survey_table.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <filesystem>

namespace qm {

class SurveyTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SurveyTableModel(SurveyTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Changes of the table go through here so that the view hears of them.
    void Clear();
    void LoadFromCsv(const std::filesystem::path& path);
    void DeleteRow(int row);

private:
    SurveyTable& table_;
};

class AdvListView : public QTableView {
    Q_OBJECT
public:
    // A view of the table, which the survey list document owns.
    explicit AdvListView(SurveyTable& table, QWidget* parent = nullptr);

    SurveyTable& table() { return table_; }
    const SurveyTable& table() const { return table_; }
    SurveyTableModel& model() { return model_; }

    void Clear();
    // Loads inside the update bracket; the view is redrawn once, after the load.
    void LoadFromCsv(const std::filesystem::path& path);
    void DeleteRow(int row);
    void SetColumnWidth(int column, int width);

    int SelectedRow() const;
    void SetSelectedRow(int row);
    int FocusedRow() const;
    void FocusRow(int row);
    // Selects the row, gives it the focus mark and scrolls so that the whole row is visible.
    void ShowRow(int row);

    void BeginUpdate();
    void EndUpdate();
    int UpdateDepth() const { return updateDepth_; }

signals:
    // A click of the primary button on the table (the position readout runs on it) and a double
    // click of it (the "Map" command).
    void Click();
    void DoubleClick();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ApplyColumnWidths();

    SurveyTable& table_;
    SurveyTableModel model_;
    int updateDepth_ = 0;
};

} // namespace qm
