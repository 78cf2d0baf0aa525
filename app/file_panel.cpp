// The file list and its editing.
#include "file_panel.h"

#include "survey_list.h"
#include "widgets.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qm {

FilePanel::FilePanel(SurveyList& list, QWidget* parent) : QWidget(parent), list_(list)
{
    // The file list fills the panel; the buttons stand along its bottom.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ListView1 = new QTreeWidget(this);
    ListView1->setColumnCount(1);
    ListView1->setHeaderLabels({QStringLiteral("File")});
    ListView1->header()->resizeSection(0, 300);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    layout->addWidget(ListView1, 1);
    auto* buttons = FixedPanel(this, -1, 33);
    Button2 = Place(new QPushButton(QStringLiteral("Open"), buttons), 8, 4, 75, 25);
    Button1 = Place(new QPushButton(QStringLiteral("Close"), buttons), 288, 4, 75, 25);
    layout->addWidget(buttons);
}

QStringList FilePanel::Files() const
{
    return list_.Paths();
}

int FilePanel::FileCount() const
{
    return list_.FileCount();
}

QString FilePanel::FileAt(int index) const
{
    return list_.Paths().value(index);
}

void FilePanel::Publish()
{
    QStringList files;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        files << ListView1->topLevelItem(i)->text(0);
    list_.SetPaths(files);
}

int FilePanel::SelectedFile() const
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.first());
}

void FilePanel::SetSelectedFile(int index)
{
    if (index < 0 || index >= ListView1->topLevelItemCount()) {
        ListView1->clearSelection();
        return;
    }
    ListView1->setCurrentItem(ListView1->topLevelItem(index));
}

void FilePanel::AddFiles(const QStringList& paths, bool replace)
{
    if (replace)
        ListView1->clear();
    for (const QString& path : paths)
        new QTreeWidgetItem(ListView1, QStringList{path});
    Publish();
}

void FilePanel::DeleteSelected()
{
    const int selected = SelectedFile();
    if (selected < 0)
        return;
    delete ListView1->takeTopLevelItem(selected);
    ListView1->clearSelection();
    Publish();
}

void FilePanel::MoveSelected(int offset)
{
    const int index = SelectedFile();
    if (index < 0)
        return;
    const int target = index + offset;
    if (target < 0 || target > ListView1->topLevelItemCount() - 1)
        return;
    QTreeWidgetItem* item = ListView1->takeTopLevelItem(index);
    const QString caption = item->text(0);
    delete item;
    ListView1->insertTopLevelItem(target, new QTreeWidgetItem(QStringList{caption}));
    SetSelectedFile(target);
    Publish();
}

void FilePanel::SetUpOpenDialog(QFileDialog& dialog)
{
    dialog.setWindowTitle(QStringLiteral("Open"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("csv (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
}

QStringList FilePanel::AskFiles(QWidget* parent)
{
    QFileDialog dialog(parent);
    SetUpOpenDialog(dialog);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

bool FilePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        emit KeyPressed(static_cast<QKeyEvent*>(event)->key());
        return false; // the list still sees the key
    }
    if (watched == ListView1->viewport()) {
        const QEvent::Type type = event->type();
        const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
                           type == QEvent::MouseButtonRelease;
        // Only the primary button chooses a file; the others leave the selection as it is.
        if (mouse && static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return true;
        if (type == QEvent::MouseButtonRelease)
            emit Clicked(); // the press has already moved the selection
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qm
