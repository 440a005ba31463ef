#include "app/history.h"

#include <algorithm>
#include <cmath>

namespace kav {

EventTotals totalsOf(const EventCounts& events) {
    return {events.captures, events.predatorBirths + events.preyBirths, events.starvations};
}

ReportPoint pointOf(const TickReport& report) {
    ReportPoint point;
    point.tick = report.tick;
    point.totals = totalsOf(report.events);
    point.predatorMeanGeneration = report.predators.meanGeneration;
    point.preyMeanGeneration = report.prey.meanGeneration;
    point.clonalRankPct = report.clonalRankPct;
    point.sexualRankPct = report.sexualRankPct;
    point.probeSpreadE = report.probeE.spread;
    point.probeSpreadM = report.probeM.spread;
    return point;
}

void HistorySeries::add(float value) {
    pending_ += value;
    if (++pendingCount_ < stride_) return;
    if (count_ == capacity) {
        for (int i = 0; i < capacity / 2; ++i) {
            points_[i] = 0.5f * (points_[2 * i] + points_[2 * i + 1]);
        }
        count_ = capacity / 2;
        stride_ *= 2;
        // The point just completed held half the reports a point now holds: it starts
        // the next one.
        if (pendingCount_ < stride_) return;
    }
    points_[count_++] = static_cast<float>(pending_ / pendingCount_);
    pending_ = 0;
    pendingCount_ = 0;
}

void HistorySeries::clear() { *this = HistorySeries{}; }

bool HistorySeries::range(float& low, float& high) const {
    bool found = false;
    for (int i = 0; i < count_; ++i) {
        const float value = points_[i];
        if (!std::isfinite(value)) continue;
        low = found ? std::min(low, value) : value;
        high = found ? std::max(high, value) : value;
        found = true;
    }
    return found;
}

void History::start(std::int64_t tick, const EventTotals& totals) {
    *this = History{};
    startMark_ = {tick, totals};
    lastTotals_ = totals;
}

void History::record(const ReportPoint& point) {
    capturesPerReport.add(static_cast<float>(point.totals.captures - lastTotals_.captures));
    predatorMeanGeneration.add(static_cast<float>(point.predatorMeanGeneration));
    preyMeanGeneration.add(static_cast<float>(point.preyMeanGeneration));
    clonalRankPct.add(point.clonalRankPct);
    sexualRankPct.add(point.sexualRankPct);
    probeSpreadE.add(point.probeSpreadE);
    probeSpreadM.add(point.probeSpreadM);
    lastTotals_ = point.totals;

    marks_[nextMark_] = {point.tick, point.totals};
    nextMark_ = (nextMark_ + 1) % kMarks;
    markCount_ = std::min(markCount_ + 1, kMarks);
    ++reports_;
}

EventRates History::rates(std::int64_t tick, const EventTotals& now) const {
    // The oldest kept report; before the ring is full, the start.
    const Mark& from = markCount_ < kMarks ? startMark_ : marks_[nextMark_];
    const double ticks = static_cast<double>(tick - from.tick);
    if (ticks <= 0) return {};
    const double scale = 1000.0 / ticks;
    return {static_cast<double>(now.captures - from.totals.captures) * scale,
            static_cast<double>(now.births - from.totals.births) * scale,
            static_cast<double>(now.starvations - from.totals.starvations) * scale};
}

}  // namespace kav
