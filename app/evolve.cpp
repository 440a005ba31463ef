#include "app/evolve.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

#include "io/run_folder.h"

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

// One Agent more or fewer per tick and population, as the window's keys would ask,
// until the counts are those wanted.
void stepTowardSizes(Population& population, const EvolveOptions& options) {
    if (options.predators && population.world.predatorCount != *options.predators)
        population.requestSizeChange(population.world.predatorCount < *options.predators, true);
    if (options.prey && population.world.preyCount != *options.prey)
        population.requestSizeChange(population.world.preyCount < *options.prey, false);
}

// 1234567 as "1,234,567".
std::string grouped(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return (value < 0 ? "-" : "") + digits;
}

long long births(const EventCounts& e) { return e.predatorBirths + e.preyBirths; }

}  // namespace

void writeDump(std::FILE* out, const Population& population) {
    std::fprintf(out,
                 "kind,slot,inUse,rank,generation,age,x,y,vx,vy,nextX,nextY,nextVx,nextVy,energy,"
                 "heading,prevHeading,catches,ticksSinceCatch,digestTimer,captured,dead,hitWall\n");
    for (int i = 0; i < kMaxPredators; ++i)
        writeDumpRow(out, population.world.predators[i], i < population.world.predatorCount);
    for (int i = 0; i < kMaxPrey; ++i)
        writeDumpRow(out, population.world.prey[i], i < population.world.preyCount);
}

int runEvolve(const EvolveOptions& options) {
    stopRequested.store(false);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    RunSettings settings;
    settings.folder = options.folder.empty() ? "." : options.folder;
    settings.seed = options.seed;
    settings.logFile = options.logFile;
    settings.logEvery = options.logEvery;
    settings.startPredators = options.predators.value_or(10);
    settings.startPrey = options.prey.value_or(150);
    settings.program = "kavrosa-evolve";
    settings.arguments = options.arguments;
    RunFolder run(settings);
    if (!run.lock()) {
        std::fprintf(stderr, "kavrosa-evolve: %s\n", run.failure().c_str());
        return 3;
    }
    auto population = std::make_unique<Population>();
    if (options.vectorPath) population->step.program.vectorPath = *options.vectorPath;
    if (!run.open(*population)) {
        std::fprintf(stderr, "kavrosa-evolve: %s\n", run.failure().c_str());
        return 2;
    }

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto lastProgress = started;
    const std::int64_t startTick = population->world.tick;
    const EventCounts startEvents = population->events();
    std::uint64_t lastProgressTicks = 0;
    std::uint64_t run_ = 0;
    const double progressEvery = options.terminal ? 1.0 : options.progressSeconds;
    bool saved = true;
    auto done = [&] {
        return (options.ticks && run_ >= *options.ticks) ||
               (options.untilTick && population->world.tick >= *options.untilTick) ||
               stopRequested.load();
    };
    while (!done()) {
        stepTowardSizes(*population, options);
        if (population->runTick()) run.report(population->lastReport());
        ++run_;
        if (options.saveEvery > 0 &&
            population->world.tick % std::int64_t(options.saveEvery) == 0 && !done())
            saved = run.checkpoint(*population) && saved;
        if (progressEvery > 0 && (run_ & 1023) == 0) {
            const auto now = Clock::now();
            const double seconds = std::chrono::duration<double>(now - lastProgress).count();
            if (seconds >= progressEvery) {
                const double rate = double(run_ - lastProgressTicks) / seconds;
                if (options.terminal)
                    std::fprintf(stderr, "\rtick %lld  %.0f ticks/s   ",
                                 static_cast<long long>(population->world.tick), rate);
                else
                    std::fprintf(
                        stderr, "kavrosa-evolve: tick %s, %s ticks/s, %d Predators, %d Prey\n",
                        grouped(population->world.tick).c_str(), grouped((long long)rate).c_str(),
                        population->world.predatorCount, population->world.preyCount);
                lastProgress = now;
                lastProgressTicks = run_;
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (options.terminal && progressEvery > 0) std::fprintf(stderr, "\r%40s\r", "");

    int status = 0;
    if (!run.checkpoint(*population) || !saved) status = 1;
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

    const EventCounts& events = population->events();
    std::printf(
        "kavrosa-evolve: %s ticks (tick %s to %s) in %.1f s, %s ticks/s; %s captures, %s "
        "births; %d Predators, %d Prey\n",
        grouped((long long)run_).c_str(), grouped(startTick).c_str(),
        grouped(population->world.tick).c_str(), seconds,
        grouped(seconds > 0 ? (long long)(double(run_) / seconds) : 0).c_str(),
        grouped(events.captures - startEvents.captures).c_str(),
        grouped(births(events) - births(startEvents)).c_str(), population->world.predatorCount,
        population->world.preyCount);
    return status;
}

}  // namespace kav
