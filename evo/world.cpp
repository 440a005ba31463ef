#include "evo/world.h"

#include <cstring>
#include <type_traits>

namespace kav {

namespace {

// Collects the name of the first field that differs; floats compare by their bits.
class Comparison {
public:
    bool found() const { return !name_.empty(); }
    const std::string& name() const { return name_; }

    template <class T>
    void field(const std::string& name, const T& a, const T& b) {
        if (found()) return;
        if constexpr (std::is_floating_point_v<T>) {
            if (std::memcmp(&a, &b, sizeof(T)) != 0) name_ = name;
        } else if (a != b) {
            name_ = name;
        }
    }

    void agent(const std::string& at, const Agent& a, const Agent& b) {
#define KAV_FIELD(f) field(at + "." #f, a.f, b.f)
        KAV_FIELD(isPredator);
        KAV_FIELD(slot);
        KAV_FIELD(x);
        KAV_FIELD(y);
        KAV_FIELD(vx);
        KAV_FIELD(vy);
        KAV_FIELD(nextVx);
        KAV_FIELD(nextVy);
        KAV_FIELD(nextX);
        KAV_FIELD(nextY);
        KAV_FIELD(heading);
        KAV_FIELD(radius);
        KAV_FIELD(senseRange);
        KAV_FIELD(hitWall);
        KAV_FIELD(hitTop);
        KAV_FIELD(hitLeft);
        KAV_FIELD(hitBottom);
        KAV_FIELD(hitRight);
        KAV_FIELD(energy);
        KAV_FIELD(age);
        KAV_FIELD(dead);
        KAV_FIELD(captured);
        KAV_FIELD(digestTimer);
        KAV_FIELD(ticksSinceCatch);
        KAV_FIELD(catches);
        KAV_FIELD(rank);
        KAV_FIELD(generation);
        KAV_FIELD(reproMode);
        KAV_FIELD(prevHeading);
        KAV_FIELD(contactTime);
#undef KAV_FIELD
    }

    void genome(const std::string& at, const Genome& a, const Genome& b) {
        if (found() || std::memcmp(a.data(), b.data(), sizeof(Genome)) == 0) return;
        for (int g = 0; g < kGenomeSize; ++g) field(at + "[" + std::to_string(g) + "]", a[g], b[g]);
    }

private:
    std::string name_;
};

// A field added to either record must be compared above (and kept in the sidecar).
static_assert(sizeof(Agent) == 128, "compare every field of the Agent");
static_assert(sizeof(ModelSettings) == 72, "compare every model setting");

}  // namespace

std::string firstDifference(const World& a, const World& b) {
    Comparison c;
    const ModelSettings& s = a.settings;
    const ModelSettings& t = b.settings;
#define KAV_SETTING(f) c.field("settings." #f, s.f, t.f)
    KAV_SETTING(arena.xMin);
    KAV_SETTING(arena.xMax);
    KAV_SETTING(arena.yMin);
    KAV_SETTING(arena.yMax);
    KAV_SETTING(predatorRadius);
    KAV_SETTING(preyRadius);
    KAV_SETTING(predatorSenseRange);
    KAV_SETTING(preySenseRange);
    KAV_SETTING(predatorPeerWindow);
    KAV_SETTING(predatorStarvationTicks);
    KAV_SETTING(energyPerTick);
    KAV_SETTING(thrustCost);
    KAV_SETTING(drag);
    KAV_SETTING(maxSpeed);
    KAV_SETTING(mutationAmplitude);
    KAV_SETTING(offspringSpread);
    KAV_SETTING(predatorParentWalkDivisor);
    KAV_SETTING(preyParentWalkDivisor);
#undef KAV_SETTING
    c.field("random", a.random.state(), b.random.state());
    c.field("tick", a.tick, b.tick);
    c.field("predatorCount", a.predatorCount, b.predatorCount);
    c.field("preyCount", a.preyCount, b.preyCount);
    c.field("predatorSizeRequest", a.predatorSizeRequest, b.predatorSizeRequest);
    c.field("preySizeRequest", a.preySizeRequest, b.preySizeRequest);
    c.field("probeSpreadE", a.probeSpreadE, b.probeSpreadE);
    c.field("probeSpreadM", a.probeSpreadM, b.probeSpreadM);
    c.field("events.captures", a.events.captures, b.events.captures);
    c.field("events.predatorBirths", a.events.predatorBirths, b.events.predatorBirths);
    c.field("events.preyBirths", a.events.preyBirths, b.events.preyBirths);
    c.field("events.starvations", a.events.starvations, b.events.starvations);
    c.field("events.predatorDeaths", a.events.predatorDeaths, b.events.predatorDeaths);
    c.field("events.preyDeaths", a.events.preyDeaths, b.events.preyDeaths);
    for (int i = 0; i < kMaxPredators && !c.found(); ++i) {
        const std::string at = "predators[" + std::to_string(i) + "]";
        c.agent(at, a.predators[i], b.predators[i]);
        c.field("predatorRanks[" + std::to_string(i) + "]", a.predatorRanks[i], b.predatorRanks[i]);
        c.genome("predatorGenomes[" + std::to_string(i) + "]", a.predatorGenomes[i],
                 b.predatorGenomes[i]);
    }
    for (int i = 0; i < kMaxPrey && !c.found(); ++i) {
        const std::string at = "prey[" + std::to_string(i) + "]";
        c.agent(at, a.prey[i], b.prey[i]);
        c.field("preyRanks[" + std::to_string(i) + "]", a.preyRanks[i], b.preyRanks[i]);
        c.genome("preyGenomes[" + std::to_string(i) + "]", a.preyGenomes[i], b.preyGenomes[i]);
    }
    return c.name();
}

bool World::operator==(const World& other) const { return firstDifference(*this, other).empty(); }

}  // namespace kav
