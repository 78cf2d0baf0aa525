// The "Processing" panel: every change of the recipe is one command on an undo stack that holds the
// recipe before and after it, so Undo and Redo restore it exactly; the keystrokes of one parameter
// edit fold into one command.
#include "processing_panel.h"

#include "error_box.h"
#include "platform.h"
#include "site_processing.h"
#include "step_fields.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSaveFile>
#include <QToolButton>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>

#include <map>
#include <stdexcept>

namespace qm {

// One change of the recipe: the whole recipe before and after it (recipes are small).
class RecipeCommand : public QUndoCommand {
public:
    RecipeCommand(ProcessingPanel* panel, process::Recipe before, process::Recipe after, const QString& text,
                  QString mergeKey)
        : QUndoCommand(text), panel_(panel), before_(std::move(before)), after_(std::move(after)),
          mergeKey_(std::move(mergeKey))
    {
    }
    void redo() override { panel_->Apply(after_); }
    void undo() override { panel_->Apply(before_); }
    int id() const override { return mergeKey_.isEmpty() ? -1 : 1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const RecipeCommand*>(other);
        if (next->mergeKey_ != mergeKey_)
            return false;
        after_ = next->after_;
        setObsolete(after_ == before_); // typed back to what it was: no step at all
        return true;
    }

private:
    ProcessingPanel* panel_;
    process::Recipe before_;
    process::Recipe after_;
    QString mergeKey_;
};

// The widgets of one step's row in the list.
struct ProcessingPanel::Row {
    QWidget* widget = nullptr;
    QCheckBox* enabled = nullptr;
    QLabel* report = nullptr;
    std::map<QString, QWidget*> editors; // QLineEdit or QComboBox, by field key
    std::size_t kind = 0;                // the operation's index
};

namespace {

QString EditorText(const QWidget* editor)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(editor))
        return edit->text();
    return static_cast<const QComboBox*>(editor)->currentText();
}

QString Plural(std::uint64_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
}

} // namespace

ProcessingPanel::ProcessingPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("processingPanel"));
    stack_ = new QUndoStack(this);
    undo_ = stack_->createUndoAction(this, QStringLiteral("Undo"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo_->setObjectName(QStringLiteral("undoProcessing"));
    redo_ = stack_->createRedoAction(this, QStringLiteral("Redo"));
    redo_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    redo_->setObjectName(QStringLiteral("redoProcessing"));
    open_ = new QAction(QStringLiteral("Open recipe\u2026"), this);
    open_->setObjectName(QStringLiteral("openRecipe"));
    save_ = new QAction(QStringLiteral("Save recipe\u2026"), this);
    save_->setObjectName(QStringLiteral("saveRecipe"));
    connect(open_, &QAction::triggered, this, &ProcessingPanel::OpenRecipe);
    connect(save_, &QAction::triggered, this, &ProcessingPanel::SaveRecipe);
    saveFileDialog = [this](const QString& caption, const QString& name, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, name, filter);
    };
    openFileDialog = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileName(this, caption, suggestedFolder, filter);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    auto* title = new QLabel(QStringLiteral("<b>Processing</b>"), this);
    layout->addWidget(title);
    auto* choices = new QGridLayout;
    traversesBox_ = new QComboBox(this);
    traversesBox_->setObjectName(QStringLiteral("traverses"));
    traversesBox_->addItems({QStringLiteral("by file"), QStringLiteral("by column 2")});
    showBox_ = new QComboBox(this);
    showBox_->setObjectName(QStringLiteral("show"));
    showBox_->addItems({QStringLiteral("processed values"), QStringLiteral("raw readings"),
                        QStringLiteral("removed by the selected step")});
    choices->addWidget(new QLabel(QStringLiteral("Traverses"), this), 0, 0);
    choices->addWidget(traversesBox_, 0, 1);
    choices->addWidget(new QLabel(QStringLiteral("Show"), this), 1, 0);
    choices->addWidget(showBox_, 1, 1);
    choices->setColumnStretch(1, 1);
    layout->addLayout(choices);

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("steps"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list_, 1);

    BuildButtons(layout);

    connect(removeButton_, &QToolButton::clicked, this, &ProcessingPanel::RemoveStep);
    connect(upButton_, &QToolButton::clicked, this, [this] { MoveStep(-1); });
    connect(downButton_, &QToolButton::clicked, this, [this] { MoveStep(1); });
    connect(traversesBox_, &QComboBox::activated, this, [this](int index) {
        process::Recipe after = recipe_;
        after.traverses = index == 1 ? process::TraverseMode::Column2 : process::TraverseMode::Files;
        if (!(after == recipe_))
            Push(std::move(after), QStringLiteral("Traverses"));
    });
    connect(showBox_, &QComboBox::currentIndexChanged, this, &ProcessingPanel::ViewChanged);
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        UpdateButtons();
        if (Show() == ShowWhat::Removed)
            emit ViewChanged();
    });
    UpdateButtons();
}

