// kavrosa-tournament: archived generations against each other in frozen evaluation worlds.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/tournament.h"
#include "io/parameter_file.h"
#include "io/run_folder.h"
#include "io/sidecar.h"

namespace {

void fail(const std::string& line) {
    std::fprintf(stderr, "kavrosa-tournament: %s\n", line.c_str());
}

// The summary goes beside the long table: out.csv gives out-summary.csv.
std::filesystem::path summaryPathOf(const std::filesystem::path& table) {
    std::filesystem::path summary = table;
    summary.replace_filename(table.stem().string() + "-summary" + table.extension().string());
    return summary;
}

bool writeOutputs(const std::filesystem::path& out, const kav::TournamentTable& table) {
    const bool withSummary = table.share.parts == 1;
    const std::vector<kav::TournamentRow>& rows = table.rows;
    std::string why;
    if (!kav::writeFileAtomically(out, kav::tournamentTable(table), why)) {
        fail(out.string() + ": " + why);
        return false;
    }
    if (withSummary &&
        !kav::writeFileAtomically(summaryPathOf(out), kav::masterTournament(rows), why)) {
        fail(summaryPathOf(out).string() + ": " + why);
        return false;
    }
    return true;
}

// Every K-th snapshot, the last always kept.
std::vector<kav::Snapshot> thinned(std::vector<kav::Snapshot> all, int every) {
    std::vector<kav::Snapshot> kept;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (i % std::size_t(every) == 0 || i + 1 == all.size()) kept.push_back(all[i]);
    return kept;
}

class Progress {
public:
    void operator()(long done, long all) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? double(done) / seconds : 0;
        const double left = rate > 0 ? double(all - done) / rate : 0;
        if (terminal_) {
            const int width = 30;
            const int filled = all ? int(width * done / all) : width;
            std::fprintf(stderr, "\r[%-*s] %ld/%ld worlds, %.1f a second, %.0f s left ", width,
                         std::string(std::size_t(filled), '=').c_str(), done, all, rate, left);
            if (done == all) std::fputc('\n', stderr);
        } else if (done == all || now - last_ > std::chrono::seconds(10)) {
            std::fprintf(stderr,
                         "kavrosa-tournament: %ld of %ld worlds, %.1f a second, %.0f s left\n",
                         done, all, rate, left);
            last_ = now;
        }
    }

private:
    bool terminal_ = ::isatty(2) != 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Plays archived generations of an evolution against each other: every Predator\n"
        "snapshot against every Prey snapshot in frozen worlds (no reproduction), the\n"
        "long table in FILE and the master tournament beside it (FILE-summary.csv).",
        "kavrosa-tournament"};
    app.set_version_flag("--version", std::string("kavrosa-tournament ") + kav::programVersion());
    std::string folder, predatorsFrom, preyFrom, out, part;
    int worlds = 4, every = 1;
    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    std::int64_t ticks = 1000;
    std::uint32_t seed = 1;
    app.add_option("-C,--folder", folder, "The run whose archive/ plays against itself")
        ->check(CLI::ExistingDirectory);
    app.add_option("--predators-from", predatorsFrom, "The run whose Predator snapshots play")
        ->check(CLI::ExistingDirectory);
    app.add_option("--prey-from", preyFrom, "The run whose Prey snapshots play")
        ->check(CLI::ExistingDirectory);
    app.add_option("-o,--output", out, "The long table (CSV); the summary goes beside it");
    app.add_option("--worlds", worlds, "Evaluation worlds per cell (default 4)")
        ->check(CLI::Range(1, 1000));
    app.add_option("--ticks", ticks, "Ticks per evaluation world (default 1000)")
        ->check(CLI::Range(std::int64_t{1}, std::int64_t{100'000'000}));
    app.add_option("--every", every, "Every K-th snapshot only (the last always)")
        ->check(CLI::Range(1, 1'000'000));
    app.add_option("--seed", seed, "Base seed of the evaluation worlds (default 1)");
    app.add_option("--threads", threads, "Threads (default: every core)")
        ->check(CLI::Range(1, 1024));
    std::vector<std::string> sets;
    std::string paramsFile;
    app.add_option("--set", sets,
                   "NAME=VALUE: a model parameter of the evaluation worlds (repeatable), over "
                   "the settings of the Predators' run")
        ->allow_extra_args(false);
    app.add_option("--params", paramsFile, "Model parameters from a TOML file; --set wins");
    app.add_option("--part", part,
                   "K/N: only the K-th of N shares of the worlds (join them with merge)");
    CLI::App* merge = app.add_subcommand("merge", "Joins the shares (--part) of one tournament");
    std::vector<std::string> parts;
    std::string mergedOut;
    merge->add_option("parts", parts, "The shares' tables")->required()->check(CLI::ExistingFile);
    merge->add_option("-o,--output", mergedOut, "The joined table")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    if (merge->parsed()) {
        std::vector<kav::TournamentTable> tables;
        for (const std::string& name : parts) {
            std::string why;
            const auto text = kav::readTextFile(name, why);
            if (!text) return fail(name + ": " + why), 2;
            auto rows = kav::parseTournamentTable(*text, name, why);
            if (!rows) return fail(why), 2;
            tables.push_back(std::move(*rows));
        }
        std::string why;
        const auto merged = kav::mergeTournamentParts(std::move(tables), why);
        if (!merged) return fail(why), 2;
        return writeOutputs(mergedOut, *merged) ? 0 : 1;
    }

    if (out.empty()) return fail("-o FILE names the table to write"), 2;
    if (folder.empty() && (predatorsFrom.empty() || preyFrom.empty()))
        return fail("give a run's folder (-C DIR) or two (--predators-from A --prey-from B)"), 2;
    kav::TournamentPlan plan;
    if (!part.empty()) {
        int k = 0, n = 0;
        char rest = 0;
        if (std::sscanf(part.c_str(), "%d/%d%c", &k, &n, &rest) != 2 || n < 1 || k < 1 || k > n)
            return fail("--part " + part + ": give K/N with 1 <= K <= N, e.g. --part 2/8"), 2;
        plan.partIndex = k - 1;
        plan.partCount = n;
    }
    const std::filesystem::path predatorRun = predatorsFrom.empty() ? folder : predatorsFrom;
    const std::filesystem::path preyRun = preyFrom.empty() ? folder : preyFrom;
    std::string why;
    const auto hunters = kav::readArchive(predatorRun / kav::kArchiveFolderName, why);
    if (!hunters) return fail(why), 2;
    const auto hunted = kav::readArchive(preyRun / kav::kArchiveFolderName, why);
    if (!hunted) return fail(why), 2;
    plan.predators = thinned(*hunters, every);
    plan.prey = thinned(*hunted, every);
    for (const kav::Snapshot& s : plan.predators)
        if (s.evolution.predatorCount != plan.predators[0].evolution.predatorCount)
            return fail(s.path.string() + " has " + std::to_string(s.evolution.predatorCount) +
                        " Predators, " + plan.predators[0].path.string() + " " +
                        std::to_string(plan.predators[0].evolution.predatorCount) +
                        ": the snapshots of one side must have one size"),
                   2;
    for (const kav::Snapshot& s : plan.prey)
        if (s.evolution.preyCount != plan.prey[0].evolution.preyCount)
            return fail(s.path.string() + " has " + std::to_string(s.evolution.preyCount) +
                        " Prey, " + plan.prey[0].path.string() + " " +
                        std::to_string(plan.prey[0].evolution.preyCount) +
                        ": the snapshots of one side must have one size"),
                   2;
    // The evaluation worlds run on the model the Predators evolved in.
    const auto settings = kav::settingsOfRun(predatorRun, why);
    if (!settings) return fail((predatorRun / kav::kSidecarFileName).string() + ": " + why), 2;
    plan.settings = *settings;
    if (preyRun != predatorRun) {
        const auto preySettings = kav::settingsOfRun(preyRun, why);
        if (!preySettings) return fail((preyRun / kav::kSidecarFileName).string() + ": " + why), 2;
        for (const kav::ParameterChange& c : kav::parameterChanges(*settings, *preySettings))
            std::fprintf(stderr,
                         "kavrosa-tournament: %s is %s in %s and %s in %s; the worlds take %s\n",
                         c.name.c_str(), c.from.c_str(), predatorRun.c_str(), c.to.c_str(),
                         preyRun.c_str(), c.from.c_str());
    }
    if (!kav::applyParameters(plan.settings, {paramsFile, sets}, why)) return fail(why), 2;
    for (const kav::ParameterChange& c : kav::parameterChanges(*settings, plan.settings))
        std::fprintf(stderr, "kavrosa-tournament: %s = %s (the run's: %s)\n", c.name.c_str(),
                     c.to.c_str(), c.from.c_str());
    plan.worlds = worlds;
    plan.ticks = ticks;
    plan.seed = seed;
    Progress progress;
    kav::TournamentTable table;
    table.rows = kav::runTournament(plan, threads, std::ref(progress));
    table.share = {plan.partIndex + 1, plan.partCount, long(plan.predators.size()),
                   long(plan.prey.size()), plan.worlds};
    return writeOutputs(out, table) ? 0 : 1;
}
