#pragma once
// The lanes types' primitives that are the same intrinsic on the x86 units but for the
// width's prefix (_mm, _mm256, _mm512), or on AVX and later for the comparison's name: each
// macro writes one family of them into a lanes type of a unit's file, e.g.
// KAV_FLOAT_ARITHMETIC(_mm256) in Lanes8. The primitives whose instructions differ between
// the units stay written out in the unit's file, which includes the intrinsics' header.

// The double lanes' arithmetic, of the vector V: the halves that HalvesOf widens floats to,
// and the contact test's pairs.
#define KAV_DOUBLE_ARITHMETIC(prefix)                                           \
    static V add(V a, V b) { return prefix##_add_pd(a, b); }                    \
    static V sub(V a, V b) { return prefix##_sub_pd(a, b); }                    \
    static V mul(V a, V b) { return prefix##_mul_pd(a, b); }                    \
    static V div(V a, V b) { return prefix##_div_pd(a, b); }                    \
    static V negate(V a) { return prefix##_xor_pd(a, prefix##_set1_pd(-0.0)); } \
    static V sqrt(V a) { return prefix##_sqrt_pd(a); }                          \
    static V splat(double v) { return prefix##_set1_pd(v); }

// The float lanes' loads, stores and arithmetic, of the vector F (the loads and stores
// aligned to the vector's width).
#define KAV_FLOAT_ARITHMETIC(prefix)                              \
    static F splat(float v) { return prefix##_set1_ps(v); }       \
    static F zero() { return prefix##_setzero_ps(); }             \
    static F load(const float* p) { return prefix##_load_ps(p); } \
    static void store(float* p, F v) { prefix##_store_ps(p, v); } \
    static F add(F a, F b) { return prefix##_add_ps(a, b); }      \
    static F sub(F a, F b) { return prefix##_sub_ps(a, b); }      \
    static F mul(F a, F b) { return prefix##_mul_ps(a, b); }      \
    static F div(F a, F b) { return prefix##_div_ps(a, b); }      \
    static F negate(F a) { return prefix##_xor_ps(a, prefix##_set1_ps(-0.0f)); }

// The float lanes' comparisons on the units that compare by a predicate operand (AVX and
// later), given the comparison's intrinsic: masks M of F. Ordered predicates, false where
// either side is not a number; notLess is the negation of lt, true there.
#define KAV_FLOAT_COMPARISONS(compare)                          \
    static M ge(F a, F b) { return compare(a, b, _CMP_GE_OQ); } \
    static M lt(F a, F b) { return compare(a, b, _CMP_LT_OQ); } \
    static M gt(F a, F b) { return compare(a, b, _CMP_GT_OQ); } \
    static M notLess(F a, F b) { return compare(a, b, _CMP_NLT_UQ); }

// The contact test's double pairs D on the units whose pairs' floats fill a vector of half
// the width and that compare by a predicate operand (AVX and later), given both widths'
// prefixes and the comparison's intrinsic: the floats loaded and stored aligned, a pair's
// values rounded to float and widened again, and the ordered comparisons.
#define KAV_WIDE_PAIRS(prefix, halfPrefix, compare)                                             \
    static D load(const float* p) { return prefix##_cvtps_pd(halfPrefix##_load_ps(p)); }        \
    static D rounded(D v) { return prefix##_cvtps_pd(prefix##_cvtpd_ps(v)); }                   \
    static void storeRounded(float* p, D v) { halfPrefix##_store_ps(p, prefix##_cvtpd_ps(v)); } \
    static M ge(D a, D b) { return compare(a, b, _CMP_GE_OQ); }                                 \
    static M lt(D a, D b) { return compare(a, b, _CMP_LT_OQ); }                                 \
    static M le(D a, D b) { return compare(a, b, _CMP_LE_OQ); }
