// The program's world step against the reference step: the same world stepped both ways must
// stay identical to the last bit, over long evolutions at full populations and in small
// hand-made worlds full of ties (equal coordinates, equal distances, equal contact times).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "evo/population.h"
#include "sim/stepper.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::bitsOf;
using testing::HandWorld;

// Describes the first field in which two Agents differ; empty when they are identical.
// Floats are compared by their bits, so NaN and -0 count.
std::string agentDifference(const Agent& a, const Agent& b) {
    std::ostringstream out;
#define KAV_SAME_INT(field) \
    if (a.field != b.field) out << #field << ' ' << +a.field << " != " << +b.field << "; ";
#define KAV_SAME_FLOAT(field)               \
    if (bitsOf(a.field) != bitsOf(b.field)) \
        out << #field << ' ' << a.field << " != " << b.field << "; ";
    KAV_SAME_INT(isPredator)
    KAV_SAME_INT(slot)
    KAV_SAME_INT(rank)
    KAV_SAME_INT(ticksSinceCatch)
    KAV_SAME_INT(digestTimer)
    KAV_SAME_INT(generation)
    KAV_SAME_FLOAT(x)
    KAV_SAME_FLOAT(vx)
    KAV_SAME_FLOAT(y)
    KAV_SAME_FLOAT(vy)
    KAV_SAME_FLOAT(nextVx)
    KAV_SAME_FLOAT(nextVy)
    KAV_SAME_FLOAT(nextX)
    KAV_SAME_FLOAT(nextY)
    KAV_SAME_FLOAT(energy)
    KAV_SAME_FLOAT(senseRange)
    KAV_SAME_INT(age)
    KAV_SAME_INT(hitWall)
    KAV_SAME_INT(hitTop)
    KAV_SAME_INT(hitLeft)
    KAV_SAME_INT(hitBottom)
    KAV_SAME_INT(hitRight)
    KAV_SAME_FLOAT(heading)
    KAV_SAME_FLOAT(prevHeading)
    KAV_SAME_FLOAT(radius)
    KAV_SAME_INT(captured)
    KAV_SAME_INT(dead)
    KAV_SAME_FLOAT(contactTime)
    KAV_SAME_INT(catches)
    KAV_SAME_INT(reproMode)
#undef KAV_SAME_INT
#undef KAV_SAME_FLOAT
    return out.str();
}

template <std::size_t N>
std::string floatsDifference(const char* what, const float* a, const float* b) {
    for (std::size_t i = 0; i < N; ++i)
        if (bitsOf(a[i]) != bitsOf(b[i]))
            return std::string(what) + '[' + std::to_string(i) + "] " + std::to_string(a[i]) +
                   " != " + std::to_string(b[i]);
    return "";
}

// Every slot's latest input vector and controller outputs, compared by bits.
std::string readingsDifference(const AgentReadings& a, const AgentReadings& b) {
    auto compare = [](const char* kind, int slots, const InputVector* inputsA,
                      const InputVector* inputsB, const ControlOutput* outA,
                      const ControlOutput* outB) -> std::string {
        for (int i = 0; i < slots; ++i) {
            const std::string d =
                floatsDifference<kInputCount>("inputs", inputsA[i].data(), inputsB[i].data());
            if (!d.empty()) return std::string(kind) + ' ' + std::to_string(i) + ' ' + d;
            if (bitsOf(outA[i].forward) != bitsOf(outB[i].forward) ||
                bitsOf(outA[i].lateral) != bitsOf(outB[i].lateral))
                return std::string(kind) + ' ' + std::to_string(i) + " controller outputs";
        }
        return "";
    };
    std::string d =
        compare("Predator", kMaxPredators, a.predatorInputs.data(), b.predatorInputs.data(),
                a.predatorOutputs.data(), b.predatorOutputs.data());
    if (d.empty())
        d = compare("Prey", kMaxPrey, a.preyInputs.data(), b.preyInputs.data(),
                    a.preyOutputs.data(), b.preyOutputs.data());
    if (d.empty() && &a.lastSensedInputs()[0] - &a.preyInputs[0][0] !=
                         &b.lastSensedInputs()[0] - &b.preyInputs[0][0])
        d = "last sensed Agent";
    return d.empty() ? "" : "readings: " + d;
}

