// What the site map window sends to its page: the readings prepared for the page (points on the
// web map, the extent to show) and the address scheme through which the page fetches arrays as raw
// bytes, or their base64 without it.
#pragma once

#include "colour_scale.h"
#include "placed_readings.h"
#include "web_map_points.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlSchemeHandler>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace qm {

// The readings as the page takes them, made off the interface thread (the gathering's own), so
// that the interface thread only hands them on: their points on the web map and their values as
// 32-bit floats, each array in pieces of PagePieceReadings() readings (fetched side by side,
// pieces come in faster than one whole array), and the percentiles of the default colour scale.
// The pieces may still be being made when the page is handed on: the page starts fetching them
// at once, and each fetch is answered as soon as its piece is ready.
struct PreparedPage {
    std::shared_ptr<const site::PlacedReadings> readings; // what it was made from
    site::WebMapFrame frame;
    int pointBits = 32; // of x and y: 32-bit offsets for a compact site, 64-bit points otherwise
    site::ReadingPercentiles percentiles;
    std::vector<QByteArray> x;
    std::vector<QByteArray> y;
    std::vector<QByteArray> value;
    std::unique_ptr<std::atomic<bool>[]> ready; // by piece: its three arrays are made

    std::size_t Pieces() const { return value.size(); }
    bool IsReady(std::size_t piece) const { return ready[piece].load(std::memory_order_acquire); }
};
inline constexpr std::size_t kPagePieceReadings = std::size_t{1} << 18;
// The readings of a piece for a set of `readings`: kPagePieceReadings, doubled (up to four times)
// while the set would take more than 16 pieces. Each fetch costs the page a little of its own, so
// large sets go in fewer, larger pieces; small ones still in pieces enough to be made side by side.
inline std::size_t PagePieceReadings(std::size_t readings)
{
    std::size_t piece = kPagePieceReadings;
    while (piece < 4 * kPagePieceReadings && readings > 16 * piece)
        piece *= 2;
    return piece;
}

// The frame and the percentiles of the readings, with room for the pieces (none made yet).
std::shared_ptr<PreparedPage> BeginPage(std::shared_ptr<const site::PlacedReadings> readings);
// Makes the pieces on the threads of the global pool; `made` is called with each piece's index as
// it is ready, on the thread that made it. Once `stop` is set, the pieces not begun are left unmade.
void MakePieces(PreparedPage& page, const std::function<void(std::size_t piece)>& made = {},
                const std::atomic<bool>* stop = nullptr);
// Both in one.
std::shared_ptr<const PreparedPage> PreparePage(std::shared_ptr<const site::PlacedReadings> readings);

// The index of the reading at (file, row) and the index range [first, last) of a file's readings,
// both found by bisection since the readings are in file and then row order; -1 and an empty range
// when absent.
long long IndexOfReading(const site::PlacedReadings& readings, int fileIndex, int row);
std::pair<std::size_t, std::size_t> RangeOfFile(const site::PlacedReadings& readings, int fileIndex);

// The address scheme through which the page fetches the readings' arrays as raw bytes, far faster
// than text through a script. It must be registered before the application object exists; without
// it the arrays go as base64 text.
inline constexpr char kSiteDataScheme[] = "qmsite";
void RegisterSiteDataScheme();
bool SiteDataSchemeRegistered();

// Serves arrays put under a name ("qmsite:w1-2-x0") to the page, each once: the page fetches an
// array right after it is put, or after it is expected (the fetch then waits until it is put), and
// the bytes are dropped when served or replaced.
class SiteDataHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    explicit SiteDataHandler(QObject* parent = nullptr) : QWebEngineUrlSchemeHandler(parent) {}
    // The address under which the page finds the array named `name`.
    static QString Address(const QString& name);
    // Gives the bytes of `name`, answering a fetch that waits for them; returns the address.
    QString Put(const QString& name, QByteArray bytes);
    // A fetch of `name` waits until it is put, rather than failing; returns the address.
    QString Expect(const QString& name);
    // Drops the arrays whose names begin with `prefix`; fetches waiting for them fail.
    void Drop(const QString& prefix);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    static void Reply(QWebEngineUrlRequestJob* job, QByteArray bytes);

    QHash<QString, QByteArray> arrays_;
    QSet<QString> expected_;
    QHash<QString, QPointer<QWebEngineUrlRequestJob>> waiting_;
};

// The data scheme's handler of the site map windows' shared browser profile (made with it), or null.
SiteDataHandler* SiteData();

// Where the page finds the array `bytes` as one piece: put on `handler` under `name` (its
// address), or without the data scheme (a null handler) the bytes as base64.
QString PageSource(SiteDataHandler* handler, const QString& name, const QByteArray& bytes);

// Thousands grouped with commas: "1,234".
QString GroupedCount(unsigned long long count);

} // namespace qm
