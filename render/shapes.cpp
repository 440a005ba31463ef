#include "render/shapes.h"

#include <cmath>
#include <cstring>

namespace kav {

namespace {

constexpr float kTwoPiF = 6.2831855f;

ShapeVertex vertex(float x, float y, float nx, float ny, std::uint32_t colour) {
    ShapeVertex v{};
    v.x = x;
    v.y = y;
    v.z = 0.0f;
    v.nx = nx;
    v.ny = ny;
    v.nz = -1.0f;
    v.b = static_cast<std::uint8_t>(colour & 0xFFu);
    v.g = static_cast<std::uint8_t>((colour >> 8) & 0xFFu);
    v.r = static_cast<std::uint8_t>((colour >> 16) & 0xFFu);
    v.a = static_cast<std::uint8_t>((colour >> 24) & 0xFFu);
    return v;
}

}  // namespace

std::array<ShapeVertex, kShapeVertexCount> buildShapeVertices(const ShapeStyle& style) {
    const float r = style.radius;
    std::array<ShapeVertex, kShapeVertexCount> v{};
    v[0] = vertex(0.0f, 0.0f, 0.0f, 0.0f, style.centreColour);
    for (int k = 0; k <= kRimSegments; ++k) {
        const float a = static_cast<float>(k) * kTwoPiF / static_cast<float>(kRimSegments);
        const float s = std::sin(a);
        const float c = std::cos(a);
        const float fr = style.rimNormalFactor * r;
        v[kRimFirst + k] = vertex(r * s, r * c, fr * s, fr * c, style.rimColour);
    }
    v[kPointerFirst] = vertex(0.8f * r, 0.0f, 0.0f, 0.0f, style.tipColour);
    v[kPointerFirst + 1] = vertex(-0.75f * r, 0.2f * r, 0.0f, 0.0f, style.baseColour);
    v[kPointerFirst + 2] = vertex(-0.75f * r, -0.2f * r, 0.0f, 0.0f, style.baseColour);
    return v;
}

std::vector<std::uint8_t> buildShapeBuffer(const ShapeStyle& style) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(style.bufferBytes), 0);
    const auto vertices = buildShapeVertices(style);
    std::memcpy(bytes.data(), vertices.data(), sizeof(vertices));
    return bytes;
}

}  // namespace kav
