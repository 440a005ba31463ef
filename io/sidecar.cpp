#include "io/sidecar.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "evo/population.h"
#include "io/json_parse.h"
#include "sim/model_parameters.h"

namespace kav {

namespace {

using Json = nlohmann::json;

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}
float floatOf(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// The Agent's fields that change while it lives, in the order of a row of the file.
// The rest of the record belongs to the slot and is set when the world is set up.
struct IntField {
    const char* name;
    std::int32_t Agent::*member;
    std::int64_t low, high;  // the values the model can leave in it
};
struct LongField {
    const char* name;
    std::int64_t Agent::*member;
    std::int64_t low, high;
};
struct FlagField {
    const char* name;
    std::uint8_t Agent::*member;
};
struct FloatField {
    const char* name;
    float Agent::*member;
};
// The rank's upper bound is the population's capacity, checked apart. A Predator is
// replaced once it has gone more ticks without a catch than the starvation limit allows
// (the world's own limit is checked with the world); the digest timer is 0 at a catch and
// counts down from there, in a slot's every generation, and stops at its lowest value.
constexpr std::array kIntFields{
    IntField{"rank", &Agent::rank, 0, kMaxPrey - 1},
    IntField{"ticksSinceCatch", &Agent::ticksSinceCatch, 0, kMaxStarvationTicks + 1},
    IntField{"digestTimer", &Agent::digestTimer, std::numeric_limits<std::int32_t>::min(), 0}};
constexpr std::array kLongFields{LongField{"generation", &Agent::generation, 1, kCounterLimit},
                                 LongField{"age", &Agent::age, 0, kCounterLimit},
                                 LongField{"catches", &Agent::catches, 0, kCounterLimit}};
constexpr std::array kFlagFields{
    FlagField{"hitWall", &Agent::hitWall},   FlagField{"hitTop", &Agent::hitTop},
    FlagField{"hitLeft", &Agent::hitLeft},   FlagField{"hitBottom", &Agent::hitBottom},
    FlagField{"hitRight", &Agent::hitRight}, FlagField{"captured", &Agent::captured},
    FlagField{"dead", &Agent::dead}};
constexpr std::array kFloatFields{FloatField{"x", &Agent::x},
                                  FloatField{"y", &Agent::y},
                                  FloatField{"vx", &Agent::vx},
                                  FloatField{"vy", &Agent::vy},
                                  FloatField{"nextX", &Agent::nextX},
                                  FloatField{"nextY", &Agent::nextY},
                                  FloatField{"nextVx", &Agent::nextVx},
                                  FloatField{"nextVy", &Agent::nextVy},
                                  FloatField{"energy", &Agent::energy},
                                  FloatField{"heading", &Agent::heading},
                                  FloatField{"prevHeading", &Agent::prevHeading},
                                  FloatField{"contactTime", &Agent::contactTime}};
constexpr std::size_t kAgentFieldCount =
    kIntFields.size() + kLongFields.size() + kFlagFields.size() + kFloatFields.size();

Json agentFieldNames() {
    Json names = Json::array();
    for (const auto& f : kIntFields) names.push_back(f.name);
    for (const auto& f : kLongFields) names.push_back(f.name);
    for (const auto& f : kFlagFields) names.push_back(f.name);
    for (const auto& f : kFloatFields) names.push_back(f.name);
    return names;
}

Json agentRow(const Agent& a) {
    Json row = Json::array();
    for (const auto& f : kIntFields) row.push_back(a.*f.member);
    for (const auto& f : kLongFields) row.push_back(a.*f.member);
    for (const auto& f : kFlagFields) row.push_back(int(a.*f.member));
    for (const auto& f : kFloatFields) row.push_back(bitsOf(a.*f.member));
    return row;
}

[[noreturn]] void refuse(const std::string& what) { throw std::runtime_error(what); }

// The name of a field, as `base`, `base[index]` or `base[index].field`: put together only
// for a message, since a sidecar has thousands of values. `base` outlives the call.
struct Name {
    Name(const char* baseArg, long indexArg = -1, const char* fieldArg = nullptr)
        : base(baseArg), index(indexArg), field(fieldArg) {}
    Name(const std::string& baseArg) : base(baseArg.c_str()) {}
    const char* base;
    long index = -1;
    const char* field = nullptr;
};
std::string operator+(const Name& name, const std::string& text) {
    std::string out = name.base;
    if (name.index >= 0) out += "[" + std::to_string(name.index) + "]";
    if (name.field) out += std::string(".") + name.field;
    return out + text;
}

// A whole number within [low, high] (a float, a text or a number beyond the range is
// refused, naming the field).
std::int64_t whole(const Json& j, const Name& name, std::int64_t low, std::int64_t high) {
    std::int64_t value = 0;
    if (j.is_number_unsigned()) {
        const std::uint64_t u = j.get<std::uint64_t>();
        if (u > std::uint64_t(high))
            refuse(name + " is " + std::to_string(u) + ", beyond " + std::to_string(high));
        value = std::int64_t(u);
    } else if (j.is_number_integer()) {
        value = j.get<std::int64_t>();
    } else {
        refuse(name + " is not a whole number");
    }
    if (value < low || value > high)
        refuse(name + " is " + std::to_string(value) + ", outside " + std::to_string(low) + ".." +
               std::to_string(high));
    return value;
}
std::uint32_t bits(const Json& j, const Name& name) {
    return std::uint32_t(whole(j, name, 0, 0xFFFFFFFFll));
}
const Json& member(const Json& j, const char* key) {
    const auto at = j.find(key);
    if (at == j.end()) refuse(std::string("there is no \"") + key + "\"");
    return *at;
}
std::string textField(const Json& j, const Name& name) {
    if (!j.is_string()) refuse(name + " is not a text");
    const std::string& value = j.get_ref<const std::string&>();
    if (value.size() > 2 * kRunTextMaxBytes + 16)
        refuse(name + " is " + std::to_string(value.size()) + " bytes long");
    return textFromJson(value);
}

void readAgentRow(const Json& row, Agent& a, const char* kind, long slot) {
    if (!row.is_array() || row.size() != kAgentFieldCount)
        refuse(Name(kind, slot) + " has " + std::to_string(row.is_array() ? row.size() : 1) +
               " values, not " + std::to_string(kAgentFieldCount));
    const std::int64_t ranks = a.isPredator ? kMaxPredators : kMaxPrey;
    std::size_t i = 0;
    for (const auto& f : kIntFields)
        a.*f.member = std::int32_t(whole(row[i++], Name(kind, slot, f.name), f.low,
                                         f.member == &Agent::rank ? ranks - 1 : f.high));
    for (const auto& f : kLongFields)
        a.*f.member = whole(row[i++], Name(kind, slot, f.name), f.low, f.high);
    for (const auto& f : kFlagFields)
        a.*f.member = std::uint8_t(whole(row[i++], Name(kind, slot, f.name), 0, 1));
    for (const auto& f : kFloatFields)
        a.*f.member = floatOf(bits(row[i++], Name(kind, slot, f.name)));
}

Json eventsJson(const EventCounts& e) {
    return Json{{"captures", e.captures},
                {"predatorBirths", e.predatorBirths},
                {"preyBirths", e.preyBirths},
                {"starvations", e.starvations},
                {"predatorDeaths", e.predatorDeaths},
                {"preyDeaths", e.preyDeaths}};
}

// Totals, each within 0..kCounterLimit and, for those at the last log row, no more than
// the totals `atMost`.
EventCounts readEvents(const Json& j, const char* name, const EventCounts* atMost = nullptr) {
    if (!j.is_object()) refuse(std::string(name) + " is not an object");
    EventCounts e;
    const std::pair<const char*, std::int64_t EventCounts::*> fields[] = {
        {"captures", &EventCounts::captures},
        {"predatorBirths", &EventCounts::predatorBirths},
        {"preyBirths", &EventCounts::preyBirths},
        {"starvations", &EventCounts::starvations},
        {"predatorDeaths", &EventCounts::predatorDeaths},
        {"preyDeaths", &EventCounts::preyDeaths}};
    for (const auto& [key, field] : fields)
        e.*field = whole(member(j, key), Name(name, -1, key), 0,
                         atMost ? (*atMost).*field : kCounterLimit);
    return e;
}

// A rank list: every slot exactly once.
template <typename Ranks>
void readRanks(const Json& j, Ranks& ranks, const char* name) {
    if (!j.is_array() || j.size() != ranks.size())
        refuse(std::string(name) + " does not list " + std::to_string(ranks.size()) + " slots");
    std::array<bool, kMaxPrey> seen{};
    for (std::size_t k = 0; k < ranks.size(); ++k) {
        const Name at(name, long(k));
        ranks[k] = std::int32_t(whole(j[k], at, 0, std::int64_t(ranks.size()) - 1));
        if (seen[std::size_t(ranks[k])])
            refuse(at + " holds slot " + std::to_string(ranks[k]) + " a second time");
        seen[std::size_t(ranks[k])] = true;
    }
}

// Nesting deeper than a sidecar's (object, list, row) is refused before parsing, so that
// no text can make the parser build a deep tree. strcspn leads from one of the few bytes
// that matter to the next (it also stops at a zero byte, which is passed over).
bool nestedTooDeep(const std::string& text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        i += std::strcspn(text.c_str() + i, "\"\\[]{}");
        if (i >= text.size()) break;
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The length of the UTF-8 sequence at `at` (1 to 4), or 0 where the bytes are not one
// (overlong forms and surrogates included, as JSON writers refuse them).
std::size_t utf8Length(const std::string& s, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(at);
    if (b < 0x80) return 1;
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else return 0;
    if (at + n > s.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(at + k) < 0x80 || byte(at + k) > 0xBF) return 0;
    return n;
}

// A list written one element per line, indented under its key.
std::string listLines(const std::vector<Json>& items) {
    if (items.empty()) return "[]";
    std::string text = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i)
        text += "    " + items[i].dump() + (i + 1 < items.size() ? ",\n" : "\n");
    return text + "  ]";
}

// The settings as one object, each value in the shortest text that reads back to it.
std::string settingsText(const ModelSettings& settings) {
    std::string text = "{";
    for (const ModelParameter& p : modelParameters()) {
        if (text.size() > 1) text += ", ";
        text += Json(p.name).dump() + ": " + formatParameterValue(p, p.get(settings));
    }
    return text + "}";
}

// Each value as the programs' --set takes it, then the whole for consistency. A parameter
// the file does not name keeps its default: files written before there were parameters
// ran on the defaults.
ModelSettings readSettings(const Json& j) {
    if (!j.is_object()) refuse("settings is not an object");
    ModelSettings settings;
    for (const auto& [name, value] : j.items()) {
        const std::string field = "settings." + name;
        if (!findParameter(name)) refuse(field + " is not a parameter of this program");
        if (!value.is_number()) refuse(field + " is not a number");
        const std::string error = setParameter(settings, name, value.dump());
        if (!error.empty()) refuse("settings: " + error);
    }
    const std::string unsound = checkSettings(settings);
    if (!unsound.empty()) refuse("settings: " + unsound);
    return settings;
}

// A run's changes: known parameters, each at most once, values of their own kind, at the
// run's first tick.
std::vector<ParameterChange> readChanges(const Json& j, const RunRecord& run, long index) {
    const Name name("runs", index, "changes");
    if (!j.is_array() || j.size() > modelParameters().size())
        refuse(name + " is not a list of at most " + std::to_string(modelParameters().size()) +
               " changes");
    std::vector<ParameterChange> changes;
    for (const Json& c : j) {
        if (!c.is_object()) refuse(name + " holds a change that is not an object");
        whole(member(c, "tick"), Name("runs", index, "changes.tick"), run.startTick, run.startTick);
        ParameterChange change;
        change.name = textField(member(c, "name"), name);
        const ModelParameter* parameter = findParameter(change.name);
        if (!parameter) refuse(name + " names the unknown parameter " + change.name);
        for (const ParameterChange& earlier : changes)
            if (earlier.name == change.name) refuse(name + " changes " + change.name + " twice");
        change.from = textField(member(c, "from"), name);
        change.to = textField(member(c, "to"), name);
        for (const std::string* value : {&change.from, &change.to}) {
            ModelSettings probe;
            if (!setParameter(probe, change.name, *value).empty())
                refuse(name + " holds the value \"" + *value + "\", not one of " + change.name);
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

}  // namespace

std::uint32_t crc32(const unsigned char* bytes, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string encodeSidecar(const Sidecar& s) {
    const WorldState& w = s.world;
    std::vector<Json> predators, prey, runs;
    for (const Agent& a : w.predators) predators.push_back(agentRow(a));
    for (const Agent& a : w.prey) prey.push_back(agentRow(a));
    for (const RunRecord& r : s.runs) {
        Json run{{"program", textForJson(r.program)},
                 {"startTick", r.startTick},
                 {"endTick", r.endTick},
                 {"started", textForJson(r.started)},
                 {"ended", textForJson(r.ended)},
                 {"arguments", textForJson(r.arguments)}};
        if (!r.changes.empty()) {
            Json changes = Json::array();
            for (const ParameterChange& c : r.changes)
                changes.push_back(
                    Json{{"tick", r.startTick}, {"name", c.name}, {"from", c.from}, {"to", c.to}});
            run["changes"] = changes;
        }
        runs.push_back(run);
    }
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08x", s.genomeChecksum);

    std::vector<std::pair<std::string, std::string>> keys = {
        {"format", Json(kSidecarFormat).dump()},
        {"version", Json(textForJson(s.version)).dump()},
        {"tick", Json(s.tick).dump()},
        {"genomeCrc32", Json(checksum).dump()},
        {"seed", Json(s.seed).dump()},
        {"settings", settingsText(s.settings)},
        {"randomState", Json(w.randomState).dump()},
        {"predatorSizeRequest", Json(w.predatorSizeRequest).dump()},
        {"preySizeRequest", Json(w.preySizeRequest).dump()},
        {"probeSpreadEBits", Json(bitsOf(w.probeSpreadE)).dump()},
        {"probeSpreadMBits", Json(bitsOf(w.probeSpreadM)).dump()},
        {"events", eventsJson(w.events).dump()},
        {"eventsAtLastLogRow", eventsJson(s.eventsAtLastLogRow).dump()},
        {"logWritten", Json(s.logWritten).dump()},
        {"predatorRanks", Json(w.predatorRanks).dump()},
        {"preyRanks", Json(w.preyRanks).dump()},
        {"agentFields", agentFieldNames().dump()},
        {"predators", listLines(predators)},
        {"prey", listLines(prey)},
        {"runsDropped", Json(s.runsDropped).dump()},
        {"runs", listLines(runs)},
    };
    std::string text = "{\n";
    for (std::size_t i = 0; i < keys.size(); ++i)
        text += "  " + Json(keys[i].first).dump() + ": " + keys[i].second +
                (i + 1 < keys.size() ? ",\n" : "\n");
    return text + "}\n";
}

std::optional<Sidecar> decodeSidecar(const std::string& text, const WorldState& world,
                                     std::string& why) {
    if (text.size() > kSidecarMaxBytes) {
        why = "it is " + std::to_string(text.size()) + " bytes long, more than the " +
              std::to_string(kSidecarMaxBytes) + " a sidecar may hold";
        return std::nullopt;
    }
    // The file, its runs, a run, its changes, a change.
    if (nestedTooDeep(text, 5)) {
        why = "it nests lists or objects deeper than a sidecar does";
        return std::nullopt;
    }
    try {
        const Json j = parseJson(text);
        if (!j.is_object() || !j.contains("format") || j["format"] != kSidecarFormat) {
            why = "it is not a sidecar of format \"" + std::string(kSidecarFormat) + "\"";
            return std::nullopt;
        }
        Sidecar s;
        s.version = textField(member(j, "version"), "version");
        s.tick = whole(member(j, "tick"), "tick", -kCounterLimit, kCounterLimit);
        const Json& crc = member(j, "genomeCrc32");
        const std::string checksum = crc.is_string() ? crc.get<std::string>() : "";
        if (checksum.size() != 8 ||
            checksum.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            refuse("genomeCrc32 is not 8 hexadecimal digits");
        s.genomeChecksum = std::uint32_t(std::stoul(checksum, nullptr, 16));
        s.seed = bits(member(j, "seed"), "seed");
        if (j.contains("settings")) s.settings = readSettings(j["settings"]);

        s.world = world;
        WorldState& w = s.world;
        w.randomState = bits(member(j, "randomState"), "randomState");
        w.predatorSizeRequest =
            std::int32_t(whole(member(j, "predatorSizeRequest"), "predatorSizeRequest", -1, 1));
        w.preySizeRequest =
            std::int32_t(whole(member(j, "preySizeRequest"), "preySizeRequest", -1, 1));
        w.probeSpreadE = floatOf(bits(member(j, "probeSpreadEBits"), "probeSpreadEBits"));
        w.probeSpreadM = floatOf(bits(member(j, "probeSpreadMBits"), "probeSpreadMBits"));
        w.events = readEvents(member(j, "events"), "events");
        s.eventsAtLastLogRow =
            readEvents(member(j, "eventsAtLastLogRow"), "eventsAtLastLogRow", &w.events);
        const Json& logWritten = member(j, "logWritten");
        if (!logWritten.is_boolean()) refuse("logWritten is not true or false");
        s.logWritten = logWritten.get<bool>();
        readRanks(member(j, "predatorRanks"), w.predatorRanks, "predatorRanks");
        readRanks(member(j, "preyRanks"), w.preyRanks, "preyRanks");
        if (member(j, "agentFields") != agentFieldNames())
            refuse("agentFields are not the Agent fields of this program");
        const Json& predators = member(j, "predators");
        const Json& prey = member(j, "prey");
        if (!predators.is_array() || predators.size() != w.predators.size())
            refuse("predators does not hold " + std::to_string(w.predators.size()) + " rows");
        if (!prey.is_array() || prey.size() != w.prey.size())
            refuse("prey does not hold " + std::to_string(w.prey.size()) + " rows");
        for (std::size_t i = 0; i < w.predators.size(); ++i)
            readAgentRow(predators[i], w.predators[i], "predators", long(i));
        for (std::size_t i = 0; i < w.prey.size(); ++i)
            readAgentRow(prey[i], w.prey[i], "prey", long(i));

        // The runs are a record, not state: an older file's longer list is cut to the last
        // kSidecarMaxRuns, as the next save would.
        if (j.contains("runsDropped"))
            s.runsDropped = whole(j["runsDropped"], "runsDropped", 0, kCounterLimit);
        const Json& runs = member(j, "runs");
        if (!runs.is_array()) refuse("runs is not a list");
        for (std::size_t k = 0; k < runs.size(); ++k) {
            const Json& r = runs[k];
            const Name name("runs", long(k));
            if (!r.is_object()) refuse(name + " is not an object");
            RunRecord run;
            run.program = textField(member(r, "program"), Name("runs", long(k), "program"));
            run.startTick = whole(member(r, "startTick"), Name("runs", long(k), "startTick"),
                                  -kCounterLimit, kCounterLimit);
            run.endTick = whole(member(r, "endTick"), Name("runs", long(k), "endTick"),
                                run.startTick, s.tick);
            run.started = textField(member(r, "started"), Name("runs", long(k), "started"));
            run.ended = textField(member(r, "ended"), Name("runs", long(k), "ended"));
            run.arguments = textField(member(r, "arguments"), Name("runs", long(k), "arguments"));
            if (r.contains("changes")) run.changes = readChanges(r["changes"], run, long(k));
            recordRun(s.runs, s.runsDropped, std::move(run));
        }
        return s;
    } catch (const std::exception& error) {
        why = error.what();
        return std::nullopt;
    }
}

void recordRun(std::vector<RunRecord>& runs, std::int64_t& dropped, RunRecord run) {
    for (std::string* t : {&run.program, &run.started, &run.ended, &run.arguments})
        if (t->size() > kRunTextMaxBytes) {
            std::size_t cut = kRunTextMaxBytes;
            // Not inside a UTF-8 sequence.
            while (cut > 0 && (static_cast<unsigned char>((*t)[cut]) & 0xC0) == 0x80) --cut;
            t->resize(cut);
            *t += "...";
        }
    if (runs.size() >= kSidecarMaxRuns) {
        runs.erase(runs.begin(), runs.begin() + std::ptrdiff_t(runs.size() - kSidecarMaxRuns + 1));
        dropped = std::min(dropped + 1, kCounterLimit);
    }
    runs.push_back(std::move(run));
}

namespace {

std::string checkPopulation(const char* kind, const Agent* agents, const std::int32_t* ranks,
                            int capacity, int count, std::int32_t request, const Arena& arena) {
    const std::string name = kind;
    for (int p = 0; p < capacity; ++p) {
        const int slot = ranks[p];
        const std::string at = name + "Ranks[" + std::to_string(p) + "]";
        if (p < count && slot >= count)
            return at + " holds slot " + std::to_string(slot) + ", which is not in use (count " +
                   std::to_string(count) + ")";
        if (p < count && agents[slot].rank != p)
            return name + "[" + std::to_string(slot) + "].rank is " +
                   std::to_string(agents[slot].rank) + " but the slot stands at position " +
                   std::to_string(p);
        if (p >= count && slot != p)
            return at + " holds slot " + std::to_string(slot) + " beyond the count " +
                   std::to_string(count) + ", not slot " + std::to_string(p);
    }
    const std::string requestName = name + "SizeRequest";
    if (request == +1 && count >= capacity)
        return requestName + " adds an Agent to a full population";
    if (request == +1 && !agents[count].dead)
        return requestName + " adds slot " + std::to_string(count) + ", which is not marked dead";
    if (request == -1 && count <= 1) return requestName + " removes the last Agent";
    // Positions stay within twice the arena: a move that ends outside marks its Agent dead,
    // and a dead Agent keeps the position of its last begin-tick.
    const auto inside = [&](float x, float y) {  // false for anything not a number
        return x >= 2 * arena.xMin && x <= 2 * arena.xMax && y >= 2 * arena.yMin &&
               y <= 2 * arena.yMax;
    };
    for (int i = 0; i < capacity; ++i) {
        const Agent& a = agents[i];
        const std::string at = name + "[" + std::to_string(i) + "]";
        if (!inside(a.x, a.y)) return at + " stands outside the doubled arena or not at a number";
        if (i >= count || a.dead) continue;
        if (!inside(a.nextX, a.nextY)) return at + " moves outside the doubled arena but is alive";
        for (float v :
             {a.vx, a.vy, a.nextVx, a.nextVy, a.heading, a.prevHeading, a.energy, a.contactTime})
            if (!std::isfinite(v))
                return at + " is alive with a motion or energy that is not finite";
    }
    return {};
}

}  // namespace

std::string checkSidecarWorld(const WorldState& w, int predatorCount, int preyCount,
                              const Arena& arena) {
    std::string failure =
        checkPopulation("predator", w.predators.data(), w.predatorRanks.data(), kMaxPredators,
                        predatorCount, w.predatorSizeRequest, arena);
    if (failure.empty())
        failure = checkPopulation("prey", w.prey.data(), w.preyRanks.data(), kMaxPrey, preyCount,
                                  w.preySizeRequest, arena);
    return failure;
}

std::string textForJson(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = utf8Length(bytes, i);
        if (n == 1 && bytes[i] == '\\') {
            out += "\\\\";
        } else if (n > 0) {
            out.append(bytes, i, n);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(bytes[i]));
            out += escaped;
            i += 1;
            continue;
        }
        i += n;
    }
    return out;
}

std::string textFromJson(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            i += 1;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   hex(text[i + 2]) >= 0 && hex(text[i + 3]) >= 0) {
            out += char(hex(text[i + 2]) * 16 + hex(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> readTextFile(const std::filesystem::path& path, std::string& why,
                                        std::size_t maxBytes) {
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    if (type == std::filesystem::file_type::not_found) {
        why = "there is none";
        return std::nullopt;
    }
    if (type != std::filesystem::file_type::regular) {
        why = "it is not a regular file";
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > maxBytes) {
        why = "it is " + std::to_string(size) + " bytes long, more than the " +
              std::to_string(maxBytes) + " it may hold";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        why = "read error";
        return std::nullopt;
    }
    return text;
}

bool writeFileAtomically(const std::filesystem::path& path, const std::string& content,
                         std::string& why) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += std::size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    std::error_code error;
    if (!ok) {
        why = std::strerror(savedErrno ? savedErrno : EIO);
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        why = error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace kav
