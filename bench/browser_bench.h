// What the benchmark programs that open the site map do before their QApplication exists.
#pragma once

#include "site_map_page.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QtGlobal>

namespace qm::bench {

// Offscreen unless told otherwise, no browser sandbox (benchmarks often run as root), shared GL
// contexts, and the site map's data scheme, which the browser must know before it starts.
inline void PrepareBrowser()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterSiteDataScheme();
}

// One field of the site map page's state, asked and waited for.
inline QVariant PageState(QWebEnginePage* page, const QString& field)
{
    QEventLoop ask;
    QVariant value;
    page->runJavaScript(QStringLiteral("qmSite.state().") + field, [&](const QVariant& v) {
        value = v;
        ask.quit();
    });
    ask.exec();
    return value;
}

// Runs the event loop for `ms` milliseconds.
inline void Pause(int ms)
{
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

} // namespace qm::bench
