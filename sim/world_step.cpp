#include "sim/world_step.h"

#include "sim/controller.h"
#include "sim/kernels_of.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kav {

void WorldStep::run(const WorldView& world, AgentReadings& readings, CaptureList& captures,
                    StepObserver* observer) {
    if (!sort(world)) {
        reference_.run(world, readings, captures, observer);
        return;
    }
    if (observer) observer->phaseDone(StepPhase::sorted);
    findNeighbours(world);
    if (observer) observer->phaseDone(StepPhase::searched);
    senseAndControl(world, readings);
    if (observer) observer->phaseDone(StepPhase::steered);
    moveAgents(world);
    if (observer) observer->phaseDone(StepPhase::moved);
    detectCaptures(world, captures);
    if (observer) observer->phaseDone(StepPhase::captured);
}

bool WorldStep::sort(const WorldView& world) {
    neighboursFound_ = false;
    sensingFieldsFilled_ = false;
    preyGridBuilt_ = false;
    if (!neighbours.update(world)) return false;
    maxPreyVx = neighbours.largestPreyVx;
    maxPreyVy = neighbours.largestPreyVy;
    preyRadiiEqual = neighbours.preyRadiiEqual;
    // The reference capture phase needs its own indexes, sorted before the moves.
    if (!preyRadiiEqual) reference_.sortIndexes(world);
    return true;
}

void WorldStep::sense(const WorldView& world, const Agent& self, int slot,
                      const FrameRotation& frame, InputVector& inputs) {
    // As the step senses: the terms by the kernels of all Agents, for this one alone.
    // Sensing only reads the Agent.
    if (lanesOf(vectorPath) < kGroupSearchLanes) searchNearby(world, self, slot);
    else if (!neighboursFound_) findNeighbours(world);
    if (!sensingFieldsFilled_) fillSensingFields(world);
    sensing_.count = 0;
    prepareSensing(const_cast<Agent&>(self), slot, world.genomeOf(self), frame, inputs, nullptr);
    writeNeighbourTermsOfAll();
    writeWallTermsOfAll(world.arena());
}

void WorldStep::searchNearby(const WorldView& world, const Agent& self, int slot) {
    if (!preyGridBuilt_) {
        neighbours.buildPreyGrid();
        preyGridBuilt_ = true;
    }
    const bool predator = self.isPredator != 0;
    NeighbourBlock prey;
    NeighbourBlock predators;
    float* reachOnPrey =
        predator ? &neighbours.predatorReachOnPrey[slot] : &neighbours.preyReachOnPrey[slot];
    neighbours.senseNearest(self, predator ? -1 : slot, world.prey, neighbours.preyGrid,
                            self.senseRange, reachOnPrey, prey);
    neighbours.senseNearestOfAll(
        self, predator ? slot : -1, world.predators, neighbours.predatorsByX,
        predator ? world.settings.predatorPeerWindow : self.senseRange, predators);
    // The search leaves the Agent itself out already, so it never comes first.
    auto keep = [](const NeighbourBlock& found, const Agent* agents, NearestSlots& slots) {
        for (int k = 0; k < kNearestKept; ++k)
            slots.slot[k] = k < found.count ? std::int32_t(found.neighbours[k] - agents) : -1;
    };
    keep(prey, world.prey, predator ? predatorNearPrey[slot] : preyNearPrey[slot]);
    keep(predators, world.predators,
         predator ? predatorNearPredators[slot] : preyNearPredators[slot]);
}

void WorldStep::findNeighbours(const WorldView& world) {
    if (lanesOf(vectorPath) < kGroupSearchLanes) {
        // Each Agent that senses searches alone, the Prey in their grid.
        for (int i = 0; i < world.predatorCount; ++i)
            if (world.predators[i].digestTimer < 0) searchNearby(world, world.predators[i], i);
        for (int i = 0; i < world.preyCount; ++i) searchNearby(world, world.prey[i], i);
        neighboursFound_ = true;
        return;
    }
    const NeighbourIndex& n = neighbours;
    searchInGroups(n.predatorsByX, world.predators, 0.0f, n.preyByX, predatorNearPrey.data());
    searchInGroups(n.predatorsByX, world.predators, world.settings.predatorPeerWindow,
                   n.predatorsByX, predatorNearPredators.data());
    searchInGroups(n.preyByX, world.prey, 0.0f, n.preyByX, preyNearPrey.data());
    searchInGroups(n.preyByX, world.prey, 0.0f, n.predatorsByX, preyNearPredators.data());
    neighboursFound_ = true;
}

