#include "app/history.h"

#include <algorithm>
#include <cmath>

namespace kav {

EventTotals totalsOf(const EventCounts& events) {
    return {events.captures, events.predatorBirths + events.preyBirths, events.starvations};
}

float genomeSpread(const World& world, bool predators) {
    const int count = predators ? world.predatorCount : world.preyCount;
    const Genome* genomes = predators ? world.predatorGenomes.data() : world.preyGenomes.data();
    if (count < 2) return 0.0f;
    double sum = 0;
    for (int w = 0; w < kGenomeSize; ++w) {
        double mean = 0;
        for (int i = 0; i < count; ++i) mean += genomes[i][w];
        mean /= count;
        double squares = 0;
        for (int i = 0; i < count; ++i) {
            const double d = genomes[i][w] - mean;
            squares += d * d;
        }
        sum += std::sqrt(squares / count);
    }
    return static_cast<float>(sum / kGenomeSize);
}

ReportPoint pointOf(const TickReport& report, const World& world) {
    ReportPoint point;
    point.tick = report.tick;
    point.totals = totalsOf(report.events);
    point.predatorMeanGeneration = report.predators.meanGeneration;
    point.preyMeanGeneration = report.prey.meanGeneration;
    point.predatorGenomeSpread = genomeSpread(world, true);
    point.preyGenomeSpread = genomeSpread(world, false);
    point.probeSpreadE = report.probeE.spread;
    point.probeSpreadM = report.probeM.spread;
    return point;
}

void HistorySeries::add(float value, std::int64_t tick) {
    pending_ += value;
    if (++pendingCount_ < stride_) return;
    if (count_ == capacity) {
        for (int i = 0; i < capacity / 2; ++i) {
            points_[i] = 0.5f * (points_[2 * i] + points_[2 * i + 1]);
            ticks_[i] = ticks_[2 * i + 1];
        }
        count_ = capacity / 2;
        stride_ *= 2;
        // The point just completed held half the reports a point now holds: it starts
        // the next one.
        if (pendingCount_ < stride_) return;
    }
    ticks_[count_] = tick;
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
    const std::int64_t t = point.tick;
    capturesPerReport.add(static_cast<float>(point.totals.captures - lastTotals_.captures), t);
    predatorMeanGeneration.add(static_cast<float>(point.predatorMeanGeneration), t);
    preyMeanGeneration.add(static_cast<float>(point.preyMeanGeneration), t);
    predatorGenomeSpread.add(point.predatorGenomeSpread, t);
    preyGenomeSpread.add(point.preyGenomeSpread, t);
    probeSpreadE.add(point.probeSpreadE, t);
    probeSpreadM.add(point.probeSpreadM, t);
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