// Everything the two worlds hold, compared; empty when identical.
std::string worldDifference(const Population& a, const Population& b) {
    if (a.world.tick != b.world.tick) return "tick";
    if (a.world.random.state() != b.world.random.state()) return "random state";
    if (a.world.predatorCount != b.world.predatorCount || a.world.preyCount != b.world.preyCount)
        return "counts";
    if (a.world.predatorRanks != b.world.predatorRanks) return "Predator rank list";
    if (a.world.preyRanks != b.world.preyRanks) return "Prey rank list";
    for (int i = 0; i < kMaxPredators; ++i) {
        const std::string d = agentDifference(a.world.predators[i], b.world.predators[i]);
        if (!d.empty()) return "Predator " + std::to_string(i) + ": " + d;
        const std::string g = floatsDifference<kGenomeSize>(
            "weight", a.world.predatorGenomes[i].data(), b.world.predatorGenomes[i].data());
        if (!g.empty()) return "Predator " + std::to_string(i) + " Genome: " + g;
    }
    for (int i = 0; i < kMaxPrey; ++i) {
        const std::string d = agentDifference(a.world.prey[i], b.world.prey[i]);
        if (!d.empty()) return "Prey " + std::to_string(i) + ": " + d;
        const std::string g = floatsDifference<kGenomeSize>("weight", a.world.preyGenomes[i].data(),
                                                            b.world.preyGenomes[i].data());
        if (!g.empty()) return "Prey " + std::to_string(i) + " Genome: " + g;
    }
    const TickReport& r = a.lastReport();
    const TickReport& s = b.lastReport();
    if (bitsOf(r.sexualRankPct) != bitsOf(s.sexualRankPct) ||
        bitsOf(r.clonalRankPct) != bitsOf(s.clonalRankPct) ||
        bitsOf(r.probeE.spread) != bitsOf(s.probeE.spread) ||
        bitsOf(r.probeM.meanX) != bitsOf(s.probeM.meanX) ||
        bitsOf(a.world.probeSpreadE) != bitsOf(b.world.probeSpreadE) ||
        bitsOf(a.world.probeSpreadM) != bitsOf(b.world.probeSpreadM))
        return "statistics state";
    const std::string world = firstDifference(a.world, b.world);
    if (!world.empty()) return "world: " + world;
    return readingsDifference(a.step.readings, b.step.readings);
}

// A saved evolution of random Genomes at the counts 40 and 200. Every `poisonEvery`-th
// slot (0: none) gets Genomes whose weights are all `poison`.
SavedEvolution fullEvolution(std::uint32_t seed, int poisonEvery = 0, float poison = 0.0f) {
    auto source = testing::standardWorld(seed);
    if (poisonEvery > 0) {
        for (int i = 0; i < kMaxPredators; i += poisonEvery)
            source->world.predatorGenomes[i].fill(poison);
        for (int i = 0; i < kMaxPrey; i += poisonEvery) source->world.preyGenomes[i].fill(poison);
    }
    source->world.predatorCount = kMaxPredators;
    source->world.preyCount = kMaxPrey;
    return source->savedEvolution();
}

// One world stepped by the reference step and, beside it, by the program's step on every
// vector path this machine runs.
struct WorldPair {
    std::vector<std::unique_ptr<Population>> programs;
    std::unique_ptr<Population> reference;
    Population* program;  // the first of the programs

    WorldPair(const SavedEvolution& saved, std::uint32_t seed, const ModelSettings& settings = {})
        : reference(worldOf(saved, seed, settings)) {
        reference->step.kind = StepKind::reference;
        for (VectorPath path : kVectorPaths) {
            if (!canRun(path)) continue;
            programs.push_back(worldOf(saved, seed, settings));
            programs.back()->step.program.vectorPath = path;
        }
        program = programs.front().get();
    }