void WorldStep::searchInGroups(const KeptIndex& searching, const Agent* searchingAgents,
                               float halfWidth, const KeptIndex& searched,
                               NearestSlots* results) const {
    const int lanes = lanesOf(vectorPath);
    const int count = searching.count;
    for (int first = 0; first < count; first += lanes) {
        // The group's Agents are neighbours in x, so the union of their windows covers
        // few entries of the searched index beyond each one's own.
        QueryGroup group;
        float low = std::numeric_limits<float>::infinity();
        float high = -low;
        bool finite = true;
        for (int lane = 0; lane < lanes; ++lane) {
            const int pos = std::min(first + lane, count - 1);
            const float x = searching.key[pos];
            const float y = searching.cross[pos];
            const float reach =
                halfWidth > 0.0f ? halfWidth : searchingAgents[searching.slot[pos]].senseRange;
            group.x[lane] = x;
            group.y[lane] = y;
            group.xLow[lane] = x - reach;
            group.xHigh[lane] = x + reach;
            group.yLow[lane] = y - reach;
            group.yHigh[lane] = y + reach;
            finite = finite && std::isfinite(group.xLow[lane]) && std::isfinite(group.xHigh[lane]);
            low = std::min(low, group.xLow[lane]);
            high = std::max(high, group.xHigh[lane]);
        }
        SearchedEntries entries{searched.key.data(),  searched.cross.data(),
                                searched.slot.data(), 0,
                                searched.count,       &searched == &searching ? 5 : 4};
        if (finite) {
            entries.begin = searched.rangeBegin(low);
            entries.end = searched.rangeEnd(high);
        }
        GroupNearest nearest;
        nearestFive(vectorPath, group, entries, nearest);
        for (int lane = 0; lane < lanes && first + lane < count; ++lane) {
            NearestSlots& result = results[searching.slot[first + lane]];
            for (int k = 0; k < kNearestKept; ++k) result.slot[k] = nearest.slot[k][lane];
        }
    }
}

void WorldStep::senseAndControl(const WorldView& world, AgentReadings& readings) {
    readings.lastSensedIsPredator = false;
    readings.lastSensedSlot = world.preyCount - 1;
    senseAndControlAtOnce(world, readings);
}

void WorldStep::fillSensingFields(const WorldView& world) {
    SensingAgents& s = sensing_;
    auto byId = [&](const Agent& a, int id) {
        s.x[id] = a.x;
        s.y[id] = a.y;
        s.vx[id] = a.vx;
        s.vy[id] = a.vy;
        s.radius[id] = a.radius;
    };
    for (int i = 0; i < world.predatorCount; ++i) byId(world.predators[i], i);
    for (int i = 0; i < world.preyCount; ++i) byId(world.prey[i], kMaxPredators + i);
    sensingFieldsFilled_ = true;
}

void WorldStep::prepareSensing(Agent& a, int slot, const float* genome, const FrameRotation& frame,
                               InputVector& inputs, ControlOutput* output) {
    SensingAgents& s = sensing_;
    const int k = s.count++;
    const bool predator = a.isPredator != 0;
    const int self = predator ? slot : kMaxPredators + slot;
    s.agent[k] = &a;
    s.cosNeg[k] = frame.cosNeg;
    s.sinNeg[k] = frame.sinNeg;
    s.ownX[k] = a.x;
    s.ownY[k] = a.y;
    s.ownVx[k] = a.vx;
    s.ownVy[k] = a.vy;
    s.ownRadius[k] = a.radius;
    s.ownRange[k] = a.senseRange;
    s.self[k] = self;
    s.vector[k] = &inputs;
    s.inputs[k] = inputs.data();
    s.output[k] = output;
    s.genome[k] = genome;
    // The neighbour terms write all of their blocks (zero where nothing is sensed); the
    // wall blocks are written only for walls in range.
    for (int v = kXWallBlock; v < kInputCount; ++v) inputs[v] = 0.0f;
    // The four nearest of each population, without the Agent itself when it comes first.
    std::int32_t* ids = s.neighbour.data() + k * kNeighbourLanes;
    unsigned written = 0;
    // The slots found come first, then -1s; no branches, as the counts vary from Agent to
    // Agent.
    static_assert(kNeighboursSensed + 1 <= kNearestKept, "the four after the Agent itself");
    auto block = [&](const NearestSlots& nearest, int selfSlot, int idBase, int lane0) {
        const int first = selfSlot >= 0 && nearest.slot[0] == selfSlot ? 1 : 0;
        for (int n = 0; n < kNeighboursSensed; ++n) {
            const std::int32_t found = nearest.slot[first + n];
            ids[lane0 + n] = found >= 0 ? idBase + found : self;
            written |= unsigned(found >= 0) << (lane0 + n);
        }
    };
    block(predator ? predatorNearPrey[slot] : preyNearPrey[slot], predator ? -1 : slot,
          kMaxPredators, 0);
    block(predator ? predatorNearPredators[slot] : preyNearPredators[slot], predator ? slot : -1, 0,
          kNeighboursSensed);
    s.written[k] = std::uint8_t(written);
    s.scaled[k] = predator ? 0x0F : 0xF0;  // a Predator scales the Prey's offsets
}

