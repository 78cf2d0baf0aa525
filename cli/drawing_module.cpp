// Loading the drawing module and handing a subcommand to it.
#include "drawing_module.h"

#include "console.h"
#include "text_out.h"

#include "errors.h"

#include <string>

#ifndef QM_DRAWING_MODULE
#error "QM_DRAWING_MODULE must name the drawing module's file"
#endif

namespace qm::cli {

int RunInDrawingModule(std::string_view name, const Invocation& call)
{
    static DrawingEntry entry = nullptr;
    if (entry == nullptr) {
        const std::filesystem::path module = ExecutableDir(call.argv0) / QM_DRAWING_MODULE;
        std::string error;
        entry = reinterpret_cast<DrawingEntry>(LoadLibrarySymbol(module, kDrawingEntryName, error));
        if (entry == nullptr) {
            throw Error("Cannot load the drawing module \"" + module.string() + "\". " + error);
        }
    }
    // Whatever the tool wrote so far goes out before the module writes through its own streams.
    std::fflush(stdout);
    return entry(std::string(name).c_str(), &call);
}

int ForwardToDrawingModule(const Command& command, const Invocation& call)
{
    try {
        return RunInDrawingModule(command.name, call);
    } catch (const std::exception& error) {
        PrintFailure(error.what());
        return 1;
    }
}

} // namespace qm::cli
