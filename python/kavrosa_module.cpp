// The Python module kavrosa: the C++ world, stepped as the programs step it, with its state
// as NumPy arrays. Every array handed out is a fresh copy, so no later step, copy or
// deletion of a World can leave Python holding a pointer into it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "evo/evaluation.h"
#include "io/run_folder.h"
#include "io/sidecar.h"
#include "io/snapshots.h"
#include "io/time_series_log.h"
#include "python/table_file.h"
#include "python/world_folder.h"
#include "sim/model_parameters.h"

namespace py = pybind11;
using kav::py::SessionWorld;

namespace {

constexpr int kSlots = kav::kMaxPredators + kav::kMaxPrey;

// Takes the world's mutex without holding the GIL while waiting, so that a thread stepping
// the world (without the GIL) can finish.
std::unique_lock<std::mutex> lockWorld(SessionWorld& w) {
    std::unique_lock<std::mutex> lock(w.mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        py::gil_scoped_release release;
        lock.lock();
    }
    return lock;
}

void warn(const std::string& text) {
    py::module_::import("warnings")
        .attr("warn")(text, py::module_::import("builtins").attr("UserWarning"), 2);
}

[[noreturn]] void raiseFolderError(const kav::py::FolderResult& result) {
    using kav::py::FolderError;
    switch (result.error) {
        case FolderError::notFound:
            PyErr_SetString(PyExc_FileNotFoundError, result.message.c_str());
            break;
        case FolderError::corrupt:
            PyErr_SetString(PyExc_ValueError, result.message.c_str());
            break;
        case FolderError::inUse:
        case FolderError::io:
        case FolderError::none:
            PyErr_SetString(PyExc_OSError, result.message.c_str());
            break;
    }
    throw py::error_already_set();
}

// A parameter's value as setParameter reads it: the shortest text that gives the float back.
std::string parameterText(const std::string& name, const py::handle& value) {
    if (py::isinstance<py::bool_>(value))
        throw py::type_error("parameter " + name + ": a number is wanted, not a bool");
    if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))
        return py::str(py::repr(value));
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    // NumPy scalars and anything else with a float value.
    if (py::hasattr(value, "__float__"))
        return py::str(py::repr(py::float_(value.attr("__float__")())));
    throw py::type_error("parameter " + name + ": a number is wanted, not " +
                         std::string(py::str(value.get_type().attr("__name__"))));
}

kav::ModelSettings settingsFrom(const py::dict& params) {
    kav::ModelSettings settings;
    for (const auto& [key, value] : params) {
        if (!py::isinstance<py::str>(key))
            throw py::type_error("parameter names are strings, such as \"predator.radius\"");
        const std::string name = key.cast<std::string>();
        const std::string problem = kav::setParameter(settings, name, parameterText(name, value));
        if (!problem.empty()) throw py::value_error(problem);
    }
    const std::string problem = kav::checkSettings(settings);
    if (!problem.empty()) throw py::value_error(problem);
    return settings;
}

py::dict paramsOf(const kav::ModelSettings& settings) {
    py::dict out;
    for (const kav::ModelParameter& p : kav::modelParameters()) {
        const double value = p.get(settings);
        if (p.integer) out[p.name] = py::int_(static_cast<long long>(value));
        // The shortest decimal that reads back to the stored float: 0.02, not 0.0199999995.
        else out[p.name] = py::float_(std::stod(kav::formatParameterValue(p, value)));
    }
    return out;
}

template <typename T>
py::array_t<T> newArray(std::vector<py::ssize_t> shape) {
    return py::array_t<T>(shape);
}

// The 16 columns of agents(), one row per slot: Predator slots then Prey slots.
py::dict agentsOf(const SessionWorld& w) {
    const kav::World& world = w.world();
    py::list kinds;
    auto slot = newArray<std::int32_t>({kSlots});
    auto inUse = newArray<bool>({kSlots});
    auto rank = newArray<std::int32_t>({kSlots});
    auto generation = newArray<std::int64_t>({kSlots});
    auto age = newArray<std::int64_t>({kSlots});
    auto x = newArray<float>({kSlots}), y = newArray<float>({kSlots});
    auto vx = newArray<float>({kSlots}), vy = newArray<float>({kSlots});
    auto heading = newArray<float>({kSlots}), energy = newArray<float>({kSlots});
    auto catches = newArray<std::int64_t>({kSlots});
    auto sinceCatch = newArray<std::int32_t>({kSlots});
    auto captured = newArray<bool>({kSlots}), dead = newArray<bool>({kSlots});
    for (int i = 0; i < kSlots; ++i) {
        const bool predator = i < kav::kMaxPredators;
        const int s = predator ? i : i - kav::kMaxPredators;
        const kav::Agent& a = predator ? world.predators[s] : world.prey[s];
        kinds.append(py::str(predator ? "predator" : "prey"));
        slot.mutable_at(i) = s;
        inUse.mutable_at(i) = s < (predator ? world.predatorCount : world.preyCount);
        rank.mutable_at(i) = a.rank;
        generation.mutable_at(i) = a.generation;
        age.mutable_at(i) = a.age;
        x.mutable_at(i) = a.nextX;
        y.mutable_at(i) = a.nextY;
        vx.mutable_at(i) = a.vx;
        vy.mutable_at(i) = a.vy;
        heading.mutable_at(i) = a.heading;
        energy.mutable_at(i) = a.energy;
        catches.mutable_at(i) = a.catches;
        sinceCatch.mutable_at(i) = a.ticksSinceCatch;
        captured.mutable_at(i) = a.captured != 0;
        dead.mutable_at(i) = a.dead != 0;
    }
    py::dict out;
    out["kind"] = py::module_::import("numpy").attr("array")(kinds, "U8");
    out["slot"] = slot;
    out["in_use"] = inUse;
    out["rank"] = rank;
    out["generation"] = generation;
    out["age"] = age;
    out["x"] = x;
    out["y"] = y;
    out["vx"] = vx;
    out["vy"] = vy;
    out["heading"] = heading;
    out["energy"] = energy;
    out["catches"] = catches;
    out["ticks_since_catch"] = sinceCatch;
    out["captured"] = captured;
    out["dead"] = dead;
    return out;
}

