#include "io/sidecar.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

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
};
struct LongField {
    const char* name;
    std::int64_t Agent::*member;
};
struct FlagField {
    const char* name;
    std::uint8_t Agent::*member;
};
struct FloatField {
    const char* name;
    float Agent::*member;
};
constexpr std::array kIntFields{IntField{"rank", &Agent::rank},
                                IntField{"ticksSinceCatch", &Agent::ticksSinceCatch},
                                IntField{"digestTimer", &Agent::digestTimer}};
constexpr std::array kLongFields{LongField{"generation", &Agent::generation},
                                 LongField{"age", &Agent::age},
                                 LongField{"catches", &Agent::catches}};
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

void readAgentRow(const Json& row, Agent& a) {
    if (!row.is_array() || row.size() != kAgentFieldCount)
        throw std::runtime_error("an Agent row has " + std::to_string(row.size()) +
                                 " values, not " + std::to_string(kAgentFieldCount));
    std::size_t i = 0;
    for (const auto& f : kIntFields) a.*f.member = row.at(i++).get<std::int32_t>();
    for (const auto& f : kLongFields) a.*f.member = row.at(i++).get<std::int64_t>();
    for (const auto& f : kFlagFields) a.*f.member = row.at(i++).get<std::uint8_t>();
    for (const auto& f : kFloatFields) a.*f.member = floatOf(row.at(i++).get<std::uint32_t>());
}

Json eventsJson(const EventCounts& e) {
    return Json{{"captures", e.captures},
                {"predatorBirths", e.predatorBirths},
                {"preyBirths", e.preyBirths},
                {"starvations", e.starvations},
                {"predatorDeaths", e.predatorDeaths},
                {"preyDeaths", e.preyDeaths}};
}

EventCounts readEvents(const Json& j) {
    EventCounts e;
    e.captures = j.at("captures").get<std::int64_t>();
    e.predatorBirths = j.at("predatorBirths").get<std::int64_t>();
    e.preyBirths = j.at("preyBirths").get<std::int64_t>();
    e.starvations = j.at("starvations").get<std::int64_t>();
    e.predatorDeaths = j.at("predatorDeaths").get<std::int64_t>();
    e.preyDeaths = j.at("preyDeaths").get<std::int64_t>();
    return e;
}

template <typename Ranks>
void readRanks(const Json& j, Ranks& ranks, const char* name) {
    if (!j.is_array() || j.size() != ranks.size())
        throw std::runtime_error(std::string(name) + " does not list " +
                                 std::to_string(ranks.size()) + " slots");
    for (std::size_t k = 0; k < ranks.size(); ++k) {
        ranks[k] = j[k].get<std::int32_t>();
        if (ranks[k] < 0 || ranks[k] >= std::int32_t(ranks.size()))
            throw std::runtime_error(std::string(name) + " holds slot " + std::to_string(ranks[k]));
    }
}

// A list written one element per line, indented under its key.
std::string listLines(const std::vector<Json>& items) {
    if (items.empty()) return "[]";
    std::string text = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i)
        text += "    " + items[i].dump() + (i + 1 < items.size() ? ",\n" : "\n");
    return text + "  ]";
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
    for (const RunRecord& r : s.runs)
        runs.push_back(Json{{"program", r.program},
                            {"startTick", r.startTick},
                            {"endTick", r.endTick},
                            {"started", r.started},
                            {"ended", r.ended},
                            {"arguments", r.arguments}});
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08x", s.genomeChecksum);

    std::vector<std::pair<std::string, std::string>> keys = {
        {"format", Json(kSidecarFormat).dump()},
        {"version", Json(s.version).dump()},
        {"tick", Json(s.tick).dump()},
        {"genomeCrc32", Json(checksum).dump()},
        {"seed", Json(s.seed).dump()},
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
    try {
        const Json j = Json::parse(text);
        if (!j.is_object() || j.value("format", "") != kSidecarFormat) {
            why = "it is not a sidecar of format \"" + std::string(kSidecarFormat) + "\"";
            return std::nullopt;
        }
        Sidecar s;
        s.version = j.at("version").get<std::string>();
        s.tick = j.at("tick").get<std::int64_t>();
        const std::string checksum = j.at("genomeCrc32").get<std::string>();
        std::size_t used = 0;
        const unsigned long value = std::stoul(checksum, &used, 16);
        if (used != checksum.size() || checksum.size() != 8 || value > 0xFFFFFFFFul)
            throw std::runtime_error("genomeCrc32 is not 8 hexadecimal digits");
        s.genomeChecksum = std::uint32_t(value);
        s.seed = j.at("seed").get<std::uint32_t>();

        s.world = world;
        WorldState& w = s.world;
        w.randomState = j.at("randomState").get<std::uint32_t>();
        w.predatorSizeRequest = j.at("predatorSizeRequest").get<std::int32_t>();
        w.preySizeRequest = j.at("preySizeRequest").get<std::int32_t>();
        w.probeSpreadE = floatOf(j.at("probeSpreadEBits").get<std::uint32_t>());
        w.probeSpreadM = floatOf(j.at("probeSpreadMBits").get<std::uint32_t>());
        w.events = readEvents(j.at("events"));
        s.eventsAtLastLogRow = readEvents(j.at("eventsAtLastLogRow"));
        s.logWritten = j.at("logWritten").get<bool>();
        readRanks(j.at("predatorRanks"), w.predatorRanks, "predatorRanks");
        readRanks(j.at("preyRanks"), w.preyRanks, "preyRanks");
        if (j.at("agentFields") != agentFieldNames())
            throw std::runtime_error("its Agent fields are not those of this program");
        const Json& predators = j.at("predators");
        const Json& prey = j.at("prey");
        if (predators.size() != w.predators.size() || prey.size() != w.prey.size())
            throw std::runtime_error("it does not hold every Agent slot");
        for (std::size_t i = 0; i < w.predators.size(); ++i)
            readAgentRow(predators[i], w.predators[i]);
        for (std::size_t i = 0; i < w.prey.size(); ++i) readAgentRow(prey[i], w.prey[i]);
        for (const Json& r : j.at("runs"))
            s.runs.push_back(
                RunRecord{r.at("program").get<std::string>(), r.at("startTick").get<std::int64_t>(),
                          r.at("endTick").get<std::int64_t>(), r.at("started").get<std::string>(),
                          r.at("ended").get<std::string>(), r.at("arguments").get<std::string>()});
        return s;
    } catch (const std::exception& error) {
        why = error.what();
        return std::nullopt;
    }
}

std::optional<std::string> readTextFile(const std::filesystem::path& path, std::string& why) {
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
