#pragma once
// Every rule's kernel for one vector unit: a unit's file defines its lanes types (float lanes
// `Lanes`, the kernels' data movement included, the network's too; double lanes `Pairs` for
// the contact test) and instantiates every rule with KAV_UNIT_KERNELS. Internal linkage
// throughout (see sim/nearest_kernel.h).
#include "sim/contact_kernel.h"
#include "sim/network_kernel.h"
#include "sim/steer_kernel.h"
#include "sim/term_kernel.h"
#include "sim/window_kernel.h"

#define KAV_UNIT_KERNELS(Unit, Lanes, Pairs)                                                   \
    void steerLanes##Unit(const SteerLanes& lanes) { steerOfLanes<Lanes>(lanes); }             \
    void solveContacts##Unit(const ContactLanes& lanes) { contactsOfLanes<Pairs>(lanes); }     \
    void neighbourTerms##Unit(const TermLanes& lanes) { neighbourTermsOfLanes<Lanes>(lanes); } \
    void wallTerms##Unit(const WallLanes& lanes) { wallTermsOfLanes<Lanes>(lanes); }           \
    void windowEntries##Unit(const WindowLanes& lanes) { windowEntriesOfLanes<Lanes>(lanes); } \
    void networks##Unit(const NetworkLanes& lanes) { networksOfAll<Lanes>(lanes); }
