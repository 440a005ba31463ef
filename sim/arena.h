#pragma once

namespace kav {

// The walled rectangle the Agents move in. The same for every Agent of a world; the
// phases that reflect, sense or catch at the walls are handed it.
struct Arena {
    float xMin = 0;
    float xMax = 0;
    float yMin = 0;
    float yMax = 0;

    bool operator==(const Arena&) const = default;
};

// The program's arena: 10 units wide, 8 high, centred on the origin.
constexpr Arena kStandardArena{-5.0f, 5.0f, -4.0f, 4.0f};

}  // namespace kav
