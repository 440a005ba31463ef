#include "app/evolve.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

#include "io/genome_file.h"
#include "io/statistics_files.h"

namespace kav {

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

void writeDumpRow(std::FILE* out, const Agent& a, bool inUse) {
    std::fprintf(out,
                 "%s,%d,%d,%d,%lld,%lld,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,"
                 "%lld,%d,%d,%d,%d,%d\n",
                 a.isPredator ? "predator" : "prey", a.slot, inUse ? 1 : 0, a.rank,
                 static_cast<long long>(a.generation), static_cast<long long>(a.age), double(a.x),
                 double(a.y), double(a.vx), double(a.vy), double(a.nextX), double(a.nextY),
                 double(a.nextVx), double(a.nextVy), double(a.energy), double(a.heading),
                 double(a.prevHeading), static_cast<long long>(a.catches), a.ticksSinceCatch,
                 a.digestTimer, a.captured ? 1 : 0, a.dead ? 1 : 0, a.hitWall ? 1 : 0);
}

}  // namespace

void writeDump(std::FILE* out, const Population& population) {
    std::fprintf(out,
                 "kind,slot,inUse,rank,generation,age,x,y,vx,vy,nextX,nextY,nextVx,nextVy,energy,"
                 "heading,prevHeading,catches,ticksSinceCatch,digestTimer,captured,dead,hitWall\n");
    for (int i = 0; i < kMaxPredators; ++i)
        writeDumpRow(out, population.predators[i], i < population.predatorCount);
    for (int i = 0; i < kMaxPrey; ++i)
        writeDumpRow(out, population.prey[i], i < population.preyCount);
}

int runEvolve(const EvolveOptions& options) {
    stopRequested.store(false);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    const std::filesystem::path folder = options.folder.empty() ? "." : options.folder;
    GenomeFile genomeFile(folder);
    StatisticsFiles statistics(folder);
    const LoadedGenomes loaded = genomeFile.load();

    auto population = std::make_unique<Population>();
    population->random.setState(options.seed);
    population->setupStandard(loaded.evolution ? &*loaded.evolution : nullptr);

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto lastReport = started;
    std::uint64_t lastReportTicks = 0;
    std::uint64_t run = 0;
    while ((!options.ticks || run < *options.ticks) && !stopRequested.load()) {
        if (population->runTick()) statistics.write(population->lastReport());
        ++run;
        if (options.progress && (run & 1023) == 0) {
            const auto now = Clock::now();
            const double seconds = std::chrono::duration<double>(now - lastReport).count();
            if (seconds >= 1.0) {
                std::fprintf(stderr, "\rtick %lld  %.0f ticks/s   ",
                             static_cast<long long>(population->tick),
                             double(run - lastReportTicks) / seconds);
                lastReport = now;
                lastReportTicks = run;
            }
        }
    }
    if (options.progress) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::fprintf(stderr, "\rtick %lld  %llu ticks in %.1f s\n",
                     static_cast<long long>(population->tick),
                     static_cast<unsigned long long>(run), seconds);
    }

    int status = 0;
    if (!genomeFile.save(population->savedEvolution())) status = 1;
    if (!options.dumpFile.empty()) {
        std::FILE* out = std::fopen(options.dumpFile.c_str(), "w");
        if (!out) {
            std::fprintf(stderr, "kavrosa-evolve: cannot write %s: %s\n", options.dumpFile.c_str(),
                         std::strerror(errno));
            return 1;
        }
        writeDump(out, *population);
        if (std::fclose(out) != 0) {
            std::fprintf(stderr, "kavrosa-evolve: writing %s failed\n", options.dumpFile.c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace kav