std::vector<std::string> logColumns() {
    std::vector<std::string> columns;
    const std::string header = kav::logHeader();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = header.find(',', start);
        columns.push_back(header.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return columns;
}

// The report with the log's columns and values; the events since the report before it.
py::dict reportOf(const SessionWorld& w) {
    const kav::TickReport& r = w.lastReport;
    const kav::EventCounts& e = r.events;
    const kav::EventCounts& b = w.eventsBeforeLastReport;
    const std::vector<py::object> values = {
        py::int_(r.tick),
        py::int_(r.predators.count),
        py::int_(r.prey.count),
        py::int_(e.captures - b.captures),
        py::int_(e.predatorBirths - b.predatorBirths),
        py::int_(e.preyBirths - b.preyBirths),
        py::int_(e.starvations - b.starvations),
        py::int_(e.predatorDeaths - b.predatorDeaths),
        py::int_(e.preyDeaths - b.preyDeaths),
        py::float_(r.predators.meanGeneration),
        py::int_(r.predators.maxGeneration),
        py::float_(r.predators.meanEnergy),
        py::float_(r.prey.meanGeneration),
        py::int_(r.prey.maxGeneration),
        py::float_(r.prey.meanEnergy),
        py::float_(r.clonalRankPct),
        py::float_(r.sexualRankPct),
        py::float_(r.probeE.meanX),
        py::float_(r.probeE.meanY),
        py::float_(r.probeE.spread),
        py::float_(r.probeE.spreadChange),
        py::float_(r.probeM.meanX),
        py::float_(r.probeM.meanY),
        py::float_(r.probeM.spread),
        py::float_(r.probeM.spreadChange),
    };
    const std::vector<std::string> columns = logColumns();
    if (columns.size() != values.size())
        throw std::logic_error("the report has " + std::to_string(values.size()) +
                               " values for the log's " + std::to_string(columns.size()) +
                               " columns");
    py::dict out;
    for (std::size_t i = 0; i < columns.size(); ++i) out[py::str(columns[i])] = values[i];
    return out;
}

// Which columns of the log are whole numbers (the rest are written as decimals).
bool integerColumn(const std::string& name) {
    return name == "tick" || name == "predators" || name == "prey" || name == "captures" ||
           name.find("Births") != std::string::npos || name == "starvations" ||
           name.find("Deaths") != std::string::npos ||
           name.find("MaxGeneration") != std::string::npos;
}

py::dict readLog(const std::filesystem::path& path) {
    std::string why;
    const std::optional<std::string> text = kav::readTextFile(path, why);
    if (!text) {
        PyErr_SetString(PyExc_OSError, ("cannot read " + path.string() + ": " + why).c_str());
        throw py::error_already_set();
    }
    const kav::LogContents log = kav::parseLog(*text);
    if (!log.hasHeader)
        throw py::value_error(path.string() +
                              (log.foreignHeader
                                   ? ": its first line is not the header of a Kavrosa log"
                                   : ": no header line (an empty or torn file)"));
    const std::size_t wholeEnd = log.rowEnds.empty() ? log.headerEnd : log.rowEnds.back();
    if (wholeEnd < text->size()) {
        const std::size_t lineBreak = text->find('\n', wholeEnd);
        const std::size_t line = log.ticks.size() + 2;
        if (lineBreak != std::string::npos)
            throw py::value_error(
                path.string() + ": line " + std::to_string(line) + " is not a row of the log (" +
                std::to_string(kav::logColumnCount()) + " values, ticks ascending)");
        warn(path.string() +
             ": its last line is torn (a program may be writing it); it is left out");
    }

    const std::vector<std::string> columns = logColumns();
    const auto rows = static_cast<py::ssize_t>(log.ticks.size());
    std::vector<py::array_t<std::int64_t>> ints;
    std::vector<py::array_t<double>> reals;
    std::vector<int> where;  // index into ints (>= 0) or reals (-1 - index)
    for (const std::string& c : columns) {
        if (integerColumn(c)) {
            where.push_back(int(ints.size()));
            ints.emplace_back(rows);
        } else {
            where.push_back(-1 - int(reals.size()));
            reals.emplace_back(rows);
        }
    }
    std::size_t start = log.headerEnd;
    for (py::ssize_t row = 0; row < rows; ++row) {
        const char* p = text->data() + start;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            char* end = nullptr;
            errno = 0;
            if (where[c] >= 0) {
                ints[std::size_t(where[c])].mutable_at(row) = std::strtoll(p, &end, 10);
            } else {
                // The floats of the report are written with the digits that give them back.
                const double value = std::strtod(p, &end);
                reals[std::size_t(-1 - where[c])].mutable_at(row) = value;
            }
            if (end == p || (*end != ',' && *end != '\n') || errno == ERANGE)
                throw py::value_error(path.string() + ": line " + std::to_string(row + 2) +
                                      ", column " + columns[c] + ": not a number");
            p = end + 1;
        }
        start = log.rowEnds[std::size_t(row)];
    }
    py::dict out;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (where[c] >= 0) out[py::str(columns[c])] = ints[std::size_t(where[c])];
        else out[py::str(columns[c])] = reals[std::size_t(-1 - where[c])];
    }
    return out;
}

