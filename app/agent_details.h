#pragma once
#include <array>
#include <cstdint>

#include "evo/population.h"

namespace kav {

// Mean and greatest generation of the Agents in use of one population.
struct GenerationSummary {
    double mean = 0;
    std::int64_t maximum = 0;
};
GenerationSummary summarizeGenerations(const Population& world, bool predators);

// What the selected Agent's controller saw and answered in its latest step: the
// 40-value input vector and the thrust along and across its heading. A digesting
// Predator does not steer and keeps what it had.
struct ControlSnapshot {
    InputVector inputs{};
    ControlOutput outputs;
};
ControlSnapshot latestControl(const Population& world, bool predator, int slot);

// The colour of one Genome weight in the panel's strip: blue for negative, orange for
// positive weights, brighter with the magnitude (saturating at |w| = 2), as 0xRRGGBB.
std::uint32_t weightColour(float weight);

}  // namespace kav
