// The slowest jumps of the window's timeline at 40 Predators and 200 Prey: to the tick
// just before a keyframe, recent (999 ticks stepped; also the step back by one tick) and
// older (4,999). Each jump starts from the newest tick, as a Page Up or a drag of the
// slider does.
#include <benchmark/benchmark.h>
#include <memory>

#include "app/rewind.h"

namespace kav {
namespace {

struct Timeline {
    std::unique_ptr<Population> population = std::make_unique<Population>();
    std::unique_ptr<WatchedRun> run;

    Timeline() {
        population->world.random.setState(1);
        population->setup(ModelSettings{}, 40, 200);
        run = std::make_unique<WatchedRun>(*population, std::size_t(256) << 20);
        run->start();
        while (run->tickNow() < 160'000) run->tick();
    }
};

Timeline& timeline() {
    static Timeline t;  // 160,000 ticks once, for every benchmark
    return t;
}

void jumpFromNewest(benchmark::State& state, std::int64_t back) {
    Timeline& t = timeline();
    const std::int64_t newest = t.run->newestTick();
    for (auto _ : state) {
        t.run->jumpTo(newest - back);
        benchmark::DoNotOptimize(t.population->world.tick);
        state.PauseTiming();
        t.run->jumpTo(newest);
        state.ResumeTiming();
    }
}

// The newest keyframe is at 160,000: 1,001 back lands 999 ticks after the one at 158,000.
void BM_JumpRecentWorst(benchmark::State& state) { jumpFromNewest(state, 1'001); }
// Before the last 100,000 ticks keyframes are 5,000 apart: 100,001 back lands on 59,999,
// 4,999 ticks after the one at 55,000.
void BM_JumpOlderWorst(benchmark::State& state) { jumpFromNewest(state, 100'001); }

BENCHMARK(BM_JumpRecentWorst)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_JumpOlderWorst)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace kav

BENCHMARK_MAIN();
