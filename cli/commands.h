// The subcommands of the tool, each a Command run by the skeleton of command.h.
#pragma once

#include "command.h"

namespace qm::cli {

extern const Command kTableCommand;
extern const Command kValueCommand;
extern const Command kPositionCommand;
extern const Command kResampleCommand;
// These two live in the drawing module (drawing_module.h); the tool lists them by name only.
extern const Command kMatrixCommand;
extern const Command kProfileCommand;
extern const Command kMapCommand;
extern const Command kExportCommand;
// In the GIS module (drawing_module.h); the tool lists it by name only.
extern const Command kGridCommand;

} // namespace qm::cli
