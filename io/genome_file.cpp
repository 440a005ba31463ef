#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "io/genome_file.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace kav {

std::filesystem::path rejectedNameFor(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path kept = path;
    kept += ".rejected";
    for (int n = 1; std::filesystem::symlink_status(kept, error).type() !=
                        std::filesystem::file_type::not_found &&
                    n < 1000;
         ++n) {
        kept = path;
        kept += ".rejected." + std::to_string(n);
    }
    return kept;
}

namespace {

constexpr int kTickOffset = kGenomeBlockSize;
constexpr int kPredatorCountOffset = kTickOffset + 8;
constexpr int kPreyCountOffset = kTickOffset + 12;

// The file is little-endian whatever the host: every value goes through these.
void putU32(unsigned char* out, std::uint32_t value) {
    for (int b = 0; b < 4; ++b) out[b] = static_cast<unsigned char>(value >> (8 * b));
}
std::uint32_t getU32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int b = 0; b < 4; ++b) value |= std::uint32_t(in[b]) << (8 * b);
    return value;
}
void putFloat(unsigned char* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putU32(out, bits);
}
float getFloat(const unsigned char* in) {
    const std::uint32_t bits = getU32(in);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// The Genome arrays are contiguous floats; a little-endian host copies them as they lie.
template <typename Genomes>
int storeGenomes(unsigned char* out, const Genomes& genomes) {
    static_assert(sizeof(Genomes) == sizeof(float) * std::tuple_size_v<Genomes> * kGenomeSize);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, genomes.data(), sizeof(Genomes));
        return int(sizeof(Genomes));
    }
    int offset = 0;
    for (const auto& genome : genomes)
        for (float weight : genome) {
            putFloat(out + offset, weight);
            offset += 4;
        }
    return offset;
}

template <typename Genomes>
int loadGenomeBlock(const unsigned char* in, Genomes& genomes) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(genomes.data(), in, sizeof(Genomes));
        return int(sizeof(Genomes));
    }
    int offset = 0;
    for (auto& genome : genomes)
        for (float& weight : genome) {
            weight = getFloat(in + offset);
            offset += 4;
        }
    return offset;
}

std::string describe(const std::filesystem::path& path) { return path.string(); }

}  // namespace

GenomeFileBytes encodeGenomeFile(const SavedEvolution& saved) {
    GenomeFileBytes bytes{};
    int offset = storeGenomes(bytes.data(), saved.predatorGenomes);
    storeGenomes(bytes.data() + offset, saved.preyGenomes);
    const auto tick = static_cast<std::uint64_t>(saved.tick);
    putU32(bytes.data() + kTickOffset, static_cast<std::uint32_t>(tick));
    putU32(bytes.data() + kTickOffset + 4, static_cast<std::uint32_t>(tick >> 32));
    putU32(bytes.data() + kPredatorCountOffset, static_cast<std::uint32_t>(saved.predatorCount));
    putU32(bytes.data() + kPreyCountOffset, static_cast<std::uint32_t>(saved.preyCount));
    return bytes;
}

DecodedGenomeFile decodeGenomeFile(const unsigned char* bytes, std::size_t size,
                                   const std::string& name) {
    DecodedGenomeFile result;
    if (size < std::size_t(kGenomeFileSize)) {
        result.notes.push_back(name + " is " + std::to_string(size) + " bytes long, not " +
                               std::to_string(kGenomeFileSize) +
                               ": not loaded; starting a new evolution with random Genomes");
        return result;
    }
    if (size > std::size_t(kGenomeFileSize))
        result.notes.push_back(name + " is " + std::to_string(size) + " bytes long; the " +
                               std::to_string(size - kGenomeFileSize) + " bytes after byte " +
                               std::to_string(kGenomeFileSize) + " are ignored");

    SavedEvolution& saved = result.evolution.emplace();
    int offset = loadGenomeBlock(bytes, saved.predatorGenomes);
    loadGenomeBlock(bytes + offset, saved.preyGenomes);
    saved.tick = static_cast<std::int64_t>(std::uint64_t(getU32(bytes + kTickOffset)) |
                                           (std::uint64_t(getU32(bytes + kTickOffset + 4)) << 32));
    const auto storedPredators = static_cast<std::int32_t>(getU32(bytes + kPredatorCountOffset));
    const auto storedPrey = static_cast<std::int32_t>(getU32(bytes + kPreyCountOffset));
    saved.predatorCount = std::clamp(storedPredators, 1, kMaxPredators);
    saved.preyCount = std::clamp(storedPrey, 1, kMaxPrey);
    if (saved.predatorCount != storedPredators || saved.preyCount != storedPrey)
        result.notes.push_back(
            name + " holds " + std::to_string(storedPredators) + " Predators and " +
            std::to_string(storedPrey) + " Prey; using " + std::to_string(saved.predatorCount) +
            " and " + std::to_string(saved.preyCount) + " (limits 1-" +
            std::to_string(kMaxPredators) + " and 1-" + std::to_string(kMaxPrey) + ")");

    int nonFinite = 0;
    for (const auto& genome : saved.predatorGenomes)
        nonFinite += int(
            std::count_if(genome.begin(), genome.end(), [](float w) { return !std::isfinite(w); }));
    for (const auto& genome : saved.preyGenomes)
        nonFinite += int(
            std::count_if(genome.begin(), genome.end(), [](float w) { return !std::isfinite(w); }));
    if (nonFinite > 0)
        result.notes.push_back(name + " holds " + std::to_string(nonFinite) +
                               " weights that are not finite numbers; their Agents will die and "
                               "be replaced");
    return result;
}

