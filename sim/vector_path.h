#pragma once
// The vector unit the program's step runs its packed arithmetic on. Every path computes
// each value with the same operations in the same order, one value per lane, so all paths
// give the same bits; they differ only in how many lanes an instruction carries. The
// widest that the processor and the operating system support is the default; the tests
// force each in turn.
namespace kav {

enum class VectorPath {
    scalar,  // one float: any processor, the plainest form of every kernel
    sse2,    // four floats: every x86-64 processor
    avx2,    // eight floats
    avx512,  // sixteen floats (AVX-512 F, VL, BW and DQ)
};

// The wider first as they were added, the one-lane path last.
constexpr VectorPath kVectorPaths[] = {VectorPath::sse2, VectorPath::avx2, VectorPath::avx512,
                                       VectorPath::scalar};

// Whether this machine can run the path's instructions.
bool canRun(VectorPath path);

// The widest path this machine can run.
VectorPath widestVectorPath();

// "scalar", "sse2", "avx2" or "avx512".
const char* nameOf(VectorPath path);

}  // namespace kav
