// The survey list document.
#include "survey_list.h"

namespace qm {

SurveyList::SurveyList(QObject* parent) : QObject(parent) {}

void SurveyList::SetPaths(const QStringList& paths)
{
    // Emitted even for the same list: opening the same files again reads them again.
    paths_ = paths;
    emit ListChanged();
}

void SurveyList::FileWasSelected(int index, const QString& path)
{
    selectedFile_ = index;
    selectedRow_ = -1;
    emit FileSelected(index, path);
}

void SurveyList::RowWasSelected(int fileRow)
{
    selectedRow_ = fileRow;
    emit RowSelected(fileRow);
}

} // namespace qm