    static std::unique_ptr<Population> worldOf(const SavedEvolution& saved, std::uint32_t seed,
                                               const ModelSettings& settings) {
        auto world = std::make_unique<Population>();
        world->world.random.setState(seed);
        world->setup(settings, kMaxPredators, kMaxPrey, &saved);
        return world;
    }

    std::vector<Population*> all() {
        std::vector<Population*> worlds{reference.get()};
        for (auto& p : programs) worlds.push_back(p.get());
        return worlds;
    }

    void requestSizeChange(bool add, bool predator) {
        for (Population* world : all()) world->requestSizeChange(add, predator);
    }

    // Runs ticks until `last`; returns the first difference, with its tick and path.
    std::string runUntil(std::int64_t last) {
        while (program->world.tick < last) {
            for (Population* world : all()) world->runTick();
            for (auto& p : programs) {
                const std::string difference = worldDifference(*p, *reference);
                if (!difference.empty())
                    return "after tick " + std::to_string(p->world.tick) + " on " +
                           nameOf(p->step.program.vectorPath) + ": " + difference;
            }
        }
        return "";
    }
};

// 20,000 ticks at 40 Predators and 200 Prey (or fewer), with the populations shrunk and
// regrown along the way (several requests between two ticks, removals refused at no Agent).
void runLongComparison(std::uint32_t seed, const ModelSettings& settings = {},
                       std::int64_t ticks = 20000) {
    WorldPair worlds(fullEvolution(seed), seed, settings);
    std::string paths;
    for (auto& p : worlds.programs) paths += std::string(" ") + nameOf(p->step.program.vectorPath);
    std::printf("program's step on the vector paths:%s\n", paths.c_str());
    ASSERT_EQ(worlds.program->world.predatorCount, kMaxPredators);
    ASSERT_EQ(worlds.program->world.preyCount, kMaxPrey);

    const std::int64_t kTicks = ticks;
    constexpr std::int64_t kCycle = 5000;
    int fullTicks = 0;
    int capturesSeen = 0;
    while (worlds.program->world.tick < kTicks) {
        const std::int64_t phase = worlds.program->world.tick % kCycle;
        if (phase >= 2000 && phase < 2012) {
            worlds.requestSizeChange(false, phase % 3 == 0);  // four Predators, eight Prey
        } else if (phase >= 3000 && phase < 3012) {
            worlds.requestSizeChange(true, phase % 3 == 0);
        } else if (phase == 4000) {
            worlds.requestSizeChange(true, false);  // an add overridden by a remove
            worlds.requestSizeChange(false, false);
        } else if (phase == 4001) {
            worlds.requestSizeChange(true, false);
        }
        const std::string difference = worlds.runUntil(worlds.program->world.tick + 1);
        ASSERT_EQ(difference, "");
        if (worlds.program->world.predatorCount == kMaxPredators &&
            worlds.program->world.preyCount == kMaxPrey)
            ++fullTicks;
        for (int i = 0; i < worlds.program->world.predatorCount; ++i)
            capturesSeen += worlds.program->world.predators[i].captured;
    }
    EXPECT_GT(fullTicks, kTicks * 3 / 4);
    // The run must have exercised the capture phase and reproduction.
    EXPECT_GT(capturesSeen, 100);
    std::int64_t generations = 0;
    for (const Agent& q : worlds.program->world.prey) generations += q.generation;
    EXPECT_GT(generations, 2 * kMaxPrey);
}

TEST(DifferentialStep, Seed1StaysIdenticalForTwentyThousandTicks) { runLongComparison(1); }
TEST(DifferentialStep, Seed77StaysIdenticalForTwentyThousandTicks) { runLongComparison(77); }
TEST(DifferentialStep, Seed90210StaysIdenticalForTwentyThousandTicks) { runLongComparison(90210); }

