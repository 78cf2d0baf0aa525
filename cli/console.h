// The few console and process calls that differ between systems.
#pragma once

#include <filesystem>
#include <string>

namespace qm::cli {

// True when standard error goes to a terminal (progress is shown only then).
bool StderrIsTerminal();
bool StdoutIsTerminal();
// Standard output carries bytes as they are: no line-end translation on Windows.
void SetBinaryStdout();

// A file name given on the command line as UTF-8 text, for PathFromUtf8. On Windows the command
// line's 8-bit text is in the system's code page; elsewhere a name is its bytes on both sides.
std::string CoreFileName(const std::string& given);

// The directory that holds the running executable; `argv0` serves where the system cannot tell.
std::filesystem::path ExecutableDir(const char* argv0);

// Loads a shared library and returns the address of its `symbol`; null with `error` set when either
// cannot be found. The library stays loaded until the process ends.
void* LoadLibrarySymbol(const std::filesystem::path& library, const char* symbol, std::string& error);

} // namespace qm::cli
