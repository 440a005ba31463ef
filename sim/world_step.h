#pragma once
// The program's world step. It computes what the reference step computes (the same
// neighbours in the same order, the same contacts, the same capture list and the same
// random draws) with the same arithmetic; the search structures differ (a neighbour index
// kept from tick to tick, on the narrower paths with a grid of the Prey's cells, and a
// capture broad phase over the Prey's x index), and the arithmetic runs on a vector unit
// (`vectorPath`), each lane with the scalar operations in their order: many Agents' terms
// (or Predator/Prey pairs) per instruction, in each rule's kernel (sim/unit_kernels.h)
// compiled for that unit.
//
// It falls back on the reference step in two places, because its equivalences rest on
// assumptions that only those cases break:
// - a tick in which some position in use is not a moderate finite number (a Genome that
//   is not finite sends its Agent to NaN before it dies) runs the whole reference step:
//   the sort and the searches need positions that compare as a total order;
// - a tick in which the Prey in use do not all have the same finite radius runs the
//   reference capture phase: the swept window over the x index is one rectangle per
//   Predator only when every Prey has the same reach.
// Neither happens in the program's standard world with finite Genomes.
#include <array>
#include <cstdint>

#include "sim/capture.h"
#include "sim/contact_lanes.h"
#include "sim/nearest_search.h"
#include "sim/neighbour_index.h"
#include "sim/reference_step.h"
#include "sim/steer_batch.h"
#include "sim/term_lanes.h"
#include "sim/vector_path.h"
#include "sim/window_lanes.h"
#include "sim/world.h"

namespace kav {

class WorldStep {
public:
    void run(const WorldView& world, AgentReadings& readings, CaptureList& captures,
             StepObserver* observer = nullptr);

    // The phases, public for the tests and benchmarks.
    // Re-sorts the kept indexes and takes the Prey's capture margins; false when the tick
    // must run the reference step instead (above). The narrower paths' grid of the Prey is
    // built at their first search after the sort.
    bool sort(const WorldView& world);
    // Fills `inputs` for `self`, which stands in `slot` of its population; requires sort.
    void sense(const WorldView& world, const Agent& self, int slot, const FrameRotation& frame,
               InputVector& inputs);
    // The capture phase; requires sort and the moves.
    void detectCaptures(const WorldView& world, CaptureList& captures);

    // The vector unit of the step's kernels (the same results on every path). On the
    // narrower paths (sse2, scalar) each Agent searches the Prey in their grid and the
    // Predators by a pass over their x index; on the wider paths the Agents search in
    // groups, one per lane (sim/nearest_search.h). Either way all search before any senses.
    VectorPath vectorPath = widestVectorPath();

    // The search: every sensing Agent's nearest of each population (on the wider paths
    // five in its own, four in the other; on the narrower ones four of each). On the wider
    // paths `sense` runs it when the sort has not been followed by it yet; on the narrower
    // ones `sense` searches for its Agent alone.
    void findNeighbours(const WorldView& world);
    // Paths narrower than this search each Agent alone, the Prey in their grid.
    static constexpr int kGroupSearchLanes = 8;

    NeighbourIndex neighbours;
    // Of the Prey in use at the sort: the largest speed along each axis (the capture
    // window's margins), and whether all have the same finite radius.
    float maxPreyVx = 0;
    float maxPreyVy = 0;
    bool preyRadiiEqual = false;

    // The slots of an Agent's nearest of one population, nearest first (-1: none).
    struct NearestSlots {
        std::int32_t slot[kNearestKept];
    };
    std::array<NearestSlots, kMaxPredators> predatorNearPrey{};
    std::array<NearestSlots, kMaxPredators> predatorNearPredators{};
    std::array<NearestSlots, kMaxPrey> preyNearPrey{};
    std::array<NearestSlots, kMaxPrey> preyNearPredators{};

private:
    // The nearest of each population for one Agent that senses, on the narrower paths.
    void searchNearby(const WorldView& world, const Agent& self, int slot);
    void senseAndControl(const WorldView& world, AgentReadings& readings);
    // The nearest in `searched` for every Agent of the index `searching` (of
    // `searchingAgents`), whose window has the half-width `halfWidth` or, at 0, its sense
    // range.
    void searchInGroups(const KeptIndex& searching, const Agent* searchingAgents, float halfWidth,
                        const KeptIndex& searched, NearestSlots* results) const;