py::array_t<float> checkedGenome(const py::handle& genome) {
    if (!py::isinstance<py::array>(genome))
        throw py::type_error("a Genome is a NumPy array of 63 float32 values, not " +
                             std::string(py::str(genome.get_type().attr("__name__"))));
    const auto array = py::reinterpret_borrow<py::array>(genome);
    if (!array.dtype().is(py::dtype::of<float>()))
        throw py::type_error("a Genome's dtype is float32, not " +
                             std::string(py::str(array.dtype())) +
                             " (convert with .astype(numpy.float32))");
    if (array.ndim() != 1 || array.shape(0) != kav::kGenomeSize) {
        std::string shape = "(";
        for (py::ssize_t d = 0; d < array.ndim(); ++d)
            shape += (d ? ", " : "") + std::to_string(array.shape(d));
        throw py::value_error("a Genome has shape (63,), not " + shape +
                              (array.ndim() == 1 ? ",)" : ")"));
    }
    return py::array_t<float>::ensure(array);
}

std::string shapeText(const py::array& array) {
    std::string shape = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d)
        shape += (d ? ", " : "") + std::to_string(array.shape(d));
    return shape + (array.ndim() == 1 ? ",)" : ")");
}

// One side of an evaluation: the Genomes in use, the snapshot's tick that goes into the
// worlds' seeds, and the model the side evolved in when it comes from a World.
struct Side {
    std::vector<kav::Genome> genomes;
    std::int64_t tick = 0;
    std::optional<kav::ModelSettings> settings;
};

Side sideOf(const py::handle& from, const char* name, int limit, bool predators) {
    Side side;
    if (py::isinstance<SessionWorld>(from)) {
        SessionWorld& w = from.cast<SessionWorld&>();
        auto lock = lockWorld(w);
        const kav::World& world = w.world();
        const int count = predators ? world.predatorCount : world.preyCount;
        const kav::Genome* genomes =
            predators ? world.predatorGenomes.data() : world.preyGenomes.data();
        side.genomes.assign(genomes, genomes + count);
        side.tick = world.tick;
        side.settings = world.settings;
        return side;
    }
    if (py::isinstance<py::dict>(from)) {
        // A snapshot of read_archive: its Genomes, its tick and its run's model.
        const auto snapshot = py::reinterpret_borrow<py::dict>(from);
        for (const char* key : {predators ? "predators" : "prey", "tick", "params"})
            if (!snapshot.contains(key))
                throw py::value_error(std::string(name) +
                                      ": a snapshot (from read_archive) has \"" + key +
                                      "\"; this dict has not");
        side = sideOf(snapshot[predators ? "predators" : "prey"], name, limit, predators);
        side.tick = snapshot["tick"].cast<std::int64_t>();
        side.settings = settingsFrom(snapshot["params"].cast<py::dict>());
        return side;
    }
    if (!py::isinstance<py::array>(from))
        throw py::type_error(
            std::string(name) +
            ": a World, a snapshot or a float32 NumPy array of shape (n, 63), not " +
            std::string(py::str(from.get_type().attr("__name__"))));
    const auto array = py::reinterpret_borrow<py::array>(from);
    if (!array.dtype().is(py::dtype::of<float>()))
        throw py::type_error(std::string(name) + ": the dtype is float32, not " +
                             std::string(py::str(array.dtype())) +
                             " (convert with .astype(numpy.float32))");
    if (array.ndim() != 2 || array.shape(1) != kav::kGenomeSize || array.shape(0) < 1 ||
        array.shape(0) > limit)
        throw py::value_error(std::string(name) + ": the shape is (n, 63) with 1 <= n <= " +
                              std::to_string(limit) + ", not " + shapeText(array));
    const auto weights = py::array_t<float, py::array::c_style>::ensure(array);
    const auto rows = weights.unchecked<2>();
    side.genomes.resize(std::size_t(rows.shape(0)));
    for (py::ssize_t i = 0; i < rows.shape(0); ++i)
        for (py::ssize_t k = 0; k < kav::kGenomeSize; ++k) {
            const float value = rows(i, k);
            if (!std::isfinite(value))
                throw py::value_error(std::string(name) + ": row " + std::to_string(i) +
                                      ", weight " + std::to_string(k) + " is " +
                                      std::string(py::str(py::float_(value))) +
                                      ": the Genomes must be finite");
            side.genomes[std::size_t(i)][std::size_t(k)] = value;
        }
    return side;
}