void ProcessingPanel::BuildButtons(QVBoxLayout* layout)
{
    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        buttons->addWidget(b);
        return b;
    };
    addButton_ = button("addStep", QStringLiteral("Add"), QStringLiteral("Add a step after the selected one"));
    addButton_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(addButton_);
    for (const process::Operation& op : NewOperations())
        menu->addAction(OperationTitle(op), this, [this, op] { AddStep(op); })
            ->setObjectName(QStringLiteral("add") + OperationTitle(op).remove(QLatin1Char(' ')).remove(QLatin1Char('-')));
    addButton_->setMenu(menu);
    removeButton_ = button("removeStep", QStringLiteral("Remove"), QStringLiteral("Remove the selected step"));
    upButton_ = button("moveStepUp", QStringLiteral("\u2191"), QStringLiteral("Move the selected step up"));
    downButton_ = button("moveStepDown", QStringLiteral("\u2193"), QStringLiteral("Move the selected step down"));
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto* files = new QHBoxLayout;
    for (QAction* action : {undo_, redo_, open_, save_}) {
        auto* b = new QToolButton(this);
        b->setDefaultAction(action);
        files->addWidget(b);
    }
    files->addStretch(1);
    layout->addLayout(files);
}

int ProcessingPanel::SelectedStep() const
{
    return list_->currentRow();
}

void ProcessingPanel::SelectStep(int step)
{
    list_->setCurrentRow(step);
}

ShowWhat ProcessingPanel::Show() const
{
    return static_cast<ShowWhat>(std::max(0, showBox_->currentIndex()));
}

void ProcessingPanel::SetShow(ShowWhat show)
{
    showBox_->setCurrentIndex(static_cast<int>(show));
}

QWidget* ProcessingPanel::Editor(int step, const QString& key) const
{
    if (step < 0 || static_cast<std::size_t>(step) >= rows_.size())
        return nullptr;
    if (key == QStringLiteral("enabled"))
        return rows_[step]->enabled;
    const auto it = rows_[step]->editors.find(key);
    return it == rows_[step]->editors.end() ? nullptr : it->second;
}

void ProcessingPanel::Push(process::Recipe after, const QString& text, const QString& mergeKey)
{
    if (mergeKey.isEmpty())
        ++editSession_; // a change of another kind ends a run of keystrokes
    stack_->push(new RecipeCommand(this, recipe_, std::move(after), text, mergeKey));
}

void ProcessingPanel::ReplaceRecipe(process::Recipe recipe, const QString& what)
{
    Push(std::move(recipe), what);
}

void ProcessingPanel::Apply(const process::Recipe& recipe)
{
    const bool sameShape = recipe.steps.size() == recipe_.steps.size() &&
                           std::equal(recipe.steps.begin(), recipe.steps.end(), recipe_.steps.begin(),
                                      [](const process::Step& a, const process::Step& b) { return a.op.index() == b.op.index(); });
    recipe_ = recipe;
    if (sameShape && rows_.size() == recipe_.steps.size())
        SyncEditors();
    else
        Rebuild();
    UpdateButtons();
    emit RecipeChanged();
}

void ProcessingPanel::Rebuild()
{
    const int selected = list_->currentRow();
    applying_ = true;
    list_->clear();
    rows_.clear();
    for (std::size_t k = 0; k < recipe_.steps.size(); ++k)
        BuildRow(static_cast<int>(k));
    applying_ = false;
    SyncEditors();
    const int count = static_cast<int>(recipe_.steps.size());
    list_->setCurrentRow(count == 0 ? -1 : std::clamp(selected, 0, count - 1));
    UpdateButtons();
}

