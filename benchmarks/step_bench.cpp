// Ticks per second of the world, with the program's step and with the reference step,
// the controller alone (the floor a tick cannot go below), the networks alone and the
// phases of a tick.
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

#include "evo/evaluation.h"
#include "evo/population.h"
#include "sim/stepper.h"

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
        if (world->world.predatorCount < predators) world->requestSizeChange(true, true);
        if (world->world.preyCount < prey) world->requestSizeChange(true, false);
        world->runTick();
    }
    return world;
}

WorldView viewOf(Population& w) { return w.world.view(); }

// One evolved world per configuration, shared by the repetitions of a benchmark.
Population& world(const std::string& name, int predators, int prey) {
    static std::map<std::string, std::unique_ptr<Population>> worlds;
    auto& slot = worlds[name];
    if (!slot) slot = evolvedWorld(predators, prey);
    return *slot;
}

void tickBenchmark(benchmark::State& state, int predators, int prey, StepKind kind,
                   VectorPath path = widestVectorPath()) {
    if (!canRun(path)) {
        state.SkipWithError("this machine cannot run the vector path");
        return;
    }
    Population& w =
        world(std::to_string(predators) + "/" + std::to_string(prey) +
                  (kind == StepKind::reference ? " reference" : " program") + nameOf(path),
              predators, prey);
    w.step.kind = kind;
    w.step.program.vectorPath = path;
    for (auto _ : state) w.runTick();
    state.counters["ticks/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Tick_10_150(benchmark::State& state) { tickBenchmark(state, 10, 150, StepKind::program); }
void BM_TickReference_10_150(benchmark::State& state) {
    tickBenchmark(state, 10, 150, StepKind::reference);
}
void BM_Tick_40_200(benchmark::State& state) { tickBenchmark(state, 40, 200, StepKind::program); }
void BM_TickReference_40_200(benchmark::State& state) {
    tickBenchmark(state, 40, 200, StepKind::reference);
}
// The program's step on each vector path (the ticks above run on the widest).
void BM_TickOnPath_10_150(benchmark::State& state) {
    tickBenchmark(state, 10, 150, StepKind::program, kVectorPaths[state.range(0)]);
}
void BM_TickOnPath_40_200(benchmark::State& state) {
    tickBenchmark(state, 40, 200, StepKind::program, kVectorPaths[state.range(0)]);
}

// The program's step and the reference step a tick each in turn, each on its own copy of
// the same evolved world (the two steps keep the copies identical): a slow spell of the
// shared machine falls on both alike, so their ratio holds where the medians of separate
// benchmarks drift apart.
void ticksInTurn(benchmark::State& state, int predators, int prey) {
    const std::string size = std::to_string(predators) + "/" + std::to_string(prey);
    Population& program = world(size + " in turn, program", predators, prey);
    Population& reference = world(size + " in turn, reference", predators, prey);
    program.step.kind = StepKind::program;
    reference.step.kind = StepKind::reference;
    using Clock = std::chrono::steady_clock;
    double programSeconds = 0;
    double referenceSeconds = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        program.runTick();
        const Clock::time_point between = Clock::now();
        reference.runTick();
        const Clock::time_point end = Clock::now();
        programSeconds += std::chrono::duration<double>(between - start).count();
        referenceSeconds += std::chrono::duration<double>(end - between).count();
    }
    state.counters["program_us"] =
        benchmark::Counter(programSeconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["reference_us"] =
        benchmark::Counter(referenceSeconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["speed-up"] = referenceSeconds / programSeconds;
}
void BM_TicksInTurn_10_150(benchmark::State& state) { ticksInTurn(state, 10, 150); }
void BM_TicksInTurn_40_200(benchmark::State& state) { ticksInTurn(state, 40, 200); }

// A tick of a frozen evaluation world (the evolved world's Genomes, no reproduction) and a
// tick of the evolution, in turn on the same sizes: "frozen/evolving" is their ratio.
void frozenInTurn(benchmark::State& state, int predators, int prey) {
    const std::string size = std::to_string(predators) + "/" + std::to_string(prey);
    Population& evolving = world(size + " frozen in turn", predators, prey);
    auto frozen = std::make_unique<World>();
    setUpFrozenWorld(*frozen, evolving.world.settings,
                     {evolving.world.predatorGenomes.data(), evolving.world.predatorCount},
                     {evolving.world.preyGenomes.data(), evolving.world.preyCount}, 5);
    auto step = std::make_unique<Stepper>();
    EvaluationScore score;
    for (int t = 0; t < kEvolveTicks; ++t) runFrozenTick(*frozen, *step, score);
    using Clock = std::chrono::steady_clock;
    double frozenSeconds = 0;
    double evolvingSeconds = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        runFrozenTick(*frozen, *step, score);
        const Clock::time_point between = Clock::now();
        evolving.runTick();
        const Clock::time_point end = Clock::now();
        frozenSeconds += std::chrono::duration<double>(between - start).count();
        evolvingSeconds += std::chrono::duration<double>(end - between).count();
    }
    state.counters["frozen_us"] =
        benchmark::Counter(frozenSeconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["evolving_us"] =
        benchmark::Counter(evolvingSeconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["frozen/evolving"] = frozenSeconds / evolvingSeconds;
}
void BM_FrozenInTurn_10_150(benchmark::State& state) { frozenInTurn(state, 10, 150); }

// 240 controller calls, each on the input vector its Agent last sensed.
void BM_Control240(benchmark::State& state) {
    Population& w = world("40/200 controller", 40, 200);
    const AgentReadings& readings = w.step.readings;
    for (auto _ : state) {
        for (int i = 0; i < w.world.predatorCount; ++i)
            control(w.world.predators[i], w.world.genomeOf(w.world.predators[i]),
                    readings.predatorInputs[i], w.world.settings);
        for (int i = 0; i < w.world.preyCount; ++i)
            control(w.world.prey[i], w.world.genomeOf(w.world.prey[i]), readings.preyInputs[i],
                    w.world.settings);
        benchmark::ClobberMemory();
    }
}

// The networks alone of all 240 Agents, on the input vectors they last sensed, on each
// vector path as the step runs them, one Agent per lane.
void BM_Networks240(benchmark::State& state) {
    const VectorPath path = kVectorPaths[state.range(0)];
    if (!canRun(path)) {
        state.SkipWithError("this machine cannot run the vector path");
        return;
    }
    Population& w = world("40/200 controller", 40, 200);
    const AgentReadings& readings = w.step.readings;
    std::vector<const float*> genomes;
    std::vector<const float*> inputs;
    for (int i = 0; i < w.world.predatorCount; ++i) {
        genomes.push_back(w.world.genomeOf(w.world.predators[i]));
        inputs.push_back(readings.predatorInputs[i].data());
    }
    for (int i = 0; i < w.world.preyCount; ++i) {
        genomes.push_back(w.world.genomeOf(w.world.prey[i]));
        inputs.push_back(readings.preyInputs[i].data());
    }
    const int count = static_cast<int>(genomes.size());
    std::vector<float> forward(count), lateral(count);
    const NetworkLanes lanes{genomes.data(), inputs.data(), count, forward.data(), lateral.data()};
    for (auto _ : state) {
        evaluateNetworks(path, lanes);
        benchmark::ClobberMemory();
    }
}

// Sensing of all 240 Agents, timed alone on the world as each tick leaves it (a tick
// runs untimed between the iterations: sensing one standing world over and over would
// let the branch predictor learn it).
template <StepKind kind>
void senseBenchmark(benchmark::State& state) {
    Population& w =
        world(kind == StepKind::program ? "40/200 sensing" : "40/200 sensing reference", 40, 200);
    using Clock = std::chrono::steady_clock;
    InputVector inputs;
    for (auto _ : state) {
        w.runTick();  // leaves the index sorted for the positions the step started from
        const WorldView view = viewOf(w);
        if constexpr (kind == StepKind::reference) w.step.reference.sortIndexes(view);
        auto sense = [&](const Agent& a, int slot) {
            if constexpr (kind == StepKind::program)
                w.step.program.sense(view, a, slot, FrameRotation(a.heading), inputs);
            else w.step.reference.sense(view, a, inputs);
        };
        const Clock::time_point start = Clock::now();
        // The wider paths search every Agent's neighbours before any senses.
        if constexpr (kind == StepKind::program)
            if (lanesOf(w.step.program.vectorPath) >= WorldStep::kGroupSearchLanes)
                w.step.program.findNeighbours(view);
        for (int i = 0; i < w.world.predatorCount; ++i) sense(w.world.predators[i], i);
        for (int i = 0; i < w.world.preyCount; ++i) sense(w.world.prey[i], i);
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
void BM_Sense240(benchmark::State& state) { senseBenchmark<StepKind::program>(state); }
void BM_Sense240Reference(benchmark::State& state) { senseBenchmark<StepKind::reference>(state); }

// The phases of the program's tick at 40/200, from the step's own phase marks, in
// microseconds per tick.
struct PhaseClock final : StepObserver {
    using Clock = std::chrono::steady_clock;
    Clock::time_point marks[6];
    void phaseDone(StepPhase phase) override { marks[static_cast<int>(phase)] = Clock::now(); }
};

void tickPhases(benchmark::State& state, int predators, int prey) {
    Population& w =
        world(std::to_string(predators) + "/" + std::to_string(prey) + " phases", predators, prey);
    PhaseClock clock;
    w.step.observer = &clock;
    double totals[8] = {};
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
        totals[2] += micros(m[1], m[2]);   // the neighbour search before sensing
        totals[3] += micros(m[2], m[3]);   // sensing and control
        totals[4] += micros(m[3], m[4]);   // move
        totals[5] += micros(m[4], m[5]);   // capture
        totals[6] += micros(m[5], end);    // tick count, statistics every 200th tick
        totals[7] += micros(start, end);
    }
    w.step.observer = nullptr;
    const char* names[8] = {"replace_us", "sort_us",    "search_us", "sense+control_us",
                            "move_us",    "capture_us", "rest_us",   "tick_us"};
    for (int i = 0; i < 8; ++i)
        state.counters[names[i]] =
            benchmark::Counter(totals[i], benchmark::Counter::kAvgIterations);
}
void BM_TickPhases_10_150(benchmark::State& state) { tickPhases(state, 10, 150); }
void BM_TickPhases_40_200(benchmark::State& state) { tickPhases(state, 40, 200); }

BENCHMARK(BM_Tick_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickReference_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tick_40_200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickReference_40_200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TicksInTurn_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TicksInTurn_40_200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrozenInTurn_10_150)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickOnPath_10_150)->Unit(benchmark::kMicrosecond)->DenseRange(0, 2);
BENCHMARK(BM_TickOnPath_40_200)->Unit(benchmark::kMicrosecond)->DenseRange(0, 2);
BENCHMARK(BM_Control240)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Networks240)->Unit(benchmark::kMicrosecond)->DenseRange(0, 2);
BENCHMARK(BM_Sense240)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_Sense240Reference)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_TickPhases_10_150)->Unit(benchmark::kMicrosecond);
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
            const std::string& args = run.run_name.args;
            Figures& f = figures_[run.run_name.function_name + (args.empty() ? "" : "/" + args)];
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
            const double program = us((std::string("BM_Tick_") + size).c_str());
            const double reference = us((std::string("BM_TickReference_") + size).c_str());
            std::printf(
                "  tick %-6s  program %8.1f us (%7.0f ticks/s)  reference %8.1f us "
                "(%6.0f ticks/s)  speed-up %5.1fx\n",
                size, program, 1e6 / program, reference, 1e6 / reference, reference / program);
        }
        for (const char* size : {"10_150", "40_200"}) {
            auto inTurn = figures_.find(std::string("BM_TicksInTurn_") + size);
            if (inTurn == figures_.end()) continue;
            std::map<std::string, double>& c = inTurn->second.counters;
            std::printf(
                "  tick %-6s  in turn: program %5.1f us  reference %8.1f us  speed-up %5.1fx\n",
                size, c["program_us"], c["reference_us"], c["speed-up"]);
        }
        for (const char* size : {"10_150", "40_200"}) {
            const double reference = us((std::string("BM_TickReference_") + size).c_str());
            std::printf("  tick %-6s by vector path:", size);
            for (int p = 0; p < 3; ++p) {
                const double program =
                    us((std::string("BM_TickOnPath_") + size + "/" + std::to_string(p)).c_str());
                std::printf("  %s %.1f us (%.1fx)", nameOf(kVectorPaths[p]), program,
                            reference / program);
            }
            std::printf("\n");
        }
        const double tick = us("BM_Tick_40_200");
        const double control = us("BM_Control240");
        std::printf("  240 control calls  %6.1f us\n", control);
        std::printf("  tick 40/200 / 240 control calls  %4.2f\n", tick / control);
        std::printf("  networks of 240 Agents by vector path:");
        for (int p = 0; p < 3; ++p)
            std::printf("  %s %.2f us", nameOf(kVectorPaths[p]),
                        us(("BM_Networks240/" + std::to_string(p)).c_str()));
        std::printf("\n");
        std::printf(
            "  sensing of 240 Agents one at a time (the step senses all at once)  program %6.1f us "
            " reference %7.1f us\n",
            us("BM_Sense240"), us("BM_Sense240Reference"));
        for (const char* size : {"10_150", "40_200"}) {
            auto phases = figures_.find(std::string("BM_TickPhases_") + size);
            if (phases == figures_.end()) continue;
            std::printf("  phases of a tick at %s (us):", size);
            for (const char* name : {"replace_us", "sort_us", "search_us", "sense+control_us",
                                     "move_us", "capture_us", "rest_us", "tick_us"})
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
