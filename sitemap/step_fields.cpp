// Step parameters as text fields and back: numbers as the shortest text that reads back to the same
// double, so that a recipe shown and read again is the same recipe.
#include "step_fields.h"

#include "readings_export.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <type_traits>

namespace qm {

namespace {

using namespace process;

QString NumberField(double value)
{
    return QString::fromStdString(site::NumberText(value));
}

QString OptionalField(const std::optional<double>& value)
{
    return value ? NumberField(*value) : QString();
}

// A number typed in a field ("," taken as the decimal point); none for an empty field.
std::optional<double> ParseNumber(const QString& text, const QString& what, QString& problem)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value)) {
        problem = QStringLiteral("%1 must be a number").arg(what);
        return std::nullopt;
    }
    return value;
}

double RequiredNumber(const QString& text, const QString& what, QString& problem)
{
    const std::optional<double> value = ParseNumber(text, what, problem);
    if (!value && problem.isEmpty())
        problem = QStringLiteral("%1 must be a number").arg(what);
    return value.value_or(0);
}

std::int64_t WholeNumber(const QString& text, const QString& what, QString& problem)
{
    const double value = RequiredNumber(text, what, problem);
    if (problem.isEmpty() && !(std::floor(value) == value && std::abs(value) < 1e15))
        problem = QStringLiteral("%1 must be a whole number").arg(what);
    return problem.isEmpty() ? static_cast<std::int64_t>(value) : 0;
}

// Both ends or neither: a range left empty is none.
std::optional<Range> OptionalRange(const QString& a, const QString& b, const QString& what, QString& problem)
{
    const std::optional<double> low = ParseNumber(a, what, problem);
    const std::optional<double> high = ParseNumber(b, what, problem);
    if (!problem.isEmpty() || (!low && !high))
        return std::nullopt;
    if (!low || !high) {
        problem = QStringLiteral("%1 needs both ends").arg(what);
        return std::nullopt;
    }
    return Range{*low, *high};
}

const QStringList kClipForms = {QStringLiteral("min and max"), QStringLiteral("sd"), QStringLiteral("percent")};
const QStringList kStatistics = {QStringLiteral("median"), QStringLiteral("mean")};
const QStringList kReplaces = {QStringLiteral("median"), QStringLiteral("gap"), QStringLiteral("flag")};
const QStringList kParities = {QStringLiteral("all"), QStringLiteral("odd"), QStringLiteral("even")};

StepField Text(const char* key, const char* label, QString text, const char* hint = "")
{
    return {QString::fromLatin1(key), QString::fromUtf8(label), {}, std::move(text), QString::fromUtf8(hint)};
}

StepField Choice(const char* key, const char* label, const QStringList& choices, int chosen)
{
    return {QString::fromLatin1(key), QString::fromUtf8(label), choices, choices.value(chosen), {}};
}

std::vector<StepField> Fields(const GapsStep& s)
{
    QStringList equal;
    for (const double v : s.equal)
        equal << NumberField(v);
    return {Text("equal", "equal to", equal.join(QLatin1Char(' ')), "values"), Text("above", "above", OptionalField(s.above)),
            Text("below", "below", OptionalField(s.below))};
}

std::vector<StepField> Fields(const ClipStep& s)
{
    const int form = s.sd ? 1 : s.percent ? 2 : 0;
    const std::optional<Range> range = s.range ? s.range : s.percent;
    return {Choice("form", "by", kClipForms, form), Text("low", "from", range ? NumberField(range->first) : QString()),
            Text("high", "to", range ? NumberField(range->second) : QString()),
            Text("sd", "sd", OptionalField(s.sd))};
}

std::vector<StepField> Fields(const ZeroTraverseStep& s)
{
    return {Choice("statistic", "less the", kStatistics, static_cast<int>(s.statistic)),
            Text("from", "within", s.within ? NumberField(s.within->first) : QString(), "any"),
            Text("to", "to", s.within ? NumberField(s.within->second) : QString(), "any")};
}

std::vector<StepField> Fields(const DespikeStep& s)
{
    return {Text("window", "window", NumberField(static_cast<double>(s.window))),
            Text("threshold", "threshold", NumberField(s.threshold)), Text("minimum", "minimum", NumberField(s.minimum)),
            Choice("replace", "replace by", kReplaces, static_cast<int>(s.replace))};
}

