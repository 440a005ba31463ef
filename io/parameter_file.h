#pragma once
// The model's settings as users give them: a TOML file (--params) and NAME=VALUE pairs
// (--set, which win over the file), checked whole before anything runs.
#include <filesystem>
#include <string>
#include <vector>

#include "sim/model_settings.h"

namespace kav {

struct ParameterSource {
    std::filesystem::path file;     // empty: none
    std::vector<std::string> sets;  // NAME=VALUE, applied in order after the file
    bool empty() const { return file.empty() && sets.empty(); }
};

// Applies the file's values, then the sets, to `settings`. False with one line in `why`
// that names the parameter (and the file's line) at the first value refused, or the
// inconsistency of the whole; `settings` is unchanged then.
bool applyParameters(ModelSettings& settings, const ParameterSource& source, std::string& why);

// One parameter that differs between two settings, its values as text.
struct ParameterChange {
    std::string name;
    std::string from;
    std::string to;
};
std::vector<ParameterChange> parameterChanges(const ModelSettings& from, const ModelSettings& to);

// Every parameter: name, default, range, unit and meaning; as aligned text or as JSON.
std::string parameterList(bool json);

}  // namespace kav
