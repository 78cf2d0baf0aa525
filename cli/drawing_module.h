// The subcommands that draw (the matrix with its names, the profile chart) and the images in Qt's
// formats need Qt's GUI libraries, fonts and image plugins. They run in a module that the tool
// loads only when one of them is called, so that every other subcommand starts without loading Qt.
#pragma once

#include "command.h"

#include <string_view>

namespace qm::cli {

// The module's one entry point, exported under this name: runs the named subcommand through
// RunCommand and returns its exit status.
inline constexpr const char* kDrawingEntryName = "qm_cli_run_drawing";
using DrawingEntry = int (*)(const char* name, const Invocation* call);

// Loads the module from the executable's directory on first use and runs the named subcommand in
// it. Throws Error when the module cannot be loaded.
int RunInDrawingModule(std::string_view name, const Invocation& call);

// For RunTool: runs a command whose work lives in the module.
int ForwardToDrawingModule(const Command& command, const Invocation& call);

} // namespace qm::cli
