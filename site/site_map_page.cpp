// What the site map window hands its page: continuous longitudes, lookups of a reading by file
// and row, and the address scheme through which the page fetches the readings as raw bytes.
#include "site_map_page.h"

#include <QBuffer>
#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <algorithm>
#include <cmath>

namespace qm {

namespace {

constexpr int kLongitudeBins = 3600;

double Wrapped(double lon)
{
    // Within the world already (nearly always) the remainder is the sum itself: skip the division.
    const double shifted = lon + 180.0;
    if (shifted >= 0.0 && shifted < 360.0)
        return shifted - 180.0;
    double w = std::fmod(shifted, 360.0);
    if (w < 0)
        w += 360.0;
    return w - 180.0;
}

} // namespace

std::vector<double> UnwrappedLongitudes(const std::vector<double>& lon)
{
    // The arc is the complement of the widest empty gap between occupied tenths of a degree.
    std::vector<char> occupied(kLongitudeBins, 0);
    for (double x : lon) {
        if (!std::isfinite(x))
            continue;
        const int bin = std::clamp(static_cast<int>((Wrapped(x) + 180.0) * (kLongitudeBins / 360.0)), 0,
                                   kLongitudeBins - 1);
        occupied[bin] = 1;
    }
    int bestGap = 0;
    int arcStart = -1; // first occupied bin after the widest gap
    for (int start = 0; start < kLongitudeBins; ++start) {
        if (!occupied[start] || occupied[(start + kLongitudeBins - 1) % kLongitudeBins])
            continue;
        int gap = 0;
        while (gap < kLongitudeBins && !occupied[(start + kLongitudeBins - 1 - gap) % kLongitudeBins])
            ++gap;
        if (gap > bestGap) {
            bestGap = gap;
            arcStart = start;
        }
    }
    std::vector<double> out(lon.begin(), lon.end());
    if (arcStart <= 0) // no gap (readings all round the world) or the arc already starts at -180
        return out;
    const double edge = -180.0 + arcStart * (360.0 / kLongitudeBins);
    for (double& x : out) {
        if (std::isfinite(x))
            x = edge + std::fmod(Wrapped(x) - edge + 720.0, 360.0);
    }
    return out;
}

long long IndexOfReading(const site::PlacedReadings& readings, int fileIndex, int row)
{
    const auto [first, last] = RangeOfFile(readings, fileIndex);
    const auto begin = readings.row.begin();
    const auto it = std::lower_bound(begin + static_cast<std::ptrdiff_t>(first),
                                     begin + static_cast<std::ptrdiff_t>(last), static_cast<std::uint32_t>(std::max(row, 0)));
    if (row < 0 || it == begin + static_cast<std::ptrdiff_t>(last) || *it != static_cast<std::uint32_t>(row))
        return -1;
    return it - begin;
}

std::pair<std::size_t, std::size_t> RangeOfFile(const site::PlacedReadings& readings, int fileIndex)
{
    if (fileIndex < 0)
        return {0, 0};
    const auto file = static_cast<std::uint32_t>(fileIndex);
    const auto range = std::equal_range(readings.file.begin(), readings.file.end(), file);
    return {static_cast<std::size_t>(range.first - readings.file.begin()),
            static_cast<std::size_t>(range.second - readings.file.begin())};
}

void RegisterSiteDataScheme()
{
    if (SiteDataSchemeRegistered())
        return;
    QWebEngineUrlScheme scheme(kSiteDataScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                    QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

bool SiteDataSchemeRegistered()
{
    return QWebEngineUrlScheme::schemeByName(kSiteDataScheme).name() == kSiteDataScheme;
}

QString SiteDataHandler::put(const QString& name, QByteArray bytes)
{
    arrays_.insert(name, std::move(bytes));
    return QLatin1String(kSiteDataScheme) + QLatin1Char(':') + name;
}

void SiteDataHandler::drop(const QString& prefix)
{
    for (auto it = arrays_.begin(); it != arrays_.end();)
        it = it.key().startsWith(prefix) ? arrays_.erase(it) : std::next(it);
}

void SiteDataHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const auto found = arrays_.find(job->requestUrl().path());
    if (found == arrays_.end()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The buffer owns the bytes from here and goes with the job.
    auto* buffer = new QBuffer(job);
    buffer->setData(std::move(found.value()));
    arrays_.erase(found);
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("application/octet-stream"), buffer);
}

QString GroupedCount(unsigned long long count)
{
    QString digits = QString::number(count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

void SiteMapBridge::click(int index)
{
    if (onClick)
        onClick(index);
}

QString SiteMapBridge::describe(int index)
{
    return onDescribe ? onDescribe(index) : QString();
}

} // namespace qm
