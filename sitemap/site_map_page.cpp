// What the site map window hands its page: the readings made ready for it, lookups of a reading by
// file and row, and the address scheme through which the page fetches the readings as raw bytes.
#include "site_map_page.h"

#include <QBuffer>
#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QFuture>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <numeric>
#include <span>

namespace qm {

std::shared_ptr<PreparedPage> BeginPage(std::shared_ptr<const site::PlacedReadings> readings)
{
    auto page = std::make_shared<PreparedPage>();
    page->readings = std::move(readings);
    if (!page->readings || page->readings->size() == 0)
        return page;
    const site::PlacedReadings& r = *page->readings;
    // The percentiles on another thread while the frame is found here; a failure there (memory) is
    // passed on as it is.
    std::exception_ptr failure;
    QFuture<void> percentiles = QtConcurrent::run([&r, &page, &failure] {
        try {
            page->percentiles = site::PercentilesOf(r.value);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        page->frame = site::WebMapFrameOf(r.lon, r.lat);
    } catch (...) {
        percentiles.waitForFinished();
        throw;
    }
    percentiles.waitForFinished();
    if (failure)
        std::rethrow_exception(failure);
    page->pointBits = page->frame.compact ? 32 : 64;
    const std::size_t pieceReadings = PagePieceReadings(r.size());
    const std::size_t pieces = (r.size() + pieceReadings - 1) / pieceReadings;
    page->x.resize(pieces);
    page->y.resize(pieces);
    page->value.resize(pieces);
    page->ready = std::make_unique<std::atomic<bool>[]>(pieces);
    return page;
}

void MakePieces(PreparedPage& page, const std::function<void(std::size_t piece)>& made, const std::atomic<bool>* stop)
{
    if (!page.readings)
        return;
    const site::PlacedReadings& r = *page.readings;
    const std::size_t n = r.size();
    const std::size_t pieceReadings = PagePieceReadings(n);
    // Each piece is made by one task and written by none other. A failure (memory) is passed on.
    std::vector<std::size_t> pieces(page.Pieces());
    std::iota(pieces.begin(), pieces.end(), std::size_t{0});
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto makePiece = [&](std::size_t piece) {
        if (stop && *stop)
            return;
        const std::size_t first = piece * pieceReadings;
        const std::size_t count = std::min(pieceReadings, n - first);
        const std::span<const double> lon(r.lon.data() + first, count);
        const std::span<const double> lat(r.lat.data() + first, count);
        const auto bytes = [count](std::size_t size) {
            return QByteArray(static_cast<qsizetype>(count * size), Qt::Uninitialized);
        };
        QByteArray& x = page.x[piece];
        QByteArray& y = page.y[piece];
        if (page.pointBits == 32) {
            x = bytes(sizeof(float));
            y = bytes(sizeof(float));
            site::ProjectToWebMap(page.frame, lon, lat, std::span(reinterpret_cast<float*>(x.data()), count),
                                  std::span(reinterpret_cast<float*>(y.data()), count));
        } else {
            x = bytes(sizeof(double));
            y = bytes(sizeof(double));
            site::ProjectToWebMap(page.frame, lon, lat, std::span(reinterpret_cast<double*>(x.data()), count),
                                  std::span(reinterpret_cast<double*>(y.data()), count));
        }
        QByteArray& value = page.value[piece];
        value = bytes(sizeof(float));
        std::copy_n(r.value.begin() + static_cast<std::ptrdiff_t>(first), count, reinterpret_cast<float*>(value.data()));
        page.ready[piece].store(true, std::memory_order_release);
        if (made)
            made(piece);
    };
    QtConcurrent::blockingMap(pieces, [&](std::size_t piece) {
        try {
            makePiece(piece);
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

std::shared_ptr<const PreparedPage> PreparePage(std::shared_ptr<const site::PlacedReadings> readings)
{
    std::shared_ptr<PreparedPage> page = BeginPage(std::move(readings));
    MakePieces(*page);
    return page;
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
    return readings.file.Range(static_cast<std::uint32_t>(fileIndex));
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

QString SiteDataHandler::Address(const QString& name)
{
    return QLatin1String(kSiteDataScheme) + QLatin1Char(':') + name;
}

QString SiteDataHandler::Put(const QString& name, QByteArray bytes)
{
    expected_.remove(name);
    if (const auto waiting = waiting_.find(name); waiting != waiting_.end()) {
        const QPointer<QWebEngineUrlRequestJob> job = waiting.value();
        waiting_.erase(waiting);
        if (job) {
            Reply(job, std::move(bytes));
            return Address(name);
        }
    }
    arrays_.insert(name, std::move(bytes));
    return Address(name);
}

QString SiteDataHandler::Expect(const QString& name)
{
    expected_.insert(name);
    return Address(name);
}

void SiteDataHandler::Drop(const QString& prefix)
{
    for (auto it = arrays_.begin(); it != arrays_.end();)
        it = it.key().startsWith(prefix) ? arrays_.erase(it) : std::next(it);
    for (auto it = expected_.begin(); it != expected_.end();)
        it = it->startsWith(prefix) ? expected_.erase(it) : std::next(it);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (!it.key().startsWith(prefix)) {
            ++it;
            continue;
        }
        if (it.value())
            it.value()->fail(QWebEngineUrlRequestJob::RequestAborted);
        it = waiting_.erase(it);
    }
}

void SiteDataHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QString name = job->requestUrl().path();
    if (const auto found = arrays_.find(name); found != arrays_.end()) {
        QByteArray bytes = std::move(found.value());
        arrays_.erase(found);
        Reply(job, std::move(bytes));
        return;
    }
    if (expected_.remove(name)) {
        waiting_.insert(name, QPointer<QWebEngineUrlRequestJob>(job));
        return;
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

void SiteDataHandler::Reply(QWebEngineUrlRequestJob* job, QByteArray bytes)
{
    // The buffer owns the bytes from here and goes with the job.
    auto* buffer = new QBuffer(job);
    buffer->setData(std::move(bytes));
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("application/octet-stream"), buffer);
}

QString PageSource(SiteDataHandler* handler, const QString& name, const QByteArray& bytes)
{
    return handler ? handler->Put(name, bytes) : QString::fromLatin1(bytes.toBase64());
}

QString GroupedCount(unsigned long long count)
{
    QString digits = QString::number(count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

} // namespace qm
