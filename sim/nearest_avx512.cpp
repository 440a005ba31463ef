// The batched nearest search on sixteen lanes. Compiled with AVX-512 enabled; called only
// on machines that run it.
#include <immintrin.h>

#include "sim/nearest_kernel.h"

namespace kav {
namespace {

struct Lanes16 {
    using F = __m512;
    using M = __mmask16;
    static F splat(float v) { return _mm512_set1_ps(v); }
    static F splatBits(std::int32_t v) { return _mm512_castsi512_ps(_mm512_set1_epi32(v)); }
    static F load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, F v) { _mm512_store_ps(p, v); }
    static F infinity() { return _mm512_set1_ps(__builtin_inff()); }
    static F sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static F add(F a, F b) { return _mm512_add_ps(a, b); }
    static M ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
    static M lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M both(M a, M b) { return M(a & b); }
    static M either(M a, M b) { return M(a | b); }
    static F select(M m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
};

}  // namespace

void nearestFiveAvx512(const QueryGroup& queries, const SearchedEntries& entries,
                       GroupNearest& out) {
    nearestFiveOfGroup<Lanes16>(queries, entries, out);
}

}  // namespace kav
