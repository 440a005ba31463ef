#include "app/movie_mode.h"

#include <SDL.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/movie.h"
#include "io/run_folder.h"
#include "render/renderer.h"

namespace kav {

namespace {

volatile sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) { stopSignal = signal; }

// SIGINT, SIGTERM and SIGHUP end the movie between two frames, without a file. Not
// restarted, so that a write the encoder holds up returns to look at the flag.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A closed stderr (a progress line piped into `head`) must not end the movie; the
    // encoder's broken pipe is an error of its own (MovieEncoder::addFrame).
    signal(SIGPIPE, SIG_IGN);
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

int fail(const std::string& line, int status) {
    std::fprintf(stderr, "kavrosa: %s\n", line.c_str());
    return status;
}

RunSettings movieRunSettings(const WindowOptions& options) {
    RunSettings settings;
    settings.folder = options.folder.empty() ? "." : options.folder;
    settings.seed = options.seed;
    settings.program = "kavrosa";
    settings.arguments = options.arguments;
    settings.newSettings = options.newSettings;
    settings.parameters = options.parameters;
    return settings;
}

// SDL's offscreen driver with an EGL context of the movie's size: no display, whatever
// the environment names.
class OffscreenTarget {
public:
    ~OffscreenTarget() {
        renderer.releaseDevice();
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        if (started_) SDL_Quit();
    }

    // Empty when ready; else what failed. The arena keeps both side walls in view.
    std::string open(MovieSize size, const Arena& arena) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
        if (SDL_Init(SDL_INIT_VIDEO) != 0)
            return std::string("cannot start SDL's offscreen video driver: ") + SDL_GetError();
        started_ = true;
        window_ = SDL_CreateWindow("Kavrosa", 0, 0, size.width, size.height,
                                   SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window_ == nullptr)
            return std::string("cannot make an offscreen surface: ") + SDL_GetError();
        if (!renderer.setupDevice(window_) || !renderer.createShapes())
            return "cannot set up drawing: " + renderer.failure();
        renderer.setArenaView(
            arenaView(size.width, size.height, 0, aspectShowingArena(arena.xMin, arena.xMax)));
        return {};
    }

    Renderer renderer;

private:
    SDL_Window* window_ = nullptr;
    bool started_ = false;
};

// A line on stderr every second while the movie is made.
class Progress {
public:
    explicit Progress(std::int64_t totalFrames) : total_(totalFrames) {}

    void frameDone(std::int64_t frames, std::int64_t ticks, std::int64_t totalTicks) {
        const double seconds = elapsed();
        if (seconds < nextLine_) return;
        nextLine_ = seconds + 1.0;
        std::fprintf(stderr, "kavrosa: movie %lld of %lld frames, %lld of %lld ticks, %.0f s\n",
                     static_cast<long long>(frames), static_cast<long long>(total_),
                     static_cast<long long>(ticks), static_cast<long long>(totalTicks), seconds);
    }
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::int64_t total_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    double nextLine_ = 1.0;
};

}  // namespace

int makeMovie(Population& population, const WindowOptions& options) {
    const std::string ffmpeg = findProgram("ffmpeg", std::getenv("PATH"));
    if (ffmpeg.empty())
        return fail(std::string("--movie needs the ffmpeg program, which is not on the PATH; "
                                "install Debian's package ") +
                        kEncoderPackage + " (apt-get install " + kEncoderPackage + ")",
                    2);

    // The folder is read under its lock, as every program reads it, so that a save by
    // another program is never seen half done. Nothing is written: once the world is set
    // up the lock goes, and other programs may work on the folder while the movie is made.
    RunFolder folder(movieRunSettings(options));
    if (!folder.lock()) return fail(folder.failure(), 3);
    if (!folder.open(population)) return fail(folder.failure(), 2);
    folder.unlock();

    OffscreenTarget target;
    const std::string why = target.open(options.movieSize, population.world.settings.arena);
    if (!why.empty()) return fail(why, 1);

    catchStopSignals();
    MovieEncoder encoder;
    std::string failure;
    if (!encoder.start(ffmpeg, options.movieFile, options.movieSize, failure))
        return fail("the movie was not made: " + failure, 1);

    const std::int64_t firstTick = population.world.tick + 1;
    const std::int64_t totalFrames = options.movieTicks * kMovieFramesPerTick;
    Progress progress(totalFrames);
    std::vector<std::uint8_t> pixels;
    // As the normal mode: a tick, then its move drawn at the start of each sixth of the
    // tick's period, the next tick when the period is over.
    for (std::int64_t tick = 0; tick < options.movieTicks; ++tick) {
        population.runTick();
        for (int frame = 0; frame < kMovieFramesPerTick; ++frame) {
            const float t = static_cast<float>(frame) / kMovieFramesPerTick;
            target.renderer.drawFrame(population.world, t);
            int width = 0;
            int height = 0;
            if (!target.renderer.readBackBuffer(pixels, width, height)) {
                encoder.abandon();
                return fail("the movie was not made: cannot read the drawn frame back", 1);
            }
            if (!encoder.addFrame(pixels, width, height, failure))
                return fail("the movie was not made: " + failure + "; " + options.movieFile +
                                " is left as it was",
                            1);
            if (stopSignal != 0) {
                encoder.abandon();
                return fail(std::string("the movie was stopped by ") + signalName(stopSignal) +
                                "; " + options.movieFile + " is left as it was",
                            1);
            }
            progress.frameDone(encoder.frames(), tick + 1, options.movieTicks);
        }
    }
    if (!encoder.finish(failure))
        return fail(
            "the movie was not made: " + failure + "; " + options.movieFile + " is left as it was",
            1);
    const double seconds = progress.elapsed();
    std::fprintf(stderr,
                 "kavrosa: movie %s: %lld frames of %d x %d, ticks %lld to %lld, in %.1f s "
                 "(%.1f frames a second)\n",
                 options.movieFile.c_str(), static_cast<long long>(encoder.frames()),
                 options.movieSize.width, options.movieSize.height,
                 static_cast<long long>(firstTick),
                 static_cast<long long>(firstTick + options.movieTicks - 1), seconds,
                 seconds > 0 ? double(encoder.frames()) / seconds : 0.0);
    return 0;
}

}  // namespace kav
