#include "evo/invariants.h"

#include <cmath>
#include <cstdint>
#include <sstream>

namespace kav {

namespace {

std::string checkRanks(const char* kind, const Agent* agents, const std::int32_t* ranks,
                       int capacity, int count) {
    std::ostringstream out;
    bool seen[kMaxPrey] = {};
    for (int p = 0; p < capacity; ++p) {
        const std::int32_t slot = ranks[p];
        if (slot < 0 || slot >= capacity) {
            out << kind << " rank list: position " << p << " holds " << slot
                << ", not a slot index";
            return out.str();
        }
        if (seen[slot]) {
            out << kind << " rank list: slot " << slot << " appears twice (again at position " << p
                << ")";
            return out.str();
        }
        seen[slot] = true;
    }
    for (int p = 0; p < capacity; ++p) {
        const std::int32_t slot = ranks[p];
        if (p < count && slot >= count) {
            out << kind << " rank list: position " << p << " holds slot " << slot
                << ", which is not in use (count " << count << ")";
            return out.str();
        }
        if (p < count && agents[slot].rank != p) {
            out << kind << " slot " << slot << " stands at position " << p << " but has rank "
                << agents[slot].rank;
            return out.str();
        }
        if (p >= count && slot != p) {
            out << kind << " rank list: position " << p << " beyond the count " << count
                << " holds slot " << slot << " instead of slot " << p;
            return out.str();
        }
    }
    return {};
}

std::string checkPositions(const char* kind, const Agent* agents, int count) {
    for (int i = 0; i < count; ++i) {
        const Agent& a = agents[i];
        if (!std::isfinite(a.x) || !std::isfinite(a.y)) {
            std::ostringstream out;
            out << kind << " slot " << i << " is in use at a position that is not finite (" << a.x
                << ", " << a.y << ")";
            return out.str();
        }
    }
    return {};
}

}  // namespace

std::string checkInvariants(const World& world) {
    std::ostringstream out;
    const int predatorCount = world.predatorCount;
    const int preyCount = world.preyCount;
    if (predatorCount < 1 || predatorCount > kMaxPredators) {
        out << "Predator count " << predatorCount << " outside 1.." << kMaxPredators;
        return out.str();
    }
    if (preyCount < 1 || preyCount > kMaxPrey) {
        out << "Prey count " << preyCount << " outside 1.." << kMaxPrey;
        return out.str();
    }
    std::string failure = checkRanks("Predator", world.predators.data(), world.predatorRanks.data(),
                                     kMaxPredators, predatorCount);
    if (failure.empty())
        failure =
            checkRanks("Prey", world.prey.data(), world.preyRanks.data(), kMaxPrey, preyCount);
    if (failure.empty())
        failure = checkPositions("Predator", world.predators.data(), predatorCount);
    if (failure.empty()) failure = checkPositions("Prey", world.prey.data(), preyCount);
    return failure;
}

std::string checkInvariants(const World& world, const CaptureList& captures) {
    std::ostringstream out;
    if (captures.count < 0 || captures.count > kMaxCaptures) {
        out << "capture list holds " << captures.count << " events, capacity " << kMaxCaptures;
        return out.str();
    }
    for (int e = 0; e < captures.count; ++e) {
        const CaptureEvent& event = captures.events[e];
        if (event.predatorSlot < 0 || event.predatorSlot >= world.predatorCount ||
            event.preySlot < 0 || event.preySlot >= world.preyCount) {
            out << "capture event " << e << " pairs Predator slot " << event.predatorSlot
                << " with Prey slot " << event.preySlot << ", not both in use";
            return out.str();
        }
    }
    return checkInvariants(world);
}

std::string checkInvariants(const Population& population) {
    return checkInvariants(population.world, population.step.captures);
}

}  // namespace kav
