// The entry point of the GIS module: the subcommands on GDAL, and the export of a GeoPackage.
#include "cmd_export.h"
#include "commands.h"
#include "drawing_module.h"

#include "gpkg_export.h"

#include <string_view>

#if defined(_WIN32)
#define QM_GIS_EXPORT __declspec(dllexport)
#else
#define QM_GIS_EXPORT __attribute__((visibility("default")))
#endif

namespace {

int RunGeoPackageExport(const qm::cli::CommandCall& call)
{
    return qm::cli::RunExportWith(call, &qm::site::WriteGeoPackage);
}

} // namespace

extern "C" QM_GIS_EXPORT int qm_cli_run_gis(const char* name, const qm::cli::Invocation* call)
{
    using namespace qm::cli;
    if (kGridCommand.name == std::string_view(name)) {
        return RunCommand(kGridCommand, *call);
    }
    if (kExportCommand.name == std::string_view(name)) {
        const Command geoPackage{kExportCommand.name, kExportCommand.help, kExportCommand.options, RunGeoPackageExport};
        return RunCommand(geoPackage, *call);
    }
    return 2;
}