// Other model settings, 5,000 ticks each: every number the step reads from the settings.
TEST(DifferentialStep, LargerArenaStaysIdenticalForFiveThousandTicks) {
    ModelSettings settings;
    settings.arena = {-8.0f, 8.0f, -6.0f, 6.5f};
    runLongComparison(5, settings, 5000);
}
TEST(DifferentialStep, OtherRadiiAndSenseRangesStayIdenticalForFiveThousandTicks) {
    ModelSettings settings;
    settings.predatorRadius = 0.045f;
    settings.preyRadius = 0.03f;
    settings.predatorSenseRange = 1.5f;
    settings.preySenseRange = 2.7f;
    settings.predatorPeerWindow = 2.5f;
    runLongComparison(6, settings, 5000);
}
TEST(DifferentialStep, HarsherLifeAndWildMutationStayIdenticalForFiveThousandTicks) {
    ModelSettings settings;
    settings.predatorStarvationTicks = 20;
    settings.mutationAmplitude = 0.3f;
    settings.offspringSpread = 0.5f;
    settings.energyPerTick = 0.02f;
    settings.thrustCost = 0.8f;
    settings.drag = 0.25f;
    settings.maxSpeed = 0.6f;
    settings.predatorParentWalkDivisor = 3.0f;
    settings.preyParentWalkDivisor = 6.5f;
    runLongComparison(7, settings, 5000);
}

// Genomes that are not finite put NaN positions into the world for a tick before their
// Agents are replaced; the program's step hands such ticks to the reference step.
TEST(DifferentialStep, NonFiniteGenomesKeepBothStepsIdentical) {
    const float poisons[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(), 3.0e38f};
    for (float poison : poisons) {
        SCOPED_TRACE(poison);
        WorldPair worlds(fullEvolution(5, 7, poison), 5);
        ASSERT_EQ(worlds.runUntil(600), "");
    }
}

// Positions that are not numbers (or are infinite) break the total order the program's
// searches rely on; such steps must still come out as the reference computes them.
TEST(DifferentialStep, NonFinitePositionsKeepBothStepsIdentical) {
    WorldPair worlds(fullEvolution(9), 9);
    ASSERT_EQ(worlds.runUntil(300), "");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        for (Population* world : worlds.all()) {
            // Committed as the positions of the next step by the Agents' beginTick.
            world->world.prey[(round * 37) % kMaxPrey].nextX = nan;
            world->world.prey[(round * 53 + 11) % kMaxPrey].nextY = round % 2 ? nan : -inf;
            world->world.predators[(round * 7) % kMaxPredators].nextX = round % 3 ? nan : inf;
        }
        ASSERT_EQ(worlds.runUntil(worlds.program->world.tick + 5), "");
    }
}