    // The capture phase's pairs (a Predator and a Prey in its swept window), in the order
    // the reference tests them, with the values of their contact test as lanes. The
    // capacity has room for the positions written past the last pair while collecting.
    struct ContactPairs {
        static constexpr int kCapacity = kMaxCaptures + 16;
        alignas(64) std::array<float, kCapacity> x1{}, y1{}, vx1{}, vy1{};
        alignas(64) std::array<float, kCapacity> x2{}, y2{}, vx2{}, vy2{};
        alignas(64) std::array<float, kCapacity> sumOfRadii{}, t1{};
        std::array<std::uint8_t, kCapacity> found{};
        std::array<std::int32_t, kCapacity> preySlot{};
        std::array<std::int32_t, kMaxPredators + 1> predatorBegin{};  // pairs of Predator i
        int count = 0;
    };
    // The Predators' swept windows and the slabs of the Prey's x index they cover (empty
    // for a Predator that digests); the positions in each window go to the pairs' slots.
    struct SweptWindows {
        std::array<float, kMaxPredators> lowX{}, highX{}, lowY{}, highY{};
        std::array<std::int32_t, kMaxPredators> begin{}, end{}, foundEnd{};
    };
    SweptWindows windows_;
    // Every window's positions, window after window, into pairs_.preySlot, on the step's
    // vector path.
    void collectWindowEntries(int windows);
    // Every pair's contact, on the step's vector path.
    void testPairs(const WorldView& world);

    // The wider paths' sensing and control: every steering Agent's frame and neighbours,
    // then all neighbour terms, all wall terms, all networks and all steering at once.
    void senseAndControlAtOnce(const WorldView& world, AgentReadings& readings);
    struct SensingAgents {
        static constexpr int kCapacity = kMaxPredators + kMaxPrey + 3;  // room to pad to four
        // Every Agent's fields by id (a Predator's slot, or kMaxPredators plus a Prey's slot).
        alignas(64) std::array<float, kMaxPredators + kMaxPrey> x{}, y{}, vx{}, vy{}, radius{};
        // Of the Agents that sense, in the step's order.
        std::array<Agent*, kCapacity> agent{};
        std::array<std::int32_t, kCapacity> self{};
        alignas(64) std::array<std::int32_t, kCapacity * kNeighbourLanes> neighbour{};
        std::array<std::uint8_t, kCapacity> written{}, scaled{};
        alignas(64) std::array<float, kCapacity> cosNeg{}, sinNeg{};  // their frames
        // Their own fields, read a block of Agents at a time.
        alignas(64) std::array<float, kCapacity> ownX{}, ownY{}, ownVx{}, ownVy{}, ownRadius{},
            ownRange{};
        std::array<InputVector*, kCapacity> vector{};
        std::array<float*, kCapacity> inputs{};  // the vectors' values
        std::array<ControlOutput*, kCapacity> output{};
        std::array<const float*, kCapacity> genome{};
        alignas(64) std::array<float, kCapacity> forward{}, lateral{};  // the networks' thrust
        int count = 0;

        FrameRotation frame(int k) const {
            FrameRotation rotation;
            rotation.cosNeg = cosNeg[k];
            rotation.sinNeg = sinNeg[k];
            return rotation;
        }
    };
    SensingAgents sensing_;
    // The fields of every Agent by id, for the neighbour terms.
    void fillSensingFields(const WorldView& world);
    // Adds an Agent that senses: its frame, its input vector (the wall blocks cleared) and
    // the ids of its eight neighbours.
    void prepareSensing(Agent& agent, int slot, const float* genome, const FrameRotation& frame,
                        InputVector& inputs, ControlOutput* output);
    // The neighbour terms of every Agent added.
    void writeNeighbourTermsOfAll();
    // The wall terms of every Agent added.
    void writeWallTermsOfAll(const Arena& arena);
    // Repeats the last Agent added up to a multiple of `multiple` Agents (it writes its
    // values again).
    void padSensing(int multiple);

    bool neighboursFound_ = false;      // findNeighbours ran since the last sort
    bool sensingFieldsFilled_ = false;  // fillSensingFields ran since the last sort
    bool preyGridBuilt_ = false;        // the narrower paths' grid, built since the last sort
    SteerBatch steering_;               // the wider paths steer every Agent at once
    ContactPairs pairs_;
    ReferenceStep reference_;  // the fallback
};

}  // namespace kav
