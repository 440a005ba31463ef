#include "sim/nearest_search.h"

#include "sim/check.h"

namespace kav {

int lanesOf(VectorPath path) {
    switch (path) {
        case VectorPath::avx512:
            return 16;
        case VectorPath::avx2:
            return 8;
        case VectorPath::sse2:
            return 4;
        case VectorPath::scalar:
            return 1;
    }
    return 4;
}

void nearestFive(VectorPath path, const QueryGroup& queries, const SearchedEntries& entries,
                 GroupNearest& out) {
#if defined(KAVROSA_VECTOR_PATHS)
    if (path == VectorPath::avx512) return nearestFiveAvx512(queries, entries, out);
    if (path == VectorPath::avx2) return nearestFiveAvx2(queries, entries, out);
#endif
    (void)queries;
    (void)entries;
    (void)out;
    KAV_CHECK(false, "the batched search runs on the wider paths only");
}

}  // namespace kav
