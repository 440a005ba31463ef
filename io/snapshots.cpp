#include "io/snapshots.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "io/genome_file.h"
#include "io/sidecar.h"

namespace kav {

std::string snapshotFileName(std::int64_t tick) {
    char name[40];
    std::snprintf(name, sizeof name, "genom-%09" PRId64 ".gen", tick);
    return name;
}

bool writeSnapshot(const std::filesystem::path& runFolder, const SavedEvolution& evolution,
                   std::string& why) {
    if (evolution.tick < 0) {
        why = "a snapshot's name holds no tick below 0";
        return false;
    }
    const std::filesystem::path folder = runFolder / kArchiveFolderName;
    std::error_code error;
    std::filesystem::create_directory(folder, error);
    if (error) {
        why = "cannot make " + folder.string() + ": " + error.message();
        return false;
    }
    const GenomeFileBytes bytes = encodeGenomeFile(evolution);
    const std::filesystem::path path = folder / snapshotFileName(evolution.tick);
    if (!writeFileAtomically(path, std::string(bytes.begin(), bytes.end()), why)) {
        why = path.string() + ": " + why;
        return false;
    }
    return true;
}

static_assert(kSnapshotBytes == kGenomeFileSize);

namespace {

// The tick in a snapshot's name, or -1 when the name is not one of a snapshot.
std::int64_t tickOfName(const std::string& name) {
    if (name.size() < 14 || name.rfind("genom-", 0) != 0 || name.substr(name.size() - 4) != ".gen")
        return -1;
    const std::string digits = name.substr(6, name.size() - 10);
    if (digits.empty() || digits.size() > 18) return -1;
    std::int64_t tick = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        tick = tick * 10 + (c - '0');
    }
    return tick;
}

}  // namespace

int removeSnapshotsAfter(const std::filesystem::path& runFolder, std::int64_t tick,
                         std::string& why) {
    const std::filesystem::path folder = runFolder / kArchiveFolderName;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return 0;
    std::vector<std::filesystem::path> later;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (tickOfName(entry.path().filename().string()) > tick) later.push_back(entry.path());
    }
    if (error) {
        why = folder.string() + ": " + error.message();
        return -1;
    }
    for (const std::filesystem::path& path : later) {
        if (!std::filesystem::remove(path, error) && error) {
            why = path.string() + ": " + error.message();
            return -1;
        }
    }
    return int(later.size());
}

std::optional<std::vector<Snapshot>> readArchive(const std::filesystem::path& folder,
                                                 std::string& why) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        why = folder.string() + " is not a folder";
        return std::nullopt;
    }
    std::vector<std::pair<std::int64_t, std::filesystem::path>> named;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::int64_t tick = tickOfName(entry.path().filename().string());
        if (tick >= 0) named.push_back({tick, entry.path()});
    }
    if (error) {
        why = folder.string() + ": " + error.message();
        return std::nullopt;
    }
    if (named.empty()) {
        why = folder.string() + " holds no snapshots (genom-TICK.gen)";
        return std::nullopt;
    }
    std::sort(named.begin(), named.end());
    std::vector<Snapshot> snapshots;
    for (const auto& [tick, path] : named) {
        const std::optional<std::string> bytes = readTextFile(path, why);
        if (!bytes) {
            why = path.string() + ": " + why;
            return std::nullopt;
        }
        if (bytes->size() != std::size_t(kGenomeFileSize)) {
            why = path.string() + ": " + std::to_string(bytes->size()) + " bytes, not " +
                  std::to_string(kGenomeFileSize);
            return std::nullopt;
        }
        const DecodedGenomeFile decoded = decodeGenomeFile(
            reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size(), path.string());
        if (!decoded.evolution || !decoded.notes.empty()) {
            why = decoded.notes.empty() ? path.string() + ": not a Genome file" : decoded.notes[0];
            return std::nullopt;
        }
        if (decoded.evolution->tick != tick) {
            why = path.string() + ": holds tick " + std::to_string(decoded.evolution->tick) +
                  ", not the tick of its name";
            return std::nullopt;
        }
        snapshots.push_back({path, *decoded.evolution});
    }
    return snapshots;
}

}  // namespace kav