void WorldStep::padSensing(int multiple) {
    SensingAgents& s = sensing_;
    const int last = s.count - 1;
    for (int k = s.count; k % multiple != 0; ++k) {
        s.agent[k] = s.agent[last];
        s.self[k] = s.self[last];
        for (int n = 0; n < kNeighbourLanes; ++n)
            s.neighbour[k * kNeighbourLanes + n] = s.neighbour[last * kNeighbourLanes + n];
        s.written[k] = s.written[last];
        s.scaled[k] = s.scaled[last];
        s.cosNeg[k] = s.cosNeg[last];
        s.sinNeg[k] = s.sinNeg[last];
        s.ownX[k] = s.ownX[last];
        s.ownY[k] = s.ownY[last];
        s.ownVx[k] = s.ownVx[last];
        s.ownVy[k] = s.ownVy[last];
        s.ownRadius[k] = s.ownRadius[last];
        s.ownRange[k] = s.ownRange[last];
        s.inputs[k] = s.inputs[last];
    }
}

void WorldStep::writeNeighbourTermsOfAll() {
    SensingAgents& s = sensing_;
    if (s.count == 0) return;
    padSensing(4);  // up to four Agents' walls, or two Agents' neighbours, per instruction
    const TermLanes lanes{
        s.x.data(),      s.y.data(),         s.vx.data(),      s.vy.data(),        s.radius.data(),
        s.count,         s.neighbour.data(), s.written.data(), s.scaled.data(),    s.ownX.data(),
        s.ownY.data(),   s.ownVx.data(),     s.ownVy.data(),   s.ownRadius.data(), s.cosNeg.data(),
        s.sinNeg.data(), s.inputs.data()};
    constexpr KernelsOf<TermLanes> kKernels KAV_KERNELS_OF(neighbourTerms);
    kKernels.run(vectorPath, lanes);
}

void WorldStep::writeWallTermsOfAll(const Arena& arena) {
    SensingAgents& s = sensing_;
    if (s.count == 0) return;
    padSensing(4);
    const WallLanes lanes{s.count,         s.ownX.data(),     s.ownY.data(),   s.ownVx.data(),
                          s.ownVy.data(),  s.ownRange.data(), s.cosNeg.data(), s.sinNeg.data(),
                          s.inputs.data(), arena.xMin,        arena.xMax,      arena.yMin,
                          arena.yMax};
    constexpr KernelsOf<WallLanes> kKernels KAV_KERNELS_OF(wallTerms);
    kKernels.run(vectorPath, lanes);
}

void WorldStep::senseAndControlAtOnce(const WorldView& world, AgentReadings& readings) {
    if (!neighboursFound_) findNeighbours(world);
    fillSensingFields(world);
    // Every Prey and the Predators that are not digesting sense; sensing reads nothing that
    // steering changes, so all sense before any steers.
    SensingAgents& s = sensing_;
    s.count = 0;
    for (int i = 0; i < world.predatorCount; ++i) {
        Agent& p = world.predators[i];
        if (p.digestTimer < 0)
            prepareSensing(p, i, world.predatorGenomes[i].data(), FrameRotation(p.heading),
                           readings.predatorInputs[i], &readings.predatorOutputs[i]);
    }
    for (int i = 0; i < world.preyCount; ++i) {
        Agent& q = world.prey[i];
        prepareSensing(q, i, world.preyGenomes[i].data(), FrameRotation(q.heading),
                       readings.preyInputs[i], &readings.preyOutputs[i]);
    }
    const int count = s.count;
    writeNeighbourTermsOfAll();
    writeWallTermsOfAll(world.arena());
    evaluateNetworks(vectorPath,
                     {s.genome.data(), s.inputs.data(), count, s.forward.data(), s.lateral.data()});
    steering_.count = 0;
    for (int k = 0; k < count; ++k) {
        Agent& a = *s.agent[k];
        const ControlOutput thrust{s.forward[k], s.lateral[k]};
        *s.output[k] = thrust;
        const HeadingCosSin heading = headingCosSin(a, s.frame(k));
        steering_.add(a, thrust.forward, thrust.lateral, heading.cosH, heading.sinH);
    }
    steering_.run(vectorPath, world.settings);
}

