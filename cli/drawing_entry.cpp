// The entry point of the drawing module: the subcommands that need Qt's GUI libraries.
#include "cmd_resample.h"
#include "commands.h"
#include "drawing_module.h"

#include <string_view>

#if defined(_WIN32)
#define QM_DRAWING_EXPORT __declspec(dllexport)
#else
#define QM_DRAWING_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QM_DRAWING_EXPORT int qm_cli_run_drawing(const char* name, const qm::cli::Invocation* call)
{
    using namespace qm::cli;
    // Resampling keeps the tool's help and options; only images in Qt's formats come here.
    const Command resample{kResampleCommand.name, kResampleCommand.help, kResampleCommand.options, RunResampleImages};
    const Command commands[] = {kMatrixCommand, kProfileCommand, resample};
    for (const Command& command : commands) {
        if (command.name == std::string_view(name)) {
            return RunCommand(command, *call);
        }
    }
    return 2;
}
