// The few console calls that differ between systems.
#pragma once

namespace qm::cli {

// True when standard error goes to a terminal (progress is shown only then).
bool StderrIsTerminal();
bool StdoutIsTerminal();
// Standard output carries bytes as they are: no line-end translation on Windows.
void SetBinaryStdout();

} // namespace qm::cli