void ProcessingPanel::BuildRow(int step)
{
    const process::Step& s = recipe_.steps[static_cast<std::size_t>(step)];
    auto row = std::make_shared<Row>();
    row->kind = s.op.index();
    row->widget = new QWidget;
    auto* grid = new QGridLayout(row->widget);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setVerticalSpacing(2);
    row->enabled = new QCheckBox(QStringLiteral("%1. %2").arg(step + 1).arg(OperationTitle(s.op)), row->widget);
    row->enabled->setObjectName(QStringLiteral("enabled"));
    row->enabled->installEventFilter(this);
    row->report = new QLabel(row->widget);
    row->report->setStyleSheet(QStringLiteral("color: #555"));
    grid->addWidget(row->enabled, 0, 0, 1, 2);
    grid->addWidget(row->report, 0, 2, 1, 2, Qt::AlignRight);
    connect(row->enabled, &QCheckBox::toggled, this, [this, step](bool on) {
        if (applying_ || recipe_.steps[static_cast<std::size_t>(step)].enabled == on)
            return;
        process::Recipe after = recipe_;
        after.steps[static_cast<std::size_t>(step)].enabled = on;
        Push(std::move(after), on ? QStringLiteral("Enable step") : QStringLiteral("Disable step"));
    });
    int cell = 0;
    for (const StepField& field : FieldsOf(s.op)) {
        QWidget* editor = nullptr;
        if (field.choices.isEmpty()) {
            auto* edit = new QLineEdit(row->widget);
            edit->setPlaceholderText(field.hint);
            edit->setMaximumWidth(72);
            connect(edit, &QLineEdit::textEdited, this, [this, step, key = field.key] { FieldEdited(step, key); });
            connect(edit, &QLineEdit::editingFinished, this, [this] { ++editSession_; });
            editor = edit;
        } else {
            auto* box = new QComboBox(row->widget);
            box->addItems(field.choices);
            connect(box, &QComboBox::activated, this, [this, step, key = field.key] {
                ++editSession_;
                FieldEdited(step, key);
            });
            editor = box;
        }
        editor->setObjectName(field.key);
        editor->installEventFilter(this);
        row->editors[field.key] = editor;
        grid->addWidget(new QLabel(field.label, row->widget), 1 + cell / 2, (cell % 2) * 2);
        grid->addWidget(editor, 1 + cell / 2, (cell % 2) * 2 + 1);
        ++cell;
    }
    auto* item = new QListWidgetItem(list_);
    item->setSizeHint(row->widget->sizeHint());
    list_->setItemWidget(item, row->widget);
    rows_.push_back(std::move(row));
}

void ProcessingPanel::SyncEditors()
{
    // An editor is set only when what it holds is not what the step says, so that the text being
    // typed ("1." on the way to "1.5") stays as typed.
    applying_ = true;
    for (std::size_t k = 0; k < rows_.size() && k < recipe_.steps.size(); ++k) {
        const process::Step& step = recipe_.steps[k];
        Row& row = *rows_[k];
        row.enabled->setChecked(step.enabled);
        std::map<QString, QString> texts;
        for (const auto& [key, editor] : row.editors)
            texts[key] = EditorText(editor);
        QString problem;
        const std::optional<process::Operation> shown = OperationFrom(step.op, texts, problem);
        if (shown && *shown == step.op)
            continue;
        for (const StepField& field : FieldsOf(step.op)) {
            QWidget* editor = row.editors[field.key];
            if (auto* edit = qobject_cast<QLineEdit*>(editor))
                edit->setText(field.text);
            else
                static_cast<QComboBox*>(editor)->setCurrentText(field.text);
            editor->setStyleSheet(QString());
            editor->setToolTip(QString());
        }
    }
    applying_ = false;
}

void ProcessingPanel::FieldEdited(int step, const QString& key)
{
    if (applying_ || step < 0 || static_cast<std::size_t>(step) >= rows_.size())
        return;
    Row& row = *rows_[static_cast<std::size_t>(step)];
    std::map<QString, QString> texts;
    for (const auto& [k, editor] : row.editors)
        texts[k] = EditorText(editor);
    QString problem;
    const std::optional<process::Operation> op = OperationFrom(recipe_.steps[static_cast<std::size_t>(step)].op, texts, problem);
    QWidget* editor = row.editors[key];
    // A parameter that is not valid yet stays in its field, marked, and the recipe as it was.
    editor->setStyleSheet(op ? QString() : QStringLiteral("background: #fde0dc"));
    editor->setToolTip(problem);
    if (!op || *op == recipe_.steps[static_cast<std::size_t>(step)].op)
        return;
    process::Recipe after = recipe_;
    after.steps[static_cast<std::size_t>(step)].op = *op;
    Push(std::move(after), QStringLiteral("Edit %1").arg(key),
         QStringLiteral("%1/%2/%3").arg(step).arg(key).arg(editSession_));
}

