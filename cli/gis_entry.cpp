// The entry point of the GIS module: the subcommands on GDAL.
#include "commands.h"
#include "drawing_module.h"

#include <string_view>

#if defined(_WIN32)
#define QM_GIS_EXPORT __declspec(dllexport)
#else
#define QM_GIS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QM_GIS_EXPORT int qm_cli_run_gis(const char* name, const qm::cli::Invocation* call)
{
    using namespace qm::cli;
    if (kGridCommand.name == std::string_view(name)) {
        return RunCommand(kGridCommand, *call);
    }
    return 2;
}
