// Tampered sidecars: fields of a real sidecar changed (ranges, permutations, rank fields,
// size requests, counters, types), one to three at a time. Each variant is refused with
// one line, or accepted and then runs 5,000 ticks with the world's invariants intact.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <nlohmann/json.hpp>

#include "io/run_folder.h"
#include "io/sidecar.h"
#include "robust_support.h"

namespace kav::robust {
namespace {

using Json = nlohmann::json;

#ifdef KAVROSA_SANITIZE
constexpr int kVariants = 1000;  // the sanitizers decode several times slower
constexpr int kRunsOfAccepted = 2;
#else
constexpr int kVariants = 2500;
constexpr int kRunsOfAccepted = 6;
#endif

// A sidecar as a program saves it, with the Genome file it belongs to.
struct Saved {
    SavedEvolution evolution;
    std::string text;
};

Saved saveOf(Population& world) {
    Sidecar sidecar;
    sidecar.tick = world.world.tick;
    sidecar.world = world.worldState();
    sidecar.runs.push_back({"kavrosa-evolve", 0, world.world.tick, "a", "b", "--ticks 5"});
    return {world.savedEvolution(), encodeSidecar(sidecar)};
}

// What the programs do with a sidecar that names their genom.gen: decode, check it
// against the counts, then the invariants of a world that holds it. Empty when refused.
std::unique_ptr<Population> load(const Saved& saved, const std::string& text, std::string& why) {
    auto world = std::make_unique<Population>();
    world->setupStandard();
    const auto sidecar = decodeSidecar(text, world->worldState(), why);
    if (!sidecar) return nullptr;
    why = checkSidecarWorld(sidecar->world, saved.evolution.predatorCount,
                            saved.evolution.preyCount, sidecar->settings.arena);
    if (!why.empty()) return nullptr;
    world->setupStandard(&saved.evolution);
    world->restoreWorldState(sidecar->world);
    why = checkInvariants(*world);
    if (!why.empty()) return nullptr;
    return world;
}

// Sizes changed on the way; the Predators full at the end (so that a request to add one
// must be refused) and a Prey to be added pending.
Saved evolvedWorld() {
    auto world = std::make_unique<Population>();
    world->setup(kStandardArena, 0.05f, 0.02f, kMaxPredators, 150);
    for (int t = 0; t < 3000 || world->world.predatorCount < kMaxPredators; ++t) {
        if (t % 100 == 0 || t >= 3000)
            world->requestSizeChange(t % 200 == 0 || t >= 3000, t % 300 == 0 || t >= 3000);
        world->runTick();
    }
    world->requestSizeChange(true, false);
    return saveOf(*world);
}

// One change of one field to a value the model may or may not hold.
void tamper(Json& j, std::mt19937& random) {
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    static const std::int64_t kValues[] = {-1,
                                           0,
                                           1,
                                           2,
                                           39,
                                           40,
                                           51,
                                           52,
                                           199,
                                           200,
                                           -(std::int64_t(1) << 30) - 1,
                                           std::numeric_limits<std::int32_t>::max(),
                                           std::numeric_limits<std::int32_t>::min(),
                                           std::int64_t(1) << 31,
                                           std::int64_t(1) << 62,
                                           (std::int64_t(1) << 62) + 1,
                                           std::numeric_limits<std::int64_t>::max(),
                                           std::numeric_limits<std::int64_t>::min(),
                                           0xFFFFFFFFll,
                                           0x7FC00000,   // NaN
                                           0x7F800000,   // infinity
                                           0x7F7FFFFF,   // the largest float
                                           0x41300000,   // 11.0
                                           0xC1A00000};  // -20.0
    auto value = [&]() -> Json {
        switch (pick(12)) {
            case 0:
                return "7";
            case 1:
                return 1.5;
            case 2:
                return nullptr;
            case 3:
                return std::uint64_t(-1);
            default:
                return kValues[pick(int(std::size(kValues)))];
        }
    };
    const char* kinds[] = {"predators", "prey"};
    const char* kind = kinds[pick(2)];
    const std::string ranks = std::string(kind == kinds[0] ? "predatorRanks" : "preyRanks");
    Json& list = j[ranks];
    Json& rows = j[kind];
    switch (pick(9)) {
        case 0:
            list[pick(int(list.size()))] = value();
            break;
        case 1:
            std::swap(list[pick(int(list.size()))], list[pick(int(list.size()))]);
            break;
        case 2:
            list[pick(int(list.size()))] = list[pick(int(list.size()))];
            break;
        case 3:
        case 4:
            rows[pick(int(rows.size()))][pick(28)] = value();
            break;
        case 5: {
            // A rank field and the list together, so that both may still agree.
            const int a = pick(int(list.size())), b = pick(int(list.size()));
            std::swap(list[a], list[b]);
            rows[list[a].get<int>()][0] = a;
            rows[list[b].get<int>()][0] = b;
            break;
        }
        case 6: {
            const char* requests[] = {"predatorSizeRequest", "preySizeRequest"};
            j[requests[pick(2)]] = pick(5) - 2;
            rows[pick(int(rows.size()))][12] = pick(2);  // the dead flag
            break;
        }
        case 7: {
            const char* totals[] = {"events", "eventsAtLastLogRow"};
            const char* counts[] = {"captures", "preyBirths", "starvations", "preyDeaths"};
            j[totals[pick(2)]][counts[pick(4)]] = value();
            break;
        }
        default: {
            const char* keys[] = {"tick",       "seed", "randomState", "probeSpreadEBits",
                                  "logWritten", "runs", "agentFields", "runsDropped"};
            const char* key = keys[pick(int(std::size(keys)))];
            if (pick(4) == 0) j.erase(key);
            else if (std::string(key) == "runs") j[key][0]["endTick"] = value();
            else j[key] = value();
        }
    }
}

TEST(SidecarTamper, EveryVariantIsRefusedInOneLineOrRunsWithItsInvariants) {
    const Saved saved = evolvedWorld();
    std::string why;
    ASSERT_TRUE(load(saved, saved.text, why)) << why;
    const Json original = Json::parse(saved.text);
    std::mt19937 random(20261210);
    int refused = 0, accepted = 0, ran = 0;
    for (int v = 0; v < kVariants; ++v) {
        Json j = original;
        for (int n = 1 + int(random() % 3); n > 0; --n) tamper(j, random);
        const std::string text = j.dump();
        auto world = load(saved, text, why);
        if (!world) {
            ++refused;
            ASSERT_FALSE(why.empty()) << "variant " << v;
            ASSERT_EQ(why.find('\n'), std::string::npos) << why;
            continue;
        }
        ++accepted;
        // What was accepted is saved again as it was read.
        Population blank;
        blank.setupStandard();
        const auto decoded = decodeSidecar(text, blank.worldState(), why);
        ASSERT_TRUE(decoded);
        const auto again = decodeSidecar(encodeSidecar(*decoded), blank.worldState(), why);
        ASSERT_TRUE(again) << why;
        ASSERT_EQ(encodeSidecar(*again), encodeSidecar(*decoded));
        // Every accepted variant steps a little (the first ticks are where a bad size
        // request or rank writes out of bounds); some run the whole 5,000 ticks.
        const bool whole = ran < kRunsOfAccepted && accepted % 8 == 1;
        ran += whole;
        ASSERT_TRUE(runChecked(*world, whole ? 5000 : 20)) << "variant " << v << ": " << text;
    }
    std::printf("%d variants: %d refused, %d accepted, %d of them run 5,000 ticks\n", kVariants,
                refused, accepted, ran);
    EXPECT_GT(refused, kVariants / 2);
    EXPECT_GT(ran, 0);
}

TEST(SidecarTamper, StatesTheModelLeavesAreAccepted) {
    std::string why;
    // Genomes that are not finite: their Agents die in a move that ends at no number.
    auto poisoned = std::make_unique<Population>();
    poisoned->setupStandard();
    for (int i = 0; i < kMaxPredators; i += 3)
        poisoned->world.predatorGenomes[i].fill(std::nanf(""));
    for (int i = 0; i < kMaxPrey; i += 2)
        poisoned->world.preyGenomes[i].fill(std::numeric_limits<float>::infinity());
    for (int t = 0; t < 3; ++t) {
        poisoned->runTick();
        const Saved saved = saveOf(*poisoned);
        EXPECT_TRUE(load(saved, saved.text, why)) << "tick " << t << ": " << why;
    }
    // Full populations with a removal pending, and the smallest ones.
    for (int count : {kMaxPrey, 1}) {
        auto world = std::make_unique<Population>();
        world->setup(kStandardArena, 0.05f, 0.02f, count == 1 ? 1 : kMaxPredators, count);
        for (int t = 0; t < 500; ++t) world->runTick();
        if (count > 1) world->requestSizeChange(false, true);
        const Saved saved = saveOf(*world);
        EXPECT_TRUE(load(saved, saved.text, why)) << count << ": " << why;
    }
}

TEST(SidecarLimits, SizeNestingAndRunHistoryAreBounded) {
    const Saved saved = evolvedWorld();
    Population blank;
    blank.setupStandard();
    std::string why;
    // Too long: refused before it is parsed.
    std::string huge = saved.text;
    huge.insert(huge.size() - 2, std::string(kSidecarMaxBytes, ' '));
    EXPECT_FALSE(decodeSidecar(huge, blank.worldState(), why));
    EXPECT_NE(why.find("bytes long"), std::string::npos) << why;
    std::string deep = saved.text;
    deep.insert(deep.find("\"runs\": ") + 8, "[[[[");
    EXPECT_FALSE(decodeSidecar(deep, blank.worldState(), why));
    EXPECT_NE(why.find("deeper"), std::string::npos) << why;
    deep.insert(0, std::string(1, '\0'));  // the nesting is still seen past a zero byte
    EXPECT_FALSE(decodeSidecar(deep, blank.worldState(), why));
    EXPECT_NE(why.find("deeper"), std::string::npos) << why;
    // Brackets inside a text are no nesting, nor are they after an escaped quote in it.
    Sidecar bracketed = *decodeSidecar(saved.text, blank.worldState(), why);
    bracketed.runs.back().arguments = "--x \"[[[[{{{{\\\"]]";
    EXPECT_TRUE(decodeSidecar(encodeSidecar(bracketed), blank.worldState(), why)) << why;

    // A longer history than a save keeps: the last runs stay, the others are counted.
    Json j = Json::parse(saved.text);
    const Json run = j["runs"][0];
    for (std::size_t k = 1; k < kSidecarMaxRuns + 250; ++k) j["runs"].push_back(run);
    j["runs"].back()["arguments"] = "the last";
    j["runsDropped"] = 7;
    const auto decoded = decodeSidecar(j.dump(), blank.worldState(), why);
    ASSERT_TRUE(decoded) << why;
    EXPECT_EQ(decoded->runs.size(), kSidecarMaxRuns);
    EXPECT_EQ(decoded->runsDropped, 7 + 250);
    EXPECT_EQ(decoded->runs.back().arguments, "the last");

    // Texts that are not UTF-8 come back byte for byte; an overlong one is cut.
    Sidecar sidecar = *decoded;
    const std::string bytes = "-C /tmp/a\xff\xfe\\x41b \xc3\xa9\xed\xa0\x80";
    sidecar.runs.back().arguments = bytes;
    const auto back = decodeSidecar(encodeSidecar(sidecar), blank.worldState(), why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->runs.back().arguments, bytes);
    std::vector<RunRecord> runs;
    std::int64_t dropped = 0;
    recordRun(runs, dropped, {"p", 0, 0, "", "", std::string(3 * kRunTextMaxBytes, 'x')});
    EXPECT_LE(runs[0].arguments.size(), kRunTextMaxBytes + 3);
}

}  // namespace
}  // namespace kav::robust
