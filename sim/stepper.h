#pragma once
// The world step as the tick runs it: the program's step or the reference step, chosen
// here and nowhere else, and what either leaves behind for its readers.
#include "sim/capture.h"
#include "sim/reference_step.h"
#include "sim/world.h"
#include "sim/world_step.h"

namespace kav {

enum class StepKind { program, reference };

struct Stepper {
    StepKind kind = StepKind::program;
    WorldStep program;
    ReferenceStep reference;
    // What the last step left: every Agent's latest input vector and controller outputs,
    // and the capture list.
    AgentReadings readings;
    CaptureList captures;
    StepObserver* observer = nullptr;  // null in the program

    // One world step: sort, sense and control every Agent that steers, move, capture.
    void run(const WorldView& world) {
        if (observer) observer->phaseDone(StepPhase::begun);
        if (kind == StepKind::reference) reference.run(world, readings, captures, observer);
        else program.run(world, readings, captures, observer);
    }

    // What the last sensing of the last step left: the statistics probe's Predator and
    // wall terms.
    const InputVector& lastSensedInputs() const { return readings.lastSensedInputs(); }
};

}  // namespace kav
