#include "sim/vector_path.h"

namespace kav {

bool canRun(VectorPath path) {
#if defined(KAVROSA_VECTOR_PATHS)
    // The checks include the operating system's support for the wider registers.
    switch (path) {
        case VectorPath::scalar:
        case VectorPath::sse2:
            return true;
        case VectorPath::avx2:
            return __builtin_cpu_supports("avx2");
        case VectorPath::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
    }
    return false;
#else
    return path == VectorPath::scalar;
#endif
}

VectorPath widestVectorPath() {
    if (canRun(VectorPath::avx512)) return VectorPath::avx512;
    if (canRun(VectorPath::avx2)) return VectorPath::avx2;
    if (canRun(VectorPath::sse2)) return VectorPath::sse2;
    return VectorPath::scalar;
}

const char* nameOf(VectorPath path) {
    switch (path) {
        case VectorPath::scalar:
            return "scalar";
        case VectorPath::sse2:
            return "sse2";
        case VectorPath::avx2:
            return "avx2";
        case VectorPath::avx512:
            return "avx512";
    }
    return "?";
}

}  // namespace kav
