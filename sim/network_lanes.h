#pragma once
// The controller network's shape, and the networks of many Agents at once: each Agent's
// network in a lane of its own with evaluateNetwork's operations (sim/controller.h) in their
// order, so every number comes out with the same bits. The kernels of the wider paths take
// them (their files see no other type, see sim/nearest_kernel.h).
namespace kav {

// The Genome's layout: where the weights of each role start.
constexpr int kInputGains = 0;        // 20: gain i multiplies inputs 2i and 2i + 1
constexpr int kPoolingWeights = 20;   // 10: weight j multiplies every term pooled into hidden j
constexpr int kHiddenGains = 30;      // 10: gain j multiplies hidden j after pooling
constexpr int kForwardFromEven = 40;  // 5: weight k carries hidden 2k into the forward output
constexpr int kLateralFromOdd = 45;   // 5: weight k carries hidden 2k + 1 into the lateral output
constexpr int kForwardFromOdd = 50;   // 5: weight k carries hidden 2k + 1 into the forward output
constexpr int kLateralFromEven = 55;  // 5: weight k carries hidden 2k into the lateral output
constexpr int kForwardGain = 60;
constexpr int kLateralGain = 61;
constexpr int kWeightsRead = 62;
// Weight 62 is inherited, mutated and stored like the others but never read.

constexpr int kNetworkInputs = 40;  // the input vector's length (kInputCount)
constexpr int kHiddenCount = 10;
constexpr int kOutputPairs = kHiddenCount / 2;

// Hidden value j pools four like terms: the same component of the four neighbours of
// one kind (j < 8, inputs j%4 + 4k of block j/4), or the four wall terms (j = 8, 9).
constexpr int kPooled[kHiddenCount][4] = {
    {0, 4, 8, 12},    {1, 5, 9, 13},    {2, 6, 10, 14},   {3, 7, 11, 15},   {16, 20, 24, 28},
    {17, 21, 25, 29}, {18, 22, 26, 30}, {19, 23, 27, 31}, {32, 34, 36, 38}, {33, 35, 37, 39},
};

struct NetworkLanes {
    const float* const* genome;  // per Agent, its Genome
    const float* const* inputs;  // per Agent, its input vector
    int count;                   // any number of Agents
    float* forward;              // out, per Agent: the network's thrust (`count` written)
    float* lateral;
};

void networksScalar(const NetworkLanes& lanes);
void networksSse2(const NetworkLanes& lanes);
void networksAvx2(const NetworkLanes& lanes);
void networksAvx512(const NetworkLanes& lanes);

}  // namespace kav
