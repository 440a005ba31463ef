#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace kav {

// One vertex of an agent shape as it lies in the vertex buffer: position, normal and a
// 32-bit ARGB colour stored little-endian, so its bytes are B, G, R, A.
struct ShapeVertex {
    float x, y, z;
    float nx, ny, nz;
    std::uint8_t b, g, r, a;
};
static_assert(sizeof(ShapeVertex) == 28, "vertices are 28 bytes");

constexpr int kShapeVertexCount = 19;
constexpr int kRimFirst = 1;  // rim vertices 1..15, 15 repeating 1
constexpr int kRimSegments = 14;
constexpr int kPointerFirst = 16;  // tip 16, base 17 and 18

// What tells the two shapes apart. Colours are 0xAARRGGBB.
struct ShapeStyle {
    float radius;
    float rimNormalFactor;
    std::uint32_t centreColour;
    std::uint32_t rimColour;
    std::uint32_t tipColour;
    std::uint32_t baseColour;
    int bufferBytes;  // at least 19 vertices; the rest of the buffer stays zero
};

constexpr ShapeStyle kPredatorShape{0.25f,       0.8f,        0x00FFFF00u, 0x00FF0000u,
                                    0x000000CCu, 0x00000066u, 532};
constexpr ShapeStyle kPreyShape{0.16f,       0.2f,        0x00FFFF00u, 0x00FFFFFFu,
                                0x00CC0000u, 0x00660000u, 672};

// The ring about the selected Agent: a colour no shape and no part of the panel uses.
struct RingColour {
    std::uint8_t r, g, b;
};
constexpr RingColour kSelectionColour{0x00, 0xFF, 0x00};

// The shape as a flat disc (a fan of 14 triangles about vertex 0, the rim starting at
// the top and running clockwise as the camera sees it) with a thin pointer triangle
// along +x drawn over it.
std::array<ShapeVertex, kShapeVertexCount> buildShapeVertices(const ShapeStyle& style);

// The vertex buffer contents: `bufferBytes` bytes, the 19 vertices first.
std::vector<std::uint8_t> buildShapeBuffer(const ShapeStyle& style);

}  // namespace kav
