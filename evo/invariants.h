#pragma once
#include <string>

#include "evo/population.h"

namespace kav {

// Checks what every tick must leave intact: both rank lists are permutations of their
// slots, each Agent in use has `rank` equal to its position, the slots not in use stand
// in slot order after the live count, the counts lie in 1..40 and 1..200, every Agent in use stands
// at a finite position (its begin-tick has run by the end of a tick) and the capture list fits its
// storage. Returns a description of the first violation found, or an empty string.
// The world alone (after a load, say), and with the capture list of its last step.
std::string checkInvariants(const World& world);
std::string checkInvariants(const World& world, const CaptureList& captures);
std::string checkInvariants(const Population& population);

}  // namespace kav
