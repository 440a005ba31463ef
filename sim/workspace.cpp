#include "sim/workspace.h"

namespace kav {

void SenseWorkspace::allocate() {
    inputs.fill(0.0f);
    predatorsByX.fill(0);
    predatorsByY.fill(0);
    preyByX.fill(0);
    preyByY.fill(0);
    captures.fill(CaptureEvent{});
    captureCount = 0;
    candX.fill(0);
    candY.fill(0);
    near.fill(0);
}

void SenseWorkspace::attach(Agent* predatorArray, int predatorCountArg, Agent* preyArray,
                            int preyCountArg, Random* randomSource) {
    predators = predatorArray;
    predatorCount = predatorCountArg;
    prey = preyArray;
    preyCount = preyCountArg;
    random = randomSource;
}

void SenseWorkspace::worldStep() {
    if (literalWorldStep)
        worldStepLiteral();
    else
        worldStepFast();
}

void SenseWorkspace::worldStepLiteral() {
    sortIndexes();
    for (int i = 0; i < predatorCount; ++i) {
        if (predators[i].digestTimer < 0) {
            sense(predators[i]);
            control(predators[i]);
        }
    }
    for (int i = 0; i < preyCount; ++i) {
        sense(prey[i]);
        control(prey[i]);
    }
    for (int i = 0; i < predatorCount; ++i) predators[i].move();
    for (int i = 0; i < preyCount; ++i) prey[i].move();
    detectCaptures();
}

}  // namespace kav
