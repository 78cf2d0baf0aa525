// Session files: JSON of the list, the selection and the settings, paths relative where they can be.
#include "session.h"

#include "errors.h"
#include "text_codec.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace qm {

namespace {

// Relative to the session's folder where the file lies below it, else absolute.
QString StoredPath(const QString& path, const QDir& folder)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString relative = folder.relativeFilePath(absolute);
    return relative.startsWith(QStringLiteral("..")) || QDir::isAbsolutePath(relative) ? absolute : relative;
}

[[noreturn]] void Refuse(const QString& sessionPath, const QString& why)
{
    throw Error(EncodeText(QDir::toNativeSeparators(sessionPath) + QStringLiteral(": ") + why));
}

int Number(const QJsonObject& object, const char* key, int fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? value.toInt(fallback) : fallback;
}

} // namespace

QByteArray SessionJson(const Session& session, const QString& sessionPath)
{
    const QDir folder = QFileInfo(sessionPath).absoluteDir();
    QJsonArray files;
    for (const QString& file : session.files)
        files.append(StoredPath(file, folder));
    QJsonArray deleted;
    for (const int row : session.deletedRows)
        deleted.append(row);
    QJsonObject display{{QStringLiteral("balance"), session.balance},
                        {QStringLiteral("contrast"), session.contrast},
                        {QStringLiteral("scaleMode"), session.scaleMode},
                        {QStringLiteral("viewStyle"), session.viewStyle},
                        {QStringLiteral("trackTop"), session.trackTop},
                        {QStringLiteral("trackBottom"), session.trackBottom}};
    QJsonObject root{{QStringLiteral("session"), QStringLiteral("quarlomet")},
                     {QStringLiteral("version"), kSessionVersion},
                     {QStringLiteral("files"), files},
                     {QStringLiteral("selectedFile"), session.selectedFile},
                     {QStringLiteral("selectedRow"), session.selectedRow},
                     {QStringLiteral("deletedRows"), deleted},
                     {QStringLiteral("display"), display},
                     {QStringLiteral("siteMap"), session.siteMap}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Session ReadSession(const QByteArray& text, const QString& sessionPath)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(QStringLiteral("session")).toString() != QStringLiteral("quarlomet"))
        Refuse(sessionPath, QStringLiteral("not a session file"));
    const int version = Number(root, "version", 0);
    if (version > kSessionVersion)
        Refuse(sessionPath, QStringLiteral("written by a newer version of the viewer (session version %1); this "
                                           "version reads sessions up to version %2")
                                .arg(version)
                                .arg(kSessionVersion));
    if (version < 1)
        Refuse(sessionPath, QStringLiteral("not a session file"));
    Session session;
    const QDir folder = QFileInfo(sessionPath).absoluteDir();
    for (const QJsonValue& file : root.value(QStringLiteral("files")).toArray())
        if (file.isString())
            session.files << QDir::cleanPath(folder.absoluteFilePath(file.toString()));
    session.selectedFile = Number(root, "selectedFile", -1);
    session.selectedRow = Number(root, "selectedRow", -1);
    for (const QJsonValue& row : root.value(QStringLiteral("deletedRows")).toArray())
        if (row.isDouble() && row.toInt() > 0)
            session.deletedRows.push_back(row.toInt());
    const QJsonObject display = root.value(QStringLiteral("display")).toObject();
    session.balance = Number(display, "balance", 0);
    session.contrast = Number(display, "contrast", 0);
    session.scaleMode = Number(display, "scaleMode", 0);
    session.viewStyle = Number(display, "viewStyle", 0);
    session.trackTop = Number(display, "trackTop", 0);
    session.trackBottom = Number(display, "trackBottom", 0);
    session.siteMap = root.value(QStringLiteral("siteMap")).toObject();
    return session;
}

} // namespace qm
