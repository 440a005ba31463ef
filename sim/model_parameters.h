#pragma once
// The model's numbers by name, as users set them (`--set predator.radius=0.03`), with the
// range each may take and what it means. Every field of ModelSettings is one parameter.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/model_settings.h"

namespace kav {

struct ModelParameter {
    const char* name;     // section.field, lower case
    const char* unit;     // "arena units", "ticks", ...
    const char* meaning;  // one line
    double minimum;       // allowed range, both ends included
    double maximum;
    bool integer;
    double (*get)(const ModelSettings&);
    void (*set)(ModelSettings&, double);
};

// Every parameter, in the order of the settings record.
std::span<const ModelParameter> modelParameters();

// The parameter of that name, or null.
const ModelParameter* findParameter(std::string_view name);

// Up to `count` known names nearest to `name` (by edit distance), nearest first.
std::vector<std::string> nearestParameterNames(std::string_view name, int count = 3);

// Sets one parameter from its text. Empty on success; otherwise one line naming the
// parameter and what is wrong (unknown name with the nearest known ones, not a number, not
// finite, not a whole number, out of range). The settings are unchanged on failure.
std::string setParameter(ModelSettings& settings, std::string_view name, std::string_view value);

// What makes a set of values that are each in range unsound together: an arena whose
// minimum is not below its maximum, or too small for the Agents. Empty when they are sound.
std::string checkSettings(const ModelSettings& settings);

// A value as the settings store it, in the shortest text that reads back to the same float
// (or integer).
std::string formatParameterValue(const ModelParameter& parameter, double value);

}  // namespace kav