std::int64_t checkedRange(const char* name, std::int64_t value, std::int64_t low,
                          std::int64_t high) {
    if (value < low || value > high)
        throw py::value_error(std::string(name) + " " + std::to_string(value) + " is outside " +
                              std::to_string(low) + "-" + std::to_string(high));
    return value;
}

// The scores of `worlds` evaluation worlds, computed as kavrosa-tournament computes a cell's,
// on `threads` threads; the caller has released the GIL.
std::vector<kav::EvaluationScore> evaluateWorlds(const kav::ModelSettings& settings,
                                                 const Side& hunters, const Side& hunted,
                                                 std::uint32_t baseSeed, std::int64_t ticks,
                                                 int worlds, int threads) {
    std::vector<kav::EvaluationScore> scores(static_cast<std::size_t>(worlds));
    const kav::Contestant predators{hunters.genomes.data(), int(hunters.genomes.size())};
    const kav::Contestant prey{hunted.genomes.data(), int(hunted.genomes.size())};
    std::atomic<int> next{0};
    auto work = [&] {
        auto step = std::make_unique<kav::Stepper>();
        for (int k = next++; k < worlds; k = next++) {
            const std::uint32_t seed = kav::evaluationSeed(baseSeed, hunters.tick, hunted.tick, k);
            scores[std::size_t(k)] =
                kav::evaluateWorld(settings, predators, prey, seed, ticks, *step);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::min(threads, worlds); ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    return scores;
}

// The columns of kavrosa-tournament's long table, a row per world.
py::dict scoreColumns(const std::vector<kav::EvaluationScore>& scores, std::int64_t predatorTick,
                      std::int64_t preyTick) {
    const auto n = py::ssize_t(scores.size());
    const char* wholeNames[] = {"predatorTick", "preyTick",       "world",          "ticks",
                                "captures",     "starvations",    "predatorDeaths", "preyDeaths",
                                "preyEnds",     "preyLifetimeSum"};
    const char* realNames[] = {"capturesPer1000", "starvationsPer1000", "meanPreyLifetime"};
    std::vector<py::array_t<std::int64_t>> whole;
    std::vector<py::array_t<double>> real;
    for (std::size_t c = 0; c < std::size(wholeNames); ++c) whole.emplace_back(n);
    for (std::size_t c = 0; c < std::size(realNames); ++c) real.emplace_back(n);
    for (py::ssize_t k = 0; k < n; ++k) {
        const kav::EvaluationScore& s = scores[std::size_t(k)];
        const std::int64_t values[] = {
            predatorTick,     preyTick,     k,          s.ticks,          s.captures, s.starvations,
            s.predatorDeaths, s.preyDeaths, s.preyEnds, s.preyLifetimeSum};
        for (std::size_t c = 0; c < std::size(values); ++c) whole[c].mutable_at(k) = values[c];
        real[0].mutable_at(k) = s.capturesPer1000();
        real[1].mutable_at(k) = s.starvationsPer1000();
        real[2].mutable_at(k) = s.meanPreyLifetime();
    }
    py::dict out;
    for (std::size_t c = 0; c < std::size(wholeNames); ++c) out[wholeNames[c]] = whole[c];
    for (std::size_t c = 0; c < std::size(realNames); ++c) out[realNames[c]] = real[c];
    return out;
}

py::dict evaluate(const py::handle& predatorsFrom, const py::handle& preyFrom, std::int64_t ticks,
                  std::int64_t worlds, std::int64_t seed, std::optional<py::dict> params,
                  std::optional<std::int64_t> predatorTick, std::optional<std::int64_t> preyTick,
                  std::int64_t threads) {
    checkedRange("ticks", ticks, 1, 100000000);
    checkedRange("worlds", worlds, 1, 1000);
    checkedRange("seed", seed, 0, 0xFFFFFFFFll);
    checkedRange("threads", threads, 1, 256);
    Side hunters = sideOf(predatorsFrom, "predators", kav::kMaxPredators, true);
    Side hunted = sideOf(preyFrom, "prey", kav::kMaxPrey, false);
    if (predatorTick) hunters.tick = checkedRange("predator_tick", *predatorTick, 0, INT64_MAX);
    if (preyTick) hunted.tick = checkedRange("prey_tick", *preyTick, 0, INT64_MAX);
    // As the tournament: the model the Predators evolved in, the parameters given over it.
    kav::ModelSettings settings = hunters.settings.value_or(kav::ModelSettings{});
    for (const auto& [key, value] : params.value_or(py::dict())) {
        if (!py::isinstance<py::str>(key))
            throw py::type_error("parameter names are strings, such as \"predator.radius\"");
        const std::string name = key.cast<std::string>();
        const std::string problem = kav::setParameter(settings, name, parameterText(name, value));
        if (!problem.empty()) throw py::value_error(problem);
    }
    const std::string problem = kav::checkSettings(settings);
    if (!problem.empty()) throw py::value_error(problem);
    std::vector<kav::EvaluationScore> scores;
    {
        py::gil_scoped_release release;
        scores = evaluateWorlds(settings, hunters, hunted, std::uint32_t(seed), ticks, int(worlds),
                                int(threads));
    }
    return scoreColumns(scores, hunters.tick, hunted.tick);
}

py::list readArchiveOf(const std::filesystem::path& folder) {
    std::string why;
    std::optional<std::vector<kav::Snapshot>> snapshots;
    {
        py::gil_scoped_release release;
        snapshots = kav::readArchive(folder / kav::kArchiveFolderName, why);
    }
    if (!snapshots) throw py::value_error(why);
    const std::optional<kav::ModelSettings> settings = kav::settingsOfRun(folder, why);
    if (!settings) throw py::value_error((folder / kav::kSidecarFileName).string() + ": " + why);
    py::list out;
    for (const kav::Snapshot& s : *snapshots) {
        const kav::SavedEvolution& e = s.evolution;
        py::array_t<float> predators({py::ssize_t(e.predatorCount), py::ssize_t(kav::kGenomeSize)});
        py::array_t<float> prey({py::ssize_t(e.preyCount), py::ssize_t(kav::kGenomeSize)});
        float* to = predators.mutable_data();
        for (int i = 0; i < e.predatorCount; ++i)
            to = std::copy(e.predatorGenomes[i].begin(), e.predatorGenomes[i].end(), to);
        to = prey.mutable_data();
        for (int i = 0; i < e.preyCount; ++i)
            to = std::copy(e.preyGenomes[i].begin(), e.preyGenomes[i].end(), to);
        py::dict snapshot;
        snapshot["tick"] = e.tick;
        snapshot["path"] = s.path;
        snapshot["predators"] = predators;
        snapshot["prey"] = prey;
        snapshot["params"] = paramsOf(*settings);
        out.append(snapshot);
    }
    return out;
}

// A column of a table with the narrowest type that holds every cell: int64 when each is a
// whole number, float64 when each is a number or empty (NaN), otherwise str objects.
py::object typedColumn(const std::vector<std::string>& cells) {
    const auto n = py::ssize_t(cells.size());
    bool whole = !cells.empty(), number = true;
    for (const std::string& cell : cells) {
        char* end = nullptr;
        errno = 0;
        if (whole) {
            std::strtoll(cell.c_str(), &end, 10);
            whole = !cell.empty() && *end == '\0' && errno != ERANGE;
        }
        if (!whole && !cell.empty()) {
            std::strtod(cell.c_str(), &end);
            number = end != cell.c_str() && *end == '\0';
            if (!number) break;
        }
    }
    if (whole) {
        py::array_t<std::int64_t> out(n);
        for (py::ssize_t i = 0; i < n; ++i)
            out.mutable_at(i) = std::strtoll(cells[std::size_t(i)].c_str(), nullptr, 10);
        return out;
    }
    if (number) {
        py::array_t<double> out(n);
        for (py::ssize_t i = 0; i < n; ++i) {
            const std::string& cell = cells[std::size_t(i)];
            out.mutable_at(i) = cell.empty() ? std::nan("") : std::strtod(cell.c_str(), nullptr);
        }
        return out;
    }
    py::list texts;
    for (const std::string& cell : cells) texts.append(py::str(cell));
    return py::module_::import("numpy").attr("array")(texts, "object");
}

py::dict readTable(const std::filesystem::path& path) {
    std::string why;
    const std::optional<std::string> text = kav::readTextFile(path, why);
    if (!text) {
        PyErr_SetString(PyExc_OSError, ("cannot read " + path.string() + ": " + why).c_str());
        throw py::error_already_set();
    }
    const std::optional<kav::py::TextTable> table = kav::py::parseTextTable(*text, why);
    if (!table) throw py::value_error(path.string() + ": " + why);
    py::dict out;
    for (std::size_t c = 0; c < table->columns.size(); ++c)
        out[py::str(table->columns[c])] = typedColumn(table->cells[c]);
    return out;
}

py::object asFrameIfAsked(py::dict columns, bool asFrame, const char* function) {
    if (!asFrame) return columns;
    py::module_ pandas;
    try {
        pandas = py::module_::import("pandas");
    } catch (py::error_already_set&) {
        throw py::import_error(std::string(function) +
                               "(as_frame=True) needs pandas (Debian: python3-pandas)");
    }
    return pandas.attr("DataFrame")(columns);
}

}  // namespace

PYBIND11_MODULE(kavrosa, m) {
    m.doc() = R"(Kavrosa's predator-prey co-evolution in Python.

A World is the C++ world of the programs, stepped by the same code with the same compiler
flags, so it gives the same bits as kavrosa-evolve: a World stepped N ticks from seed S
saves the genom.gen of `kavrosa-evolve --seed S --ticks N`. State comes out as NumPy arrays,
always copies: a later step, copy or deletion of the World never changes them.

Slots: the 240 Genome and Agent rows are the 40 Predator slots (rows 0-39) then the 200 Prey
slots (rows 40-239), the order of genom.gen. Only the first predator_count Predator slots
and prey_count Prey slots are in use.

    import kavrosa
    w = kavrosa.World(seed=1)
    w.step(2000)
    w.report()["captures"], w.genomes().shape

Besides World: evaluate() scores one population against another in frozen worlds as
kavrosa-tournament does, read_archive() gives the snapshots of kavrosa-evolve
--archive-every, read_log() reads a --log file and read_table() any table of the project
(a sweep's runs.csv and final.csv).
)";

    m.attr("PREDATOR_SLOTS") = kav::kMaxPredators;
    m.attr("PREY_SLOTS") = kav::kMaxPrey;
    m.attr("GENOME_SIZE") = kav::kGenomeSize;
    m.attr("INPUT_COUNT") = kav::kInputCount;
    m.attr("REPORT_PERIOD") = kav::kStatisticsPeriod;
    m.attr("__version__") = kav::programVersion();

    py::class_<SessionWorld> world(m, "World", R"(The state of one evolution.

World(seed=1, predators=10, prey=150, params=None) starts a new evolution as kavrosa-evolve
does: the random source at `seed`, then 240 Agent slots and random Genomes, predators (1-40)
and prey (1-200) of them in use. `params` maps parameter names (see World.default_params())
to numbers; the others keep their standard values.

Two threads may step two Worlds at once (step releases the GIL); one World is used by one
thread at a time, the others wait.)");

    world.def(
        py::init([](std::int64_t seed, int predators, int prey, std::optional<py::dict> params) {
            if (seed < 0 || seed > 0xFFFFFFFFll)
                throw py::value_error("seed " + std::to_string(seed) + " is outside 0-4294967295");
            if (predators < 1 || predators > kav::kMaxPredators)
                throw py::value_error("predators " + std::to_string(predators) +
                                      " is outside 1-40");
            if (prey < 1 || prey > kav::kMaxPrey)
                throw py::value_error("prey " + std::to_string(prey) + " is outside 1-200");
            const kav::ModelSettings settings = settingsFrom(params.value_or(py::dict()));
            return kav::py::newSessionWorld(std::uint32_t(seed), predators, prey, settings);
        }),
        py::arg("seed") = 1, py::arg("predators") = 10, py::arg("prey") = 150,
        py::arg("params") = py::none(),
        "A new evolution (see the class's help). ValueError for counts or parameter values "
        "out of range and unknown parameter names; TypeError for values that are not "
        "numbers.");

    world.def_static(
        "load",
        [](const std::filesystem::path& folder) {
            kav::py::FolderResult result;
            std::unique_ptr<SessionWorld> w;
            {
                py::gil_scoped_release release;
                w = kav::py::loadSessionWorld(folder, result);
            }
            if (!w) raiseFolderError(result);
            for (const std::string& note : result.notes) warn(note);
            return w;
        },
        py::arg("folder"),
        R"(The evolution saved in `folder` (genom.gen and its sidecar), opened as the programs open
it, under the folder's lock: with a matching sidecar it continues exactly where it was
saved, otherwise (a warning says so) the random state starts from the seed and the Agents
from new places. The model's parameters are those the sidecar keeps (World.params), the
standard ones without a sidecar.
FileNotFoundError without a genom.gen, ValueError for one that cannot be used (shorter than
60,496 bytes), OSError when another program holds the folder. Counts clamped into 1-40 and
1-200 and weights that are not finite are loaded with a warning, as the programs do.)");

    world.def(
        "save",
        [](SessionWorld& w, const std::filesystem::path& folder) {
            auto lock = lockWorld(w);
            kav::py::FolderResult result;
            {
                py::gil_scoped_release release;
                result = kav::py::saveSessionWorld(w, folder);
            }
            if (result.error != kav::py::FolderError::none) raiseFolderError(result);
        },
        py::arg("folder"),
        R"(Saves the evolution into `folder` (made when missing): genom.gen and its sidecar
genom.gen.json, the files kavrosa-evolve writes, each through a temporary file renamed over
the old one, so that the programs (and World.load) continue it exactly. The sidecar's list
of runs gets this session as program "python". Replaces an evolution already in the folder.
OSError when another program holds the folder or a file cannot be written.)");

    world.def(
        "step",
        [](SessionWorld& w, std::int64_t n) {
            if (n < 0) throw py::value_error("step(n): n is " + std::to_string(n) + ", not >= 0");
            auto lock = lockWorld(w);
            py::gil_scoped_release release;
            w.step(n);
        },
        py::arg("n") = 1,
        R"(Runs n ticks (n >= 0) exactly as kavrosa-evolve runs them, without the GIL, so other
Python threads (and other Worlds) run meanwhile. Every 200th tick makes a report (report()).)");

    world.def(
        "copy",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            return w.copy();
        },
        R"(An independent World in the same state (random source, Agents, Genomes, latest inputs,
outputs and report): stepped alike, the two stay equal bit for bit.)");
    world.def("__copy__", [](SessionWorld& w) {
        auto lock = lockWorld(w);
        return w.copy();
    });
    world.def(
        "__deepcopy__",
        [](SessionWorld& w, py::object) {
            auto lock = lockWorld(w);
            return w.copy();
        },
        py::arg("memo"));

    world.def_property_readonly(
        "tick", [](SessionWorld& w) { return lockWorld(w), w.world().tick; },
        "The tick counter: ticks run since the evolution began.");
    world.def_property_readonly(
        "predator_count", [](SessionWorld& w) { return lockWorld(w), w.world().predatorCount; },
        "Predator slots in use (rows 0 to predator_count - 1 of the arrays).");
    world.def_property_readonly(
        "prey_count", [](SessionWorld& w) { return lockWorld(w), w.world().preyCount; },
        "Prey slots in use (rows 40 to 40 + prey_count - 1 of the arrays).");
    world.def_property_readonly(
        "seed", [](SessionWorld& w) { return lockWorld(w), w.seed; },
        "The seed the evolution's random source started from (kept in the sidecar).");
    world.def_property_readonly(
        "params",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            return paramsOf(w.world().settings);
        },
        "Every parameter of the model by name, the standard value where none was given (a new "
        "dict each time; changing it does not change the World).");
    world.def_static(
        "default_params", [] { return paramsOf(kav::ModelSettings{}); },
        "Every parameter of the model by name with its standard value.");

    world.def(
        "agents",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            return agentsOf(w);
        },
        R"(Every Agent slot as a dict of NumPy arrays of 240 rows (Predator slots 0-39, then Prey
