// The main() of a QtTest program whose tests start an embedded browser: no sandbox (test machines
// often run as root), offscreen unless told otherwise, shared GL contexts; and a way to ask a page.
#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

// Runs a script in the view's page and waits (at most ten seconds) for its result.
inline QVariant RunScript(QWebEngineView* view, const QString& script)
{
    QVariant result;
    QEventLoop loop;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

// Programs that show the site map register its data scheme, which must be known before the browser starts.
#if __has_include("site_map_page.h")
#include "site_map_page.h"
#define QM_REGISTER_BROWSER_SCHEMES() qm::RegisterSiteDataScheme()
#else
#define QM_REGISTER_BROWSER_SCHEMES() static_cast<void>(0)
#endif

#define QM_BROWSER_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv)                                                                    \
    {                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))                                \
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");                                               \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                    \
        QM_REGISTER_BROWSER_SCHEMES();                                                                 \
        QApplication app(argc, argv);                                                                  \
        TestClass test;                                                                                \
        return QTest::qExec(&test, argc, argv);                                                        \
    }
