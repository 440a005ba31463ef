#include "sim/model_parameters.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kav {

namespace {

#define KAV_FLOAT(field)                                    \
    [](const ModelSettings& s) { return double(s.field); }, \
        [](ModelSettings& s, double v) { s.field = static_cast<float>(v); }
#define KAV_INTEGER(field)                                  \
    [](const ModelSettings& s) { return double(s.field); }, \
        [](ModelSettings& s, double v) { s.field = static_cast<std::int32_t>(v); }

// The ranges keep the world sound: no zero divisor, no empty offspring spread (its draw
// repeats until the offset is not zero), no Agent without a disc.
constexpr ModelParameter kParameters[] = {
    {"arena.x_min", "arena units", "left wall", -1000, 1000, false, KAV_FLOAT(arena.xMin)},
    {"arena.x_max", "arena units", "right wall", -1000, 1000, false, KAV_FLOAT(arena.xMax)},
    {"arena.y_min", "arena units", "bottom wall", -1000, 1000, false, KAV_FLOAT(arena.yMin)},
    {"arena.y_max", "arena units", "top wall", -1000, 1000, false, KAV_FLOAT(arena.yMax)},
    {"predator.radius", "arena units", "radius of a Predator's disc", 0.001, 1, false,
     KAV_FLOAT(predatorRadius)},
    {"prey.radius", "arena units", "radius of a Prey's disc", 0.001, 1, false,
     KAV_FLOAT(preyRadius)},
    {"predator.sense_range", "arena units",
     "half-width of the square in which a Predator senses Prey and walls", 0, 100, false,
     KAV_FLOAT(predatorSenseRange)},
    {"prey.sense_range", "arena units",
     "half-width of the square in which a Prey senses Agents and walls", 0, 100, false,
     KAV_FLOAT(preySenseRange)},
    {"predator.peer_window", "arena units",
     "half-width of the square in which a Predator senses other Predators", 0, 100, false,
     KAV_FLOAT(predatorPeerWindow)},
    {"predator.starvation_ticks", "ticks",
     "a Predator starves after more ticks than this without a catch", 1, kMaxStarvationTicks, true,
     KAV_INTEGER(predatorStarvationTicks)},
    {"energy.per_tick", "energy / tick", "energy every Agent gains at each tick", 0, 1, false,
     KAV_FLOAT(energyPerTick)},
    {"energy.thrust_cost", "energy / thrust^2", "energy a move costs per squared unit of thrust", 0,
     100, false, KAV_FLOAT(thrustCost)},
    {"motion.drag", "1 / arena unit", "quadratic drag on each velocity component", 0, 10, false,
     KAV_FLOAT(drag)},
    {"motion.max_speed", "arena units / tick", "limit of each component of the new velocity", 0.001,
     10, false, KAV_FLOAT(maxSpeed)},
    {"reproduction.mutation_amplitude", "weight",
     "an offspring's gene lies within +- this of its parent's", 0, 10, false,
     KAV_FLOAT(mutationAmplitude)},
    {"reproduction.offspring_spread", "arena units",
     "an offspring starts within +- this of its first parent on each axis", 0.001, 10, false,
     KAV_FLOAT(offspringSpread)},
    {"predator.parent_walk_divisor", "1",
     "a Predator parent is u * count / this places down the rank list", 0.5, 1000, false,
     KAV_FLOAT(predatorParentWalkDivisor)},
    {"prey.parent_walk_divisor", "1",
     "a Prey parent is u * count / this + 1 places down the rank list", 0.5, 1000, false,
     KAV_FLOAT(preyParentWalkDivisor)},
};

#undef KAV_FLOAT
#undef KAV_INTEGER

static_assert(sizeof(ModelSettings) == 72, "every model setting has a parameter");

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::span<const ModelParameter> modelParameters() { return kParameters; }

const ModelParameter* findParameter(std::string_view name) {
    for (const ModelParameter& p : kParameters)
        if (name == p.name) return &p;
    return nullptr;
}

std::vector<std::string> nearestParameterNames(std::string_view name, int count) {
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const ModelParameter& p : kParameters) {
        // A name that contains the text or its last part ranks as near.
        const std::string_view known = p.name;
        const std::string_view field = name.substr(name.rfind('.') + 1);
        const bool contains = !field.empty() && known.find(field) != std::string_view::npos;
        ranked.push_back({contains ? 0 : editDistance(name, known), p.name});
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (int i = 0; i < count && i < int(ranked.size()); ++i) names.push_back(ranked[i].second);
    return names;
}

std::string formatParameterValue(const ModelParameter& parameter, double value) {
    if (parameter.integer) return std::to_string(static_cast<long long>(value));
    const float stored = static_cast<float>(value);
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, stored);
    return std::string(text, result.ptr);
}

std::string setParameter(ModelSettings& settings, std::string_view name, std::string_view value) {
    const ModelParameter* parameter = findParameter(name);
    if (!parameter) {
        std::string known;
        for (const std::string& near : nearestParameterNames(name))
            known += (known.empty() ? "" : ", ") + near;
        return "unknown parameter " + quoted(name) + " (nearest: " + known +
               "; --list-params lists them all)";
    }
    const std::string text(value);
    const std::string what = std::string(parameter->name) + " = " + quoted(value);
    char* end = nullptr;
    errno = 0;
    const double number = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || std::isspace(unsigned(text[0])))
        return what + " is not a number";
    if (!std::isfinite(number) || errno == ERANGE) return what + " is not a finite number";
    if (parameter->integer && number != std::floor(number)) return what + " is not a whole number";
    const double stored =
        parameter->integer ? number : double(static_cast<float>(number));  // as the record holds it
    if (!(stored >= parameter->minimum && stored <= parameter->maximum))
        return what + " is out of its range " +
               formatParameterValue(*parameter, parameter->minimum) + " to " +
               formatParameterValue(*parameter, parameter->maximum);
    parameter->set(settings, number);
    return "";
}

std::string checkSettings(const ModelSettings& s) {
    for (const ModelParameter& p : kParameters) {
        const double v = p.get(s);
        if (!(v >= p.minimum && v <= p.maximum))
            return std::string(p.name) + " = " + formatParameterValue(p, v) +
                   " is out of its range";
    }
    const Arena& a = s.arena;
    // An arena narrower than this leaves no room for a disc between two reflections.
    const double smallest = 8.0 * std::max(s.predatorRadius, s.preyRadius);
    const double least = std::max(1.0, smallest);
    char line[200];
    if (!(double(a.xMax) - double(a.xMin) >= least)) {
        std::snprintf(line, sizeof line,
                      "arena.x_min = %g and arena.x_max = %g: the arena must be at least %g wide",
                      double(a.xMin), double(a.xMax), least);
        return line;
    }
    if (!(double(a.yMax) - double(a.yMin) >= least)) {
        std::snprintf(line, sizeof line,
                      "arena.y_min = %g and arena.y_max = %g: the arena must be at least %g high",
                      double(a.yMin), double(a.yMax), least);
        return line;
    }
    return "";
}

}  // namespace kav