// Small worlds on a coarse grid: many Agents share an x, a y or a distance, and some
// stand on one another. Sorting and sensing through the kept indexes must give the
// reference x indexes and input vectors exactly, also as the counts change between calls.
TEST(DifferentialStep, SensingMatchesInWorldsFullOfTies) {
    HandWorld world;
    std::mt19937 rng(12345);
    auto grid = [&](float low, float high, float step) {
        const int steps = static_cast<int>((high - low) / step);
        return low + step * static_cast<float>(std::uniform_int_distribution<int>(0, steps)(rng));
    };
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        const int predatorCount = std::uniform_int_distribution<int>(1, kMaxPredators)(rng);
        const int preyCount = std::uniform_int_distribution<int>(1, kMaxPrey)(rng);
        // Alternate between a crowded corner and the whole arena.
        const bool crowded = trial % 2 == 0;
        const float step = crowded ? 0.125f : 0.5f;
        for (int i = 0; i < kMaxPredators + kMaxPrey; ++i) {
            Agent& a = i < kMaxPredators ? world.predators[i] : world.prey[i - kMaxPredators];
            const float x = crowded ? grid(3.0f, 5.0f, step) : grid(-5.0f, 5.0f, step);
            const float y = crowded ? grid(2.0f, 4.0f, step) : grid(-4.0f, 4.0f, step);
            world.place(a, x, y, grid(-1.0f, 1.0f, 0.25f), grid(-1.0f, 1.0f, 0.25f));
            a.heading = grid(-1.5f, 4.5f, 0.75f);
        }
        world.attach(predatorCount, preyCount);
        ASSERT_TRUE(world.program.sort(world.view()));
        const PositionIndexes& reference = world.reference.indexes;
        const NeighbourIndex& kept = world.program.neighbours;
        for (int pos = 0; pos < predatorCount; ++pos)
            ASSERT_EQ(kept.predatorsByX.slot[pos], reference.predatorsByX[pos]) << pos;
        for (int pos = 0; pos < preyCount; ++pos)
            ASSERT_EQ(kept.preyByX.slot[pos], reference.preyByX[pos]) << pos;
        ASSERT_EQ(bitsOf(world.program.maxPreyVx), bitsOf(reference.maxPreyVx));
        ASSERT_EQ(bitsOf(world.program.maxPreyVy), bitsOf(reference.maxPreyVy));

        int sensedSomething = 0;
        auto compare = [&](const Agent& a) {
            const InputVector expected = world.senseByReference(a);
            const InputVector got = world.senseByProgram(a);
            const std::string d =
                floatsDifference<kInputCount>("inputs", got.data(), expected.data());
            if (!d.empty())
                ADD_FAILURE() << nameOf(world.program.vectorPath)
                              << (a.isPredator ? ": Predator " : ": Prey ") << a.slot << ": " << d;
            for (float v : expected) sensedSomething += v != 0.0f;
        };
        // Every path searches from the reaches the paths before it left: any reach must do.
        for (VectorPath path : kVectorPaths) {
            if (!canRun(path)) continue;
            world.program.vectorPath = path;
            for (int i = 0; i < predatorCount; ++i) compare(world.predators[i]);
            for (int i = 0; i < preyCount; ++i) compare(world.prey[i]);
        }
        ASSERT_GT(sensedSomething, 0);
        if (::testing::Test::HasFailure()) return;
    }
}

// Crowded worlds near a corner, with velocities on a coarse grid: many contacts, contacts
// through wall images, and many equal contact times, whose order is drawn at random.
// The capture list, the random draws and every Agent must come out the same.
TEST(DifferentialStep, CapturesMatchWithEqualContactTimes) {
    std::mt19937 rng(777);
    int equalTimes = 0;
    int captures = 0;
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        HandWorld byReference;
        HandWorld byProgram;
        auto grid = [&](float low, float high, float step) {
            const int steps = static_cast<int>((high - low) / step);
            return low +
                   step * static_cast<float>(std::uniform_int_distribution<int>(0, steps)(rng));
        };
        const int predatorCount = std::uniform_int_distribution<int>(1, kMaxPredators)(rng);
        const int preyCount = std::uniform_int_distribution<int>(1, kMaxPrey)(rng);
        const float step = trial % 3 == 0 ? 0.25f : 0.125f;
        for (int i = 0; i < kMaxPredators + kMaxPrey; ++i) {
            const float x = grid(3.5f, 5.0f, step);
            const float y = grid(2.5f, 4.0f, step);
            const float vx = grid(-0.5f, 0.5f, 0.125f);
            const float vy = grid(-0.5f, 0.5f, 0.125f);
            const bool digesting = std::uniform_int_distribution<int>(0, 9)(rng) == 0;
            const bool caught = std::uniform_int_distribution<int>(0, 19)(rng) == 0;
            for (HandWorld* world : {&byReference, &byProgram}) {
                Agent& a = i < kMaxPredators ? world->predators[i] : world->prey[i - kMaxPredators];
                world->place(a, x, y, 0.0f, 0.0f);
                a.nextVx = vx;
                a.nextVy = vy;
                world->move(a);
                if (a.isPredator && digesting) a.digestTimer = 3;
                if (!a.isPredator && caught) a.captured = 1;
            }
        }
        byReference.attach(predatorCount, preyCount);
        byProgram.attach(predatorCount, preyCount);
        ASSERT_TRUE(byProgram.program.sort(byProgram.view()));

        byReference.reference.detectCaptures(byReference.view(), byReference.step->captures);
        byProgram.program.detectCaptures(byProgram.view(), byProgram.step->captures);

        const CaptureList& r = byReference.step->captures;
        const CaptureList& f = byProgram.step->captures;
        ASSERT_EQ(f.count, r.count);
        for (int e = 0; e < r.count; ++e) {
            ASSERT_EQ(f.events[e].predatorSlot, r.events[e].predatorSlot) << "event " << e;
            ASSERT_EQ(f.events[e].preySlot, r.events[e].preySlot) << "event " << e;
            ASSERT_EQ(bitsOf(f.events[e].time), bitsOf(r.events[e].time)) << "event " << e;
            if (e > 0 && r.events[e].time == r.events[e - 1].time) ++equalTimes;
        }
        ASSERT_EQ(byProgram.random.state(), byReference.random.state());
        for (int i = 0; i < kMaxPredators; ++i)
            ASSERT_EQ(agentDifference(byProgram.predators[i], byReference.predators[i]), "")
                << "Predator " << i;
        for (int i = 0; i < kMaxPrey; ++i)
            ASSERT_EQ(agentDifference(byProgram.prey[i], byReference.prey[i]), "") << "Prey " << i;
        for (int i = 0; i < predatorCount; ++i) captures += byReference.predators[i].captured;
    }
    // The worlds are crowded enough that both the ties and the captures really occur.
    EXPECT_GT(equalTimes, 50);
    EXPECT_GT(captures, 300);
}

