// Ticks per second of the world, with the program's step and with the reference step,
// the controller alone (the floor a tick cannot go below) and the phases of a tick.
// Run through ./bench; a summary with the ratios follows the table.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "evo/population.h"
#include "sim/workspace.h"

namespace kav {
namespace {

constexpr int kEvolveTicks = 3000;

// A world of random Genomes brought to the given populations one Agent per tick and
// evolved for a few thousand ticks, so that the Agents move as evolved Agents do and the
// windows hold what they hold in a run.
std::unique_ptr<Population> evolvedWorld(int predators, int prey) {
    auto world = std::make_unique<Population>();
    world->setupStandard();
    for (int t = 0; t < kEvolveTicks; ++t) {
        if (world->predatorCount < predators) world->requestSizeChange(true, true);
        if (world->preyCount < prey) world->requestSizeChange(true, false);
        world->runTick();
    }
    return world;
}

// One evolved world per configuration, shared by the repetitions of a benchmark.
Population& world(const std::string& name, int predators, int prey) {
    static std::map<std::string, std::unique_ptr<Population>> worlds;
    auto& slot = worlds[name];
    if (!slot) slot = evolvedWorld(predators, prey);
    return *slot;
}

void tickBenchmark(benchmark::State& state, int predators, int prey, bool literal) {
    Population& w = world(std::to_string(predators) + "/" + std::to_string(prey) +
                              (literal ? " literal" : " fast"),
                          predators, prey);
    w.workspace.literalWorldStep = literal;
    for (auto _ : state) w.runTick();
    state.counters["ticks/s"] = benchmark::Counter(double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_Tick_10_150(benchmark::State& state) { tickBenchmark(state, 10, 150, false); }
void BM_TickLiteral_10_150(benchmark::State& state) { tickBenchmark(state, 10, 150, true); }
void BM_Tick_40_200(benchmark::State& state) { tickBenchmark(state, 40, 200, false); }
void BM_TickLiteral_40_200(benchmark::State& state) { tickBenchmark(state, 40, 200, true); }

// 240 controller calls on the inputs that the last sensing of the world left behind.
void BM_Control240(benchmark::State& state) {
    Population& w = world("40/200 controller", 40, 200);
    SenseWorkspace& ws = w.workspace;
    for (auto _ : state) {
        for (int i = 0; i < w.predatorCount; ++i) ws.control(w.predators[i]);
        for (int i = 0; i < w.preyCount; ++i) ws.control(w.prey[i]);
        benchmark::ClobberMemory();
    }
}

// Sensing of all 240 Agents, timed alone on the world as each tick leaves it (a tick
// runs untimed between the iterations: sensing one standing world over and over would
// let the branch predictor learn it).
template <bool fast>
void senseBenchmark(benchmark::State& state) {
    Population& w = world(fast ? "40/200 sensing" : "40/200 sensing literal", 40, 200);
    SenseWorkspace& ws = w.workspace;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        w.runTick();  // leaves the indexes sorted for the positions the step started from
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < w.predatorCount; ++i) {
            if constexpr (fast) ws.senseFast(w.predators[i]);
            else ws.sense(w.predators[i]);
        }
        for (int i = 0; i < w.preyCount; ++i) {
            if constexpr (fast) ws.senseFast(w.prey[i]);
            else ws.sense(w.prey[i]);
        }
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
void BM_Sense240(benchmark::State& state) { senseBenchmark<true>(state); }
void BM_Sense240Literal(benchmark::State& state) { senseBenchmark<false>(state); }

// The phases of the program's tick at 40/200, from the step's own phase marks, in
// microseconds per tick.
struct PhaseClock final : StepObserver {
    using Clock = std::chrono::steady_clock;
    Clock::time_point marks[5];
    void phaseDone(StepPhase phase) override { marks[static_cast<int>(phase)] = Clock::now(); }
};

void BM_TickPhases_40_200(benchmark::State& state) {
    Population& w = world("40/200 phases", 40, 200);
    PhaseClock clock;
    w.workspace.observer = &clock;
    double totals[7] = {};
    using Clock = PhaseClock::Clock;
    auto micros = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::micro>(b - a).count();
    };
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        w.runTick();
        const Clock::time_point end = Clock::now();
        const auto* m = clock.marks;
        totals[0] += micros(start, m[0]);  // size requests, replacement, begin-tick
        totals[1] += micros(m[0], m[1]);   // sort
        totals[2] += micros(m[1], m[2]);   // sensing and control
        totals[3] += micros(m[2], m[3]);   // move
        totals[4] += micros(m[3], m[4]);   // capture
        totals[5] += micros(m[4], end);    // tick count, statistics every 200th tick
        totals[6] += micros(start, end);
    }
    w.workspace.observer = nullptr;
    const char* names[7] = {"replace_us", "sort_us", "sense+control_us", "move_us",
                            "capture_us", "rest_us", "tick_us"};
    for (int i = 0; i < 7; ++i)
        state.counters[names[i]] =
            benchmark::Counter(totals[i], benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_Tick_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickLiteral_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tick_40_200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickLiteral_40_200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Control240)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sense240)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_Sense240Literal)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_TickPhases_40_200)->Unit(benchmark::kMicrosecond);

// The console table, then the ratios of the medians (or of the single runs).
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
            Figures& f = figures_[run.run_name.function_name];
            f.microseconds = run.GetAdjustedRealTime();  // unit set to microseconds above
            for (const auto& [name, counter] : run.counters) f.counters[name] = counter.value;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        auto us = [&](const char* name) {
            auto it = figures_.find(name);
            return it == figures_.end() ? std::nan("") : it->second.microseconds;
        };
        std::printf("\nSummary (medians when repeated)\n");
        for (const char* size : {"10_150", "40_200"}) {
            const double fast = us((std::string("BM_Tick_") + size).c_str());
            const double literal = us((std::string("BM_TickLiteral_") + size).c_str());
            std::printf("  tick %-6s  fast %8.1f us (%7.0f ticks/s)  literal %8.1f us (%6.0f "
                        "ticks/s)  speed-up %5.1fx\n",
                        size, fast, 1e6 / fast, literal, 1e6 / literal, literal / fast);
        }
        const double tick = us("BM_Tick_40_200");
        const double control = us("BM_Control240");
        std::printf("  240 control calls  %6.1f us\n", control);
        std::printf("  tick 40/200 / 240 control calls  %4.2f\n", tick / control);
        std::printf("  sensing of 240 Agents  fast %6.1f us  literal %7.1f us\n",
                    us("BM_Sense240"), us("BM_Sense240Literal"));
        auto phases = figures_.find("BM_TickPhases_40_200");
        if (phases != figures_.end()) {
            std::printf("  phases of a tick at 40/200 (us):");
            for (const char* name : {"replace_us", "sort_us", "sense+control_us", "move_us",
                                     "capture_us", "rest_us", "tick_us"})
                std::printf(" %s %.1f", name, phases->second.counters[name]);
            std::printf("\n");
        }
    }

private:
    struct Figures {
        double microseconds = 0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Figures> figures_;
};

}  // namespace
}  // namespace kav

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    kav::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
