#!/usr/bin/env bash
# scripts/sweep on GNU parallel: a 2 x 2 grid of one parameter and two seeds, its tables
# against the runs' own logs and sidecars, a resumed sweep, the plot of a sweep folder, and
# bad plans refused before any run.
#   sweep_parallel.sh PATH/TO/kavrosa-evolve
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
export KAVROSA_EVOLVE=$evolve
sweep=$source_dir/scripts/sweep
cd "$work"

cat > plan.toml <<'PLAN'
ticks = 2000
seeds = [3, 4]
archive_every = 1000

[fixed]
motion.drag = 0.12

[vary]
predator.starvation_ticks = [30, 80]
PLAN
"$sweep" plan.toml -o out -j 2 > sweep.out 2>&1 || fail "scripts/sweep: $(cat sweep.out)"
[ "$(ls out/*/seed-*/genom.gen | wc -l)" -eq 4 ] || fail "not four runs: $(ls -R out)"
[ -f "out/predator.starvation_ticks=80/seed-4/archive/genom-000002000.gen" ] || fail "no archive"

# The tables hold exactly the logs' rows, the plan's values, and the runs' own settings.
/usr/bin/python3 - out <<'CHECK' || fail "the tables do not match the runs"
import csv, json, os, sys
out = sys.argv[1]
runs = list(csv.DictReader(open(os.path.join(out, "runs.csv"))))
final = list(csv.DictReader(open(os.path.join(out, "final.csv"))))
assert len(final) == 4, final
seen = 0
for limit in (30, 80):
    for seed in (3, 4):
        folder = os.path.join(out, f"predator.starvation_ticks={limit}", f"seed-{seed}")
        log = list(csv.DictReader(open(os.path.join(folder, "log.csv"))))
        mine = [r for r in runs if r["predator.starvation_ticks"] == str(limit) and r["seed"] == str(seed)]
        assert len(mine) == len(log) == 10, (folder, len(mine), len(log))
        for row, logged in zip(mine, log):
            assert row["motion.drag"] == "0.12"
            assert all(row[k] == v for k, v in logged.items()), (folder, row["tick"])
        seen += len(mine)
        settings = json.load(open(os.path.join(folder, "genom.gen.json")))["settings"]
        assert settings["predator.starvation_ticks"] == limit and abs(settings["motion.drag"] - 0.12) < 1e-6
        last = [r for r in log if int(r["tick"]) > 1800]
        row = next(r for r in final if r["predator.starvation_ticks"] == str(limit) and r["seed"] == str(seed))
        mean = sum(float(r["captures"]) for r in last) / len(last)
        assert abs(float(row["captures"]) - mean) < 1e-9 * max(1, mean), (row["captures"], mean)
assert seen == len(runs)
CHECK
cmp -s "out/predator.starvation_ticks=30/seed-3/log.csv" "out/predator.starvation_ticks=80/seed-3/log.csv" &&
    fail "the varied parameter changed nothing"

# Run again: the finished runs are left as they are and the tables come out the same.
cp out/runs.csv runs.before
before=$(stat -c %Y "out/predator.starvation_ticks=30/seed-3/genom.gen.json")
"$sweep" plan.toml -o out -j 2 > again.out 2>&1 || fail "the second sweep: $(cat again.out)"
cmp -s runs.before out/runs.csv || fail "the tables changed on a second sweep"
grep -q "ticks (tick 2,000 to 2,000)" again.out || fail "a finished run ran again: $(cat again.out)"

# The plot of a sweep folder: one line per value of the varied parameter.
/usr/bin/python3 "$source_dir/scripts/plot.py" out -o sweep.png > plot.out 2>&1 || fail "plot.py: $(cat plot.out)"
[ "$(stat -c %s sweep.png)" -gt 10000 ] || fail "no plot"
grep -q "^plot.py: 2 settings, 4 runs in sweep.png" plot.out ||
  fail "plot.py did not plot the sweep's settings apart: $(cat plot.out)"

# Bad plans: refused with the plan's line, before any run.
refused() {  # NAME EXPECTED-TEXT, the plan on stdin
    cat > "$1.toml"
    "$sweep" "$1.toml" -o "bad-$1" > "$1.out" 2>&1
    [ $? -eq 2 ] || fail "plan $1 was not refused: $(cat "$1.out")"
    grep -q -- "$2" "$1.out" || fail "plan $1: expected '$2' in: $(cat "$1.out")"
    [ ! -e "bad-$1" ] || fail "plan $1 made its folder"
}
printf 'ticks = 100\n[vary]\npredator.radus = [0.1]\n' | refused unknown "unknown.toml:3: unknown parameter 'predator.radus'"
printf 'ticks = 100\n[vary]\nmotion.drag = []\n' | refused empty "empty.toml:3: motion.drag: a varied parameter needs a non-empty list"
printf 'ticks = 100\n\n[vary]\nmotion.drag = [0.1, 50]\n' | refused range "range.toml:4: .*motion.drag"
printf 'seeds = 2\n[vary]\nmotion.drag = [0.1]\n' | refused noticks "names no ticks"
echo "the sweep ran 4 runs on GNU parallel; tables, resume, plot and refusals are right"
