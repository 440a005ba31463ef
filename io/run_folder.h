#pragma once
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/population.h"
#include "io/folder_lock.h"
#include "io/genome_file.h"
#include "io/parameter_file.h"
#include "io/sidecar.h"
#include "io/statistics_files.h"
#include "io/time_series_log.h"

namespace kav {

// The program's version, as the sidecar records it and --version prints it.
const char* programVersion();

// What a program asks of the folder of an evolution.
struct RunSettings {
    std::filesystem::path folder = ".";
    std::optional<std::uint32_t> seed;  // the random source's start for a new evolution
    std::filesystem::path logFile;      // empty: no time-series log
    std::int64_t logEvery = 200;        // a row at every tick that is a multiple of it
    int startPredators = 10;            // the counts of a new evolution
    int startPrey = 150;
    ModelSettings newSettings;  // the model of a new evolution, checked
    // Parameters given for this run: a new evolution has them in newSettings already; a
    // resumed one takes them on its own settings from its current tick on.
    ParameterSource parameters;
    std::int64_t archiveEvery = 0;  // ticks between snapshots in archive/; 0: none
    // The program may take the evolution back to an earlier tick of this run
    // (discardAfter): the events of the log's rows are kept for it.
    bool rewindable = false;
    std::string program = "kavrosa";  // for the sidecar's list of runs and the lock
    std::string arguments;
};

// How a program works on the folder of an evolution, start to end:
//
//   RunFolder run(settings);
//   if (!run.lock() || !run.open(population)) -> run.failure(), exit
//   each tick:            if (population.runTick()) run.report(population.lastReport());
//   every so many ticks:  run.checkpoint(population);
//   at the end:           run.checkpoint(population);
//
// It owns the folder's lock, genom.gen with its sidecar, the statistics files and the
// log. Messages for the user go to stderr, one line each.
class RunFolder {
public:
    explicit RunFolder(RunSettings settings);

    // One writer per folder. False when another program holds it (failure() names it;
    // lockInUse() is then true) or the lock file cannot be used.
    bool lock();
    bool lockInUse() const { return lock_.inUse(); }
    // Lets other programs at the folder again: for a reader that has all it needs from
    // it after open() and writes nothing.
    void unlock() { lock_.release(); }

    // Sets the population up: from genom.gen and, when it matches, its sidecar (the
    // world then continues exactly where it was saved), or from genom.gen alone, or as
    // a new evolution. Opens the log; with a log, a world that did not continue from its
    // sidecar is saved at once. False when the log can't be used or that save fails.
    bool open(Population& population);

    // After a tick that made a report: the statistics files and, at a multiple of
    // logEvery, a log row.
    void report(const TickReport& report);

    // Saves the evolution: the log's rows to the disk, then genom.gen and its sidecar,
    // each written whole beside the old one and renamed over it (sidecar first; an
    // interrupted pair is completed at the next open). False when the previous files
    // had to be kept.
    bool checkpoint(const Population& population) { return checkpoint(population.world); }
    bool checkpoint(const World& world);

    // After a tick: the snapshot of the archive when the tick is a multiple of
    // archiveEvery. (open() writes the one of the start tick when it is missing.) A failure
    // is told once; archiveFailed() then stays true.
    void archive(const Population& population) { archive(population.world); }
    void archive(const World& world);

    // The evolution goes on from `rewound`, the world at an earlier tick of this run,
    // without the future it had: the next rows count their events from the last row kept,
    // the rewound world is saved (a checkpoint), and then the log's rows and the archive's
    // snapshots after its tick are dropped, so that a kill at any point leaves a folder
    // that resumes. False when the save fails or the log can't be cut (no more rows are
    // then written).
    bool discardAfter(const World& rewound);
    // The events at the log's last row: the totals the rows' counts add up to.
    const EventCounts& eventsAtLastLogRow() const { return eventsAtLastLogRow_; }
    // The evolution will not go back before `tick`: the events of older rows are forgotten.
    void forgetRowsBefore(std::int64_t tick);
    bool archiveFailed() const { return archiveFailed_; }

    const std::string& failure() const { return failure_; }
    // True when open() failed on the parameters given (they do not fit the resumed
    // evolution): the user's input, not the folder, is at fault.
    bool parametersRefused() const { return parametersRefused_; }
    // The parameters this run changed on the resumed evolution.
    const std::vector<ParameterChange>& parameterChanges() const { return runs_.back().changes; }
    // True when a row of the log could not be written (the run then ends with an error).
    bool logFailed() const { return logFailed_; }
    // True when the world continued from its sidecar's state.
    bool resumedExactly() const { return resumedExactly_; }
    std::int64_t startTick() const { return startTick_; }
    std::uint32_t seed() const { return seed_; }
    const std::filesystem::path& folder() const { return settings_.folder; }

private:
    void completeInterruptedCheckpoint(const WorldState& blank);
    std::optional<Sidecar> readSidecar(const WorldState& blank, std::string& why);
    // One line for the user on stderr, after the program's name.
    void note(const std::string& line) const;
    bool archiveDue(std::int64_t tick) const;
    void writeArchive(const World& world);

    RunSettings settings_;
    FolderLock lock_;
    GenomeFile genomeFile_;
    StatisticsFiles statistics_;
    TimeSeriesLog log_;
    std::string failure_;
    bool resumedExactly_ = false;
    bool sidecarLogWritten_ = false;
    bool logFailed_ = false;
    bool keepRejectedSidecar_ = false;
    bool parametersRefused_ = false;
    bool archiveFailed_ = false;
    std::int64_t runsDropped_ = 0;
    std::int64_t startTick_ = 0;
    std::uint32_t seed_ = 1;
    EventCounts eventsAtLastLogRow_;
    // With `rewindable`, the rows this run wrote that it may go back to (their ticks and
    // events), and the events at the row before them.
    std::deque<std::pair<std::int64_t, EventCounts>> rowsWritten_;
    EventCounts eventsBeforeRows_;
    std::vector<RunRecord> runs_;
};

// Whether the output files named by options (a label such as "--dump" and a path each)
// would write over a file of the run folder (genom.gen, its sidecar, their temporary and
// rejected copies, the lock, the statistics files) or over each other. Empty when not,
// else one line naming the clash.
std::string outputClash(const std::filesystem::path& folder,
                        const std::vector<std::pair<std::string, std::filesystem::path>>& outputs);

// The model settings of the evolution in a run's folder, from its sidecar; the defaults
// when it has none. Empty with the reason when the sidecar cannot be used.
std::optional<ModelSettings> settingsOfRun(const std::filesystem::path& folder, std::string& why);

// The current time in UTC as 2026-12-09T02:30:00Z.
std::string utcNow();

}  // namespace kav
