#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/report.h"
#include "evo/world_state.h"
#include "io/parameter_file.h"
#include "sim/model_settings.h"

namespace kav {

// The sidecar of the Genome file, genom.gen.json: what the Genome file's fixed layout
// lacks to resume an evolution exactly where it stopped. It names the Genome file it
// belongs to by tick and checksum; only then is its state used.
constexpr const char* kSidecarFileName = "genom.gen.json";
constexpr const char* kSidecarFormat = "kavrosa-sidecar 1";

// What a sidecar may hold, so that no file can make a program allocate without bound or
// carry a counter to where it wraps. A file beyond kSidecarMaxBytes is refused unread;
// the list of runs keeps the last kSidecarMaxRuns and counts those dropped before them.
constexpr std::size_t kSidecarMaxBytes = std::size_t(8) << 20;
constexpr std::size_t kSidecarMaxRuns = 1000;
constexpr std::size_t kRunTextMaxBytes = 4096;  // each text of a run; longer ones are cut
constexpr std::int64_t kCounterLimit = std::int64_t(1) << 62;  // ticks, ages, event totals

// One run of a program on the folder.
struct RunRecord {
    std::string program;
    std::int64_t startTick = 0;
    std::int64_t endTick = 0;
    std::string started;  // UTC, ISO 8601
    std::string ended;
    std::string arguments;
    // The parameters this run changed when it resumed the evolution, at startTick, with
    // their values before and after (at most one per parameter).
    std::vector<ParameterChange> changes{};
};

struct Sidecar {
    std::string version;               // of the program that wrote it
    std::int64_t tick = 0;             // the Genome file's tick...
    std::uint32_t genomeChecksum = 0;  // ...and the CRC-32 of its 60,496 bytes
    std::uint32_t seed = 1;            // the random source's start of this evolution
    ModelSettings settings;            // of the evolution at `tick` (a file without: defaults)
    WorldState world;
    EventCounts eventsAtLastLogRow;  // the log's rows count events since the previous row
    bool logWritten = false;         // the saving run wrote a log: rows after `tick` in it
                                     // are its own and may be dropped on resume
    std::vector<RunRecord> runs;     // the last kSidecarMaxRuns runs, oldest first
    std::int64_t runsDropped = 0;    // runs recorded before them
};

// Appends a run, dropping the oldest beyond kSidecarMaxRuns and cutting its texts to
// kRunTextMaxBytes.
void recordRun(std::vector<RunRecord>& runs, std::int64_t& dropped, RunRecord run);

// CRC-32 (IEEE 802.3, as zlib and Python's zlib.crc32 compute it).
std::uint32_t crc32(const unsigned char* bytes, std::size_t size);

// JSON text: one key per line, one run per line, one Agent per line. Floats are stored
// as the integers of their IEEE 754 bits, so that every value comes back bit for bit.
std::string encodeSidecar(const Sidecar& sidecar);

// Parses a sidecar and checks every value against what the model can hold: types,
// ranges, rank lists that are permutations of their slots, flags, counters with room to
// grow. The Agents' slot properties (kind, slot, radius, sense range, arena,
// reproduction mode) are not in the file: they are taken from `world`, which the caller
// takes from the world just set up. Empty, with one line naming the field in `why`,
// when the text is not a valid sidecar of this format.
std::optional<Sidecar> decodeSidecar(const std::string& text, const WorldState& world,
                                     std::string& why);

// What decodeSidecar cannot know: whether the state fits the live counts of the Genome
// file it belongs to (rank fields equal to positions, slots beyond the counts in slot
// order, pending size changes that the counts allow, Agents in use inside the doubled
// `arena` with finite motion). Empty when it fits, else one line naming the field.
std::string checkSidecarWorld(const WorldState& world, int predatorCount, int preyCount,
                              const Arena& arena);

// Text for a JSON string from bytes that need not be UTF-8: valid UTF-8 is kept, a
// backslash is doubled and any other byte is written as \xNN; textFromJson reverses it.
std::string textForJson(const std::string& bytes);
std::string textFromJson(const std::string& text);

// Reads the file; empty with the reason when it is missing, unreadable or longer than
// `maxBytes`.
std::optional<std::string> readTextFile(const std::filesystem::path& path, std::string& why,
                                        std::size_t maxBytes = std::size_t(-1));

// Writes a file through a temporary one beside it, flushed and synced, then renamed
// over it. False with the reason when any step fails (the old file then stays).
bool writeFileAtomically(const std::filesystem::path& path, const std::string& content,
                         std::string& why);

}  // namespace kav
