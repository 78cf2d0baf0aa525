// The page's pyramid of dots: built and given its cells' readings on a thread of its own, one job
// at a time, each result kept only while it still fits what the page holds.
#include "page_dots.h"

#include "site_map_page.h"
#include "site_page_channel.h"

#include <QMetaObject>
#include <QPointer>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>
#include <cstring>
#include <exception>

namespace qm {

namespace {

template <typename T>
QByteArray BytesOf(const std::vector<T>& values)
{
    return QByteArray(reinterpret_cast<const char*>(values.data()), static_cast<qsizetype>(values.size() * sizeof(T)));
}

bool SameCentre(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

QVariantList Levels(const site::DotPyramid& pyramid)
{
    QVariantList levels;
    for (const site::DotPyramidLevel& l : pyramid.levels)
        levels << QVariantMap{{QStringLiteral("zoom"), l.zoom},
                              {QStringLiteral("originX"), static_cast<qint64>(l.originX)},
                              {QStringLiteral("originY"), static_cast<qint64>(l.originY)},
                              {QStringLiteral("offset"), static_cast<qint64>(l.offset)},
                              {QStringLiteral("count"), static_cast<qint64>(l.count)},
                              {QStringLiteral("firstOffset"), static_cast<qint64>(l.firstOffset)}};
    return levels;
}

} // namespace

// The pyramid of one set of readings.
struct PageDots::MadePyramid {
    std::shared_ptr<const site::PlacedReadings> readings;
    std::shared_ptr<const site::DotPyramid> pyramid;
};

// The cells' readings for one set of values and one centre.
struct PageDots::MadeReps {
    std::shared_ptr<const MadePyramid> pyramid;
    std::shared_ptr<const std::vector<double>> values; // held, so that its address names only it
    double centre = 0;
    QByteArray bytes;
};

PageDots::PageDots(QObject* parent) : QObject(parent)
{
    pool_.setMaxThreadCount(1);
}

PageDots::~PageDots()
{
    pool_.clear();
    pool_.waitForDone();
}

void PageDots::Follow(std::shared_ptr<const site::PlacedReadings> readings, const site::WebMapFrame& frame,
                      std::shared_ptr<const std::vector<double>> values, double centre)
{
    if (readings != readings_) {
        readings_ = std::move(readings);
        frame_ = frame;
        pyramid_.reset();
        reps_.reset();
        pyramidSent_ = repsSent_ = false;
    }
    values_ = std::move(values);
    centre_ = centre;
    if (!pyramid_)
        StartPyramid();
    else
        StartReps();
}

std::shared_ptr<const site::DotPyramid> PageDots::Pyramid() const
{
    return pyramid_ ? pyramid_->pyramid : nullptr;
}

void PageDots::PageCleared()
{
    pyramidSent_ = repsSent_ = false;
}

void PageDots::StartPyramid()
{
    if (building_ || !readings_ || readings_->size() == 0)
        return;
    building_ = true;
    QPointer<PageDots> self(this);
    pool_.start([self, readings = readings_, frame = frame_] {
        std::shared_ptr<MadePyramid> made;
        try {
            made = std::make_shared<MadePyramid>();
            made->readings = readings;
            made->pyramid = std::make_shared<const site::DotPyramid>(site::BuildDotPyramid(frame, readings->lon, readings->lat));
        } catch (const std::exception&) {
            made.reset(); // without it the page bins every reading, as before
        }
        QMetaObject::invokeMethod(self, [self, made] {
            if (!self)
                return;
            self->building_ = false;
            if (made && made->readings == self->readings_ && !made->pyramid->empty()) {
                self->pyramid_ = made;
                self->pyramidSent_ = false;
                emit self->Made();
                self->StartReps();
            } else if (!made || made->readings != self->readings_) {
                self->StartPyramid(); // the readings changed meanwhile
            }
        }, Qt::QueuedConnection);
    });
}

void PageDots::StartReps()
{
    if (computing_ || !pyramid_ || !values_)
        return;
    if (reps_ && reps_->pyramid == pyramid_ && reps_->values.get() == values_.get() && SameCentre(reps_->centre, centre_))
        return;
    computing_ = true;
    QPointer<PageDots> self(this);
    pool_.start([self, pyramid = pyramid_, values = values_, centre = centre_] {
        std::shared_ptr<MadeReps> made;
        try {
            made = std::make_shared<MadeReps>();
            made->pyramid = pyramid;
            made->values = values;
            made->centre = centre;
            made->bytes = BytesOf(site::DotRepresentatives(*pyramid->pyramid, *values, centre));
        } catch (const std::exception&) {
            made.reset();
        }
        QMetaObject::invokeMethod(self, [self, made] {
            if (!self)
                return;
            self->computing_ = false;
            if (made && made->pyramid == self->pyramid_ && self->values_ && made->values.get() == self->values_.get() &&
                SameCentre(made->centre, self->centre_)) {
                self->reps_ = made;
                self->repsSent_ = false;
                emit self->Made();
            } else if (made) {
                self->StartReps(); // for what the page holds now
            }
        }, Qt::QueuedConnection);
    });
}

void PageDots::Send(SiteDataHandler& handler, const QString& prefix, SitePageChannel& channel)
{
    if (!pyramid_ || !readings_)
        return;
    const auto n = static_cast<qint64>(readings_->size());
    const auto put = [&](const char* name, const QByteArray& bytes) {
        // A name of its own for every array put: one put again under the same name before the page
        // fetched the first would answer that fetch and leave the second with nothing.
        const QString address = handler.Put(prefix + QLatin1String(name) + QString::number(++puts_), bytes);
        emit channel.ArrayGiven(QLatin1String(name), {address}, QStringLiteral("u32"));
    };
    if (!pyramidSent_) {
        pyramidSent_ = true;
        repsSent_ = false;
        const site::DotPyramid& pyramid = *pyramid_->pyramid;
        put("order", BytesOf(pyramid.order));
        put("cell", BytesOf(pyramid.cell));
        put("first", BytesOf(pyramid.first));
        emit channel.PyramidGiven(n, Levels(pyramid));
    }
    // Cells' readings made for earlier values or another centre never reach the page: it drops its
    // own when either changes, and takes these only while they fit.
    if (!repsSent_ && reps_ && reps_->pyramid == pyramid_ && values_ && reps_->values.get() == values_.get() &&
        SameCentre(reps_->centre, centre_)) {
        repsSent_ = true;
        put("reps", reps_->bytes);
        emit channel.RepsGiven(n);
    }
}

} // namespace qm
