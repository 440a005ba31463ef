#pragma once
// One rule's kernels, one per vector unit, and the choice among them by path. Only the
// domain files include it; the per-unit files define the kernels.
#include "sim/vector_path.h"

namespace kav {

template <class Lanes>
struct KernelsOf {
    void (*scalar)(const Lanes&);
    void (*sse2)(const Lanes&);
    void (*avx2)(const Lanes&);
    void (*avx512)(const Lanes&);

    void run(VectorPath path, const Lanes& lanes) const {
        switch (path) {
            case VectorPath::sse2:
                return sse2(lanes);
            case VectorPath::avx2:
                return avx2(lanes);
            case VectorPath::avx512:
                return avx512(lanes);
            case VectorPath::scalar:
                break;
        }
        scalar(lanes);
    }
};

// The kernels named rule##Scalar, rule##Sse2, ...; where the x86 units are not built, the
// one-lane kernel stands for all (and canRun refuses the others).
#if defined(KAVROSA_VECTOR_PATHS)
#define KAV_KERNELS_OF(rule) \
    { rule##Scalar, rule##Sse2, rule##Avx2, rule##Avx512 }
#else
#define KAV_KERNELS_OF(rule) \
    { rule##Scalar, rule##Scalar, rule##Scalar, rule##Scalar }
#endif

}  // namespace kav
