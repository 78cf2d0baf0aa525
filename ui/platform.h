// What differs between desktops: file paths and the name part of a path.
#pragma once

#include <QString>

#include <filesystem>

namespace qm {

// A path as the file dialog returns it, for the core's file functions.
std::filesystem::path ToFsPath(const QString& path);
// The file name part of a path: the text after its last separator ("/", and on Windows also "\" and ":").
QString FileNamePart(const QString& path);

} // namespace qm
