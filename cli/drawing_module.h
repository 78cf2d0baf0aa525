// The subcommands that draw (the matrix with its names, the profile chart) and the images in Qt's
// formats need Qt's GUI libraries, fonts and image plugins; the grid needs GDAL and the libraries
// it loads. Each set runs in a module that the tool loads only when one of its subcommands is
// called, so that every other subcommand starts without loading Qt or GDAL.
#pragma once

#include "command.h"

#include <string_view>

namespace qm::cli {

// Each module's one entry point, exported under these names: runs the named subcommand through
// RunCommand and returns its exit status.
inline constexpr const char* kDrawingEntryName = "qm_cli_run_drawing";
inline constexpr const char* kGisEntryName = "qm_cli_run_gis";
using DrawingEntry = int (*)(const char* name, const Invocation* call);

// Loads the module from the executable's directory on first use and runs the named subcommand in
// it. Throws Error when the module cannot be loaded.
int RunInDrawingModule(std::string_view name, const Invocation& call);
int RunInGisModule(std::string_view name, const Invocation& call);

// For RunTool: runs a command whose work lives in a module ("grid" in the GIS module, the others
// in the drawing module).
int ForwardToModule(const Command& command, const Invocation& call);

} // namespace qm::cli
