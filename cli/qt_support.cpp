#include "qt_support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

namespace qm::cli {

namespace {

// Qt keeps references to argc and argv for the life of the application object.
int g_argc = 1;
char g_programName[] = "quarlomet";
char* g_argv[] = {g_programName, nullptr};

// Qt's own notes (missing runtime directories, font fallbacks) are not the tool's output: only its
// critical and fatal messages reach standard error.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        const QByteArray text = message.toLocal8Bit() + '\n';
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    }
}

} // namespace

std::unique_ptr<QCoreApplication> StartQt(char* argv0, QtLevel level)
{
    if (argv0 != nullptr) {
        g_argv[0] = argv0;
    }
    qInstallMessageHandler(QuietMessages);
    // Nothing is ever shown on a screen: images are rendered offscreen, the same with or without
    // a display (and a display that cannot be reached does not stop the tool).
    if (level != QtLevel::Core && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    switch (level) {
    case QtLevel::Core: return std::make_unique<QCoreApplication>(g_argc, g_argv);
    case QtLevel::Gui: return std::make_unique<QGuiApplication>(g_argc, g_argv);
    case QtLevel::Widgets: return std::make_unique<QApplication>(g_argc, g_argv);
    }
    return nullptr;
}

QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace qm::cli
