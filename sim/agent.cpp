#include "sim/agent.h"

#include <cmath>
#include <limits>

namespace kav {

void Agent::init(const ModelSettings& settings, std::uint8_t reproModeArg, int slotArg,
                 bool isPredatorArg, Random& random) {
    const Arena& arena = settings.arena;
    isPredator = isPredatorArg ? 1 : 0;
    slot = slotArg;
    reproMode = reproModeArg;
    rank = slotArg;
    energy = 1.0f;
    const float xMin = arena.xMin;
    const float xMax = arena.xMax;
    const float yMin = arena.yMin;
    const float yMax = arena.yMax;

    // Start positions divide by 32767 so that both walls can be reached.
    const int r1 = random.next();
    nextX = static_cast<float>(double(xMin) + (r1 / 32767.0) * (double(xMax) - double(xMin)));
    const int r2 = random.next();
    nextY = static_cast<float>(double(yMin) + (r2 / 32767.0) * (double(yMax) - double(yMin)));

    beginTick(settings.energyPerTick);

    vx = vy = nextVx = nextVy = 0.0f;

    const int r3 = random.next();
    heading = static_cast<float>((r3 / 32767.0) * 2.0 * double(kStartHeadingSpan) -
                                 double(kStartHeadingSpan));

    move(arena);

    hitWall = 0;
    radius = isPredatorArg ? settings.predatorRadius : settings.preyRadius;
    captured = 0;
    catches = 0;
    ticksSinceCatch = 0;
    dead = 0;
    age = 0;
    generation = 1;
    digestTimer = -1;
    senseRange = isPredatorArg ? settings.predatorSenseRange : settings.preySenseRange;
}

void Agent::beginTick(float energyPerTick) {
    if (isPredator && captured) {
        vx = 0.0f;
        vy = 0.0f;
    }
    captured = 0;
    prevHeading = heading;
    if (hitWall) {
        if (hitLeft || hitRight) vx = -vx;
        if (hitTop || hitBottom) vy = -vy;
    }
    x = nextX;
    y = nextY;
    age += 1;
    energy = static_cast<float>(double(energy) + double(energyPerTick));
    if (isPredator) {
        // The timer runs on through a slot's generations (reproduction leaves it); it stops
        // at its lowest value rather than wrap to a digesting one.
        if (digestTimer > std::numeric_limits<std::int32_t>::min()) digestTimer -= 1;
        ticksSinceCatch += 1;
    }
}

float headingFromVelocity(float vx, float vy, float current) {
    if (vx > 0.0001f || vx < -0.0001f) {
        const float quotient = vy / std::fabs(vx);
        double h = std::atan(double(quotient));
        if (vx < 0.0f) h = double(kPiF) - h;
        return static_cast<float>(h);
    }
    if (vy > 0.0f) return kHalfPiF;
    if (vy < 0.0f) return -kHalfPiF;
    return current;
}

void Agent::move(const Arena& arena) {
    const float xMin = arena.xMin;
    const float xMax = arena.xMax;
    const float yMin = arena.yMin;
    const float yMax = arena.yMax;
    vx = nextVx;
    vy = nextVy;
    nextX = static_cast<float>(double(x) + double(vx));
    nextY = static_cast<float>(double(y) + double(vy));
    heading = headingFromVelocity(vx, vy, heading);

    hitWall = hitLeft = hitRight = hitTop = hitBottom = 0;
    if (nextX > xMax) {
        nextX = static_cast<float>(2.0 * double(xMax) - double(nextX));
        hitWall = hitRight = 1;
    }
    if (nextX < xMin) {
        nextX = static_cast<float>(2.0 * double(xMin) - double(nextX));
        hitWall = hitLeft = 1;
    }
    if (nextY > yMax) {
        nextY = static_cast<float>(2.0 * double(yMax) - double(nextY));
        hitWall = hitTop = 1;
    }
    if (nextY < yMin) {
        nextY = static_cast<float>(2.0 * double(yMin) - double(nextY));
        hitWall = hitBottom = 1;
    }

    if (energy < 0.0f) dead = 1;
    const bool inside = 2.0 * double(xMin) < double(nextX) && double(nextX) < 2.0 * double(xMax) &&
                        2.0 * double(yMin) < double(nextY) && double(nextY) < 2.0 * double(yMax);
    if (!inside) dead = 1;
}

}  // namespace kav