slots 0-199), copies: pandas.DataFrame(w.agents()) makes a table.

kind ("predator"/"prey"), slot (within its population), in_use, rank (0 = best; of slots in
use), generation, age (ticks), x, y (where the Agent stands after the latest tick: the end
of its move), vx, vy (the velocity of that move), heading (radians), energy, catches,
ticks_since_catch, captured (caught in the latest tick), dead (to be replaced at the next
tick). Slots not in use hold what their last Agent left.)");

    world.def(
        "genomes",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            py::array_t<float> out({kSlots, kav::kGenomeSize});
            float* to = out.mutable_data();
            for (const auto& g : w.world().predatorGenomes) to = std::copy(g.begin(), g.end(), to);
            for (const auto& g : w.world().preyGenomes) to = std::copy(g.begin(), g.end(), to);
            return out;
        },
        R"(Every slot's Genome as a (240, 63) float32 array, a copy: rows 0-39 the Predator slots,
40-239 the Prey slots (the order of genom.gen), columns the 63 weights of the controller.)");

    world.def(
        "set_genome",
        [](SessionWorld& w, int slot, const py::handle& genome) {
            if (slot < 0 || slot >= kSlots)
                throw py::index_error("slot " + std::to_string(slot) +
                                      " is outside 0-239 (0-39 Predators, 40-239 Prey)");
            const py::array_t<float> weights = checkedGenome(genome);
            for (py::ssize_t i = 0; i < kav::kGenomeSize; ++i)
                if (!std::isfinite(weights.at(i)))
                    throw py::value_error("weight " + std::to_string(i) + " is " +
                                          std::string(py::str(py::float_(weights.at(i)))) +
                                          ": a Genome set from Python must be finite");
            auto lock = lockWorld(w);
            kav::Genome& target =
                slot < kav::kMaxPredators
                    ? w.world().predatorGenomes[std::size_t(slot)]
                    : w.world().preyGenomes[std::size_t(slot - kav::kMaxPredators)];
            for (int i = 0; i < kav::kGenomeSize; ++i) target[std::size_t(i)] = weights.at(i);
        },
        py::arg("slot"), py::arg("genome"),
        R"(Writes a Genome into a slot: 0-39 Predator slots, 40-239 Prey slots (the rows of
genomes()). `genome` is a float32 array of shape (63,); TypeError for another type or dtype,
ValueError for another shape or a weight that is not finite (genom.gen may hold such
weights, whose Agents die at their first move; here they are refused as a likely mistake),
IndexError for a slot outside 0-239. The Agent in the slot steers with it from the next
tick; a slot's Genome is replaced when an offspring is born into it.)");

    world.def(
        "inputs",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            py::array_t<float> out({kSlots, kav::kInputCount});
            float* to = out.mutable_data();
            const kav::AgentReadings& r = w.population->step.readings;
            for (const auto& v : r.predatorInputs) to = std::copy(v.begin(), v.end(), to);
            for (const auto& v : r.preyInputs) to = std::copy(v.begin(), v.end(), to);
            return out;
        },
        R"(Every slot's latest input vector as a (240, 40) float32 array, a copy (rows as in