void WorldStep::detectCaptures(const WorldView& world, CaptureList& captures) {
    if (!preyRadiiEqual) {
        reference_.detectCaptures(world, captures);
        return;
    }
    const Agent* prey = world.prey;
    const float preyRadius = prey[0].radius;
    const KeptIndex& byX = neighbours.preyByX;
    // The pairs first, all Predators' at once; a capture changes nothing a contact test
    // reads, only which pairs count.
    SweptWindows& windows = windows_;
    for (int i = 0; i < world.predatorCount; ++i) {
        const Agent& p = world.predators[i];
        windows.lowX[i] = sweptLowerBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
        windows.highX[i] = sweptUpperBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
        windows.lowY[i] = sweptLowerBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
        windows.highY[i] = sweptUpperBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
        // The window's slab of the x index. A bound that is not a number takes in
        // everything on its side, as the reference's comparisons do, and the buckets then
        // bound the slab by the other side (or it holds nobody).
        const bool digesting = p.digestTimer >= 0;
        windows.begin[i] = digesting ? 0 : byX.rangeBegin(windows.lowX[i]);
        windows.end[i] = digesting ? 0 : byX.rangeEnd(windows.highX[i]);
    }
    // The Prey in each window, in x-index order as the reference tests them, then the
    // pairs' values, the positions replaced by the slots.
    collectWindowEntries(world.predatorCount);
    ContactPairs& pairs = pairs_;
    pairs.count = 0;
    for (int i = 0; i < world.predatorCount; ++i) {
        const Agent& p = world.predators[i];
        pairs.predatorBegin[i] = pairs.count;
        for (int pair = pairs.count; pair < windows.foundEnd[i]; ++pair) {
            const std::int32_t slot = byX.slot[pairs.preySlot[pair]];
            const Agent& q = prey[slot];
            pairs.preySlot[pair] = slot;
            pairs.x1[pair] = p.x;
            pairs.y1[pair] = p.y;
            pairs.vx1[pair] = p.vx;
            pairs.vy1[pair] = p.vy;
            pairs.x2[pair] = q.x;
            pairs.y2[pair] = q.y;
            pairs.vx2[pair] = q.vx;
            pairs.vy2[pair] = q.vy;
            pairs.sumOfRadii[pair] = q.radius + p.radius;
        }
        pairs.count = windows.foundEnd[i];
    }
    pairs.predatorBegin[world.predatorCount] = pairs.count;
    testPairs(world);

    captures.clear();
    int ascending = 0;  // leading events of the list in strictly ascending time
    for (int i = 0; i < world.predatorCount; ++i) {
        for (int k = pairs.predatorBegin[i]; k < pairs.predatorBegin[i + 1]; ++k)
            if (pairs.found[k] && !prey[pairs.preySlot[k]].captured)
                captures.add({i, pairs.preySlot[k], pairs.t1[k]});
        // Events in strictly ascending time stop the insertion sort at once and draw
        // nothing, so the sort can start behind them.
        if (ascending < captures.count) {
            captures.sort(world.random, ascending);
            ascending = captures.ascendingPrefix();
        }
        captures.apply(world.predators, world.prey);
    }
}

void WorldStep::collectWindowEntries(int windowCount) {
    SweptWindows& w = windows_;
    const KeptIndex& byX = neighbours.preyByX;
    const WindowLanes lanes{byX.key.data(),         byX.cross.data(), w.lowX.data(),
                            w.highX.data(),         w.lowY.data(),    w.highY.data(),
                            w.begin.data(),         w.end.data(),     windowCount,
                            pairs_.preySlot.data(), w.foundEnd.data()};
    constexpr KernelsOf<WindowLanes> kKernels KAV_KERNELS_OF(windowEntries);
    kKernels.run(vectorPath, lanes);
}

void WorldStep::testPairs(const WorldView& world) {
    ContactPairs& pairs = pairs_;
    const ContactLanes lanes{pairs.x1.data(),    pairs.y1.data(),  pairs.vx1.data(),
                             pairs.vy1.data(),   pairs.x2.data(),  pairs.y2.data(),
                             pairs.vx2.data(),   pairs.vy2.data(), pairs.sumOfRadii.data(),
                             pairs.found.data(), pairs.t1.data(),  pairs.count};
    constexpr KernelsOf<ContactLanes> kKernels KAV_KERNELS_OF(solveContacts);
    kKernels.run(vectorPath, lanes);
    // Pairs in which either party hit a wall test the Prey's images too.
    for (int i = 0; i < world.predatorCount; ++i) {
        const Agent& p = world.predators[i];
        for (int k = pairs.predatorBegin[i]; k < pairs.predatorBegin[i + 1]; ++k) {
            const Agent& q = world.prey[pairs.preySlot[k]];
            if (!p.hitWall && !q.hitWall) continue;
            const Contact contact = contactOfPair(p, q, world.arena());
            pairs.found[k] = contact.found;
            pairs.t1[k] = contact.t1;
        }
    }
}

}  // namespace kav