std::vector<StepField> Fields(const ShiftStep& s)
{
    return {Text("readings", "readings", NumberField(s.readings)),
            Choice("traverses", "of traverses", kParities, static_cast<int>(s.traverses))};
}

std::vector<StepField> Fields(const HighPassStep& s)
{
    return {Text("window", "window", NumberField(static_cast<double>(s.window)))};
}

using Texts = std::map<QString, QString>;

QString At(const Texts& texts, const char* key)
{
    const auto it = texts.find(QString::fromLatin1(key));
    return it == texts.end() ? QString() : it->second;
}

GapsStep Parse(const GapsStep&, const Texts& t, QString& problem)
{
    GapsStep s;
    for (const QString& part : At(t, "equal").split(QRegularExpression(QStringLiteral("[\\s;]+")), Qt::SkipEmptyParts))
        if (const std::optional<double> v = ParseNumber(part, QStringLiteral("equal to"), problem))
            s.equal.push_back(*v);
    s.above = ParseNumber(At(t, "above"), QStringLiteral("above"), problem);
    s.below = ParseNumber(At(t, "below"), QStringLiteral("below"), problem);
    return s;
}

ClipStep Parse(const ClipStep&, const Texts& t, QString& problem)
{
    ClipStep s;
    const int form = static_cast<int>(kClipForms.indexOf(At(t, "form")));
    if (form == 1) {
        s.sd = RequiredNumber(At(t, "sd"), QStringLiteral("sd"), problem);
        return s;
    }
    const Range range{RequiredNumber(At(t, "low"), QStringLiteral("from"), problem),
                      RequiredNumber(At(t, "high"), QStringLiteral("to"), problem)};
    (form == 2 ? s.percent : s.range) = range;
    return s;
}

ZeroTraverseStep Parse(const ZeroTraverseStep&, const Texts& t, QString& problem)
{
    ZeroTraverseStep s;
    s.statistic = kStatistics.indexOf(At(t, "statistic")) == 1 ? Statistic::Mean : Statistic::Median;
    s.within = OptionalRange(At(t, "from"), At(t, "to"), QStringLiteral("within"), problem);
    return s;
}

DespikeStep Parse(const DespikeStep&, const Texts& t, QString& problem)
{
    DespikeStep s;
    s.window = WholeNumber(At(t, "window"), QStringLiteral("window"), problem);
    s.threshold = RequiredNumber(At(t, "threshold"), QStringLiteral("threshold"), problem);
    s.minimum = RequiredNumber(At(t, "minimum"), QStringLiteral("minimum"), problem);
    s.replace = static_cast<Replace>(std::max<qsizetype>(0, kReplaces.indexOf(At(t, "replace"))));
    return s;
}

ShiftStep Parse(const ShiftStep&, const Texts& t, QString& problem)
{
    ShiftStep s;
    s.readings = static_cast<double>(WholeNumber(At(t, "readings"), QStringLiteral("readings"), problem));
    s.traverses = static_cast<Parity>(std::max<qsizetype>(0, kParities.indexOf(At(t, "traverses"))));
    return s;
}

HighPassStep Parse(const HighPassStep&, const Texts& t, QString& problem)
{
    HighPassStep s;
    s.window = WholeNumber(At(t, "window"), QStringLiteral("window"), problem);
    return s;
}

} // namespace

std::vector<StepField> FieldsOf(const process::Operation& op)
{
    return std::visit([](const auto& step) { return Fields(step); }, op);
}

std::optional<process::Operation> OperationFrom(const process::Operation& kind, const std::map<QString, QString>& texts,
                                                QString& problem)
{
    problem.clear();
    process::Operation op = std::visit([&](const auto& step) { return process::Operation(Parse(step, texts, problem)); }, kind);
    if (problem.isEmpty())
        problem = QString::fromStdString(process::StepProblem(op));
    if (!problem.isEmpty())
        return std::nullopt;
    return op;
}

std::vector<process::Operation> NewOperations()
{
    process::GapsStep gaps;
    gaps.equal = {0};
    process::ClipStep clip;
    clip.sd = 3;
    return {gaps, clip, process::ZeroTraverseStep{}, process::DespikeStep{}, process::ShiftStep{},
            process::HighPassStep{61}};
}

QString OperationTitle(const process::Operation& op)
{
    static const char* const titles[] = {"Gaps", "Clip", "Zero traverse", "Despike", "Shift", "High-pass"};
    return QString::fromLatin1(titles[op.index()]);
}

} // namespace qm
