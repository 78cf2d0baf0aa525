// What the benchmark programs that open the site map do before their QApplication exists.
#pragma once

#include "site_map_page.h"

#include <QCoreApplication>
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

} // namespace qm::bench
