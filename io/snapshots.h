#pragma once
// The archive of an evolution: one Genome file per snapshot, named by its tick
// (archive/genom-000500000.gen), each loadable as a genom.gen of its own.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/evolution.h"

namespace kav {

constexpr const char* kArchiveFolderName = "archive";

// The file name of the snapshot at a tick: genom-000500000.gen.
std::string snapshotFileName(std::int64_t tick);

// Writes the snapshot of an evolution into the archive folder of the run folder (made
// when missing) under its tick's name, through a temporary file renamed into place. False
// with the reason in `why` when it fails (or the tick is negative: no name holds it).
bool writeSnapshot(const std::filesystem::path& runFolder, const SavedEvolution& evolution,
                   std::string& why);

// The size of one snapshot on disk.
constexpr int kSnapshotBytes = 60496;

struct Snapshot {
    std::filesystem::path path;
    SavedEvolution evolution;
};

// Every snapshot of an archive folder in the order of their ticks, each checked as a Genome
// file must be (exactly 60,496 bytes, counts in 1..40 and 1..200, finite weights, the tick in
// the file matching its name). Empty with one line in `why` naming the folder or the file
// at the first problem, or when there is no snapshot at all.
// Removes the snapshots of ticks after `tick` from the archive folder of the run folder (an
// evolution rewound to `tick` goes on without that future). The number removed; -1 with
// the reason in `why` when one of them cannot be removed.
int removeSnapshotsAfter(const std::filesystem::path& runFolder, std::int64_t tick,
                         std::string& why);

std::optional<std::vector<Snapshot>> readArchive(const std::filesystem::path& folder,
                                                 std::string& why);

}  // namespace kav
