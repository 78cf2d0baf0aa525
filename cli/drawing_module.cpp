// Loading the drawing and GIS modules and handing a subcommand to them.
#include "drawing_module.h"

#include "console.h"
#include "text_out.h"

#include "errors.h"

#include <string>

#if !defined(QM_DRAWING_MODULE) || !defined(QM_GIS_MODULE)
#error "QM_DRAWING_MODULE and QM_GIS_MODULE must name the modules' files"
#endif

namespace qm::cli {

namespace {

int RunInModule(const char* file, const char* entryName, DrawingEntry& entry, std::string_view name,
                const Invocation& call)
{
    if (entry == nullptr) {
        const std::filesystem::path module = ExecutableDir(call.argv0) / file;
        std::string error;
        entry = reinterpret_cast<DrawingEntry>(LoadLibrarySymbol(module, entryName, error));
        if (entry == nullptr) {
            throw Error("Cannot load the module \"" + module.string() + "\". " + error);
        }
    }
    // Whatever the tool wrote so far goes out before the module writes through its own streams.
    std::fflush(stdout);
    return entry(std::string(name).c_str(), &call);
}

} // namespace

int RunInDrawingModule(std::string_view name, const Invocation& call)
{
    static DrawingEntry entry = nullptr;
    return RunInModule(QM_DRAWING_MODULE, kDrawingEntryName, entry, name, call);
}

int RunInGisModule(std::string_view name, const Invocation& call)
{
    static DrawingEntry entry = nullptr;
    return RunInModule(QM_GIS_MODULE, kGisEntryName, entry, name, call);
}

int ForwardToModule(const Command& command, const Invocation& call)
{
    try {
        return command.name == "grid" ? RunInGisModule(command.name, call) : RunInDrawingModule(command.name, call);
    } catch (const std::exception& error) {
        PrintFailure(error.what());
        return 1;
    }
}

} // namespace qm::cli
