#include "app/movie.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "app/screenshot.h"

extern char** environ;

namespace kav {

namespace {

constexpr int kLeastWidth = 64;
constexpr int kGreatestWidth = 3840;
constexpr int kLeastHeight = 64;
constexpr int kGreatestHeight = 2160;

// A decimal number of at most five digits; -1 otherwise.
int smallNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<MovieSize> parseMovieSize(const std::string& text, std::string& why) {
    const std::size_t cross = text.find('x');
    const int width = cross == std::string::npos ? -1 : smallNumber(text.substr(0, cross));
    const int height = cross == std::string::npos ? -1 : smallNumber(text.substr(cross + 1));
    if (width < 0 || height < 0) {
        why = "'" + text + "' is not WIDTHxHEIGHT, such as 800x600";
        return std::nullopt;
    }
    if (width < kLeastWidth || width > kGreatestWidth || height < kLeastHeight ||
        height > kGreatestHeight) {
        why = text + " is outside 64x64 to 3840x2160";
        return std::nullopt;
    }
    if (width % 2 != 0 || height % 2 != 0) {
        why = text + ": the width and the height must be even";
        return std::nullopt;
    }
    return MovieSize{width, height};
}

std::string findProgram(const std::string& name, const char* searchPath) {
    // As execvp searches: an empty entry is the working folder; no PATH, the system's.
    const std::string folders = searchPath != nullptr ? searchPath : "/bin:/usr/bin";
    std::size_t from = 0;
    while (true) {
        const std::size_t colon = folders.find(':', from);
        const std::string folder = folders.substr(from, colon - from);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
        if (colon == std::string::npos) return {};
        from = colon + 1;
    }
}

std::vector<std::string> encoderArguments(const std::string& program, MovieSize size,
                                          const std::filesystem::path& output) {
    const std::string frameSize = std::to_string(size.width) + "x" + std::to_string(size.height);
    return {program, "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pixel_format",
            "rgb24", "-video_size", frameSize, "-framerate", std::to_string(kMovieFramesPerSecond),
            "-i", "pipe:0", "-an", "-c:v", "libx264", "-preset", "veryfast", "-crf", "20",
            "-pix_fmt", "yuv420p", "-movflags", "+faststart",
            // The temporary name has no extension that names the format.
            "-f", "mp4", output.string()};
}

bool MovieEncoder::start(const std::string& program, const std::filesystem::path& movie,
                         MovieSize size, std::string& why) {
    abandon();
    movie_ = movie;
    size_ = size;
    frames_ = 0;
    temporary_ = movie;
    temporary_ += "." + std::to_string(::getpid()) + ".tmp";

    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
    // The encoder is ours to stop: in a process group of its own, a Ctrl+C at the terminal
    // reaches only this program, which then finishes or abandons the movie itself. It
    // starts with the signals at their defaults, whatever this program ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const std::vector<std::string> arguments = encoderArguments(program, size, temporary_);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int failed =
        posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[0]);
    if (failed != 0) {
        ::close(ends[1]);
        why = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    child_ = child;
    input_ = ends[1];
    return true;
}

bool MovieEncoder::addFrame(const std::vector<std::uint8_t>& rgbaBottomUp, int width, int height,
                            std::string& why) {
    if (!active()) {
        why = "no movie is being encoded";
        return false;
    }
    if (width < size_.width || height < size_.height ||
        rgbaBottomUp.size() < static_cast<std::size_t>(width) * height * 4) {
        why = "a frame smaller than the movie";
        abandon();
        return false;
    }
    topDownRgb(rgbaBottomUp.data(), width, height, size_.width, size_.height, rgb_);

    // An encoder that ended early breaks the pipe: the write then fails with EPIPE, and
    // the SIGPIPE it raises, blocked here, is taken back before the mask is restored, so
    // that it neither ends this program nor stays pending.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const std::uint8_t* data = rgb_.data();
    std::size_t left = rgb_.size();
    int error = 0;
    while (left > 0) {
        const ssize_t written = ::write(input_, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (error == EPIPE) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {}
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (error != 0) {
        closeInput();
        const std::string ending = waitForChild();
        why = error == EPIPE ? "the encoder stopped reading frames" : std::strerror(error);
        if (!ending.empty()) why += " (" + ending + ")";
        removeTemporary();
        return false;
    }
    ++frames_;
    return true;
}

bool MovieEncoder::finish(std::string& why) {
    if (!active()) {
        why = "no movie is being encoded";
        return false;
    }
    if (frames_ == 0) {
        abandon();
        why = "no frame was recorded";
        return false;
    }
    closeInput();
    why = waitForChild();
    if (!why.empty()) {
        removeTemporary();
        return false;
    }
    // On the disk before it takes the name, so that a crash leaves the old file or the
    // whole new one.
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        why = "cannot write " + temporary_.string() + " to the disk: " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        removeTemporary();
        return false;
    }
    ::close(fd);
    std::error_code error;
    std::filesystem::rename(temporary_, movie_, error);
    if (error) {
        why = "cannot rename " + temporary_.string() + " to " + movie_.string() + ": " +
              error.message();
        removeTemporary();
        return false;
    }
    temporary_.clear();
    return true;
}

void MovieEncoder::abandon() {
    if (!active()) return;
    closeInput();
    ::kill(child_, SIGKILL);
    waitForChild();
    removeTemporary();
}

void MovieEncoder::closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

std::string MovieEncoder::waitForChild() {
    int status = 0;
    pid_t ended = -1;
    do {
        ended = ::waitpid(child_, &status, 0);
    } while (ended < 0 && errno == EINTR);
    child_ = -1;
    if (ended < 0) return std::string("cannot wait for the encoder: ") + std::strerror(errno);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status)) return "ffmpeg ended with status " + std::to_string(WEXITSTATUS(status));
    return "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
}

void MovieEncoder::removeTemporary() {
    if (temporary_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    temporary_.clear();
}

void WindowRecording::toggle(const std::filesystem::path& folder, std::int64_t tick, int width,
                             int height) {
    if (active()) {
        finish();
        return;
    }
    const std::string ffmpeg = findProgram("ffmpeg", std::getenv("PATH"));
    if (ffmpeg.empty()) {
        std::fprintf(stderr,
                     "kavrosa: cannot record: the ffmpeg program is not on the PATH; install "
                     "Debian's package %s\n",
                     kEncoderPackage);
        return;
    }
    const MovieSize size{evenBelow(width), evenBelow(height)};
    if (size.width <= 0 || size.height <= 0) {
        std::fprintf(stderr, "kavrosa: cannot record a window of %d x %d pixels\n", width, height);
        return;
    }
    const std::filesystem::path path = tickNamedPath(folder, tick, ".mp4");
    std::string why;
    if (!encoder_.start(ffmpeg, path, size, why)) {
        std::fprintf(stderr, "kavrosa: cannot record %s: %s\n", path.string().c_str(), why.c_str());
        return;
    }
    every_.hurry();
    std::fprintf(stderr, "kavrosa: recording %s (%d x %d); R again stops\n",
                 path.filename().string().c_str(), size.width, size.height);
}

void WindowRecording::addFrame(const std::vector<std::uint8_t>& rgbaBottomUp, int width,
                               int height) {
    if (!active()) return;
    const MovieSize size = encoder_.size();
    if (evenBelow(width) != size.width || evenBelow(height) != size.height) {
        std::fprintf(stderr, "kavrosa: the window's size changed; the recording ends\n");
        finish();
        return;
    }
    std::string why;
    if (!encoder_.addFrame(rgbaBottomUp, width, height, why))
        std::fprintf(stderr, "kavrosa: the recording %s was not made: %s\n",
                     encoder_.movie().filename().string().c_str(), why.c_str());
}

void WindowRecording::finish() {
    if (!active()) return;
    const std::string name = encoder_.movie().filename().string();
    std::string why;
    if (encoder_.finish(why)) {
        std::fprintf(stderr, "kavrosa: recorded %s: %lld frames of %d x %d\n", name.c_str(),
                     static_cast<long long>(encoder_.frames()), encoder_.size().width,
                     encoder_.size().height);
    } else {
        std::fprintf(stderr, "kavrosa: the recording %s was not made: %s\n", name.c_str(),
                     why.c_str());
    }
}

}  // namespace kav
