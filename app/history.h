#pragma once
#include <array>
#include <cstdint>
#include <limits>

#include "evo/report.h"
#include "evo/world.h"

namespace kav {

// One value per report, at a fixed capacity for any length of run: when the buffer is
// full, each pair of neighbouring points is merged into its mean, and from then on a
// point takes the mean of twice as many reports. The plot thus always spans the whole
// run, at the finest resolution that fits.
class HistorySeries {
public:
    static constexpr int capacity = 1024;

    // A report's value and its tick.
    void add(float value, std::int64_t tick = 0);
    void clear();

    const float* data() const { return points_.data(); }
    // The tick of the last report in point i.
    std::int64_t tickAt(int i) const { return ticks_[i]; }
    int size() const { return count_; }
    int reportsPerPoint() const { return stride_; }
    float latest() const { return count_ > 0 ? points_[count_ - 1] : 0.0f; }
    // The range of the stored points that are numbers, for the plot's scale; false
    // when there are none (a mean rank of a reproduction mode no Prey has is 0/0).
    bool range(float& low, float& high) const;

private:
    std::array<float, capacity> points_{};
    std::array<std::int64_t, capacity> ticks_{};
    int count_ = 0;
    int stride_ = 1;      // reports per point
    double pending_ = 0;  // sum of the reports of the point being filled
    int pendingCount_ = 0;
};

// Running totals of what happened in the world, counted since its set-up.
struct EventTotals {
    std::int64_t captures = 0;
    std::int64_t births = 0;  // Predators and Prey
    std::int64_t starvations = 0;
};

// What the window keeps of every report (every 200th tick).
struct ReportPoint {
    std::int64_t tick = 0;
    EventTotals totals;
    double predatorMeanGeneration = 0;
    double preyMeanGeneration = 0;
    // How far the Genomes of each population are apart (see genomeSpread); not a number
    // where not known (the log's rows).
    float predatorGenomeSpread = std::numeric_limits<float>::quiet_NaN();
    float preyGenomeSpread = std::numeric_limits<float>::quiet_NaN();
    float probeSpreadE = 0;  // dispersion of the Prey's responses to the two probes
    float probeSpreadM = 0;
};

// The spread of a population's Genomes: the standard deviation of each weight over the
// Agents in use, averaged over the 63 weights.
float genomeSpread(const World& world, bool predators);

// What the window keeps of the world's counts and of its report (made by `world`).
EventTotals totalsOf(const EventCounts& events);
ReportPoint pointOf(const TickReport& report, const World& world);

// Events per 1,000 ticks.
struct EventRates {
    double captures = 0;
    double births = 0;
    double starvations = 0;
};

// The window's record of the evolution: a series per plotted quantity, and the totals
// of the last few reports for the event rates.
class History {
public:
    static constexpr int rateReports = 10;  // rates over the last 2,000 ticks

    // The world as set up: its tick and the event totals it carries (a resumed evolution
    // continues its totals).
    void start(std::int64_t tick, const EventTotals& totals);
    void record(const ReportPoint& point);

    // Rates between the oldest kept report (or the start) and `now`.
    EventRates rates(std::int64_t tick, const EventTotals& now) const;
    std::int64_t reports() const { return reports_; }

    HistorySeries capturesPerReport;
    HistorySeries predatorMeanGeneration;
    HistorySeries preyMeanGeneration;
    HistorySeries predatorGenomeSpread;
    HistorySeries preyGenomeSpread;
    HistorySeries probeSpreadE;
    HistorySeries probeSpreadM;

private:
    struct Mark {
        std::int64_t tick = 0;
        EventTotals totals;
    };
    static constexpr int kMarks = rateReports + 1;  // the reports at both ends of the span
    std::array<Mark, kMarks> marks_{};              // ring of the latest reports
    int markCount_ = 0;
    int nextMark_ = 0;
    Mark startMark_;
    EventTotals lastTotals_;
    std::int64_t reports_ = 0;
};

}  // namespace kav
