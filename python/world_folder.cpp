#include "python/world_folder.h"

#include <system_error>

#include "io/folder_lock.h"
#include "io/genome_file.h"
#include "io/run_folder.h"

namespace kav::py {

namespace {

constexpr const char* kProgram = "python";

void beginSession(SessionWorld& w) {
    const std::string now = utcNow();
    w.session = RunRecord{kProgram, w.world().tick, w.world().tick, now, now, "kavrosa module"};
}

// The WorldState of a world just set up at the standard sizes: the slot properties that a
// sidecar does not hold, as RunFolder takes them.
WorldState blankState() {
    auto world = std::make_unique<World>();
    setUpWorld(*world, ModelSettings{}, 10, 150);
    return worldState(*world);
}

}  // namespace

void SessionWorld::step(std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) {
        if (!population->runTick()) continue;
        lastReport = population->lastReport();
        hasReport = true;
        eventsBeforeLastReport = eventsAtLastReport;
        eventsAtLastReport = lastReport.events;
    }
}

std::unique_ptr<SessionWorld> SessionWorld::copy() const {
    auto other = std::make_unique<SessionWorld>();
    other->population->world = population->world;
    other->population->step.kind = population->step.kind;
    other->population->step.program.vectorPath = population->step.program.vectorPath;
    other->population->step.readings = population->step.readings;
    other->population->step.captures = population->step.captures;
    other->seed = seed;
    other->hasReport = hasReport;
    other->lastReport = lastReport;
    other->eventsAtLastReport = eventsAtLastReport;
    other->eventsBeforeLastReport = eventsBeforeLastReport;
    other->runs = runs;
    other->session = session;
    return other;
}

std::unique_ptr<SessionWorld> newSessionWorld(std::uint32_t seed, int predators, int prey,
                                              const ModelSettings& settings) {
    auto w = std::make_unique<SessionWorld>();
    w->seed = seed;
    w->world().random.setState(seed);
    w->population->setup(settings, predators, prey);
    beginSession(*w);
    return w;
}

std::unique_ptr<SessionWorld> loadSessionWorld(const std::filesystem::path& folder,
                                               FolderResult& result) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        result = {FolderError::notFound, folder.string() + " is not a folder", {}};
        return nullptr;
    }
    RunSettings settings;
    settings.folder = folder;
    settings.program = kProgram;
    settings.arguments = "kavrosa module";
    RunFolder run(settings);
    if (!run.lock()) {
        result = {FolderError::inUse, run.failure(), {}};
        return nullptr;
    }
    // The programs start a new evolution from a missing or refused genom.gen; a load
    // from Python wants the one in the folder.
    const std::filesystem::path genomePath = folder / kGenomeFileName;
    std::string why;
    const std::optional<std::string> bytes = readTextFile(genomePath, why);
    if (!bytes) {
        result = {FolderError::notFound, "cannot read " + genomePath.string() + ": " + why, {}};
        return nullptr;
    }
    DecodedGenomeFile decoded = decodeGenomeFile(
        reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size(), genomePath.string());
    if (!decoded.evolution) {
        result = {
            FolderError::corrupt,
            decoded.notes.empty() ? genomePath.string() + " cannot be used" : decoded.notes.front(),
            {}};
        return nullptr;
    }
    result.notes = decoded.notes;

    auto w = std::make_unique<SessionWorld>();
    if (!run.open(*w->population)) {
        result.error = FolderError::io;
        result.message = run.failure();
        return nullptr;
    }
    w->seed = run.seed();
    if (run.resumedExactly()) {
        // The runs recorded so far and the events at the last log row, which RunFolder
        // keeps to itself.
        const std::optional<std::string> text = readTextFile(folder / kSidecarFileName, why);
        const std::optional<Sidecar> sidecar =
            text ? decodeSidecar(*text, blankState(), why) : std::nullopt;
        if (sidecar) {
            w->runs = sidecar->runs;
            w->eventsAtLastReport = sidecar->eventsAtLastLogRow;
            w->eventsBeforeLastReport = sidecar->eventsAtLastLogRow;
        }
    } else {
        result.notes.push_back(genomePath.string() +
                               " has no sidecar that matches it: the random state starts from "
                               "the seed " +
                               std::to_string(run.seed()) + " and the Agents from new places");
    }
    beginSession(*w);
    return w;
}

FolderResult saveSessionWorld(SessionWorld& w, const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return {FolderError::io, "cannot make " + folder.string() + ": " + error.message(), {}};
    FolderLock lock;
    if (!lock.acquire(folder)) return {FolderError::inUse, lock.failure(), {}};

    // What RunFolder::checkpoint writes, with this session's run at the end of the list.
    const SavedEvolution saved = savedEvolution(w.world());
    const GenomeFileBytes bytes = encodeGenomeFile(saved);
    Sidecar sidecar;
    sidecar.version = programVersion();
    sidecar.tick = saved.tick;
    sidecar.genomeChecksum = crc32(bytes.data(), bytes.size());
    sidecar.seed = w.seed;
    sidecar.settings = w.world().settings;
    sidecar.world = worldState(w.world());
    sidecar.eventsAtLastLogRow = w.eventsAtLastReport;
    sidecar.logWritten = false;
    w.session.endTick = w.world().tick;
    w.session.ended = utcNow();
    sidecar.runs = w.runs;
    sidecar.runs.push_back(w.session);

    GenomeFile genomeFile(folder);
    if (!genomeFile.writeTemporary(bytes))
        return {FolderError::io, "cannot write " + genomeFile.temporaryPath().string(), {}};
    std::string why;
    if (!writeFileAtomically(folder / kSidecarFileName, encodeSidecar(sidecar), why)) {
        std::filesystem::remove(genomeFile.temporaryPath(), error);
        return {FolderError::io,
                "cannot write " + (folder / kSidecarFileName).string() + ": " + why,
                {}};
    }
    if (!genomeFile.commitTemporary())
        return {FolderError::io,
                "cannot rename " + genomeFile.temporaryPath().string() + " over " +
                    genomeFile.path().string(),
                {}};
    return {};
}

}  // namespace kav::py
