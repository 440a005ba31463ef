// A tick allocates nothing: every array is allocated with the world. This program
// replaces the global allocation functions to count every allocation it makes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

#include "evo/population.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
// The over-aligned forms, which a world of 64-byte aligned arrays is allocated with.
void* operator new(std::size_t size, std::align_val_t alignment) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t align = static_cast<std::size_t>(alignment);
    if (void* p = std::aligned_alloc(align, (size + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
// Once these are inlined, GCC sees free() take a pointer from operator new and warns;
// pairing them is what these replacements are for.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace kav {
namespace {

// Runs `ticks` ticks and returns the allocations they made, report ticks included.
long allocationsOverTicks(Population& world, int ticks, bool changeSizes) {
    long counted = 0;
    for (int t = 0; t < ticks; ++t) {
        if (changeSizes && t % 10 == 0) {
            // Shrink and regrow both populations along the way.
            const bool add = (t / 50) % 2 == 1;
            if (add ? world.world.predatorCount < kMaxPredators : world.world.predatorCount > 1)
                world.requestSizeChange(add, true);
            if (add ? world.world.preyCount < kMaxPrey : world.world.preyCount > 1)
                world.requestSizeChange(add, false);
        }
        const long before = allocations.load();
        world.runTick();
        counted += allocations.load() - before;
    }
    return counted;
}

TEST(TickAllocation, TicksAllocateNothingWithEitherStep) {
    for (StepKind kind : {StepKind::program, StepKind::reference}) {
        SCOPED_TRACE(kind == StepKind::reference ? "reference step" : "program's step");
        auto world = std::make_unique<Population>();
        world->setupStandard();
        world->step.kind = kind;

        // The counter sees allocations at all: setting up a world makes some.
        const long before = allocations.load();
        auto other = std::make_unique<Population>();
        EXPECT_GT(allocations.load(), before);

        EXPECT_EQ(allocationsOverTicks(*world, 300, false), 0);
        EXPECT_EQ(allocationsOverTicks(*world, 300, true), 0);
        EXPECT_GT(world->world.tick, 400);
    }
}

}  // namespace
}  // namespace kav
