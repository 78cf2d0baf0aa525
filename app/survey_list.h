// The survey list document: the paths of the list in order, the loaded table of the selected file
// with the rows "del" removed from it, and the selected file and row. The main window's pages and
// the site map's link are handed it: they ask it for data and listen to its signals, and nothing
// reads data back out of a widget.
#pragma once

#include "deleted_rows.h"
#include "survey_table.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace qm {

class SurveyList : public QObject {
    Q_OBJECT
public:
    explicit SurveyList(QObject* parent = nullptr);

    // The list, in order (the order of the matrix bands and of the site's traverses).
    const QStringList& Paths() const { return paths_; }
    int FileCount() const { return static_cast<int>(paths_.size()); }
    // Replaces the list and emits ListChanged.
    void SetPaths(const QStringList& paths);

    // The table of the selected file as loaded, less the rows "del" removed.
    SurveyTable& Table() { return table_; }
    const SurveyTable& Table() const { return table_; }
    DeletedRows& Deleted() { return deleted_; }
    const DeletedRows& Deleted() const { return deleted_; }
    // The row of the file a table row shows: the two differ once "del" removed rows above it.
    int FileRow(int tableRow) const { return deleted_.FileRow(tableRow); }

    // The file whose table is loaded (-1 for none), and the file row of the last readout (-1).
    int SelectedFile() const { return selectedFile_; }
    int SelectedRow() const { return selectedRow_; }

    // Called by the main window when a selection has completed; each emits its signal.
    void FileWasSelected(int index, const QString& path);
    void RowWasSelected(int fileRow);

    // Asks the main window to select a file, then a row of it, as clicks there would (a view such
    // as the site map asks; the window does the loading).
    void RequestFile(int index) { emit FileRequested(index); }
    void RequestRow(int tableRow) { emit RowRequested(tableRow); }

signals:
    void ListChanged();
    // A file selection has completed: the file is loaded into the table. Slots must not throw.
    void FileSelected(int index, const QString& path);
    // The position readout of a reading has completed; `fileRow` is its row in the file.
    void RowSelected(int fileRow);
    void FileRequested(int index);
    void RowRequested(int tableRow);

private:
    QStringList paths_;
    SurveyTable table_;
    DeletedRows deleted_;
    int selectedFile_ = -1;
    int selectedRow_ = -1;
};

} // namespace qm
