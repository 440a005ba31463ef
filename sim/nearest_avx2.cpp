// The batched nearest search on eight lanes. Compiled with AVX2 enabled; called only on
// machines that run it.
#include <immintrin.h>

#include "sim/nearest_kernel.h"

namespace kav {
namespace {

struct Lanes8 {
    using F = __m256;
    using M = __m256;  // all ones where true
    static F splat(float v) { return _mm256_set1_ps(v); }
    static F splatBits(std::int32_t v) { return _mm256_castsi256_ps(_mm256_set1_epi32(v)); }
    static F load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, F v) { _mm256_store_ps(p, v); }
    static F infinity() { return _mm256_set1_ps(__builtin_inff()); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static M ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M both(M a, M b) { return _mm256_and_ps(a, b); }
    static M either(M a, M b) { return _mm256_or_ps(a, b); }
    static F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
};

}  // namespace

void nearestFiveAvx2(const QueryGroup& queries, const SearchedEntries& entries, GroupNearest& out) {
    nearestFiveOfGroup<Lanes8>(queries, entries, out);
}

}  // namespace kav
