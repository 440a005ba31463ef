// Genomes whose weights are not finite numbers: their Agents die in their first move
// and are replaced; the world keeps finite positions and keeps running.
#include <cmath>
#include <limits>
#include <set>

#include "robust_support.h"
#include "test_world.h"

namespace kav::robust {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

int nonFiniteGenomesInUse(const Population& world) {
    int count = 0;
    auto bad = [&](const Agent& a) {
        const Genome& genome =
            a.isPredator ? world.world.predatorGenomes[a.slot] : world.world.preyGenomes[a.slot];
        for (int g = 0; g < kGenomeSize; ++g)
            if (!std::isfinite(genome[g])) return true;
        return false;
    };
    for (int i = 0; i < world.world.predatorCount; ++i) count += bad(world.world.predators[i]);
    for (int i = 0; i < world.world.preyCount; ++i) count += bad(world.world.prey[i]);
    return count;
}

// Writes a Genome file in which every `every`-th slot of each population has the given
// weight in every position (the file's slots count Predators first, then Prey).
void writePoisoned(const fs::path& file, float weight, int every, std::int32_t predators,
                   std::int32_t prey) {
    auto source = testing::standardWorld(5);
    for (int i = 0; i < kMaxPredators; i += every) source->world.predatorGenomes[i].fill(weight);
    for (int i = 0; i < kMaxPrey; i += every) source->world.preyGenomes[i].fill(weight);
    source->world.predatorCount = predators;
    source->world.preyCount = prey;
    const GenomeFileBytes bytes = encodeGenomeFile(source->savedEvolution());
    writeBytes(file, bytes.data(), bytes.size());
}

TEST(NonFiniteGenomes, AgentsDieInTheirFirstMoveAndAreReplaced) {
    for (float weight : {kNaN, kInf, -kInf, 3.0e38f}) {
        SCOPED_TRACE(weight);
        TempFolder folder;
        writePoisoned(folder / kGenomeFileName, weight, 3, kMaxPredators, kMaxPrey);
        GenomeFile store(folder.path);
        ::testing::internal::CaptureStderr();
        auto world = worldFrom(store);
        const std::string said = ::testing::internal::GetCapturedStderr();
        if (!std::isfinite(weight)) {
            ASSERT_EQ(lines(said).size(), 1u) << said;
            EXPECT_NE(said.find("not finite"), std::string::npos) << said;
        }
        ASSERT_GT(nonFiniteGenomesInUse(*world) + int(std::isfinite(weight)), 0);

        ASSERT_TRUE(runChecked(*world, 1));
        // Every Agent with a non-finite Genome was marked in its move (any such weight
        // meets a zero input or another non-finite term and gives a NaN thrust). Huge
        // finite weights only kill where the inputs are not all zero.
        if (!std::isfinite(weight)) {
            for (int i = 0; i < kMaxPredators; i += 3)
                EXPECT_TRUE(world->world.predators[i].dead) << i;
            for (int i = 0; i < kMaxPrey; i += 3)
                EXPECT_TRUE(world->world.prey[i].dead || world->world.prey[i].captured) << i;
            ASSERT_TRUE(runChecked(*world, 1));
            for (int i = 0; i < kMaxPrey; i += 3)
                EXPECT_EQ(world->world.prey[i].generation, 2) << i;
        } else {
            ASSERT_TRUE(runChecked(*world, 1));
        }

        // Offspring of poisoned parents may inherit a bad gene and die again; selection
        // weeds them out, and the run never stops or leaves a bad position behind.
        ASSERT_TRUE(runChecked(*world, 600));
        EXPECT_EQ(world->world.tick, 602);
        EXPECT_LT(nonFiniteGenomesInUse(*world), 240 / 3);
    }
}

// Nothing but NaN: every Agent dies every tick and is replaced by an equally doomed
// offspring. The run must still advance, with finite positions and intact rank lists.
TEST(NonFiniteGenomes, AllNaNWorldKeepsTicking) {
    TempFolder folder;
    writePoisoned(folder / kGenomeFileName, kNaN, 1, 17, 133);
    GenomeFile store(folder.path);
    ::testing::internal::CaptureStderr();
    auto world = worldFrom(store);
    ::testing::internal::GetCapturedStderr();
    for (int t = 0; t < 300; ++t) {
        if (t % 7 == 0 && world->world.preyCount < kMaxPrey) world->requestSizeChange(true, false);
        if (t % 11 == 0) world->requestSizeChange(false, true);
        ASSERT_TRUE(runChecked(*world, 1));
    }
    EXPECT_EQ(world->world.tick, 300);
    // The Prey in use from the start were replaced again and again (the added ones
    // joined later and count fewer generations).
    for (int i = 0; i < 133; ++i) EXPECT_GT(world->world.prey[i].generation, 100) << i;
}

// The capture list is ordered by contact time with an insertion sort; times that are
// not numbers compare false both ways, and the sort must still end with every event
// in the list exactly once.
TEST(NonFiniteGenomes, CaptureSortEndsWithTimesThatAreNotNumbers) {
    Random random(3);
    auto captures = std::make_unique<CaptureList>();
    const float times[] = {0.5f, kNaN, 0.25f, -kInf, kNaN, 1.0f, 0.25f, kInf, kNaN, 0.0f};
    const int n = int(std::size(times));
    for (int pass = 0; pass < 50; ++pass) {
        captures->clear();
        for (int e = 0; e < n; ++e)
            captures->add(CaptureEvent{e, (e + pass) % n, times[(e + pass) % n]});
        captures->sort(random);
        ASSERT_EQ(captures->count, n);
        std::set<int> predators;
        for (int e = 0; e < n; ++e) {
            const CaptureEvent& event = captures->events[e];
            predators.insert(event.predatorSlot);
            const float expected = times[event.preySlot];
            EXPECT_TRUE(event.time == expected || (std::isnan(event.time) && std::isnan(expected)));
        }
        EXPECT_EQ(int(predators.size()), n);
    }
    // A full list of NaN times, at capacity, also ends.
    captures->clear();
    for (int e = 0; e < kMaxCaptures; ++e) captures->add(CaptureEvent{e % 40, e % 200, kNaN});
    captures->sort(random);
    EXPECT_EQ(captures->count, kMaxCaptures);
}

}  // namespace
}  // namespace kav::robust