genomes()): four nearest Prey (columns 0-15), four nearest Predators (16-31), the x wall
(32-35) and the y wall (36-39), in the Agent's frame. An Agent that did not steer in the
latest tick (a digesting Predator) keeps what it had; zeros before the first tick.)");

    world.def(
        "outputs",
        [](SessionWorld& w) {
            auto lock = lockWorld(w);
            py::array_t<float> out({kSlots, 2});
            const kav::AgentReadings& r = w.population->step.readings;
            for (int i = 0; i < kSlots; ++i) {
                const kav::ControlOutput& o =
                    i < kav::kMaxPredators ? r.predatorOutputs[std::size_t(i)]
                                           : r.preyOutputs[std::size_t(i - kav::kMaxPredators)];
                out.mutable_at(i, 0) = o.forward;
                out.mutable_at(i, 1) = o.lateral;
            }
            return out;
        },
        R"(The thrust every slot's controller answered to its latest inputs, a (240, 2) float32
array, a copy: column 0 forward, column 1 lateral (rows as in genomes()).)");

    world.def(
        "report",
        [](SessionWorld& w) -> py::object {
            auto lock = lockWorld(w);
            if (!w.hasReport) return py::none();
            return reportOf(w);
        },
        R"(The latest report (made every 200th tick) as a dict with the columns of the time-series
log (kavrosa-evolve --log): tick, predators, prey, the events since the report before it
(captures, predatorBirths, preyBirths, starvations, predatorDeaths, preyDeaths), the
populations' generations and energy, the Prey's rank positions by reproduction mode and the
two probes. None when no report was made since the World was made or loaded.)");

    world.def("__repr__", [](SessionWorld& w) {
        auto lock = lockWorld(w);
        return "<kavrosa.World tick " + std::to_string(w.world().tick) + ", " +
               std::to_string(w.world().predatorCount) + " Predators, " +
               std::to_string(w.world().preyCount) + " Prey>";
    });

    m.def(
        "read_log",
        [](const std::filesystem::path& path, bool asFrame) {
            return asFrameIfAsked(readLog(path), asFrame, "read_log");
        },
        py::arg("path"), py::arg("as_frame") = false,
        R"(The time-series log that kavrosa-evolve --log writes, as a dict of NumPy arrays by
column (int64 for counts and ticks, float64 for the rest), or a pandas DataFrame with
as_frame=True. The columns are those of World.report(). A torn last line (a program still
writing) is left out with a warning; OSError when the file cannot be read, ValueError when
it is not a Kavrosa log or a line is not a row.)");

    m.def(
        "read_table",
        [](const std::filesystem::path& path, bool asFrame) {
            return asFrameIfAsked(readTable(path), asFrame, "read_table");
        },
        py::arg("path"), py::arg("as_frame") = false,
        R"(Any CSV table of the project with a header line: a sweep's runs.csv and final.csv
(scripts/sweep), a tournament's long table, a log. A dict of NumPy arrays by column, or a
pandas DataFrame with as_frame=True. Each column takes the narrowest type that holds all
its cells: int64 when every cell is a whole number, float64 when every cell is a number
(an empty cell is NaN), otherwise an object array of str (a sweep's `run` column, such as
"predator.starvation_ticks=30"). Quoted fields ("a,b") are read as CSV quotes them; lines
beginning with '#' are left out. OSError when the file cannot be read, ValueError with the
line when it is not such a table (a row with another number of fields than the header).)");

    m.def("evaluate", &evaluate, py::arg("predators"), py::arg("prey"), py::arg("ticks") = 1000,
          py::arg("worlds") = 4, py::arg("seed") = 1, py::arg("params") = py::none(),
          py::arg("predator_tick") = py::none(), py::arg("prey_tick") = py::none(),
          py::arg("threads") = 1,
          R"(Scores a Predator population against a Prey population in frozen evaluation
worlds, as kavrosa-tournament scores one cell of its matrix: no reproduction, no mutation;
a caught, starved or dead Agent comes back in its slot with the same Genome.

predators: a snapshot from read_archive (its Predators, its tick, its run's parameters), a
  World (its Predators in use, its tick, its parameters) or a float32 array of shape (n, 63),
  1 <= n <= 40, one Genome a row (such as genomes()[:n]).
prey: likewise, a snapshot's or a World's Prey or a float32 array (m, 63), 1 <= m <= 200.
ticks: ticks per world (default 1000, as the tournament); worlds: worlds per cell (4).
seed: the tournament's base seed (--seed). World k starts from
  evaluationSeed(seed, predator_tick, prey_tick, k), so the same ticks give the same worlds.
predator_tick, prey_tick: the snapshots' ticks that go into the seeds; by default a
  snapshot's or a World's tick, 0 for an array.
params: parameters by name over the model of the worlds, which is the Predators' snapshot's
  or World's (as the tournament takes the Predators' run's), the standard model for an
  array. So evaluate(snapshots[i], snapshots[j], ticks, worlds, seed) gives the rows of
  `kavrosa-tournament -C FOLDER --ticks T --worlds W --seed S` for that cell.
threads: worlds computed at once (default 1); the results do not depend on it.

Returns a dict of NumPy arrays, one row per world, with the columns of the tournament's long
table: predatorTick, preyTick, world, ticks, captures, starvations, predatorDeaths,
preyDeaths, preyEnds, preyLifetimeSum (int64), capturesPer1000, starvationsPer1000,
meanPreyLifetime (float64; NaN when no Prey ended). Sum the counts over the worlds for a
cell's score. The GIL is released while the worlds run. TypeError for another type or dtype
than float32, ValueError for another shape, weights that are not finite, and arguments or
parameters out of range.)");

    m.def("read_archive", &readArchiveOf, py::arg("folder"),
          R"(The archive of a run folder (FOLDER/archive/genom-TICK.gen, written by
kavrosa-evolve --archive-every N), oldest first: a list of dicts with "tick", "path",
"predators" (float32, (predator count, 63)), "prey" (float32, (prey count, 63)) and "params"
(the run's model parameters, from its sidecar; the standard ones without one), ready for
evaluate(). Every snapshot is checked as kavrosa-tournament checks it; ValueError naming the
file at the first problem, when the folder holds no snapshot or its sidecar is unusable.)");
}
