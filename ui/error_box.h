// The one place where errors meet the user: every handler runs inside RunHandler, which catches what
// the handler throws (Qt lets no exception cross its event dispatch) and shows the error box.
#pragma once

#include "text_codec.h"

#include <QString>

#include <exception>
#include <utility>

class QWidget;

namespace qm {

// The message as the box shows it: a full stop is added when the last character sorts after ".".
QString ErrorBoxText(const QString& message);

// Shows the application's error box: title "Quarlomet Magnetometer", error icon, "OK".
void ShowErrorBox(QWidget* parent, const QString& message);

// Tests replace the box (which would block) by a recorder.
using ErrorBoxHook = void (*)(const QString& text);
void SetErrorBoxHook(ErrorBoxHook hook);

// Shows the message of the exception in flight; call it only inside a catch block.
void ShowCurrentException(QWidget* parent);

// Runs one handler; an error ends it and is shown in the error box. Returns false when it failed.
template <typename F>
bool RunHandler(QWidget* parent, F&& handler)
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        ShowCurrentException(parent);
        return false;
    }
}

} // namespace qm
