#!/usr/bin/env bash
# kavrosa-tournament on an archive of three snapshots: the same table for any thread count
# and for shares joined by merge, a cell that comes out the same alone, and bad input refused
# with nothing written.
#   tournament_end_to_end.sh PATH/TO/kavrosa-evolve PATH/TO/kavrosa-tournament
set -uo pipefail
evolve=$(realpath "$1")
tournament=$(realpath "$2")
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"
# The archive of one run, and of the same run split in three: the same files. (Tick 0's
# snapshot is left out of the matrix below.)
mkdir run split
model="--set predator.starvation_ticks=35 --archive-every 600"
"$evolve" -C run --until 1800 $model > /dev/null 2>&1 || fail "kavrosa-evolve to 1800"
for t in 500 1300 1800; do
    "$evolve" -C split --until $t $model > /dev/null 2>&1 || fail "kavrosa-evolve to $t"
done
diff -r run/archive split/archive > /dev/null || fail "the split run's archive differs"
[ "$(ls run/archive | tr '\n' ' ')" = "genom-000000000.gen genom-000000600.gen genom-000001200.gen genom-000001800.gen " ] ||
    fail "archive: $(ls run/archive)"
rm run/archive/genom-000000000.gen
play() { "$tournament" -C run --ticks 300 --worlds 2 "$@" 2> /dev/null; }
# The worlds take the run's own settings unless told otherwise.
play -o own.csv --threads 1 --set predator.starvation_ticks=35 || fail "own settings"
play -o default.csv --threads 1 --set predator.starvation_ticks=50 || fail "default settings"
cmp -s own.csv default.csv && fail "the starvation limit changed nothing"

play -o one.csv --threads 1 || fail "one thread"
play -o two.csv --threads 2 || fail "two threads"
cmp -s one.csv two.csv || fail "the table depends on the thread count"
cmp -s one.csv own.csv || fail "the worlds did not take the run's settings"
cmp -s one-summary.csv two-summary.csv || fail "the summary depends on the thread count"
[ "$(wc -l < one.csv)" -eq $((1 + 3 * 3 * 2)) ] || fail "$(cat one.csv)"
[ "$(grep -c '^predators,' one-summary.csv)" -eq 3 ] || fail "$(cat one-summary.csv)"
for k in 1 2 3; do play -o part$k.csv --part $k/3 || fail "part $k"; done
"$tournament" merge part3.csv part1.csv part2.csv -o merged.csv 2> /dev/null || fail "merge"
cmp -s merged.csv one.csv || fail "merged shares differ from one run"
cmp -s merged-summary.csv one-summary.csv || fail "merged summary differs"

# A cell alone: the last Predators against the first Prey, from archives of one snapshot each
# (and the Predators' run's settings).
mkdir -p hunters/archive hunted/archive
cp run/genom.gen.json hunters/
cp run/archive/genom-000001800.gen hunters/archive/
cp run/archive/genom-000000600.gen hunted/archive/
"$tournament" --predators-from hunters --prey-from hunted --ticks 300 --worlds 2 -o cell.csv 2> /dev/null ||
    fail "a cell alone"
[ "$(tail -n 2 cell.csv)" = "$(grep '^1800,600,' one.csv)" ] || fail "the cell alone: $(cat cell.csv)"

# The cross-run tournament of two runs with the same final snapshot: four equal cells.
KAVROSA_TOURNAMENT=$tournament "$SOURCE_DIR/scripts/cross_run.py" run split --ticks 200 --worlds 2 \
    -o cross.csv > cross.out 2>&1 || fail "cross_run.py: $(cat cross.out)"
[ "$(wc -l < cross.csv)" -eq $((1 + 4 * 2)) ] || fail "cross.csv: $(cat cross.csv)"
[ "$(cut -d, -f3- cross.csv | sort -u | wc -l)" -eq 3 ] || fail "the cells differ: $(cat cross.csv)"
grep -q "^run,split,1800,1800," cross.csv || fail "no cell of run against split: $(cat cross.csv)"

# Bad input: exit 2, one line, nothing written.
refused() {
    local says=$1; shift
    "$tournament" "$@" -o bad.csv > out.txt 2>&1
    local status=$?
    [ $status -eq 2 ] || fail "$* gave status $status: $(cat out.txt)"
    grep -q "$says" out.txt || fail "$*: $(cat out.txt)"
    [ ! -e bad.csv ] && [ ! -e bad-summary.csv ] || fail "$* left a table behind"
}
mkdir -p none/archive
refused "holds no snapshots" -C none
refused "not in range" -C run --worlds 0
head -c 1000 run/genom.gen > run/archive/genom-000002400.gen
refused "genom-000002400.gen: 1000 bytes" -C run
rm run/archive/genom-000002400.gen
cp run/archive/genom-000000600.gen run/archive/genom-000000700.gen
refused "not the tick of its name" -C run
rm run/archive/genom-000000700.gen
"$tournament" merge part1.csv part2.csv -o bad.csv > out.txt 2>&1 && fail "merge without share 3"
grep -q "share 3/3 is missing" out.txt || fail "$(cat out.txt)"
[ ! -e bad.csv ] || fail "a failed merge left a table"
if /usr/bin/python3 -c "import matplotlib" 2> /dev/null; then
    "$SOURCE_DIR/scripts/ciao.py" one.csv -o ciao.png > ciao.out 2>&1 || fail "ciao.py: $(cat ciao.out)"
    [ "$(head -c 4 ciao.png | od -An -tx1 | tr -d ' \n')" = 89504e47 ] || fail "ciao.py wrote no PNG"
fi
echo "tournament: identical for 1 and 2 threads and for merged shares; bad input refused"