// Prey exactly on the edges of the Predators' swept windows, each moving so that it
// touches its Predator at the very end of the tick: the reference tests the Prey on a
// lower edge and not those on an upper one, so only the former are caught, on every path.
TEST(DifferentialStep, CapturesMatchForPreyOnTheWindowsEdges) {
    // Radii of 0.25 and speeds of 0.125: a window reaches 0.625 from its Predator, and a
    // Prey there closing at 0.125 touches at t = 1, all exactly in binary.
    struct Edge {
        float dx, dy, vx, vy;
    };
    const Edge edges[] = {{-0.625f, 0.0f, 0.125f, 0.0f},
                          {0.625f, 0.0f, -0.125f, 0.0f},
                          {0.0f, -0.625f, 0.0f, 0.125f},
                          {0.0f, 0.625f, 0.0f, -0.125f}};
    for (VectorPath path : kVectorPaths) {
        if (!canRun(path)) continue;
        SCOPED_TRACE(nameOf(path));
        HandWorld byReference;
        HandWorld byProgram;
        byProgram.program.vectorPath = path;
        for (HandWorld* world : {&byReference, &byProgram}) {
            for (int i = 0; i < 4; ++i) {
                const float x = i % 2 ? 2.0f : -2.0f;
                const float y = i < 2 ? 2.0f : -2.0f;
                Agent& p = world->place(world->predators[i], x, y);
                Agent& q = world->place(world->prey[i], x + edges[i].dx, y + edges[i].dy);
                p.radius = q.radius = 0.25f;
                q.nextVx = edges[i].vx;
                q.nextVy = edges[i].vy;
                world->move(p);
                world->move(q);
            }
            world->attach(4, 4);
        }
        ASSERT_TRUE(byProgram.program.sort(byProgram.view()));
        byReference.reference.detectCaptures(byReference.view(), byReference.step->captures);
        byProgram.program.detectCaptures(byProgram.view(), byProgram.step->captures);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(byReference.prey[i].captured, i % 2 == 0 ? 1 : 0) << "Prey " << i;
            EXPECT_EQ(agentDifference(byProgram.predators[i], byReference.predators[i]), "")
                << "Predator " << i;
            EXPECT_EQ(agentDifference(byProgram.prey[i], byReference.prey[i]), "") << "Prey " << i;
        }
    }
}

}  // namespace
}  // namespace kav
