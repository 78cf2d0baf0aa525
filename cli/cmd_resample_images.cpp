// quarlomet resample for images in Qt's formats (PNG, BMP, ...), run in the drawing module.
#include "cmd_resample.h"

#include "image_io.h"
#include "qt_support.h"

#include "resample.h"

#include <QCoreApplication>

namespace qm::cli {

int RunResampleImages(const CommandCall& call)
{
    const ResampleJob job = ParseResampleJob(call.args);
    const auto app = StartQt(call.invocation.argv0, QtLevel::Gui);
    CheckWritableName(job.out);
    Bitmap destination(job.size.width, job.size.height, 4);
    ForFile(job.in, [&] {
        Bitmap source = ReadImageFile(job.in);
        ResampleImage(source, destination, job.kernel->kernel, job.filterWidth);
    });
    ForFile(job.out, [&] { WriteImageFile(job.out, destination); });
    return 0;
}

} // namespace qm::cli
