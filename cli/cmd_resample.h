// quarlomet resample, shared by the tool (PPM in and out) and the drawing module (Qt's formats).
#pragma once

#include "command.h"

#include "resample.h"

#include <string>

namespace qm::cli {

// The resampling a command line asks for.
struct ResampleJob {
    std::string in;
    std::string out;
    ImageSize size;
    const NamedKernel* kernel = nullptr;
    float filterWidth = 0;
};

// Throws UsageError for a command line that does not fit.
ResampleJob ParseResampleJob(const ParsedArgs& args);

// The work for images in formats other than PPM, in the drawing module.
int RunResampleImages(const CommandCall& call);

} // namespace qm::cli
