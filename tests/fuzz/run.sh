#!/usr/bin/env bash
# Builds the fuzz targets of the Genome file and of its sidecar into build-fuzz/ (clang 14,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) and runs them one after the
# other, each for half of a bounded time.
#
#   tests/fuzz/run.sh [SECONDS]      default 60
#   tests/fuzz/run.sh --build        only builds the target
#
# New inputs go to build-fuzz/corpus and build-fuzz/sidecar_corpus, crashes and their
# inputs to build-fuzz/artifacts; the committed seeds in tests/fuzz/corpus and
# tests/fuzz/sidecar_corpus are only read. Exit status 0 when neither run found anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
out=${KAVROSA_FUZZ_BUILD:-$root/build-fuzz}
mkdir -p "$out/corpus" "$out/sidecar_corpus" "$out/artifacts"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" -DKAVROSA_FUZZ=ON -DKAVROSA_SANITIZE=ON \
      -DKAVROSA_WINDOW=OFF -DKAVROSA_TESTS=OFF > /dev/null
cmake --build "$out" -j"$(nproc)" --target kavrosa_genome_fuzz kavrosa_sidecar_fuzz
[ "$seconds" = --build ] && exit 0
half=$(( (seconds + 1) / 2 ))

echo "Fuzzing the Genome file for $half s"
"$out/tests/fuzz/kavrosa_genome_fuzz" -max_total_time="$half" -timeout=20 -max_len=61000 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    "$out/corpus" "$root/tests/fuzz/corpus"

echo "Fuzzing the sidecar for $half s"
"$out/tests/fuzz/kavrosa_sidecar_fuzz" -max_total_time="$half" -timeout=20 -max_len=48000 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/sidecar-" \
    "$out/sidecar_corpus" "$root/tests/fuzz/sidecar_corpus"
