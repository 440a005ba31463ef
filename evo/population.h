#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/random.h"
#include "sim/sensing.h"
#include "sim/stepper.h"

namespace kav {

constexpr const char* kGenomeFileName = "genom.gen";
constexpr int kGenomeFileSize = (kMaxPredators + kMaxPrey) * kGenomeSize * 4 + 8 + 4 + 4;  // 60496
constexpr int kStatisticsPeriod = 200;
constexpr int kStarvationTicks = 50;

constexpr const char* kRankFileName = "ivklsiker.txt";
constexpr const char* kProbeEFileName = "AiTesztE.txt";
constexpr const char* kProbeMFileName = "AiTesztM.txt";
constexpr int kTickFieldWidth = 20;

// Mean, dispersion and change of dispersion of the probe responses of all Prey.
struct ProbeStatistics {
    float meanX = 0;
    float meanY = 0;
    float spread = 0;
    float spreadChange = 0;
};

using GenomeFileBytes = std::array<unsigned char, kGenomeFileSize>;

// How `loadGenomes` filled the Genomes.
enum class GenomeLoad {
    loaded,           // from the file, whole
    noFile,           // no file: random weights, a new evolution
    rejected,         // the file was unusable: random weights, start counts, tick 0
};

// The one owner of the simulated world: both Agent arrays with their Genomes, the live
// counts, the rank lists, the tick counter, the world step and the
// state the statistics carry from one report to the next.
class Population {
public:
    Population();
    Population(const Population&) = delete;
    Population& operator=(const Population&) = delete;

    // Builds the world: 240 Agent slots (720 draws), then the Genomes from `genom.gen`
    // in `folder` or at random (15,120 draws).
    void setup(float xMinArg, float xMaxArg, float yMinArg, float yMaxArg, float preyRadius,
               float predatorRadius, int initialPredatorCount, int initialPreyCount);

    // The program's world: arena -5..5 x -4..4, Prey radius 0.05, Predator radius 0.02,
    // 10 Predators and 150 Prey unless the Genome file says otherwise.
    void setupStandard() { setup(-5.0f, 5.0f, -4.0f, 4.0f, 0.05f, 0.02f, 10, 150); }

    void runTick();

    // One Agent to be added or removed at the start of the next tick. The caller keeps
    // the counts within 1..40 and 1..200.
    void requestSizeChange(bool add, bool predator);

    // Replaces a dead Agent in its slot by an offspring of well-ranked parents.
    void reproduce(Agent& dead);

    GenomeLoad loadGenomes();
    // Takes the Genomes, tick and counts from the bytes of a Genome file; `name` is used
    // in messages. A short file is refused (random Genomes, tick 0, counts untouched),
    // counts are clamped into range.
    GenomeLoad decodeGenomeFile(const unsigned char* bytes, std::size_t size,
                                const std::string& name);
    // Writes `genom.gen` through a temporary file; false (and one line on stderr) when
    // the previous file had to be kept.
    bool saveGenomes() const;

    // The report every 200th tick: ivklsiker.txt, AiTesztE.txt, AiTesztM.txt.
    void writeStatistics();

    // Where the records go; the files are only ever overwritten, never created.
    bool overwriteStatisticsFile(const char* name, const std::string& record);

    std::filesystem::path filePath(const char* name) const { return folder / name; }

    // Folder of the Genome file and the statistics files ("." = the working folder).
    std::filesystem::path folder = ".";
    // Set when `loadGenomes` refused an existing Genome file; the next save then keeps
    // that file as genom.gen.rejected (or .rejected.N) instead of replacing it.
    mutable bool keepRejectedFile = false;
    Random random{1};

    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    Arena arena;
    std::int64_t tick = 0;
    std::int32_t preyCount = 0;
    std::int32_t predatorCount = 0;
    Stepper step;
    std::array<std::int32_t, kMaxPredators> predatorRanks{};
    std::array<std::int32_t, kMaxPrey> preyRanks{};
    float sexualRankPct = 0;
    float clonalRankPct = 0;
    std::int32_t predatorSizeRequest = 0;
    std::int32_t preySizeRequest = 0;
    Agent probe{};
    std::array<std::array<float, 2>, kMaxPrey> probeOut{};
    float probeSpreadE = 0;
    float probeSpreadM = 0;
    float mutationAmplitude = 0;

    // Genome storage of every slot; each Agent's `genome` points into it.
    std::array<std::array<float, kGenomeSize>, kMaxPredators> predatorGenomes{};
    std::array<std::array<float, kGenomeSize>, kMaxPrey> preyGenomes{};

private:
    void applySizeRequest(std::int32_t& request, std::int32_t& count, Agent* agents,
                          std::int32_t* ranks);
    void climbPredatorRank(Agent& climber);
    void randomizeGenomes();
    ProbeStatistics runProbe(const float* values, int first, int valueCount,
                             float& previousSpread);
    int statisticsWarned = 0;  // files already reported as unwritable, one bit each
};

// The 60,496 bytes of the Genome file for this world, little-endian on any host.
GenomeFileBytes encodeGenomeFile(const Population& population);

// The fixed-width texts of the statistics records.
std::string tickField(std::int64_t tick);
std::string fixedField(const char* format, float value, int width);
std::string rankRecord(float clonalRankPct, float sexualRankPct, std::int64_t tick);
std::string probeRecord(const ProbeStatistics& stats, std::int64_t tick);
ProbeStatistics probeStatistics(const std::array<float, 2>* responses, int count,
                                float previousSpread);

// A Predator's success ratio: catches / (age + 50), in double precision.
double successRatio(const Agent& predator);

}  // namespace kav
