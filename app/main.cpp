// Starts the viewer: the application title, the main window, then the map window.
#include "field_value.h"
#include "main_window.h"
#include "map_window.h"
#include "site_map_page.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#ifndef QM_VERSION
#error "QM_VERSION must give the project's version"
#endif

int main(int argc, char** argv)
{
    // Answered before Qt starts, so it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("quarlomet-viewer " QM_VERSION "\n", stdout);
        return 0;
    }
    // The map window's browser shares its graphics context with the rest of the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The site map's page fetches its arrays through an address scheme known before the browser starts.
    qm::RegisterSiteDataScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarlomet Magnetometer"));
    QApplication::setApplicationVersion(QStringLiteral(QM_VERSION));
    qm::SetDecimalSeparator(qm::LocaleDecimalSeparator());

    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quarlomet-viewer.png")));

    TForm1 mainWindow;
    TFormMapa mapWindow;
    mainWindow.SetMapWindow(&mapWindow);
    mainWindow.SetWarmSiteMap(true);
    mainWindow.show();

    // Files handed over by a file manager ("Open with", a double click) open as "Open files" opens them.
    QStringList files = QApplication::arguments();
    files.removeFirst();
    if (!files.isEmpty())
        QMetaObject::invokeMethod(&mainWindow, [&mainWindow, files] { mainWindow.OpenPaths(files); }, Qt::QueuedConnection);
    return QApplication::exec();
}
