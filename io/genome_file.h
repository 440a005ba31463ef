#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/population.h"

namespace kav {

// The Genome file: every slot's 63 weights (40 Predator slots, then 200 Prey slots) as
// little-endian float32, then the 64-bit tick and the 32-bit Predator and Prey counts.
constexpr const char* kGenomeFileName = "genom.gen";
constexpr int kGenomeBlockSize = (kMaxPredators + kMaxPrey) * kGenomeSize * 4;  // 60,480
constexpr int kGenomeFileSize = kGenomeBlockSize + 8 + 4 + 4;                   // 60,496

using GenomeFileBytes = std::array<unsigned char, kGenomeFileSize>;

// The bytes of the Genome file for a saved evolution, little-endian on any host.
GenomeFileBytes encodeGenomeFile(const SavedEvolution& saved);

// What the bytes of a Genome file give. A file shorter than 60,496 bytes is refused;
// bytes after the 60,496th are ignored; counts outside 1..40 and 1..200 are clamped.
// `notes` holds one line for each of these and for weights that are not finite.
struct DecodedGenomeFile {
    std::optional<SavedEvolution> evolution;  // empty: refused
    std::vector<std::string> notes;
};
DecodedGenomeFile decodeGenomeFile(const unsigned char* bytes, std::size_t size,
                                   const std::string& name);

// How a load went.
enum class GenomeLoad {
    loaded,    // from the file, whole
    noFile,    // no file: a new evolution
    rejected,  // the file was unusable: a new evolution; the file is kept at the next save
};

struct LoadedGenomes {
    GenomeLoad status = GenomeLoad::noFile;
    std::optional<SavedEvolution> evolution;  // set when loaded
};

// Where a refused file is kept aside: NAME.rejected, or NAME.rejected.N when that is taken.
std::filesystem::path rejectedNameFor(const std::filesystem::path& path);

// The Genome file of one folder. Loading says on stderr, one line each, why a file was
// refused or changed; saving is atomic (a temporary file, flushed and synced, renamed
// over the old one), and a file that this run refused to load is moved aside as
// genom.gen.rejected (or .rejected.N) rather than replaced.
class GenomeFile {
public:
    explicit GenomeFile(const std::filesystem::path& folder);

    LoadedGenomes load();
    // False (and one line on stderr) when the previous file had to be kept.
    bool save(const SavedEvolution& saved);
    // The two halves of save, for a checkpoint that puts other files in place between
    // them: the new file written whole and synced as genom.gen.tmp, then renamed over
    // genom.gen (moving a refused file aside first).
    bool writeTemporary(const GenomeFileBytes& bytes);
    bool commitTemporary();
    std::filesystem::path temporaryPath() const;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool keepRejectedFile_ = false;
};

}  // namespace kav