GenomeFile::GenomeFile(const std::filesystem::path& folder) : path_(folder / kGenomeFileName) {}

LoadedGenomes GenomeFile::load() {
    const std::filesystem::path& path = path_;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return {GenomeLoad::noFile, {}};
    auto reject = [&](const char* why) {
        keepRejectedFile_ = true;
        std::fprintf(stderr,
                     "kavrosa: cannot load %s: %s; starting a new evolution with random Genomes\n",
                     describe(path).c_str(), why);
        return LoadedGenomes{GenomeLoad::rejected, {}};
    };
    if (error) return reject(error.message().c_str());
    if (status.type() == std::filesystem::file_type::directory) return reject("it is a folder");
    // A pipe or a device could block the read or never end.
    if (status.type() != std::filesystem::file_type::regular)
        return reject("it is not a regular file");

    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file) return reject(std::strerror(errno));
    // One byte more than a whole file, so that a longer file can be told apart.
    std::vector<unsigned char> bytes(kGenomeFileSize + 1);
    std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool readError = std::ferror(file) != 0;
    std::size_t total = size;
    if (!readError && size == bytes.size()) {
        unsigned char sink[4096];
        std::size_t more;
        while ((more = std::fread(sink, 1, sizeof sink, file)) > 0) total += more;
    }
    std::fclose(file);
    if (readError) return reject("read error");
    DecodedGenomeFile decoded = decodeGenomeFile(bytes.data(), total, describe(path));
    for (const std::string& note : decoded.notes)
        std::fprintf(stderr, "kavrosa: %s\n", note.c_str());
    if (!decoded.evolution) {
        keepRejectedFile_ = true;
        return {GenomeLoad::rejected, {}};
    }
    return {GenomeLoad::loaded, std::move(decoded.evolution)};
}

std::filesystem::path GenomeFile::temporaryPath() const {
    std::filesystem::path temporary = path_;
    temporary += ".tmp";
    return temporary;
}

bool GenomeFile::save(const SavedEvolution& saved) {
    return writeTemporary(encodeGenomeFile(saved)) && commitTemporary();
}

namespace {

bool failSave(const std::filesystem::path& path, const std::filesystem::path& temporary,
              const char* why) {
    std::error_code error;
    const bool previous = std::filesystem::symlink_status(path, error).type() !=
                          std::filesystem::file_type::not_found;
    std::fprintf(stderr, "kavrosa: saving %s failed (%s); %s\n", describe(path).c_str(), why,
                 previous ? "the previous file is kept" : "nothing is saved");
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
}

}  // namespace

bool GenomeFile::writeTemporary(const GenomeFileBytes& bytes) {
    const std::filesystem::path temporary = temporaryPath();
    auto fail = [&](const char* why) { return failSave(path_, temporary, why); };

    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (!file) return fail(std::strerror(errno));
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    int savedErrno = errno;
#if defined(__unix__) || defined(__APPLE__)
    const bool synced = written && ::fsync(fileno(file)) == 0;
    if (written && !synced) savedErrno = errno;
#else
    const bool synced = written;
#endif
    const bool closed = std::fclose(file) == 0;
    if (!written || !synced || !closed) return fail(std::strerror(savedErrno ? savedErrno : EIO));
    return true;
}

bool GenomeFile::commitTemporary() {
    const std::filesystem::path& path = path_;
    const std::filesystem::path temporary = temporaryPath();
    auto fail = [&](const char* why) { return failSave(path, temporary, why); };
    std::error_code error;
    if (keepRejectedFile_) {
        // The file this run refused to load may still be someone's evolution: move it
        // aside under a name not yet taken rather than replace it.
        const auto type = std::filesystem::symlink_status(path, error).type();
        if (!error && type != std::filesystem::file_type::not_found &&
            type != std::filesystem::file_type::directory) {
            const std::filesystem::path kept = rejectedNameFor(path);
            std::filesystem::rename(path, kept, error);
            if (error) return fail(error.message().c_str());
            std::fprintf(stderr, "kavrosa: the unusable %s is kept as %s\n", describe(path).c_str(),
                         describe(kept).c_str());
        }
        error.clear();
        keepRejectedFile_ = false;
    }
    std::filesystem::rename(temporary, path, error);
    if (error) return fail(error.message().c_str());
    return true;
}

}  // namespace kav
