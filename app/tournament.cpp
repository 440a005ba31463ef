#include "app/tournament.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

namespace kav {

namespace {

constexpr const char* kHeader =
    "predatorTick,preyTick,world,ticks,captures,starvations,predatorDeaths,preyDeaths,preyEnds,"
    "preyLifetimeSum,capturesPer1000,starvationsPer1000,meanPreyLifetime";

Contestant predatorsOf(const Snapshot& s) {
    return {s.evolution.predatorGenomes.data(), s.evolution.predatorCount};
}
Contestant preyOf(const Snapshot& s) {
    return {s.evolution.preyGenomes.data(), s.evolution.preyCount};
}

auto keyOf(const TournamentRow& r) { return std::make_tuple(r.predatorTick, r.preyTick, r.world); }

std::string number(double value) {
    if (std::isnan(value)) return "nan";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace

std::vector<TournamentRow> runTournament(const TournamentPlan& plan, int threads,
                                         const std::function<void(long, long)>& progress) {
    const long cells = long(plan.predators.size()) * long(plan.prey.size());
    // The worlds of this share, by their index in the whole matrix.
    std::vector<long> mine;
    for (long unit = 0; unit < cells * plan.worlds; ++unit)
        if (unit % plan.partCount == plan.partIndex) mine.push_back(unit);
    std::vector<TournamentRow> rows(mine.size());
    std::atomic<long> next{0};
    std::atomic<long> done{0};
    auto work = [&] {
        auto step = std::make_unique<Stepper>();
        for (long k = next++; k < long(mine.size()); k = next++) {
            const long unit = mine[k];
            const long cell = unit / plan.worlds;
            const int world = int(unit % plan.worlds);
            const Snapshot& hunters = plan.predators[std::size_t(cell / long(plan.prey.size()))];
            const Snapshot& hunted = plan.prey[std::size_t(cell % long(plan.prey.size()))];
            TournamentRow& row = rows[std::size_t(k)];
            row.predatorTick = hunters.evolution.tick;
            row.preyTick = hunted.evolution.tick;
            row.world = world;
            const std::uint32_t seed =
                evaluationSeed(plan.seed, row.predatorTick, row.preyTick, world);
            row.score = evaluateWorld(plan.settings, predatorsOf(hunters), preyOf(hunted), seed,
                                      plan.ticks, *step);
            ++done;
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(1, threads); ++t) pool.emplace_back(work);
    std::thread own(work);
    while (done.load() < long(mine.size())) {
        progress(done.load(), long(mine.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    own.join();
    for (std::thread& t : pool) t.join();
    progress(done.load(), long(mine.size()));
    return rows;
}

std::string tournamentTable(const TournamentTable& table) {
    const TournamentShare& share = table.share;
    char line[512];
    std::string text;
    if (share.parts > 1) {
        std::snprintf(line, sizeof line, "# part %d/%d: %ld x %ld snapshots, %d worlds\n",
                      share.part, share.parts, share.predatorSnapshots, share.preySnapshots,
                      share.worlds);
        text += line;
    }
    text += std::string(kHeader) + "\n";
    for (const TournamentRow& r : table.rows) {
        const EvaluationScore& s = r.score;
        std::snprintf(line, sizeof line,
                      "%" PRId64 ",%" PRId64 ",%d,%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64
                      ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%s,%s,%s\n",
                      r.predatorTick, r.preyTick, r.world, s.ticks, s.captures, s.starvations,
                      s.predatorDeaths, s.preyDeaths, s.preyEnds, s.preyLifetimeSum,
                      number(s.capturesPer1000()).c_str(), number(s.starvationsPer1000()).c_str(),
                      number(s.meanPreyLifetime()).c_str());
        text += line;
    }
    return text;
}

std::optional<TournamentTable> parseTournamentTable(const std::string& text,
                                                    const std::string& name, std::string& why) {
    std::istringstream in(text);
    std::string line;
    TournamentTable table;
    TournamentShare& share = table.share;
    int number = 1;
    if (std::getline(in, line) && line.rfind("# part ", 0) == 0) {
        char rest = 0;
        if (std::sscanf(line.c_str(), "# part %d/%d: %ld x %ld snapshots, %d worlds%c", &share.part,
                        &share.parts, &share.predatorSnapshots, &share.preySnapshots, &share.worlds,
                        &rest) != 5 ||
            share.parts < 1 || share.part < 1 || share.part > share.parts) {
            why = name + ":1: not the line of a tournament's share";
            return std::nullopt;
        }
        std::getline(in, line);
        ++number;
    }
    if (line != kHeader) {
        why = name + ":" + std::to_string(number) + ": not a tournament table (no header)";
        return std::nullopt;
    }
    std::vector<TournamentRow>& rows = table.rows;
    while (std::getline(in, line)) {
        ++number;
        TournamentRow r;
        EvaluationScore& s = r.score;
        int consumed = 0;
        const int fields = std::sscanf(
            line.c_str(),
            "%" SCNd64 ",%" SCNd64 ",%d,%" SCNd64 ",%" SCNd64 ",%" SCNd64 ",%" SCNd64 ",%" SCNd64
            ",%" SCNd64 ",%" SCNd64 ",%*[^,],%*[^,],%*s%n",
            &r.predatorTick, &r.preyTick, &r.world, &s.ticks, &s.captures, &s.starvations,
            &s.predatorDeaths, &s.preyDeaths, &s.preyEnds, &s.preyLifetimeSum, &consumed);
        if (fields != 10 || consumed != int(line.size()) || r.world < 0 || s.ticks <= 0) {
            why = name + ":" + std::to_string(number) + ": not a row of a tournament table";
            return std::nullopt;
        }
        rows.push_back(r);
    }
    return table;
}

std::optional<TournamentTable> mergeTournamentParts(std::vector<TournamentTable> parts,
                                                    std::string& why) {
    if (parts.empty()) {
        why = "no shares to join";
        return std::nullopt;
    }
    TournamentShare whole = parts[0].share;
    std::vector<bool> seen(std::size_t(whole.parts), false);
    std::vector<TournamentRow> all;
    for (const TournamentTable& part : parts) {
        TournamentShare same = part.share;
        same.part = whole.part;
        if (whole.parts == 1 || !(same == whole)) {
            why = "the tables are not shares (--part K/N) of one tournament";
            return std::nullopt;
        }
        if (seen[std::size_t(part.share.part - 1)]) {
            why = "share " + std::to_string(part.share.part) + " is given twice";
            return std::nullopt;
        }
        seen[std::size_t(part.share.part - 1)] = true;
        all.insert(all.end(), part.rows.begin(), part.rows.end());
    }
    for (std::size_t k = 0; k < seen.size(); ++k)
        if (!seen[k]) {
            why = "share " + std::to_string(k + 1) + "/" + std::to_string(whole.parts) +
                  " is missing";
            return std::nullopt;
        }
    std::sort(all.begin(), all.end(),
              [](const TournamentRow& a, const TournamentRow& b) { return keyOf(a) < keyOf(b); });
    std::set<std::int64_t> predatorTicks, preyTicks;
    int worlds = 0;
    for (const TournamentRow& r : all) {
        predatorTicks.insert(r.predatorTick);
        preyTicks.insert(r.preyTick);
        worlds = std::max(worlds, r.world + 1);
    }
    for (std::size_t k = 1; k < all.size(); ++k)
        if (keyOf(all[k]) == keyOf(all[k - 1])) {
            why = "the world " + std::to_string(all[k].world) + " of Predators " +
                  std::to_string(all[k].predatorTick) + " against Prey " +
                  std::to_string(all[k].preyTick) + " is in two parts";
            return std::nullopt;
        }
    const std::size_t expected =
        std::size_t(whole.predatorSnapshots * whole.preySnapshots) * std::size_t(whole.worlds);
    if (all.size() != expected || predatorTicks.size() != std::size_t(whole.predatorSnapshots) ||
        preyTicks.size() != std::size_t(whole.preySnapshots) || worlds != whole.worlds) {
        why = "the parts hold " + std::to_string(all.size()) + " of the " +
              std::to_string(expected) + " worlds of the matrix: a part is missing";
        return std::nullopt;
    }
    return TournamentTable{TournamentShare{}, std::move(all)};
}

std::string masterTournament(const std::vector<TournamentRow>& rows) {
    // Each cell's mean over its worlds, then each snapshot's mean over its opponents.
    std::map<std::pair<std::int64_t, std::int64_t>, EvaluationScore> cells;
    for (const TournamentRow& r : rows) cells[{r.predatorTick, r.preyTick}] += r.score;
    struct Sums {
        std::vector<double> captures, lifetimes;
    };
    std::map<std::int64_t, Sums> byPredator, byPrey;
    for (const auto& [key, score] : cells) {
        byPredator[key.first].captures.push_back(score.capturesPer1000());
        byPredator[key.first].lifetimes.push_back(score.meanPreyLifetime());
        byPrey[key.second].captures.push_back(score.capturesPer1000());
        byPrey[key.second].lifetimes.push_back(score.meanPreyLifetime());
    }
    auto meanAndError = [](const std::vector<double>& values) {
        double sum = 0;
        int n = 0;
        for (double v : values)
            if (!std::isnan(v)) sum += v, ++n;
        if (n == 0) return std::make_pair(std::nan(""), std::nan(""));
        const double mean = sum / n;
        double squares = 0;
        for (double v : values)
            if (!std::isnan(v)) squares += (v - mean) * (v - mean);
        const double error = n > 1 ? std::sqrt(squares / (n - 1) / n) : std::nan("");
        return std::make_pair(mean, error);
    };
    std::string text =
        "side,tick,opponents,capturesPer1000,capturesStandardError,meanPreyLifetime,"
        "lifetimeStandardError\n";
    auto write = [&](const char* side, const std::map<std::int64_t, Sums>& by) {
        for (const auto& [tick, sums] : by) {
            const auto captures = meanAndError(sums.captures);
            const auto lifetimes = meanAndError(sums.lifetimes);
            text += std::string(side) + "," + std::to_string(tick) + "," +
                    std::to_string(sums.captures.size()) + "," + number(captures.first) + "," +
                    number(captures.second) + "," + number(lifetimes.first) + "," +
                    number(lifetimes.second) + "\n";
        }
    };
    write("predators", byPredator);
    write("prey", byPrey);
    return text;
}

}  // namespace kav
