// quarlomet resample: the filtered resampler on an image file. PPM in and out is done here, without
// Qt; other formats go to the drawing module, which reads and writes them with Qt's plugins.
#include "cmd_resample.h"

#include "args.h"
#include "commands.h"
#include "drawing_module.h"
#include "ppm.h"

#include "errors.h"
#include "resample.h"

#include <optional>
#include <string>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet resample IN OUT --size WxH [--kernel NAME] [--filter-width W]

Scales the image IN to WxH pixels with the filtered resampler of the matrix view and writes OUT.
Binary PPM (P6) is read and written by the tool itself, images of width or height 0 included;
other formats (PNG, BMP, ...) go through Qt. OUT is PPM when its name ends in ".ppm", else the
format its suffix names.

Options:
  --size WxH          the size of OUT (required)
  --kernel NAME       Box, Triangle, Hermite, Bell, B-Spline, Lanczos3 or Mitchell (default Hermite)
  --filter-width W    the kernel's support in source pixels (default: the kernel's own width)
  --help              this text

Exit status: 0 when OUT was written, 1 when the work failed, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {{"--size", "", true}, {"--kernel", "", true}, {"--filter-width", "", true}};

// Wider supports make tap lists grow without bound on big shrinks; no kernel needs this much.
constexpr double kMaxFilterWidth = 100.0;

const NamedKernel& FindKernel(std::string_view name)
{
    for (const NamedKernel& kernel : ResampleKernels) {
        if (EqualsNoCase(kernel.name, name)) {
            return kernel;
        }
    }
    std::string names;
    for (const NamedKernel& kernel : ResampleKernels) {
        names += (names.empty() ? "" : ", ") + std::string(kernel.name);
    }
    throw UsageError("unknown kernel '" + std::string(name) + "' (known: " + names + ")");
}

int RunResample(const CommandCall& call)
{
    const ResampleJob job = ParseResampleJob(call.args);
    if (!EndsWithNoCase(job.out, ".ppm")) {
        return RunInDrawingModule("resample", call.invocation);
    }
    Bitmap destination(job.size.width, job.size.height, 4);
    const bool done = ForFile(job.in, [&] {
        std::optional<Bitmap> source = ReadPpmFile(job.in);
        if (source) {
            ResampleImage(*source, destination, job.kernel->kernel, job.filterWidth);
        }
        return source.has_value();
    });
    if (!done) {
        return RunInDrawingModule("resample", call.invocation);
    }
    ForFile(job.out, [&] { WritePpmFile(job.out, destination); });
    return 0;
}

} // namespace

ResampleJob ParseResampleJob(const ParsedArgs& args)
{
    const auto& files = args.Positional();
    if (files.size() != 2) {
        throw UsageError("expected IN and OUT, got " + std::to_string(files.size()) + " file names");
    }
    const auto sizeText = args.Value("--size");
    if (!sizeText) {
        throw UsageError("no size given (--size WxH)");
    }
    ResampleJob job{files[0], files[1], ParseSize(*sizeText, "--size"), nullptr, 0};
    job.kernel = &FindKernel(args.Value("--kernel").value_or("Hermite"));
    job.filterWidth = job.kernel->width;
    if (const auto given = args.Value("--filter-width")) {
        const double value = ParseReal(*given, "--filter-width");
        if (value < 0 || value > kMaxFilterWidth) {
            throw UsageError("the filter width must lie in 0.." + std::to_string(static_cast<int>(kMaxFilterWidth)));
        }
        job.filterWidth = static_cast<float>(value);
    }
    return job;
}

constinit const Command kResampleCommand{"resample", kHelp, kOptions, RunResample};

} // namespace qm::cli
