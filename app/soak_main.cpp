// kavrosa-soak: a long run at full populations (40 Predators, 200 Prey) with the
// invariant checker after every tick. Exits 1 at the first violation, naming the tick.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

#include "evo/invariants.h"
#include "evo/population.h"
#include "io/genome_file.h"
#include "io/sidecar.h"

namespace {

// The message of a value refused by a validator, printed in the programs' own form.
std::string refusal;

CLI::Validator wholeNumber(const std::string& name, unsigned long long high,
                           const std::string& rule) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            bool ok = !text.empty() && text.size() <= 19;
            unsigned long long value = 0;
            for (char c : text) {
                ok = ok && c >= '0' && c <= '9';
                if (ok) value = value * 10 + unsigned(c - '0');
            }
            if (ok && value <= high) return {};
            if (refusal.empty()) refusal = name + " must be " + rule + " (not \"" + text + "\")";
            return refusal;
        },
        rule);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Runs the evolution at full populations and checks the world's invariants\n"
        "after every tick. Nothing is saved.",
        "kavrosa-soak"};
    std::uint64_t ticks = 1000000;
    std::uint32_t seed = 1;
    std::string folder;
    app.add_option("--ticks", ticks, "Number of ticks to run (default 1000000)")
        ->check(
            wholeNumber("--ticks", 999'999'999'999'999'999ULL, "a whole number \xE2\x89\xA5 0"));
    app.add_option("--seed", seed, "Start state of the random source (default 1)")
        ->check(wholeNumber("--seed", 4294967295ULL, "a whole number from 0 to 4294967295"));
    app.add_option("-C,--folder", folder,
                   "Start from genom.gen in this folder (default: a new evolution)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::error_code error;
                if (!text.empty() && std::filesystem::is_directory(text, error)) return {};
                if (refusal.empty()) refusal = "-C " + text + " is not a folder";
                return refusal;
            },
            "DIR"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (!refusal.empty()) {
            std::fprintf(stderr, "kavrosa-soak: %s\n", refusal.c_str());
            return 2;
        }
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    // Without a folder the Genomes are random; nothing is ever written. A folder must
    // hold a genom.gen that loads: a soak of a random world would say nothing about it.
    std::optional<kav::SavedEvolution> saved;
    if (!folder.empty()) {
        const kav::LoadedGenomes loaded = kav::GenomeFile(folder).load();
        if (!loaded.evolution) {
            std::fprintf(stderr, "kavrosa-soak: no usable genom.gen in %s\n", folder.c_str());
            return 2;
        }
        if (loaded.evolution->tick > kav::kCounterLimit ||
            loaded.evolution->tick < -kav::kCounterLimit) {
            std::fprintf(stderr, "kavrosa-soak: genom.gen in %s holds the tick %lld, beyond %lld\n",
                         folder.c_str(), static_cast<long long>(loaded.evolution->tick),
                         static_cast<long long>(kav::kCounterLimit));
            return 2;
        }
        saved = loaded.evolution;
    }
    auto population = std::make_unique<kav::Population>();
    population->world.random.setState(seed);
    population->setup(kav::kStandardArena, 0.05f, 0.02f, kav::kMaxPredators, kav::kMaxPrey,
                      saved ? &*saved : nullptr);

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    std::uint64_t captures = 0;
    std::uint64_t replaced = 0;
    const bool progress = ::isatty(STDERR_FILENO) != 0;
    for (std::uint64_t run = 0; run < ticks; ++run) {
        // A genome file may hold smaller counts: grow one of each per tick to full.
        if (population->world.predatorCount < kav::kMaxPredators)
            population->requestSizeChange(true, true);
        if (population->world.preyCount < kav::kMaxPrey) population->requestSizeChange(true, false);
        std::int64_t generationsBefore = 0;
        for (const auto& a : population->world.predators) generationsBefore += a.generation;
        for (const auto& a : population->world.prey) generationsBefore += a.generation;

        population->runTick();

        std::int64_t generationsAfter = 0;
        for (const auto& a : population->world.predators) generationsAfter += a.generation;
        for (const auto& a : population->world.prey) generationsAfter += a.generation;
        replaced += std::uint64_t(generationsAfter - generationsBefore);
        for (int i = 0; i < population->world.preyCount; ++i)
            captures += population->world.prey[i].captured;

        const std::string failure = kav::checkInvariants(*population);
        if (!failure.empty()) {
            std::fprintf(stderr, "kavrosa-soak: after tick %lld (run tick %llu): %s\n",
                         static_cast<long long>(population->world.tick),
                         static_cast<unsigned long long>(run + 1), failure.c_str());
            return 1;
        }
        if (progress && (run + 1) % 100000 == 0)
            std::fprintf(stderr, "\rtick %llu", static_cast<unsigned long long>(run + 1));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (progress) std::fprintf(stderr, "\r");
    std::printf(
        "kavrosa-soak: %llu ticks at %d Predators and %d Prey, invariants held after "
        "every tick\n"
        "  %.1f s (%.0f ticks/s), %llu captures, %llu Agents replaced\n",
        static_cast<unsigned long long>(ticks), population->world.predatorCount,
        population->world.preyCount, seconds, seconds > 0 ? double(ticks) / seconds : 0.0,
        static_cast<unsigned long long>(captures), static_cast<unsigned long long>(replaced));
    return 0;
}
