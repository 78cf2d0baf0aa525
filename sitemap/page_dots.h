// The pyramid of the site map page's dots and each cell's reading, made off the interface thread
// and handed to the page when ready: the pyramid once for each set of readings, the cells' readings
// again whenever the values the page shows or its colour scale's centre change.
#pragma once

#include "dot_pyramid.h"
#include "placed_readings.h"
#include "web_map_points.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <vector>

namespace qm {

class SiteDataHandler;
class SitePageChannel;

class PageDots : public QObject {
    Q_OBJECT

public:
    explicit PageDots(QObject* parent = nullptr);
    ~PageDots() override;

    // What the page holds: the readings, placed by `frame`, the values its dots show and its
    // colour scale's centre. Starts making what these need and is not made yet.
    void Follow(std::shared_ptr<const site::PlacedReadings> readings, const site::WebMapFrame& frame,
                std::shared_ptr<const std::vector<double>> values, double centre);
    // The page was given its readings anew and holds no pyramid: what is made goes to it again.
    void PageCleared();
    // Hands the page what is made and not yet sent, as arrays put on `handler` under names that
    // begin with `prefix`, told of through `channel`.
    void Send(SiteDataHandler& handler, const QString& prefix, SitePageChannel& channel);

    // The pyramid of the readings followed, once made.
    std::shared_ptr<const site::DotPyramid> Pyramid() const;

signals:
    // Something was made that the page has not been sent.
    void Made();

private:
    struct MadePyramid;
    struct MadeReps;
    void StartPyramid();
    void StartReps();

    QThreadPool pool_;
    std::shared_ptr<const site::PlacedReadings> readings_;
    site::WebMapFrame frame_;
    std::shared_ptr<const std::vector<double>> values_;
    double centre_ = 0;
    std::shared_ptr<const MadePyramid> pyramid_; // of readings_, once made
    bool pyramidSent_ = false;
    bool building_ = false;
    std::shared_ptr<const MadeReps> reps_; // the latest made
    bool repsSent_ = false;
    int puts_ = 0; // arrays put so far, each under a name of its own
    bool computing_ = false;
};

} // namespace qm
