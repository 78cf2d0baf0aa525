// A session file: a day's work kept as JSON (versioned), so that opening it restores the list of
// files in order, the selection with its deleted rows, the main window's display settings and the
// site map's own state. Paths below the session file's folder are kept relative to it.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace qm {

inline constexpr int kSessionVersion = 1;

struct Session {
    QStringList files;            // in list order, absolute
    int selectedFile = -1;        // index in `files`, -1 for none
    int selectedRow = -1;         // the row of the selected file (1 for the first data row), -1
    std::vector<int> deletedRows; // rows of the selected file "del" removed, as file rows
    int balance = 0;
    int contrast = 0;
    int scaleMode = 0;  // index of the "Scale:" choice
    int viewStyle = 0;  // index of the "View style:" choice
    int trackTop = 0;   // the two track bars
    int trackBottom = 0;
    QJsonObject siteMap; // what the site map keeps of itself (view, palette, range, grid, recipe)
};

// The session as the file at `sessionPath` holds it.
QByteArray SessionJson(const Session& session, const QString& sessionPath);
// Reads a session file's text. Throws Error, naming the file, for text that is no session or a
// session of a newer version than this program reads.
Session ReadSession(const QByteArray& text, const QString& sessionPath);

} // namespace qm
