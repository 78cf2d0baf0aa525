// The few console calls that differ between systems.
#pragma once

namespace qm::cli {

// True when standard error goes to a terminal (progress is shown only then).
bool StderrIsTerminal();
bool StdoutIsTerminal();
// Standard output carries bytes as they are: no line-end translation on Windows.
void SetBinaryStdout();
// True when the system has a display for windows (X11 or Wayland on Unix-like systems; always on
// Windows and macOS).
bool HasDisplay();

} // namespace qm::cli
