#pragma once
// A world that a Python session owns, and how it goes to and from a run folder: the same
// genom.gen and sidecar the programs write, under the same folder lock.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "evo/population.h"
#include "io/sidecar.h"

namespace kav::py {

// One evolution driven from Python: the world with its step's scratch, the latest report,
// and what the sidecar keeps beside the world (seed, the events at the last report, the
// runs recorded on it). The mutex keeps two threads from stepping or reading it at once.
struct SessionWorld {
    std::unique_ptr<Population> population = std::make_unique<Population>();
    std::uint32_t seed = 1;
    bool hasReport = false;
    TickReport lastReport;
    EventCounts eventsAtLastReport;      // as the programs' eventsAtLastLogRow
    EventCounts eventsBeforeLastReport;  // the report's events are counted since these
    std::vector<RunRecord> runs;         // earlier runs, from the sidecar it was loaded from
    RunRecord session;                   // this session's run, completed at each save
    std::mutex mutex;

    World& world() { return population->world; }
    const World& world() const { return population->world; }

    // n ticks, as kavrosa-evolve runs them; the caller holds the mutex.
    void step(std::int64_t n);
    // A world of its own: the same state, the latest readings and report, the same runs.
    std::unique_ptr<SessionWorld> copy() const;
};

// A new evolution as the programs start one: the random source at `seed`, then the world
// set up with `settings` and the start counts. The caller checks the arguments.
std::unique_ptr<SessionWorld> newSessionWorld(std::uint32_t seed, int predators, int prey,
                                              const ModelSettings& settings);

// What went wrong with a folder, for the matching Python exception.
enum class FolderError { none, inUse, notFound, corrupt, io };
struct FolderResult {
    FolderError error = FolderError::none;
    std::string message;
    std::vector<std::string> notes;  // warnings: clamped counts, weights not finite, ...
};

// Loads the folder's evolution as the programs open it (RunFolder), holding its lock while
// reading. A missing or unusable genom.gen is an error here, not a new evolution.
std::unique_ptr<SessionWorld> loadSessionWorld(const std::filesystem::path& folder,
                                               FolderResult& result);

// Saves genom.gen and its sidecar into the folder (made when missing) as a program's
// checkpoint does, under the folder's lock.
FolderResult saveSessionWorld(SessionWorld& world, const std::filesystem::path& folder);

}  // namespace kav::py
