#include "app/rewind.h"

#include <algorithm>
#include <cstdio>

#include "io/time_series_log.h"

namespace kav {

Keyframe keyframeOf(const Population& population) {
    return {population.world, population.step.readings, population.lastReport()};
}

void restoreKeyframe(Population& population, const Keyframe& keyframe) {
    population.world = keyframe.world;
    population.step.readings = keyframe.readings;
    population.restoreLastReport(keyframe.report);
}

KeyframeStore::KeyframeStore(std::size_t budgetBytes, KeyframeSpacing spacing)
    : budget_(budgetBytes), capacity_(budgetBytes / sizeof(Keyframe)), spacing_(spacing) {}

void KeyframeStore::offer(const Population& population) {
    if (capacity_ == 0) return;
    const std::int64_t tick = population.world.tick;
    if (!frames_.empty()) {
        const std::int64_t newest = newestTick();
        if (tick <= newest || tick % spacing_.recentEvery != 0) return;
    } else {
        firstTick_ = tick;
    }
    frames_.push_back(std::make_unique<Keyframe>(keyframeOf(population)));
    thin();
}

void KeyframeStore::thin() {
    const std::int64_t recentFrom = newestTick() - spacing_.recentSpan;
    std::erase_if(frames_, [&](const std::unique_ptr<Keyframe>& frame) {
        const std::int64_t tick = frame->world.tick;
        return tick < recentFrom && tick % spacing_.olderEvery != 0 && tick != firstTick_;
    });
    if (frames_.size() > capacity_)
        frames_.erase(frames_.begin(),
                      frames_.begin() + std::ptrdiff_t(frames_.size() - capacity_));
}

const Keyframe* KeyframeStore::atOrBefore(std::int64_t tick) const {
    const auto after = std::upper_bound(frames_.begin(), frames_.end(), tick,
                                        [](std::int64_t t, const std::unique_ptr<Keyframe>& frame) {
                                            return t < frame->world.tick;
                                        });
    return after == frames_.begin() ? nullptr : std::prev(after)->get();
}

void KeyframeStore::dropAfter(std::int64_t tick) {
    std::erase_if(frames_,
                  [&](const std::unique_ptr<Keyframe>& frame) { return frame->world.tick > tick; });
}

std::vector<std::int64_t> KeyframeStore::ticks() const {
    std::vector<std::int64_t> ticks;
    for (const auto& frame : frames_) ticks.push_back(frame->world.tick);
    return ticks;
}

std::vector<ReportPoint> pointsOfLog(const std::vector<LogRecord>& rows,
                                     const EventCounts& atLastRow) {
    if (rows.empty()) return {};
    std::vector<ReportPoint> points(rows.size() + 1);
    EventTotals totals = totalsOf(atLastRow);
    for (std::size_t i = rows.size(); i-- > 0;) {
        const LogRecord& row = rows[i];
        ReportPoint& point = points[i + 1];
        point.tick = row.tick;
        point.totals = totals;
        point.predatorMeanGeneration = row.predatorMeanGeneration;
        point.preyMeanGeneration = row.preyMeanGeneration;
        point.probeSpreadE = row.probeESpread;
        point.probeSpreadM = row.probeMSpread;
        const EventTotals since = totalsOf(row.events);
        totals.captures -= since.captures;
        totals.births -= since.births;
        totals.starvations -= since.starvations;
    }
    points[0].tick = rows[0].tick - kStatisticsPeriod;
    points[0].totals = totals;
    return points;
}

WatchedRun::WatchedRun(Population& population, std::size_t rewindBytes, KeyframeSpacing spacing)
    : population_(population), keyframes_(rewindBytes, spacing) {}

void WatchedRun::start(std::vector<ReportPoint> earlier) {
    const World& world = population_.world;
    points_.clear();
    for (const ReportPoint& point : earlier)
        if (point.tick <= world.tick) points_.push_back(point);
    origin_ = {};
    origin_.tick = world.tick;
    origin_.totals = totalsOf(world.events);
    if (!points_.empty()) {
        origin_ = points_.front();
        points_.erase(points_.begin());
    }
    rebuildHistory();
    keyframes_.offer(population_);
}

std::int64_t WatchedRun::newestTick() const {
    return newest_ ? newest_->world.tick : population_.world.tick;
}

std::int64_t WatchedRun::oldestTick() const {
    return keyframes_.empty() ? population_.world.tick
                              : std::min(keyframes_.oldestTick(), population_.world.tick);
}

WatchedRun::TickOutcome WatchedRun::tick() {
    if (beforeChange_) discardFuture();
    TickOutcome outcome;
    outcome.reported = population_.runTick();
    if (newest_) {
        if (outcome.reported) history_.record(pointOf(population_.lastReport(), population_.world));
        if (population_.world.tick >= newest_->world.tick) {
            if (!(population_.world == newest_->world)) {
                replayDiverged_ = true;
                std::fprintf(stderr,
                             "kavrosa: the replay of tick %lld differs from its first run\n",
                             static_cast<long long>(population_.world.tick));
            }
            newest_.reset();
        }
        return outcome;
    }
    outcome.live = true;
    if (outcome.reported) {
        const ReportPoint point = pointOf(population_.lastReport(), population_.world);
        points_.push_back(point);
        history_.record(point);
    }
    keyframes_.offer(population_);
    return outcome;
}

// The tick's size change makes another future than the one kept: from here the world is
// live, and what came after this tick is gone.
void WatchedRun::discardFuture() {
    const std::int64_t tick = population_.world.tick;
    beforeChange_.reset();
    newest_.reset();
    keyframes_.dropAfter(tick);
    while (!points_.empty() && points_.back().tick > tick) points_.pop_back();
}

bool WatchedRun::jumpTo(std::int64_t target) {
    target = std::clamp(target, oldestTick(), newestTick());
    if (beforeChange_) undoChange();
    const std::int64_t now = population_.world.tick;
    if (target == now) return false;
    if (!newest_) newest_ = std::make_unique<Keyframe>(keyframeOf(population_));
    if (target == newest_->world.tick) {
        restoreKeyframe(population_, *newest_);
        newest_.reset();
    } else {
        const Keyframe* from = keyframes_.atOrBefore(target);
        // Forward with no keyframe between: the world as it stands is the nearest start.
        const bool stepOn = target > now && (from == nullptr || from->world.tick <= now);
        if (!stepOn && from != nullptr) restoreKeyframe(population_, *from);
        while (population_.world.tick < target) population_.runTick();
    }
    rebuildHistory();
    return true;
}

void WatchedRun::requestSizeChange(bool add, bool predator) {
    if (newest_ && !beforeChange_) beforeChange_ = std::make_unique<World>(population_.world);
    population_.requestSizeChange(add, predator);
}

void WatchedRun::undoChange() {
    if (!beforeChange_) return;
    population_.world = *beforeChange_;
    beforeChange_.reset();
}

void WatchedRun::rebuildHistory() {
    history_.start(origin_.tick, origin_.totals);
    const std::int64_t tick = population_.world.tick;
    for (const ReportPoint& point : points_) {
        if (point.tick > tick) break;
        history_.record(point);
    }
}

WatchedRun::TickOutcome tickInFolder(WatchedRun& run, RunFolder& folder) {
    if (run.changeWaiting()) folder.discardAfter(run.worldBeforeChange());
    const WatchedRun::TickOutcome outcome = run.tick();
    if (outcome.live) {
        folder.archive(run.population().world);
        if (outcome.reported) {
            folder.report(run.population().lastReport());
            folder.forgetRowsBefore(run.oldestTick());
        }
    }
    return outcome;
}

}  // namespace kav
