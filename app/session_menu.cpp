// The "Session" menu and the capture and restoring of a session.
#include "session_menu.h"

#include "error_box.h"
#include "errors.h"
#include "file_panel.h"
#include "main_window.h"
#include "profile_page.h"
#include "survey_list.h"
#include "survey_table_view.h"
#include "text_codec.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace qm {

namespace {

constexpr int kRecentCount = 8;
const QString kRecentKey = QStringLiteral("recentSessions");
const QString kFilter = QStringLiteral("Quarlomet session (*.qmsession);;All files (*)");

} // namespace

SessionMenu::SessionMenu(TForm1* form, QMenu* menu) : QObject(form), form_(form)
{
    actOpenSession = menu->addAction(QStringLiteral("Open session\u2026"));
    actSaveSession = menu->addAction(QStringLiteral("Save session"));
    actSaveSessionAs = menu->addAction(QStringLiteral("Save session as\u2026"));
    recentMenu = menu->addMenu(QStringLiteral("Recent sessions"));
    connect(actOpenSession, &QAction::triggered, this, &SessionMenu::OpenClick);
    connect(actSaveSession, &QAction::triggered, this, &SessionMenu::SaveClick);
    connect(actSaveSessionAs, &QAction::triggered, this, &SessionMenu::SaveAsClick);
    connect(recentMenu, &QMenu::aboutToShow, this, &SessionMenu::FillRecent);
    openDialog = [form](const QString& suggested) {
        return QFileDialog::getOpenFileName(form, QStringLiteral("Open session"), suggested, kFilter);
    };
    saveDialog = [form](const QString& suggested) {
        return QFileDialog::getSaveFileName(form, QStringLiteral("Save session as"), suggested, kFilter);
    };
}

Session SessionMenu::Capture() const
{
    const SurveyList& list = *form_->surveyList();
    Session session;
    session.files = list.Paths();
    session.selectedFile = list.SelectedFile();
    session.selectedRow = list.SelectedRow();
    session.deletedRows = list.Deleted().FileRows();
    session.balance = form_->Balance();
    session.contrast = form_->SpinEdit2->value();
    session.scaleMode = form_->ComboBox1->currentIndex();
    session.viewStyle = form_->ComboBox2->currentIndex();
    session.trackTop = form_->TrackBar1->value();
    session.trackBottom = form_->TrackBar2->value();
    if (captureSiteMap)
        session.siteMap = captureSiteMap();
    return session;
}

// Removes the rows as "del" would have, each named by its row in the file.
void SessionMenu::DeleteFileRows(const std::vector<int>& fileRows)
{
    std::vector<int> rows = fileRows;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    SurveyList& list = *form_->surveyList();
    int removed = 0;
    for (const int fileRow : rows) {
        const int tableRow = fileRow - removed;
        if (tableRow < 1 || tableRow >= list.Table().RowCount())
            continue;
        list.Deleted().Record(tableRow);
        form_->AdvListView1->DeleteRow(tableRow);
        ++removed;
    }
    if (removed > 0) {
        form_->profilePage()->ClearSeries();
        form_->PlotProfile();
    }
}

QStringList SessionMenu::Restore(const Session& session)
{
    QStringList present, missing;
    int selected = -1;
    for (int i = 0; i < session.files.size(); ++i) {
        if (!QFileInfo(session.files[i]).isFile()) {
            missing << session.files[i];
            continue;
        }
        if (i == session.selectedFile)
            selected = static_cast<int>(present.size());
        present << session.files[i];
    }
    form_->OpenPaths(present);
    if (selected > 0)
        form_->ClickFile(selected);
    if (selected >= 0 && form_->surveyList()->SelectedFile() == selected) {
        DeleteFileRows(session.deletedRows);
        // The row keeps its place in the file; rows deleted above it moved it up the table.
        const int above = static_cast<int>(std::count_if(session.deletedRows.begin(), session.deletedRows.end(),
                                                         [&](int row) { return row < session.selectedRow; }));
        const bool gone = std::find(session.deletedRows.begin(), session.deletedRows.end(), session.selectedRow) !=
                          session.deletedRows.end();
        if (session.selectedRow > 0 && !gone)
            form_->ClickRow(session.selectedRow - above);
    }
    form_->ComboBox2->setCurrentIndex(std::clamp(session.viewStyle, 0, form_->ComboBox2->count() - 1));
    form_->ComboBox1->setCurrentIndex(std::clamp(session.scaleMode, 0, form_->ComboBox1->count() - 1));
    form_->TrackBar1->setValue(session.trackTop);
    form_->TrackBar2->setValue(session.trackBottom);
    {
        // A new contrast would start a draw of the matrix, which passes every file and leaves the
        // last selected: it is only shown, for the next draw.
        const QSignalBlocker quiet(form_->SpinEdit2);
        form_->SpinEdit2->setValue(session.contrast);
    }
    // Opening the files reset the baseline; the session's comes back last.
    form_->SetBalance(static_cast<std::uint16_t>(std::clamp(session.balance, 0, 65535)));
    if (restoreSiteMap)
        restoreSiteMap(session.siteMap);
    return missing;
}

void SessionMenu::SaveTo(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(SessionJson(Capture(), path)) < 0 || !file.commit())
        throw Error(EncodeText(QStringLiteral("Cannot write %1: %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString())));
    current_ = path;
    Remember(path);
}

void SessionMenu::OpenFrom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(EncodeText(QStringLiteral("Cannot open %1: %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString())));
    // A session file is small; anything larger than a few megabytes is none.
    const QByteArray text = file.read(16 << 20);
    const Session session = ReadSession(text, path);
    current_ = path;
    Remember(path);
    const QStringList missing = Restore(session);
    if (!missing.isEmpty()) {
        QStringList names;
        for (const QString& name : missing)
            names << QDir::toNativeSeparators(name);
        throw Error(EncodeText(QStringLiteral("Not found, left out of the session: ") +
                               names.join(QStringLiteral(", "))));
    }
}

QStringList SessionMenu::RecentSessions() const
{
    return QSettings().value(kRecentKey).toStringList();
}

void SessionMenu::Remember(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList recent = RecentSessions();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > kRecentCount)
        recent.removeLast();
    QSettings().setValue(kRecentKey, recent);
}

void SessionMenu::FillRecent()
{
    recentMenu->clear();
    for (const QString& path : RecentSessions()) {
        QAction* open = recentMenu->addAction(QDir::toNativeSeparators(path));
        connect(open, &QAction::triggered, this, [this, path] { RunHandler(form_, [&] { OpenFrom(path); }); });
    }
    recentMenu->setEnabled(!recentMenu->isEmpty());
}

void SessionMenu::OpenClick()
{
    RunHandler(form_, [this] {
        const QString path = openDialog(current_);
        if (!path.isEmpty())
            OpenFrom(path);
    });
}

void SessionMenu::SaveClick()
{
    if (current_.isEmpty()) {
        SaveAsClick();
        return;
    }
    RunHandler(form_, [this] { SaveTo(current_); });
}

void SessionMenu::SaveAsClick()
{
    RunHandler(form_, [this] {
        QString path = saveDialog(current_.isEmpty() ? QStringLiteral("survey.qmsession") : current_);
        if (path.isEmpty())
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".qmsession");
        SaveTo(path);
    });
}

} // namespace qm
