#include "io/run_folder.h"

#include <cstdio>
#include <ctime>
#include <system_error>
#include <utility>

#include "evo/invariants.h"
#include "io/snapshots.h"

namespace kav {

#ifndef KAVROSA_VERSION
#define KAVROSA_VERSION "unknown"
#endif

const char* programVersion() { return KAVROSA_VERSION; }

namespace {

std::filesystem::path sidecarPath(const std::filesystem::path& folder) {
    return folder / kSidecarFileName;
}

// The CRC-32 and tick of a file that holds exactly one Genome file's bytes.
struct GenomeFileIdentity {
    std::uint32_t checksum = 0;
    std::int64_t tick = 0;
};
std::optional<GenomeFileIdentity> identify(const std::filesystem::path& path) {
    std::string why;
    const std::optional<std::string> text = readTextFile(path, why);
    if (!text || text->size() != std::size_t(kGenomeFileSize)) return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text->data());
    GenomeFileIdentity identity;
    identity.checksum = crc32(bytes, text->size());
    std::uint64_t tick = 0;
    for (int b = 7; b >= 0; --b) tick = (tick << 8) | bytes[kGenomeBlockSize + b];
    identity.tick = std::int64_t(tick);
    return identity;
}

// Moves a file this run refused aside, as NAME.rejected (or .rejected.N when taken), so
// that the save does not replace it. False with the reason when the rename fails; `kept`
// is the new name.
bool keepAside(const std::filesystem::path& path, std::filesystem::path& kept, std::string& why) {
    std::error_code error;
    kept = rejectedNameFor(path);
    std::filesystem::rename(path, kept, error);
    if (error) {
        why = error.message();
        return false;
    }
    return true;
}

// Why a file the run replaces cannot be used as it stands: a folder, or a symbolic link
// whose target does not exist (a save would replace the link, not write its target).
std::string unusableAsFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto link = std::filesystem::symlink_status(path, error).type();
    const auto target = std::filesystem::status(path, error).type();
    if (link == std::filesystem::file_type::symlink &&
        target == std::filesystem::file_type::not_found)
        return path.string() + " is a symbolic link to " +
               std::filesystem::read_symlink(path, error).string() +
               ", which does not exist; restore its target or remove the link";
    if (target == std::filesystem::file_type::directory)
        return path.string() + " is a folder, not a file; move it away to run here";
    return {};
}

}  // namespace

namespace {

// Two paths for the same file: the same place once links and dots are resolved, or the
// same file by its inode (a hard link).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const auto resolved = [&](const std::filesystem::path& p) {
        return std::filesystem::weakly_canonical(std::filesystem::absolute(p, error), error)
            .lexically_normal();
    };
    const std::filesystem::path ca = resolved(a);
    if (error) return false;
    const std::filesystem::path cb = resolved(b);
    if (error) return false;
    if (ca == cb) return true;
    return std::filesystem::exists(a, error) && std::filesystem::exists(b, error) &&
           std::filesystem::equivalent(a, b, error);
}

}  // namespace

std::string outputClash(const std::filesystem::path& folder,
                        const std::vector<std::pair<std::string, std::filesystem::path>>& outputs) {
    std::vector<std::string> own = {kGenomeFileName, kSidecarFileName, kLockFileName};
    for (const char* name : {kGenomeFileName, kSidecarFileName}) {
        own.push_back(std::string(name) + ".tmp");
        own.push_back(std::string(name) + ".rejected");
    }
    for (int f = 0; f < kStatisticsFileCount; ++f)
        own.push_back(statisticsFileName(StatisticsFile(f)));
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const auto& [label, path] = outputs[i];
        for (const std::string& name : own)
            if (sameFile(path, folder / name))
                return label + " " + path.string() + " is the folder's " + name +
                       "; give another file";
        for (std::size_t k = 0; k < i; ++k)
            if (sameFile(path, outputs[k].second))
                return outputs[k].first + " and " + label + " name the same file " + path.string();
    }
    return {};
}

