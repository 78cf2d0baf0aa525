// The site map's "Processing" panel: the traverses, the steps of the recipe in order, each with its
// check box and its parameters edited in place, add, remove and move, Undo and Redo of every change,
// what the dots show, and the recipe saved to and opened from its JSON file.
#pragma once

#include "processing_runner.h"
#include "recipe.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QToolButton;
class QUndoStack;
class QVBoxLayout;

namespace qm {

class ProcessingPanel : public QWidget {
    Q_OBJECT

public:
    explicit ProcessingPanel(QWidget* parent = nullptr);

    const process::Recipe& GetRecipe() const { return recipe_; }
    // Replaces the whole recipe as one change that Undo takes back (what "Open recipe…" does).
    void ReplaceRecipe(process::Recipe recipe, const QString& what);
    // The step selected in the list (0-based), -1 for none.
    int SelectedStep() const;
    void SelectStep(int step);
    ShowWhat Show() const;
    void SetShow(ShowWhat show);
    QUndoStack* UndoStack() const { return stack_; }
    QAction* UndoAction() const { return undo_; }
    QAction* RedoAction() const { return redo_; }
    QAction* OpenAction() const { return open_; }
    QAction* SaveAction() const { return save_; }
    // What each step did, shown on its row; ignored unless for the recipe shown.
    void ShowReports(const process::Recipe& recipe, const std::vector<process::StepReport>& reports);
    // The editor of field `key` of step `step` (a QLineEdit or a QComboBox; "enabled": the check
    // box), or null.
    QWidget* Editor(int step, const QString& key) const;

    void OpenRecipe();
    void SaveRecipe();
    // Seams for tests: the file dialogs; an empty text cancels.
    std::function<QString(const QString& caption, const QString& suggestedName, const QString& filter)> saveFileDialog;
    std::function<QString(const QString& caption, const QString& filter)> openFileDialog;
    // Where "Save recipe…" suggests to save first.
    QString suggestedFolder;

signals:
    // The recipe changed (an edit, Undo or Redo).
    void RecipeChanged();
    // What the dots show changed: the Show choice, or the selected step while it matters.
    void ViewChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class RecipeCommand;
    struct Row;

    // Sets the recipe as an undo command asks; the list is rebuilt only when its shape changed.
    void Apply(const process::Recipe& recipe);
    void Push(process::Recipe after, const QString& text, const QString& mergeKey = {});
    void BuildButtons(QVBoxLayout* layout);
    void Rebuild();
    void SyncEditors();
    void BuildRow(int step);
    void FieldEdited(int step, const QString& key);
    void AddStep(const process::Operation& op);
    void RemoveStep();
    void MoveStep(int by);
    void UpdateButtons();

    process::Recipe recipe_;
    QUndoStack* stack_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QAction* open_ = nullptr;
    QAction* save_ = nullptr;
    QComboBox* traversesBox_ = nullptr;
    QComboBox* showBox_ = nullptr;
    QListWidget* list_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QToolButton* removeButton_ = nullptr;
    QToolButton* upButton_ = nullptr;
    QToolButton* downButton_ = nullptr;
    std::vector<std::shared_ptr<Row>> rows_;
    int editSession_ = 0;  // keystrokes of one field in one session fold into one undo step
    bool applying_ = false; // editors are being set from the recipe, not by the user
};

} // namespace qm
