#pragma once
// Going back to an earlier tick of the session and replaying it exactly: keyframes of the
// world as it ran, and the watched run that moves the world along its timeline.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/history.h"
#include "evo/population.h"
#include "io/run_folder.h"

namespace kav {

// Where keyframes are kept: one every `recentEvery` ticks over the last `recentSpan` ticks,
// one every `olderEvery` before (and the session's first, wherever it is). The worst jump
// steps `olderEvery` - 1 ticks forward from a keyframe.
struct KeyframeSpacing {
    std::int64_t recentEvery = 1000;
    std::int64_t recentSpan = 100000;
    std::int64_t olderEvery = 5000;
};

// The world as a tick left it, with what its readers need besides: the Agents' latest
// readings (the selected Agent's inputs) and the latest report.
struct Keyframe {
    World world;
    AgentReadings readings;
    TickReport report;
};

Keyframe keyframeOf(const Population& population);
void restoreKeyframe(Population& population, const Keyframe& keyframe);

// The keyframes of a session, by tick, within a memory budget: beyond it the oldest go.
class KeyframeStore {
public:
    explicit KeyframeStore(std::size_t budgetBytes, KeyframeSpacing spacing = {});

    // Keeps a keyframe of the population when one is due: the first one offered, then at
    // each multiple of recentEvery after the newest kept.
    void offer(const Population& population);
    // The newest keyframe at or before `tick`; null when there is none.
    const Keyframe* atOrBefore(std::int64_t tick) const;
    void dropAfter(std::int64_t tick);

    bool empty() const { return frames_.empty(); }
    std::int64_t oldestTick() const { return frames_.front()->world.tick; }
    std::int64_t newestTick() const { return frames_.back()->world.tick; }
    std::size_t count() const { return frames_.size(); }
    std::size_t bytes() const { return frames_.size() * sizeof(Keyframe); }
    std::size_t budgetBytes() const { return budget_; }
    std::vector<std::int64_t> ticks() const;

private:
    void thin();

    std::size_t budget_;
    std::size_t capacity_;  // keyframes within the budget
    KeyframeSpacing spacing_;
    std::int64_t firstTick_ = -1;  // of the session's first keyframe
    std::vector<std::unique_ptr<Keyframe>> frames_;
};

// The points of a log's rows for the plots, after the point where they begin (a report's
// span before the first row, with only its tick and totals); the event totals are counted
// back from `atLastRow`, the totals at the last row. Empty without rows.
struct LogRecord;
std::vector<ReportPoint> pointsOfLog(const std::vector<LogRecord>& rows,
                                     const EventCounts& atLastRow);

// The world as the window watches it: at its newest tick it runs on and keeps keyframes;
// taken back to an earlier tick it replays what it did, bit for bit, and is live again
// when it reaches the newest tick. A size change asked for in the past makes a different
// future: at the next tick the old one is discarded (until then undoChange() keeps it).
class WatchedRun {
public:
    WatchedRun(Population& population, std::size_t rewindBytes, KeyframeSpacing spacing = {});
    WatchedRun(const WatchedRun&) = delete;
    WatchedRun& operator=(const WatchedRun&) = delete;

    // After the world's set-up: the history before it (as pointsOfLog gives it: where it
    // begins, then a point per row, oldest first) and the first keyframe.
    void start(std::vector<ReportPoint> earlier = {});

    struct TickOutcome {
        bool live = false;      // a new tick: its report and snapshot are the run's to keep
        bool reported = false;  // it made a report (population.lastReport())
    };
    // One tick along the timeline. With a change waiting, the future after this tick is
    // discarded first (the caller saves worldBeforeChange() and cuts its files before).
    TickOutcome tick();

    // Takes the world to `tick` (clamped to the ticks reached): the keyframe at or before
    // it, stepped forward. A change waiting is dropped. False when the world stays.
    bool jumpTo(std::int64_t tick);
    bool jumpBy(std::int64_t ticks) { return jumpTo(population_.world.tick + ticks); }

    // A size change, as the keys ask for it; in the past it waits to discard the future.
    void requestSizeChange(bool add, bool predator);
    bool changeWaiting() const { return beforeChange_ != nullptr; }
    const World& worldBeforeChange() const { return *beforeChange_; }
    void undoChange();

    bool inPast() const { return newest_ != nullptr; }
    std::int64_t tickNow() const { return population_.world.tick; }
    std::int64_t newestTick() const;
    std::int64_t oldestTick() const;
    // The world a save writes: the newest one, also while the past is watched.
    const World& worldToSave() const { return newest_ ? newest_->world : population_.world; }

    const Population& population() const { return population_; }
    const History& history() const { return history_; }
    const KeyframeStore& keyframes() const { return keyframes_; }
    // True when a replay reached the newest tick with a world other than the one it left
    // (never, as long as the step is exact).
    bool replayDiverged() const { return replayDiverged_; }

private:
    void rebuildHistory();
    void discardFuture();

    Population& population_;
    KeyframeStore keyframes_;
    std::unique_ptr<Keyframe> newest_;  // while in the past
    std::unique_ptr<World> beforeChange_;
    std::vector<ReportPoint> points_;  // every report known, the log's and this session's
    ReportPoint origin_;               // where the plots begin
    History history_;
    bool replayDiverged_ = false;
};

// One tick of the watched run with the run's folder kept in step: a new tick's report and
// snapshot are written, a replayed one's not; the future a change in the past discards is
// cut from the folder's files after the rewound world is saved.
WatchedRun::TickOutcome tickInFolder(WatchedRun& run, RunFolder& folder);

}  // namespace kav
