// The file panel: the list of survey files with its "Open" and "Close" buttons, and the editing of
// the list (delete, move up, move down). It holds paths only; loading a file is the window's work.
#pragma once

#include <QStringList>
#include <QWidget>

class QFileDialog;
class QPushButton;
class QTreeWidget;

namespace qm {

class SurveyList;

class FilePanel : public QWidget {
    Q_OBJECT
public:
    // The panel shows the document's list and edits it.
    explicit FilePanel(SurveyList& list, QWidget* parent = nullptr);

    QStringList Files() const;
    int FileCount() const;
    QString FileAt(int index) const;
    // The selected file, or -1.
    int SelectedFile() const;
    // Selected and focused, as a click would leave it; an index out of range clears the selection.
    // Selecting loads nothing: a click does that through Clicked().
    void SetSelectedFile(int index);

    // Appends the paths (after emptying the list when `replace` is set).
    void AddFiles(const QStringList& paths, bool replace);
    // Removes the selected file from the list; no other file becomes selected in its place, so
    // the next Delete needs a choice of the user.
    void DeleteSelected();
    // Moves the selected file up (-1) or down (+1) and keeps it selected.
    void MoveSelected(int offset);

    // The open dialog: several survey files may be chosen. AskFiles returns them in the dialog's
    // order, or none when the user cancels.
    static void SetUpOpenDialog(QFileDialog& dialog);
    static QStringList AskFiles(QWidget* parent);

    QTreeWidget* ListView1 = nullptr;
    QPushButton* Button2 = nullptr; // "Open"
    QPushButton* Button1 = nullptr; // "Close"

signals:
    // A click of the primary button in the list has moved the selection: the window loads what
    // it selected.
    void Clicked();
    // A key pressed in the list (the list itself still handles it).
    void KeyPressed(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Hands the list as the panel shows it to the document.
    void Publish();

    SurveyList& list_;
};

} // namespace qm