void RunFolder::note(const std::string& line) const {
    std::fprintf(stderr, "%s: %s\n", settings_.program.c_str(), line.c_str());
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

RunFolder::RunFolder(RunSettings settings)
    : settings_(std::move(settings)),
      genomeFile_(settings_.folder),
      statistics_(settings_.folder) {}

bool RunFolder::lock() {
    if (lock_.acquire(settings_.folder)) return true;
    failure_ = lock_.failure();
    return false;
}

std::optional<Sidecar> RunFolder::readSidecar(const WorldState& blank, std::string& why) {
    const std::optional<std::string> text =
        readTextFile(sidecarPath(settings_.folder), why, kSidecarMaxBytes);
    if (!text) return std::nullopt;
    return decodeSidecar(*text, blank, why);
}

void RunFolder::completeInterruptedCheckpoint(const WorldState& blank) {
    // A checkpoint renames the new sidecar into place before the new genom.gen. Killed in
    // between, it leaves a sidecar that names genom.gen.tmp rather than genom.gen.
    std::string why;
    const std::optional<Sidecar> sidecar = readSidecar(blank, why);
    if (!sidecar) return;
    const auto current = identify(genomeFile_.path());
    if (current && current->checksum == sidecar->genomeChecksum && current->tick == sidecar->tick)
        return;
    const auto pending = identify(genomeFile_.temporaryPath());
    if (!pending || pending->checksum != sidecar->genomeChecksum || pending->tick != sidecar->tick)
        return;
    std::error_code error;
    std::filesystem::rename(genomeFile_.temporaryPath(), genomeFile_.path(), error);
    if (!error)
        note("completed the interrupted save of " + genomeFile_.path().string() + " at tick " +
             std::to_string(sidecar->tick));
}

bool RunFolder::open(Population& population) {
    for (const std::filesystem::path& path : {genomeFile_.path(), sidecarPath(settings_.folder)}) {
        failure_ = unusableAsFile(path);
        if (!failure_.empty()) return false;
    }
    // A blank world for the parts of the Agents that the sidecar does not hold.
    const WorldState blank = [] {
        auto world = std::make_unique<World>();
        setUpWorld(*world, ModelSettings{}, 10, 150);
        return worldState(*world);
    }();
    completeInterruptedCheckpoint(blank);

    const LoadedGenomes loaded = genomeFile_.load();
    if (loaded.evolution &&
        (loaded.evolution->tick > kCounterLimit || loaded.evolution->tick < -kCounterLimit)) {
        failure_ = genomeFile_.path().string() + " holds the tick " +
                   std::to_string(loaded.evolution->tick) + ", beyond the limit of " +
                   std::to_string(kCounterLimit) + " ticks either side of 0; it is left as it is";
        return false;
    }
    const std::uint32_t requestedSeed = settings_.seed.value_or(1);
    std::optional<Sidecar> sidecar;
    if (loaded.evolution) {
        std::string why;
        sidecar = readSidecar(blank, why);
        const GenomeFileBytes bytes = encodeGenomeFile(*loaded.evolution);
        const std::uint32_t checksum = crc32(bytes.data(), bytes.size());
        const std::string genomeName = genomeFile_.path().string();
        std::string problem;
        if (!sidecar && why == "there is none")
            problem = genomeName + " has no sidecar " + kSidecarFileName;
        else if (!sidecar)
            problem =
                genomeName + ": its sidecar " + kSidecarFileName + " cannot be used (" + why + ")";
        else if (sidecar->genomeChecksum != checksum || sidecar->tick != loaded.evolution->tick)
            problem = genomeName + " does not match its sidecar " + kSidecarFileName +
                      ", which was written for tick " + std::to_string(sidecar->tick) +
                      (sidecar->tick == loaded.evolution->tick ? " and other bytes" : "") +
                      " (this file is at tick " + std::to_string(loaded.evolution->tick) + ")";
        else {
            // It belongs to this genom.gen: its state must fit the counts and keep the
            // world's invariants, checked on a world of its own before this one is touched.
            std::string unfit =
                checkSidecarWorld(sidecar->world, loaded.evolution->predatorCount,
                                  loaded.evolution->preyCount, sidecar->settings.arena);
            if (unfit.empty()) {
                auto trial = std::make_unique<Population>();
                trial->setup(sidecar->settings, 10, 150, &*loaded.evolution);
                trial->restoreWorldState(sidecar->world);
                unfit = checkInvariants(*trial);
            }
            if (!unfit.empty())
                problem = genomeName + ": its sidecar " + kSidecarFileName + " cannot be used (" +
                          unfit + ")";
        }
        if (!problem.empty()) {
            sidecar.reset();
            note(problem + ": the random state starts from the seed " +
                 std::to_string(requestedSeed) + " and the Agents from new places");
        }
    }

    std::vector<ParameterChange> changes;
    if (sidecar) {
        // The evolution goes on with its own settings, changed by the parameters given.
        ModelSettings settings = sidecar->settings;
        std::string why;
        if (!settings_.parameters.empty() &&
            !applyParameters(settings, settings_.parameters, why)) {
            failure_ =
                why + " (on the settings of the evolution in " + settings_.folder.string() + ")";
            parametersRefused_ = true;
            return false;
        }
        const std::string unfit = checkSidecarWorld(sidecar->world, loaded.evolution->predatorCount,
                                                    loaded.evolution->preyCount, settings.arena);
        if (!unfit.empty()) {
            std::string arena;
            for (const ParameterChange& c : kav::parameterChanges(sidecar->settings, settings))
                if (c.name.rfind("arena.", 0) == 0)
                    arena += (arena.empty() ? "" : ", ") + c.name + " = " + c.to;
            failure_ = arena + ": the arena does not hold the evolution in " +
                       settings_.folder.string() + " at tick " +
                       std::to_string(loaded.evolution->tick) + " (" + unfit + ")";
            parametersRefused_ = true;
            return false;
        }
        changes = kav::parameterChanges(sidecar->settings, settings);
        population.setup(sidecar->settings, 10, 150, &*loaded.evolution);
        population.restoreWorldState(sidecar->world);
        changeSettings(population.world, settings);
        for (const ParameterChange& change : changes)
            note(change.name + " changes from " + change.from + " to " + change.to + " at tick " +
                 std::to_string(population.world.tick));
        resumedExactly_ = true;
        seed_ = sidecar->seed;
        eventsAtLastLogRow_ = sidecar->eventsAtLastLogRow;
        sidecarLogWritten_ = sidecar->logWritten;
        runs_ = sidecar->runs;
        runsDropped_ = sidecar->runsDropped;
        if (settings_.seed)
            note("the seed " + std::to_string(*settings_.seed) + " is not used: the evolution in " +
                 settings_.folder.string() + " continues its random state from " +
                 std::string(kSidecarFileName) + " (it began with the seed " +
                 std::to_string(seed_) + ")");
    } else {
        seed_ = requestedSeed;
        population.world.random.setState(seed_);
        if (loaded.evolution) population.setup(settings_.newSettings, 10, 150, &*loaded.evolution);
        else population.setup(settings_.newSettings, settings_.startPredators, settings_.startPrey);
    }
    // A sidecar that was not used is kept aside at the first save rather than replaced.
    std::error_code error;
    keepRejectedSidecar_ =
        !resumedExactly_ &&
        std::filesystem::symlink_status(sidecarPath(settings_.folder), error).type() !=
            std::filesystem::file_type::not_found;
    startTick_ = population.world.tick;
    const std::string now = utcNow();
    recordRun(runs_, runsDropped_,
              RunRecord{settings_.program, startTick_, startTick_, now, now, settings_.arguments,
                        changes});

    if (!settings_.logFile.empty()) {
        std::string why;
        std::vector<std::string> notes;
        // Rows after the saved tick are those of a run killed after its last checkpoint,
        // which this run writes again, only when that run was writing a log; otherwise
        // they belong to an evolution that is no longer in the folder.
        const bool dropLaterRows = resumedExactly_ && sidecarLogWritten_;
        if (!log_.open(settings_.logFile, startTick_, dropLaterRows, why, notes)) {
            failure_ = "cannot use the log " + settings_.logFile.string() + ": " + why;
            return false;
        }
        for (const std::string& line : notes) note(line);
    }
    // With a log, an evolution that did not continue from its sidecar, or whose sidecar
    // was saved by a run without a log, is saved at once, so that the rows the log gets
    // from now on always belong to a saved evolution that resumes exactly and knows them
    // as its own, also after a kill before the first checkpoint.
    if ((!resumedExactly_ || !sidecarLogWritten_) && log_.isOpen() && !checkpoint(population)) {
        failure_ = "cannot save the new evolution in " + settings_.folder.string();
        return false;
    }
    // The snapshot of the start, as the run that reached this tick wrote it (or would have).
    std::error_code missing;
    if (archiveDue(startTick_) &&
        !std::filesystem::exists(
            settings_.folder / kArchiveFolderName / snapshotFileName(startTick_), missing))
        writeArchive(population.world);
    eventsBeforeRows_ = eventsAtLastLogRow_;
    return true;
}

std::optional<ModelSettings> settingsOfRun(const std::filesystem::path& folder, std::string& why) {
    const std::optional<std::string> text =
        readTextFile(sidecarPath(folder), why, kSidecarMaxBytes);
    if (!text && why == "there is none") return ModelSettings{};
    if (!text) return std::nullopt;
    auto blank = std::make_unique<World>();
    setUpWorld(*blank, ModelSettings{}, 10, 150);
    const std::optional<Sidecar> sidecar = decodeSidecar(*text, worldState(*blank), why);
    if (!sidecar) return std::nullopt;
    return sidecar->settings;
}

bool RunFolder::archiveDue(std::int64_t tick) const {
    return settings_.archiveEvery > 0 && tick >= 0 && tick % settings_.archiveEvery == 0;
}

void RunFolder::writeArchive(const World& world) {
    std::string why;
    if (writeSnapshot(settings_.folder, savedEvolution(world), why)) return;
    if (!archiveFailed_) note("writing the archive failed (" + why + ")");
    archiveFailed_ = true;
}

void RunFolder::archive(const World& world) {
    if (archiveDue(world.tick)) writeArchive(world);
}

bool RunFolder::discardAfter(const World& rewound) {
    const std::int64_t tick = rewound.tick;
    while (!rowsWritten_.empty() && rowsWritten_.back().first > tick) rowsWritten_.pop_back();
    eventsAtLastLogRow_ = rowsWritten_.empty() ? eventsBeforeRows_ : rowsWritten_.back().second;
    // Saved before the files are cut: a kill in between resumes from here, dropping the
    // log's later rows as any resume from an older checkpoint does.
    const bool saved = checkpoint(rewound);
    if (!saved) note("the rewound evolution at tick " + std::to_string(tick) + " was not saved");
    std::string why;
    if (removeSnapshotsAfter(settings_.folder, tick, why) < 0)
        note("cannot remove the archive's snapshots after tick " + std::to_string(tick) + " (" +
             why + ")");
    if (!log_.isOpen() || logFailed_) return saved && !logFailed_;
    if (!log_.dropRowsAfter(tick, why)) {
        logFailed_ = true;
        note("cutting the log " + log_.path().string() + " at tick " + std::to_string(tick) +
             " failed (" + why + "); no more rows are written");
        return false;
    }
    return saved;
}

void RunFolder::report(const TickReport& report) {
    statistics_.write(report);
    if (report.tick % settings_.logEvery != 0) return;
    if (log_.isOpen() && !logFailed_ && !log_.append(logRow(report, eventsAtLastLogRow_))) {
        logFailed_ = true;
        note("writing the log " + log_.path().string() + " failed; no more rows are written");
    }
    eventsAtLastLogRow_ = report.events;
    if (settings_.rewindable) rowsWritten_.emplace_back(report.tick, report.events);
}

void RunFolder::forgetRowsBefore(std::int64_t tick) {
    while (!rowsWritten_.empty() && rowsWritten_.front().first < tick) {
        eventsBeforeRows_ = rowsWritten_.front().second;
        rowsWritten_.pop_front();
    }
}

bool RunFolder::checkpoint(const World& world) {
    if (log_.isOpen() && !logFailed_ && !log_.sync()) {
        logFailed_ = true;
        note("writing the log " + log_.path().string() + " failed; no more rows are written");
    }
    const SavedEvolution saved = savedEvolution(world);
    const GenomeFileBytes bytes = encodeGenomeFile(saved);
    Sidecar sidecar;
    sidecar.version = programVersion();
    sidecar.tick = saved.tick;
    sidecar.genomeChecksum = crc32(bytes.data(), bytes.size());
    sidecar.seed = seed_;
    sidecar.settings = world.settings;
    sidecar.world = worldState(world);
    sidecar.eventsAtLastLogRow = eventsAtLastLogRow_;
    sidecar.logWritten = log_.isOpen();
    runs_.back().endTick = world.tick;
    runs_.back().ended = utcNow();
    sidecar.runs = runs_;
    sidecar.runsDropped = runsDropped_;

    if (!genomeFile_.writeTemporary(bytes)) return false;
    std::string why;
    if (keepRejectedSidecar_) {
        std::filesystem::path kept;
        if (!keepAside(sidecarPath(settings_.folder), kept, why)) {
            note("saving " + sidecarPath(settings_.folder).string() + " failed (cannot keep the " +
                 "unusable one aside: " + why + "); the previous files are kept");
            std::error_code ignored;
            std::filesystem::remove(genomeFile_.temporaryPath(), ignored);
            return false;
        }
        note("the unusable " + sidecarPath(settings_.folder).string() + " is kept as " +
             kept.string());
        keepRejectedSidecar_ = false;
    }
    if (!writeFileAtomically(sidecarPath(settings_.folder), encodeSidecar(sidecar), why)) {
        note("saving " + sidecarPath(settings_.folder).string() + " failed (" + why +
             "); the previous files are kept");
        std::error_code ignored;
        std::filesystem::remove(genomeFile_.temporaryPath(), ignored);
        return false;
    }
    return genomeFile_.commitTemporary();
}

}  // namespace kav
