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

// The first signal that asked the run to stop, 0 while none has. The handler only
// records it: the tick in hand finishes and the save runs whole, whatever comes after.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void requestStop(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
}

// Every signal whose default action ends the program and that can be caught: a closed
// terminal or ssh session (HUP), a closed pipe on stderr (PIPE), Ctrl+\ (QUIT), a
// batch system's warnings (USR1, USR2, ALRM), a file grown beyond its limit (XFSZ).
constexpr int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGPIPE, SIGQUIT,
                                SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ};

void catchStopSignals() {
    stopSignal.store(0);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a system call in progress goes on
    for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

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
    const unsigned long long magnitude =
        value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
    std::string digits = std::to_string(magnitude);
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
    // Before the lock is taken: from then on a signal ends the run with a save.
    catchStopSignals();

    RunSettings settings;
    settings.folder = options.folder.empty() ? "." : options.folder;
    settings.seed = options.seed;
    settings.logFile = options.logFile;
    settings.logEvery = options.logEvery;
    settings.startPredators = options.predators.value_or(10);
    settings.startPrey = options.prey.value_or(150);
    settings.program = "kavrosa-evolve";
    settings.arguments = options.arguments;
    settings.newSettings = options.newSettings;
    settings.parameters = options.parameters;
    settings.archiveEvery = options.archiveEvery;
    RunFolder run(settings);
    if (!run.lock()) {
        std::fprintf(stderr, "kavrosa-evolve: %s\n", run.failure().c_str());
        return run.lockInUse() ? 3 : 2;
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
               stopSignal.load() != 0;
    };
    while (!done()) {
        stepTowardSizes(*population, options);
        if (population->runTick()) run.report(population->lastReport());
        ++run_;
        run.archive(*population);
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
    if (!run.checkpoint(*population) || !saved || run.archiveFailed()) status = 1;
    if (run.logFailed()) status = 1;
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
    // SIGINT and SIGTERM are the asked-for end of a run without --ticks; any other signal
    // says that the run was cut short, with status 4 once everything is saved.
    const int signal = stopSignal.load();
    if (signal != 0 && signal != SIGINT && signal != SIGTERM) {
        std::fprintf(stderr, "kavrosa-evolve: stopped by SIG%s at tick %s%s\n",
                     sigabbrev_np(signal), grouped(population->world.tick).c_str(),
                     status == 0 ? "; the evolution is saved" : "");
        if (status == 0) status = 4;
    }
    return status;
}

}  // namespace kav
