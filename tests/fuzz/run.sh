#!/usr/bin/env bash
# Builds the Genome file fuzz target (clang 14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) from sim/ and evo/ and runs it for a bounded time.
#
#   tests/fuzz/run.sh [SECONDS]      default 60; the build goes to build-fuzz/
#
# New inputs go to build-fuzz/corpus, crashes and their inputs to build-fuzz/artifacts;
# the committed seeds in tests/fuzz/corpus are only read. Exit status 0 when the run
# found nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
out=${KAVROSA_FUZZ_BUILD:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++-14}
mkdir -p "$out/obj" "$out/corpus" "$out/artifacts"

flags=(-std=c++20 -O2 -g -I"$root" -ffp-contract=off -fno-fast-math -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=all -fsanitize=fuzzer-no-link)
sources=("$root"/sim/*.cpp "$root"/evo/*.cpp "$root"/tests/fuzz/genome_fuzz.cpp)

# One object per source, rebuilt when the source, any header or this script is newer.
newest_header=$(ls -t "$root"/sim/*.h "$root"/evo/*.h | head -1)
compile() {
    local source=$1 object=$2
    shift 2
    if [ ! -f "$object" ] || [ "$source" -nt "$object" ] || [ "$newest_header" -nt "$object" ] ||
       [ "$root/tests/fuzz/run.sh" -nt "$object" ]; then
        "$cxx" "$@" -c "$source" -o "$object"
    fi
}
objects=()
pids=()
for source in "${sources[@]}"; do
    name=$(basename "$(dirname "$source")")_$(basename "$source" .cpp)
    object="$out/obj/$name.o"
    objects+=("$object")
    compile "$source" "$object" "${flags[@]}" &
    pids+=($!)
    # Two compilers at a time.
    if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid"; done
"$cxx" "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" -o "$out/genome_fuzz"

echo "Fuzzing the Genome file for $seconds s"
"$out/genome_fuzz" -max_total_time="$seconds" -timeout=20 -max_len=61000 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    "$out/corpus" "$root/tests/fuzz/corpus"
