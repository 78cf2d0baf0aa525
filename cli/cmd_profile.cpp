// quarlomet profile: the profile chart of one survey file rendered to an image, as the viewer
// draws it.
#include "args.h"
#include "commands.h"
#include "file_selection.h"
#include "image_io.h"
#include "qt_support.h"

#include "errors.h"
#include "field_value.h"
#include "profile_chart.h"
#include "profile_modes.h"
#include "profile_plot.h"
#include "survey_table.h"

#include <QApplication>
#include <QImage>

#include <string>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet profile FILE|DIR -o OUT [options]

Loads the survey file as the viewer's file selection does and renders its profile chart: one point
per data row, the reading rounded to a whole number, labelled with the row's first field. A folder holding one .csv file stands for it. A failure
names the file it concerns: "FILE: MESSAGE".

Options:
  -o, --output OUT        the image to write (.ppm, .png, .bmp, ...)
  --style NAME            ribbon, column or line (default ribbon)
  --scale MODE            auto (follows the readings), 40-60, 50-55, or MIN:MAX for a fixed
                          range (default: the chart's start range, 40000 to 60000)
  --size WxH              the chart's size in pixels (default 850x530)
  --help                  this text

Exit status: 0 when OUT was written, 1 when the work failed, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true}, {"--style", "", true}, {"--scale", "", true}, {"--size", "", true}};

constexpr ImageSize kChartSize{850, 530};

int StyleIndex(std::string_view style)
{
    const int index = ViewStyleIndex(style);
    if (index < 0) {
        throw UsageError("unknown style '" + std::string(style) + "' (ribbon, column or line)");
    }
    return index;
}

using Scale = ScaleRange;

Scale ParseScale(std::string_view text)
{
    if (const auto preset = PresetScale(ScaleModeIndex(text))) {
        return *preset;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        throw UsageError("unknown scale '" + std::string(text) + "' (auto, 40-60, 50-55 or MIN:MAX)");
    }
    Scale scale{false, ParseReal(text.substr(0, colon), "--scale"), ParseReal(text.substr(colon + 1), "--scale")};
    if (!(scale.min < scale.max)) {
        throw UsageError("the scale's MIN must lie below its MAX");
    }
    return scale;
}

void ApplyScale(ChartAxis& axis, const Scale& scale)
{
    if (scale.automatic) {
        axis.SetAutomatic(true);
        return;
    }
    axis.SetAutomatic(false);
    // The viewer sets the maximum first; a range wholly below the current one needs the minimum
    // first, as the viewer's track bars reach it step by step.
    if (scale.max >= axis.Minimum()) {
        axis.SetMaximum(scale.max);
        axis.SetMinimum(scale.min);
    } else {
        axis.SetMinimum(scale.min);
        axis.SetMaximum(scale.max);
    }
}

int RunProfile(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    if (args.Positional().size() != 1) {
        throw UsageError("expected one survey file, got " + std::to_string(args.Positional().size()));
    }
    const auto out = args.Value("--output");
    if (!out) {
        throw UsageError("no output image given (-o OUT)");
    }
    const int style = StyleIndex(args.Value("--style").value_or("ribbon"));
    const auto scaleText = args.Value("--scale");
    const Scale scale = scaleText ? ParseScale(*scaleText) : Scale{};
    const ImageSize size = args.Has("--size") ? ParseSize(*args.Value("--size"), "--size") : kChartSize;
    if (size.width < 1 || size.height < 1) {
        throw UsageError("the chart needs at least 1x1 pixels");
    }

    const auto app = StartQt(call.invocation.argv0, QtLevel::Widgets);
    CheckWritableName(*out);
    SetDecimalSeparator('.');

    ProfileChart chart;
    chart.SetAnimatedZoom(false);
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.resize(size.width, size.height);
    if (scaleText) {
        ApplyScale(chart.LeftAxis(), scale);
    }

    // A folder holding one survey file stands for it.
    const std::vector<std::string> files = ExpandFileArguments(args.Positional());
    if (files.size() != 1) {
        throw UsageError("expected one survey file, got " + std::to_string(files.size()) + " in '" +
                         args.Positional().front() + "'");
    }
    SurveyTable table;
    ForFile(files.front(), [&] {
        SelectFile(table, files.front());
        PlotProfile(chart.series(style), table);
    });

    QImage image(size.width, size.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    chart.render(&image);
    WriteImageFile(*out, image);
    return 0;
}

} // namespace

constinit const Command kProfileCommand{"profile", kHelp, kOptions, RunProfile};

} // namespace qm::cli
