// The error box and the boundary that shows what a handler throws.
#include "error_box.h"

#include "text8.h"

#include <QMessageBox>

#include <new>
#include <stdexcept>

namespace qm {

namespace {
ErrorBoxHook g_hook = nullptr;
}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && TakesFullStop(message.back().unicode()))
        return message + u'.';
    return message;
}

void SetErrorBoxHook(ErrorBoxHook hook)
{
    g_hook = hook;
}

void ShowErrorBox(QWidget* parent, const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (g_hook) {
        g_hook(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quarlomet Magnetometer"), text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowCurrentException(QWidget* parent)
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        ShowErrorBox(parent, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowErrorBox(parent, DecodeText(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
}

} // namespace qm
