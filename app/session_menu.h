// The "Session" menu: a day's work saved to a session file and opened again, with the last eight
// session files at hand. It reads the state from the survey list document and the main window's
// controls, and restores it through the same handlers a user's clicks run.
#pragma once

#include "session.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class TForm1;

namespace qm {

class SessionMenu : public QObject {
    Q_OBJECT
public:
    SessionMenu(TForm1* form, QMenu* menu);

    // The state of the window and its list as a session keeps it, and its restoring. Files that no
    // longer exist are left out and returned.
    Session Capture() const;
    QStringList Restore(const Session& session);

    // Saves to `path` (it becomes the current session) and opens from `path`; throw Error.
    void SaveTo(const QString& path);
    void OpenFrom(const QString& path);

    // The session files opened or saved last, newest first (at most eight).
    QStringList RecentSessions() const;

    // Seams: the file dialogs (an empty text cancels), and the site map's own state.
    std::function<QString(const QString& suggested)> openDialog;
    std::function<QString(const QString& suggested)> saveDialog;
    std::function<QJsonObject()> captureSiteMap;
    std::function<void(const QJsonObject&)> restoreSiteMap;

    QAction* actOpenSession = nullptr;
    QAction* actSaveSession = nullptr;
    QAction* actSaveSessionAs = nullptr;
    QMenu* recentMenu = nullptr;

private:
    void OpenClick();
    void SaveClick();
    void SaveAsClick();
    void Remember(const QString& path);
    void FillRecent();
    void DeleteFileRows(const std::vector<int>& fileRows);

    TForm1* form_;
    QString current_; // the session file last opened or saved
};

} // namespace qm
