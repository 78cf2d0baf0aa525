// Editing the file list (delete, move up, move down) and playing through all files.
#include "main_window.h"

#include "error_box.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTreeWidget>

void TForm1::ListView1KeyDown(int key)
{
    if (key == Qt::Key_Delete)
        DeleteFileClick();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        MotionClick();
}

void TForm1::DeleteFileClick()
{
    qm::RunHandler(this, [this] {
        const int selected = SelectedFile();
        if (selected < 0)
            return;
        // Only the list changes: the table, profile and file label keep what they show. No other
        // file becomes selected in its place: the next Delete needs a choice of the user.
        delete ListView1->takeTopLevelItem(selected);
        ListView1->clearSelection();
    });
}

void TForm1::MoveUpClick()
{
    qm::RunHandler(this, [this] { MoveSelected(-1); });
}

void TForm1::MoveDownClick()
{
    qm::RunHandler(this, [this] { MoveSelected(+1); });
}

void TForm1::MoveSelected(int offset)
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
}

void TForm1::MotionClick()
{
    // Events run between the files, so a second playback asked for meanwhile is not started.
    if (playing_)
        return;
    playing_ = true;
    QPointer<TForm1> self(this);
    qm::RunHandler(this, [this, &self] {
        // The list is read again at every step: files deleted or added meanwhile are respected.
        for (int i = 0; self && !closing_ && i < ListView1->topLevelItemCount(); ++i) {
            SetSelectedFile(i);
            ShowProgress(i + 1, ListView1->topLevelItemCount());
            SelectFile();
            for (int pass = 0; pass < 101 && self && !closing_; ++pass)
                QCoreApplication::processEvents();
        }
    });
    if (self) {
        playing_ = false;
        ShowProgress(0, 0);
    }
}
