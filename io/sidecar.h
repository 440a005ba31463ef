#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/report.h"
#include "evo/world_state.h"

namespace kav {

// The sidecar of the Genome file, genom.gen.json: what the Genome file's fixed layout
// lacks to resume an evolution exactly where it stopped. It names the Genome file it
// belongs to by tick and checksum; only then is its state used.
constexpr const char* kSidecarFileName = "genom.gen.json";
constexpr const char* kSidecarFormat = "kavrosa-sidecar 1";

// One run of a program on the folder.
struct RunRecord {
    std::string program;
    std::int64_t startTick = 0;
    std::int64_t endTick = 0;
    std::string started;  // UTC, ISO 8601
    std::string ended;
    std::string arguments;
};

struct Sidecar {
    std::string version;               // of the program that wrote it
    std::int64_t tick = 0;             // the Genome file's tick...
    std::uint32_t genomeChecksum = 0;  // ...and the CRC-32 of its 60,496 bytes
    std::uint32_t seed = 1;            // the random source's start of this evolution
    WorldState world;
    EventCounts eventsAtLastLogRow;  // the log's rows count events since the previous row
    bool logWritten = false;         // the saving run wrote a log: rows after `tick` in it
                                     // are its own and may be dropped on resume
    std::vector<RunRecord> runs;
};

// CRC-32 (IEEE 802.3, as zlib and Python's zlib.crc32 compute it).
std::uint32_t crc32(const unsigned char* bytes, std::size_t size);

// JSON text: one key per line, one run per line, one Agent per line. Floats are stored
// as the integers of their IEEE 754 bits, so that every value comes back bit for bit.
std::string encodeSidecar(const Sidecar& sidecar);

// Parses a sidecar. The Agents' slot properties (kind, slot, radius, sense range, arena,
// reproduction mode) are not in the file: they are taken from `world`, which the caller
// takes from the world just set up. Empty, with the reason in `why`, when the text is
// not a sidecar of this format.
std::optional<Sidecar> decodeSidecar(const std::string& text, const WorldState& world,
                                     std::string& why);

// Reads the file; empty with the reason when it is missing or unreadable.
std::optional<std::string> readTextFile(const std::filesystem::path& path, std::string& why);

// Writes a file through a temporary one beside it, flushed and synced, then renamed
// over it. False with the reason when any step fails (the old file then stays).
bool writeFileAtomically(const std::filesystem::path& path, const std::string& content,
                         std::string& why);

}  // namespace kav