void ProcessingPanel::AddStep(const process::Operation& op)
{
    process::Recipe after = recipe_;
    const int at = SelectedStep() < 0 ? static_cast<int>(after.steps.size()) : SelectedStep() + 1;
    after.steps.insert(after.steps.begin() + at, process::Step{op, true});
    Push(std::move(after), QStringLiteral("Add %1").arg(OperationTitle(op)));
    list_->setCurrentRow(at);
}

void ProcessingPanel::RemoveStep()
{
    const int k = SelectedStep();
    if (k < 0 || static_cast<std::size_t>(k) >= recipe_.steps.size())
        return;
    process::Recipe after = recipe_;
    after.steps.erase(after.steps.begin() + k);
    Push(std::move(after), QStringLiteral("Remove step"));
}

void ProcessingPanel::MoveStep(int by)
{
    const int k = SelectedStep();
    const int to = k + by;
    if (k < 0 || to < 0 || static_cast<std::size_t>(to) >= recipe_.steps.size())
        return;
    process::Recipe after = recipe_;
    std::swap(after.steps[static_cast<std::size_t>(k)], after.steps[static_cast<std::size_t>(to)]);
    Push(std::move(after), QStringLiteral("Move step"));
    list_->setCurrentRow(to);
}

void ProcessingPanel::UpdateButtons()
{
    const int k = SelectedStep();
    const int n = static_cast<int>(recipe_.steps.size());
    removeButton_->setEnabled(k >= 0 && k < n);
    upButton_->setEnabled(k > 0 && k < n);
    downButton_->setEnabled(k >= 0 && k + 1 < n);
    traversesBox_->setCurrentIndex(recipe_.traverses == process::TraverseMode::Column2 ? 1 : 0);
}

void ProcessingPanel::ShowReports(const process::Recipe& recipe, const std::vector<process::StepReport>& reports)
{
    if (!(recipe == recipe_) || reports.size() != rows_.size())
        return;
    for (std::size_t k = 0; k < rows_.size(); ++k) {
        QStringList parts;
        if (std::holds_alternative<process::DespikeStep>(recipe_.steps[k].op) && recipe_.steps[k].enabled)
            parts << Plural(reports[k].spikes, "spike", "spikes");
        if (!reports[k].notes.empty())
            parts << Plural(reports[k].notes.size(), "note", "notes");
        rows_[k]->report->setText(parts.join(QStringLiteral(", ")));
        QStringList notes;
        for (const std::string& note : reports[k].notes)
            notes << QString::fromStdString(note);
        rows_[k]->report->setToolTip(notes.join(QLatin1Char('\n')));
    }
}

bool ProcessingPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+Z and Ctrl+Shift+Z in a parameter's field undo and redo the recipe, not the field's text.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (pressed == undo_->shortcut() || pressed == redo_->shortcut())
            return true;
    }
    // Working in a step's row selects the step.
    if (event->type() == QEvent::FocusIn) {
        for (std::size_t k = 0; k < rows_.size(); ++k)
            if (rows_[k]->widget->isAncestorOf(qobject_cast<QWidget*>(watched)))
                list_->setCurrentRow(static_cast<int>(k));
    }
    return QWidget::eventFilter(watched, event);
}

void ProcessingPanel::OpenRecipe()
{
    const QString path = openFileDialog(QStringLiteral("Open recipe"), QStringLiteral("Recipe (*.json);;All files (*)"));
    if (path.isEmpty())
        return;
    RunHandler(this, [&] {
        process::Recipe recipe =
            process::ReadRecipeFile(ToFsPath(path), QFileInfo(path).fileName().toUtf8().toStdString());
        ReplaceRecipe(std::move(recipe), QStringLiteral("Open recipe"));
    });
}

void ProcessingPanel::SaveRecipe()
{
    const QString suggested = QDir(suggestedFolder).filePath(QStringLiteral("recipe.json"));
    const QString path = saveFileDialog(QStringLiteral("Save recipe"), suggested, QStringLiteral("Recipe (*.json)"));
    if (path.isEmpty())
        return;
    RunHandler(this, [&] {
        QSaveFile file(path);
        const QByteArray text = QByteArray::fromStdString(process::RecipeJson(recipe_));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2")
                                         .arg(QDir::toNativeSeparators(path), file.errorString())
                                         .toStdString());
    });
}

} // namespace qm
