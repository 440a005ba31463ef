#pragma once
// What the vector paths' passes of the nearest search share: the candidate buffer and the
// selection of the five nearest. Each path's file is compiled for its own instruction set,
// so everything here has internal linkage: an inline copy built for a wider unit must never
// be the one linked into a narrower path. For the same reason these files include no
// standard header that could instantiate a function.
#include <cstdint>

#include "sim/agent.h"
#include "sim/nearest_search.h"

namespace kav {
namespace {

// The candidates of one pass: squared distance and x-index position, with room for a whole
// vector's store past the last.
struct Candidates {
    static constexpr int kCapacity = kMaxPrey + 16;
    alignas(64) float distance[kCapacity];
    alignas(64) std::int32_t position[kCapacity];
    int count = 0;
};

// The five smallest keys (squared distance, x-index position) seen, in ascending order. A
// squared distance here is a finite float that is not negative, so its bits order as
// unsigned integers.
struct NearestFiveKeys {
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::uint64_t k0 = kNone, k1 = kNone, k2 = kNone, k3 = kNone, k4 = kNone;

    // The offered key sinks through the five as through a sorting network, without
    // branches; the five are named so that they stay in registers.
    __attribute__((always_inline)) void offer(float distance, std::int32_t position) {
        std::uint64_t key = (std::uint64_t{__builtin_bit_cast(std::uint32_t, distance)} << 32) |
                            static_cast<std::uint32_t>(position);
        sink(k0, key);
        sink(k1, key);
        sink(k2, key);
        sink(k3, key);
        k4 = key < k4 ? key : k4;
    }

    NearestFound found() const {
        const std::uint64_t all[5] = {k0, k1, k2, k3, k4};
        NearestFound result;
        while (result.count < 5 && all[result.count] != kNone) {
            result.position[result.count] = static_cast<std::int32_t>(all[result.count]);
            ++result.count;
        }
        if (result.count == 5)
            result.fifth = __builtin_bit_cast(float, static_cast<std::uint32_t>(k4 >> 32));
        return result;
    }

private:
    __attribute__((always_inline)) static void sink(std::uint64_t& kept, std::uint64_t& key) {
        const std::uint64_t smaller = key < kept ? key : kept;
        key = key < kept ? kept : key;
        kept = smaller;
    }
};

NearestFound selectNearestFive(const Candidates& candidates) {
    NearestFiveKeys keys;
    for (int i = 0; i < candidates.count; ++i)
        keys.offer(candidates.distance[i], candidates.position[i]);
    return keys.found();
}

// The five nearest from each candidate's rank among them: the number of candidates nearer,
// and of those as near that come first (the candidates are in x-index order). `nearer(i)`
// and `asNear(i)` give those candidates as bits; the ranks are distinct, so each candidate
// goes to a place of its own.
template <class Nearer, class AsNear>
inline NearestFound selectByRank(const Candidates& candidates,
                                                         Nearer nearer, AsNear asNear) {
    std::int32_t positionByRank[Candidates::kCapacity];
    float distanceByRank[Candidates::kCapacity];
    for (int i = 0; i < candidates.count; ++i) {
        const unsigned before = (1u << i) - 1;
        const int rank =
            __builtin_popcount(nearer(i)) + __builtin_popcount(asNear(i) & before);
        positionByRank[rank] = candidates.position[i];
        distanceByRank[rank] = candidates.distance[i];
    }
    NearestFound result;
    result.count = candidates.count < 5 ? candidates.count : 5;
    for (int r = 0; r < result.count; ++r) result.position[r] = positionByRank[r];
    if (result.count == 5) result.fifth = distanceByRank[4];
    return result;
}

// The pass over the entries, then the five nearest of the candidates it kept.
template <class Pass, class Select>
NearestFound passAndSelect(const NearestQuery& query, Pass pass, Select select) {
    Candidates candidates;
    pass(query.gate, candidates);
    return select(candidates);
}

}  // namespace
}  // namespace kav
