#!/usr/bin/env bash
# scripts/replicates with GNU parallel (3 replicates) and scripts/plot.py on one log and
# on several.
#   replicates_parallel.sh PATH/TO/kavrosa-evolve
# Exit 77 (skipped) when GNU parallel or Debian's python3-matplotlib is missing.
set -uo pipefail
evolve=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
command -v parallel > /dev/null || { echo "SKIPPED: GNU parallel is missing"; exit 77; }
/usr/bin/python3 -c "import matplotlib" 2> /dev/null ||
    { echo "SKIPPED: python3-matplotlib is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] && [ "$(stat -c %s "$1")" -gt 10000 ]; }

cd "$work"
KAVROSA_EVOLVE=$evolve "$source_dir/scripts/replicates" -k 3 -t 1000 -j 2 -o runs -- --prey 120 \
    > replicates.out 2>&1 || fail "scripts/replicates: $(cat replicates.out)"
for seed in 1 2 3; do
    folder=runs/seed-$seed
    [ "$(stat -c %s "$folder/genom.gen" 2> /dev/null)" = 60496 ] || fail "$folder/genom.gen"
    [ "$(wc -l < "$folder/log.csv")" -eq 6 ] || fail "$folder/log.csv: $(cat "$folder/log.csv")"
    # The arguments after -- reach every replicate.
    [ "$(tail -n 1 "$folder/log.csv" | cut -d, -f1,3)" = "1000,120" ] || fail "$folder: $(tail -n 1 "$folder/log.csv")"
done
[ "$(grep -c 'ticks (tick 0 to 1,000)' replicates.out)" -eq 3 ] || fail "$(cat replicates.out)"
cmp -s runs/seed-1/log.csv runs/seed-3/log.csv && fail "seeds 1 and 3 gave the same log"
is_png runs/replicates.png || fail "no plot of the replicates"

# Started again, the replicates are done already: nothing runs, the plot is made again.
KAVROSA_EVOLVE=$evolve "$source_dir/scripts/replicates" -s "1 2" -t 1000 -o runs > again.out 2>&1 ||
    fail "again: $(cat again.out)"
[ "$(grep -c 'ticks (tick 1,000 to 1,000)' again.out)" -eq 2 ] || fail "again: $(cat again.out)"

"$source_dir/scripts/plot.py" runs/seed-2/log.csv -o one.png > plot.out 2>&1 || fail "plot.py: $(cat plot.out)"
is_png one.png || fail "plot.py wrote no PNG for one log"
echo "tick,nothing" > other.csv
"$source_dir/scripts/plot.py" other.csv -o other.png > other.out 2>&1 && fail "plot.py took a file that is no log"
grep -q "no rows" other.out || fail "plot.py: $(cat other.out)"
echo "3 replicates with GNU parallel, plotted alone and together"
