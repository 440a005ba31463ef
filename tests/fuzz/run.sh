#!/usr/bin/env bash
# Builds the fuzz targets of the Genome file and of its sidecar into build-fuzz/ (clang 14,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) and runs them side by side,
# each on its own core for the whole of a bounded time (libFuzzer runs one input at a time).
#
#   tests/fuzz/run.sh [SECONDS]      default 60
#   tests/fuzz/run.sh --build        only builds the targets
#
# Each run's output goes to build-fuzz/genome.log and build-fuzz/sidecar.log and is shown
# whole, one after the other, once both have stopped; the last lines give each target's
# inputs ("fuzz: genome N inputs, status S"). New inputs go to build-fuzz/corpus and
# build-fuzz/sidecar_corpus, crashes and their inputs to build-fuzz/artifacts; the committed
# seeds in tests/fuzz/corpus and tests/fuzz/sidecar_corpus are only read. Exit status 0
# when neither run found anything, else that of the first run that did.
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

pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
}
trap 'stop; exit 130' INT TERM

echo "Fuzzing the Genome file and the sidecar side by side for $seconds s"
"$out/tests/fuzz/kavrosa_genome_fuzz" -max_total_time="$seconds" -timeout=20 -max_len=61000 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    "$out/corpus" "$root/tests/fuzz/corpus" > "$out/genome.log" 2>&1 &
pids+=($!)
"$out/tests/fuzz/kavrosa_sidecar_fuzz" -max_total_time="$seconds" -timeout=20 -max_len=48000 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/sidecar-" \
    "$out/sidecar_corpus" "$root/tests/fuzz/sidecar_corpus" > "$out/sidecar.log" 2>&1 &
pids+=($!)
genome_status=0
wait "${pids[0]}" || genome_status=$?
sidecar_status=0
wait "${pids[1]}" || sidecar_status=$?
pids=()

inputs() {
  local n
  n=$(sed -n -E 's/^stat::number_of_executed_units: ([0-9]+)/\1/p' "$1" | tail -n 1)
  echo "${n:-?}"
}
for target in genome sidecar; do
  echo "--- $target ($out/$target.log)"
  cat "$out/$target.log"
done
echo "fuzz: genome $(inputs "$out/genome.log") inputs, status $genome_status"
echo "fuzz: sidecar $(inputs "$out/sidecar.log") inputs, status $sidecar_status"
[ "$genome_status" -ne 0 ] && exit "$genome_status"
exit "$sidecar_status"
