#include "platform.h"

#include <QFile>

#include <algorithm>

namespace qm {

std::filesystem::path ToFsPath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    // The file system's own 8-bit names, so that no byte of a name is changed on the way.
    const QByteArray bytes = QFile::encodeName(path);
    return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

QString FileNamePart(const QString& path)
{
#ifdef _WIN32
    const qsizetype cut = std::max({path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'), path.lastIndexOf(u':')});
#else
    const qsizetype cut = path.lastIndexOf(u'/');
#endif
    return path.mid(cut + 1);
}

} // namespace qm
