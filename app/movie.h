#pragma once
// Movies of the arena: frames read back from OpenGL, handed to Debian's ffmpeg program
// through a pipe and encoded as H.264 in an MP4 file that ordinary players open.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/schedule.h"

namespace kav {

// Frames a second of every movie: the normal mode's five ticks a second at six frames a
// tick.
constexpr int kMovieFramesPerSecond = 30;
constexpr int kMovieFramesPerTick = 6;

// The Debian package that provides ffmpeg (and ffprobe).
constexpr const char* kEncoderPackage = "ffmpeg";

// The frame size of a picture for the encoder, whose colour format halves both sides: the
// even size within it.
inline int evenBelow(int pixels) { return pixels - pixels % 2; }

struct MovieSize {
    int width = 800;
    int height = 600;
};

// "WIDTHxHEIGHT", even numbers in 64..3840 by 64..2160 (the encoder's colour format
// halves both). Empty with the reason otherwise.
std::optional<MovieSize> parseMovieSize(const std::string& text, std::string& why);

// The executable file `name` in the folders of `searchPath` (as PATH lists them);
// empty when there is none.
std::string findProgram(const std::string& name, const char* searchPath);

// ffmpeg's command line: raw RGB frames of the size on its standard input, 30 a second,
// written as H.264 (yuv420p) in an MP4 file at `output`.
std::vector<std::string> encoderArguments(const std::string& program, MovieSize size,
                                          const std::filesystem::path& output);

// One movie being encoded. The encoder writes into a temporary file beside the movie's
// name, which is renamed into place only when the encoder succeeded and the file is on
// disk; any failure removes it, so the name never holds half a movie.
class MovieEncoder {
public:
    MovieEncoder() = default;
    MovieEncoder(const MovieEncoder&) = delete;
    MovieEncoder& operator=(const MovieEncoder&) = delete;
    ~MovieEncoder() { abandon(); }

    // Starts `program` (ffmpeg) on a temporary file beside `movie`. False with the reason
    // when the temporary file or the program cannot be started.
    bool start(const std::string& program, const std::filesystem::path& movie, MovieSize size,
               std::string& why);
    // One frame as readBackBuffer gives it, at least the movie's size: its top left part
    // of that size is taken. False with the reason when the frame is smaller or the
    // encoder is gone (it ended or closed its input); the movie is then abandoned.
    bool addFrame(const std::vector<std::uint8_t>& rgbaBottomUp, int width, int height,
                  std::string& why);
    // Ends the input, waits for the encoder and puts the movie in place. False with the
    // reason when the encoder failed; nothing is then left under either name.
    bool finish(std::string& why);
    // Stops the encoder and removes the temporary file (a signal, a failed frame).
    void abandon();

    bool active() const { return child_ > 0; }
    std::int64_t frames() const { return frames_; }
    MovieSize size() const { return size_; }
    const std::filesystem::path& movie() const { return movie_; }

private:
    // The encoder's exit as a reason; empty when it succeeded.
    std::string waitForChild();
    void closeInput();
    void removeTemporary();

    pid_t child_ = -1;
    int input_ = -1;
    MovieSize size_;
    std::int64_t frames_ = 0;
    std::filesystem::path movie_;
    std::filesystem::path temporary_;
    std::vector<std::uint8_t> rgb_;
};

// The window's recording (R): the frames as drawn, up to 30 a second, into
// kavrosa-tick-N.mp4 (N the tick at its start), named on stderr at the start and the end.
// Each problem is one line on stderr, and the window goes on.
class WindowRecording {
public:
    // Starts a recording of frames of `width` x `height` (as drawn; an odd side loses its
    // last pixel) into `folder`, or finishes the one under way.
    void toggle(const std::filesystem::path& folder, std::int64_t tick, int width, int height);
    bool active() const { return encoder_.active(); }
    // Whether the frame being drawn is to be recorded: at most 30 a second.
    bool frameDue(double nowMs) { return active() && every_.due(nowMs); }
    // A frame as readBackBuffer gives it. A frame of another size (the window was resized)
    // finishes the recording first.
    void addFrame(const std::vector<std::uint8_t>& rgbaBottomUp, int width, int height);
    // Finishes the recording under way, if any (the window closes).
    void finish();

private:
    MovieEncoder encoder_;
    Every every_{1000.0 / kMovieFramesPerSecond};
};

}  // namespace kav
