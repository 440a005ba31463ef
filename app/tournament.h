#pragma once
// Tournaments between archived generations: every Predator snapshot against every Prey
// snapshot in frozen evaluation worlds, the long table of their scores and the master
// tournament read from it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "evo/evaluation.h"
#include "io/snapshots.h"

namespace kav {

struct TournamentPlan {
    std::vector<Snapshot> predators;  // in the order of their ticks
    std::vector<Snapshot> prey;
    ModelSettings settings;
    int worlds = 4;
    std::int64_t ticks = 1000;
    std::uint32_t seed = 1;
    // This share of the evaluation worlds: those whose index modulo `partCount` is
    // `partIndex` (0-based).
    int partIndex = 0;
    int partCount = 1;
};

// One evaluation world's score: the Predators of one snapshot against the Prey of another.
struct TournamentRow {
    std::int64_t predatorTick = 0;
    std::int64_t preyTick = 0;
    int world = 0;
    EvaluationScore score;
};

// Runs the plan's share of worlds on `threads` threads; the rows come out in the order of
// (Predator tick, Prey tick, world) whatever the thread count. `progress` is called with
// the worlds done and the worlds in all, from the calling thread, now and then.
std::vector<TournamentRow> runTournament(const TournamentPlan& plan, int threads,
                                         const std::function<void(long, long)>& progress);

// Which share of which matrix a table holds; a whole tournament is part 1 of 1.
struct TournamentShare {
    int part = 1;  // 1-based
    int parts = 1;
    long predatorSnapshots = 0;
    long preySnapshots = 0;
    int worlds = 0;
    bool operator==(const TournamentShare&) const = default;
};
struct TournamentTable {
    TournamentShare share;
    std::vector<TournamentRow> rows;
};

// The long table, a row per evaluation world, and back. A share of a tournament begins with
// a line that says which ("# part 2/8: 21 x 21 snapshots, 4 worlds"); a whole one has none.
// parseTournamentTable refuses a text that is not such a table, with the line.
std::string tournamentTable(const TournamentTable& table);
std::optional<TournamentTable> parseTournamentTable(const std::string& text,
                                                    const std::string& name, std::string& why);

// Joins the shares of one tournament into the table one run would have written. Empty with
// the reason when a share is missing or repeated or the shares are of different matrices.
std::optional<TournamentTable> mergeTournamentParts(std::vector<TournamentTable> parts,
                                                    std::string& why);

// The master tournament: for each Predator snapshot its mean over every Prey snapshot (of
// the cells' means over their worlds), and for each Prey snapshot over every Predator
// snapshot, with standard errors over the opponents.
std::string masterTournament(const std::vector<TournamentRow>& rows);

}  // namespace kav
