#include "io/parameter_file.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <toml++/toml.h>

#include "sim/model_parameters.h"

namespace kav {

namespace {

// The file's values by dotted name ([predator] radius = 0.03 is predator.radius), each with
// its text and line.
struct FileValue {
    std::string name;
    std::string text;
    std::uint32_t line;
};

bool flatten(const toml::table& table, const std::string& prefix, std::vector<FileValue>& out,
             std::string& why) {
    for (const auto& [key, node] : table) {
        const std::string name = prefix + std::string(key.str());
        const std::uint32_t line = node.source().begin.line;
        if (const toml::table* inner = node.as_table()) {
            if (!flatten(*inner, name + ".", out, why)) return false;
        } else if (const auto* integer = node.as_integer()) {
            out.push_back({name, std::to_string(integer->get()), line});
        } else if (const auto* real = node.as_floating_point()) {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", real->get());
            out.push_back({name, text, line});
        } else {
            why = "line " + std::to_string(line) + ": " + name + " is not a number";
            return false;
        }
    }
    return true;
}

}  // namespace

bool applyParameters(ModelSettings& settings, const ParameterSource& source, std::string& why) {
    ModelSettings result = settings;
    if (!source.file.empty()) {
        const std::string file = source.file.string();
        toml::table table;
        try {
            table = toml::parse_file(file);
        } catch (const toml::parse_error& error) {
            why = file + ":" + std::to_string(error.source().begin.line) + ": " +
                  std::string(error.description());
            return false;
        }
        std::vector<FileValue> values;
        if (!flatten(table, "", values, why)) {
            why = file + ": " + why;
            return false;
        }
        for (const FileValue& value : values) {
            const std::string problem = setParameter(result, value.name, value.text);
            if (!problem.empty()) {
                why = file + ":" + std::to_string(value.line) + ": " + problem;
                return false;
            }
        }
    }
    for (const std::string& set : source.sets) {
        const std::size_t equals = set.find('=');
        if (equals == std::string::npos || equals == 0) {
            why = "--set " + set + ": give NAME=VALUE, e.g. --set motion.drag=0.12";
            return false;
        }
        const std::string problem =
            setParameter(result, set.substr(0, equals), set.substr(equals + 1));
        if (!problem.empty()) {
            why = "--set: " + problem;
            return false;
        }
    }
    const std::string inconsistent = checkSettings(result);
    if (!inconsistent.empty()) {
        why = inconsistent;
        return false;
    }
    settings = result;
    return true;
}

std::vector<ParameterChange> parameterChanges(const ModelSettings& from, const ModelSettings& to) {
    std::vector<ParameterChange> changes;
    for (const ModelParameter& p : modelParameters())
        if (p.get(from) != p.get(to))
            changes.push_back(
                {p.name, formatParameterValue(p, p.get(from)), formatParameterValue(p, p.get(to))});
    return changes;
}

std::string parameterList(bool json) {
    const ModelSettings defaults;
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ModelParameter& p : modelParameters()) {
            nlohmann::ordered_json entry;
            entry["name"] = p.name;
            entry["default"] = p.integer ? nlohmann::ordered_json(std::int64_t(p.get(defaults)))
                                         : nlohmann::ordered_json(p.get(defaults));
            entry["minimum"] = p.minimum;
            entry["maximum"] = p.maximum;
            entry["integer"] = p.integer;
            entry["unit"] = p.unit;
            entry["meaning"] = p.meaning;
            list.push_back(entry);
        }
        return list.dump(2) + "\n";
    }
    std::string text;
    char line[400];
    std::snprintf(line, sizeof line, "%-32s %-8s %-19s %-19s %s\n", "name", "default", "range",
                  "unit", "meaning");
    text += line;
    for (const ModelParameter& p : modelParameters()) {
        const std::string range =
            formatParameterValue(p, p.minimum) + " to " + formatParameterValue(p, p.maximum);
        std::snprintf(line, sizeof line, "%-32s %-8s %-19s %-19s %s\n", p.name,
                      formatParameterValue(p, p.get(defaults)).c_str(), range.c_str(), p.unit,
                      p.meaning);
        text += line;
    }
    text +=
        "The arena must also be ordered (x_min < x_max, y_min < y_max), at least 1 wide and\n"
        "high and at least eight radii of the larger Agent.\n";
    return text;
}

}  // namespace kav
