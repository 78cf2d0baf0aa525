#include "export_name.h"

#include "output_format.h"
#include "platform.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace qm {

namespace {

// Whether two names ask for the same output format (".tif" and ".tiff" do), and whether a name
// asks for any output format at all.
bool SameFormat(const QString& a, const QString& b)
{
    const auto pa = ToFsPath(a);
    const auto pb = ToFsPath(b);
    if (const auto readings = site::ReadingsFormatFor(pa))
        return readings == site::ReadingsFormatFor(pb);
    if (const auto grid = site::GridFormatFor(pa))
        return grid == site::GridFormatFor(pb);
    return false;
}

bool AnyFormat(const QString& name)
{
    return site::ReadingsFormatFor(ToFsPath(name)) || site::GridFormatFor(ToFsPath(name));
}

} // namespace

QString FitExportName(const QString& typed, const QString& suffix)
{
    const QString wanted = QStringLiteral("x") + suffix;
    if (SameFormat(typed, wanted))
        return typed;
    if (AnyFormat(typed))
        throw std::runtime_error(QStringLiteral("\u201c%1\u201d names a .%2 file, but this export writes %3: name it %3 "
                                                "or choose the export of that format")
                                     .arg(QDir::toNativeSeparators(typed), QFileInfo(typed).suffix(), suffix)
                                     .toStdString());
    return typed + suffix;
}

} // namespace qm
