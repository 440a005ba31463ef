// Preloaded into the window program to count its frames: wraps SDL_GL_SwapWindow and,
// when the program ends, writes "frames N seconds S fps F" (first to last swap) to
// the file named by KAVROSA_FRAME_LOG, or to stderr.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

struct SDL_Window;

namespace {

using Clock = std::chrono::steady_clock;
long frames = 0;
Clock::time_point first;
Clock::time_point last;

struct Report {
    ~Report() {
        const double seconds = std::chrono::duration<double>(last - first).count();
        const char* path = std::getenv("KAVROSA_FRAME_LOG");
        std::FILE* out = path != nullptr ? std::fopen(path, "w") : stderr;
        if (out == nullptr) return;
        std::fprintf(out, "frames %ld seconds %.3f fps %.1f\n", frames, seconds,
                     seconds > 0 ? (frames - 1) / seconds : 0.0);
        if (out != stderr) std::fclose(out);
    }
} report;

}  // namespace

extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
    using Swap = void (*)(SDL_Window*);
    static const Swap real = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    last = Clock::now();
    if (frames++ == 0) first = last;
    real(window);
}
