#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "evo/population.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace kav {

namespace {

constexpr int kTickOffset = (kMaxPredators + kMaxPrey) * kGenomeSize * 4;  // 60480
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

template <typename Genomes>
int storeGenomes(unsigned char* out, const Genomes& genomes) {
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

GenomeFileBytes encodeGenomeFile(const Population& population) {
    GenomeFileBytes bytes{};
    int offset = storeGenomes(bytes.data(), population.predatorGenomes);
    offset += storeGenomes(bytes.data() + offset, population.preyGenomes);
    const auto tick = static_cast<std::uint64_t>(population.tick);
    putU32(bytes.data() + kTickOffset, static_cast<std::uint32_t>(tick));
    putU32(bytes.data() + kTickOffset + 4, static_cast<std::uint32_t>(tick >> 32));
    putU32(bytes.data() + kPredatorCountOffset, static_cast<std::uint32_t>(population.predatorCount));
    putU32(bytes.data() + kPreyCountOffset, static_cast<std::uint32_t>(population.preyCount));
    return bytes;
}

void Population::randomizeGenomes() {
    for (auto& genome : predatorGenomes)
        for (float& weight : genome) weight = static_cast<float>(random.next() / 32768.0 - 0.5);
    for (auto& genome : preyGenomes)
        for (float& weight : genome) weight = static_cast<float>(random.next() / 32768.0 - 0.5);
    tick = 0;
}

GenomeLoad Population::decodeGenomeFile(const unsigned char* bytes, std::size_t size,
                                        const std::string& name) {
    if (size < std::size_t(kGenomeFileSize)) {
        std::fprintf(stderr,
                     "kavrosa: %s is %zu bytes long, not %d: not loaded; starting a new evolution "
                     "with random Genomes\n",
                     name.c_str(), size, kGenomeFileSize);
        randomizeGenomes();
        return GenomeLoad::rejected;
    }
    if (size > std::size_t(kGenomeFileSize))
        std::fprintf(stderr, "kavrosa: %s is %zu bytes long; the %zu bytes after byte %d are ignored\n",
                     name.c_str(), size, size - kGenomeFileSize, kGenomeFileSize);

    int offset = loadGenomeBlock(bytes, predatorGenomes);
    loadGenomeBlock(bytes + offset, preyGenomes);
    tick = static_cast<std::int64_t>(std::uint64_t(getU32(bytes + kTickOffset)) |
                                     (std::uint64_t(getU32(bytes + kTickOffset + 4)) << 32));
    const auto storedPredators = static_cast<std::int32_t>(getU32(bytes + kPredatorCountOffset));
    const auto storedPrey = static_cast<std::int32_t>(getU32(bytes + kPreyCountOffset));
    predatorCount = std::clamp(storedPredators, 1, kMaxPredators);
    preyCount = std::clamp(storedPrey, 1, kMaxPrey);
    if (predatorCount != storedPredators || preyCount != storedPrey)
        std::fprintf(stderr,
                     "kavrosa: %s holds %d Predators and %d Prey; using %d and %d (limits 1-%d "
                     "and 1-%d)\n",
                     name.c_str(), storedPredators, storedPrey, predatorCount, preyCount,
                     kMaxPredators, kMaxPrey);

    int nonFinite = 0;
    for (const auto& genome : predatorGenomes)
        nonFinite += int(std::count_if(genome.begin(), genome.end(),
                                       [](float w) { return !std::isfinite(w); }));
    for (const auto& genome : preyGenomes)
        nonFinite += int(std::count_if(genome.begin(), genome.end(),
                                       [](float w) { return !std::isfinite(w); }));
    if (nonFinite > 0)
        std::fprintf(stderr,
                     "kavrosa: %s holds %d weights that are not finite numbers; their Agents "
                     "will die and be replaced\n",
                     name.c_str(), nonFinite);
    return GenomeLoad::loaded;
}

GenomeLoad Population::loadGenomes() {
    const std::filesystem::path path = filePath(kGenomeFileName);
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        randomizeGenomes();
        return GenomeLoad::noFile;
    }
    auto reject = [&](const char* why) {
        keepRejectedFile = true;
        std::fprintf(stderr, "kavrosa: cannot load %s: %s; starting a new evolution with random Genomes\n",
                     describe(path).c_str(), why);
        randomizeGenomes();
        return GenomeLoad::rejected;
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
    const GenomeLoad result = decodeGenomeFile(bytes.data(), total, describe(path));
    if (result == GenomeLoad::rejected) keepRejectedFile = true;
    return result;
}

bool Population::saveGenomes() const {
    const GenomeFileBytes bytes = encodeGenomeFile(*this);
    const std::filesystem::path path = filePath(kGenomeFileName);
    std::filesystem::path temporary = path;
    temporary += ".tmp";

    auto fail = [&](const char* why) {
        std::fprintf(stderr, "kavrosa: saving %s failed (%s); the previous file is kept\n",
                     describe(path).c_str(), why);
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    };

    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (!file) return fail(std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                         std::fflush(file) == 0;
    int savedErrno = errno;
#if defined(__unix__) || defined(__APPLE__)
    const bool synced = written && ::fsync(fileno(file)) == 0;
    if (written && !synced) savedErrno = errno;
#else
    const bool synced = written;
#endif
    const bool closed = std::fclose(file) == 0;
    if (!written || !synced || !closed) return fail(std::strerror(savedErrno ? savedErrno : EIO));

    std::error_code error;
    if (keepRejectedFile) {
        // The file this run refused to load may still be someone's evolution: move it
        // aside under a name not yet taken rather than replace it.
        const auto type = std::filesystem::symlink_status(path, error).type();
        if (!error && type != std::filesystem::file_type::not_found &&
            type != std::filesystem::file_type::directory) {
            std::filesystem::path kept = path;
            kept += ".rejected";
            for (int n = 1; std::filesystem::symlink_status(kept, error).type() !=
                                std::filesystem::file_type::not_found && n < 1000; ++n) {
                kept = path;
                kept += ".rejected." + std::to_string(n);
            }
            std::filesystem::rename(path, kept, error);
            if (error) return fail(error.message().c_str());
            std::fprintf(stderr, "kavrosa: the unusable %s is kept as %s\n", describe(path).c_str(),
                         describe(kept).c_str());
        }
        error.clear();
        keepRejectedFile = false;
    }
    std::filesystem::rename(temporary, path, error);
    if (error) return fail(error.message().c_str());
    return true;
}

}  // namespace kav
