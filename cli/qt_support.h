// The Qt side of the tool, used only in the drawing module: the application object the drawing
// subcommands need, and paths given as 8-bit arguments.
#pragma once

#include <QString>

#include <filesystem>
#include <memory>
#include <string>

class QCoreApplication;

namespace qm::cli {

enum class QtLevel {
    Core,    // files and the executable's directory
    Gui,     // images and fonts
    Widgets, // widgets rendered into images
};

// Creates the application object. Only argv[0] is handed to Qt, so that no argument of ours is
// taken for a Qt option. The offscreen platform is used unless QT_QPA_PLATFORM names another.
std::unique_ptr<QCoreApplication> StartQt(char* argv0, QtLevel level);

// An 8-bit path argument for Qt's file classes, and back.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

} // namespace qm::cli
