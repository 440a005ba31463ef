#!/usr/bin/env bash
# scripts/slurm/replicates.sbatch on a real single-node Slurm cluster that this test
# starts for itself (a private munge daemon, slurmctld and slurmd, all in a temporary
# folder on ports of their own) and stops again, by process id, however it ends.
#   slurm_replicates.sh PATH/TO/kavrosa-evolve
# Exit 77 (skipped) when not root or when Slurm or munge is not installed.
set -uo pipefail
evolve=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
ticks=1000
seeds=3

if [ "$(id -u)" -ne 0 ]; then echo "SKIPPED: the Slurm test runs the daemons as root"; exit 77; fi
for tool in munged slurmctld slurmd sbatch sinfo squeue; do
    command -v "$tool" > /dev/null ||
        { echo "SKIPPED: $tool is missing (scripts/ensure-packages.sh installs slurm-wlm and munge)"; exit 77; }
done

work=$(mktemp -d /tmp/kavrosa-slurm-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
    # Every daemon this test started, by its process id; then their files.
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2> /dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2> /dev/null
        wait "$pid" 2> /dev/null
    done
    [ "${keep:-0}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() {
    echo "FAIL: $*"
    for log in slurmctld.log slurmd.log munged.log; do
        echo "--- $log"; tail -n 15 "$work/$log" 2> /dev/null
    done
    exit 1
}

# munge: a private daemon with its own key and socket.
mkdir -m 755 "$work/munge"
head -c 1024 /dev/urandom > "$work/munge/key" && chmod 400 "$work/munge/key"
socket=$work/munge/socket
munged --foreground --force --key-file="$work/munge/key" --socket="$socket" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munged.log" \
    --seed-file="$work/munge/seed" > "$work/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "munged did not open its socket"

# Slurm: one node, this machine, on ports of its own.
node=$(hostname -s)
port=$((20000 + RANDOM % 20000))
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat > "$SLURM_CONF" <<CONF
ClusterName=kavrosa-test
SlurmctldHost=$node
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
SchedulerType=sched/backfill
NodeName=$node CPUs=$(nproc) State=UNKNOWN
PartitionName=kavrosa Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" > "$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" > "$work/slurmd.out" 2>&1 &
pids+=($!)
state=""
for _ in $(seq 120); do
    state=$(sinfo -h -n "$node" -o %T 2> /dev/null | head -n 1)
    [ "$state" = idle ] && break
    sleep 0.5
done
[ "$state" = idle ] || fail "the node is not idle but '$state'"

# The job array, from a folder of its own, as a user would submit it.
mkdir "$work/project"
cd "$work/project"
KAVROSA_EVOLVE=$evolve timeout 180 sbatch --wait --array=1-$seeds --time=5 \
    "$source_dir/scripts/slurm/replicates.sbatch" "$ticks" runs > "$work/sbatch.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "sbatch --wait: status $status; $(cat "$work/sbatch.out" kavrosa-*.out 2> /dev/null)"

rows=$((ticks / 200 + 1))
for seed in $(seq "$seeds"); do
    folder=runs/seed-$seed
    [ "$(stat -c %s "$folder/genom.gen" 2> /dev/null)" = 60496 ] || fail "$folder/genom.gen"
    [ "$(wc -l < "$folder/log.csv")" -eq "$rows" ] || fail "$folder/log.csv: $(wc -l < "$folder/log.csv") lines"
    tail -n 1 "$folder/log.csv" | grep -q "^$ticks," || fail "$folder/log.csv ends at $(tail -n 1 "$folder/log.csv")"
    grep -q "\"seed\": $seed," "$folder/genom.gen.json" || fail "$folder: not seed $seed"
done
cmp -s runs/seed-1/log.csv runs/seed-2/log.csv && fail "seeds 1 and 2 gave the same log"

# A parameter sweep as a job array: scripts/sweep writes the jobs, sbatch runs them, the
# tables come from the runs' logs.
cat > plan.toml <<'PLAN'
ticks = 1000
seeds = 2
archive_every = 250
[vary]
reproduction.mutation_amplitude = [0.02, 0.2]
PLAN
KAVROSA_EVOLVE=$evolve "$source_dir/scripts/sweep" plan.toml -o sweep --slurm > sweep.out 2>&1 ||
    fail "scripts/sweep --slurm: $(cat sweep.out)"
grep -q "sbatch --array=1-4 " sweep.out || fail "sweep --slurm: $(cat sweep.out)"
timeout 180 sbatch --wait --array=1-4 --time=5 "$source_dir/scripts/slurm/sweep.sbatch" sweep \
    > "$work/sbatch-sweep.out" 2>&1 ||
    fail "sbatch sweep.sbatch: $(cat "$work/sbatch-sweep.out" kavrosa-sweep-*.out 2> /dev/null)"
KAVROSA_EVOLVE=$evolve "$source_dir/scripts/sweep" plan.toml -o sweep --tables > tables.out 2>&1 ||
    fail "sweep --tables: $(cat tables.out)"
[ "$(wc -l < sweep/final.csv)" -eq 5 ] || fail "final.csv: $(cat sweep/final.csv)"
[ "$(wc -l < sweep/runs.csv)" -eq 21 ] || fail "runs.csv has $(wc -l < sweep/runs.csv) lines"
for folder in sweep/*/seed-*; do
    tail -n 1 "$folder/log.csv" | grep -q "^$ticks," || fail "$folder did not reach tick $ticks"
done

# A tournament of one sweep run's archive as a job array of three shares, merged: the
# table of one run on one machine.
tournament=$(dirname "$evolve")/kavrosa-tournament
run=$(ls -d sweep/*/seed-1 | head -n 1)
KAVROSA_TOURNAMENT=$tournament timeout 180 sbatch --wait --array=1-3 --time=5 \
    "$source_dir/scripts/slurm/tournament.sbatch" shares -C "$run" --ticks 100 --worlds 2 \
    > "$work/sbatch-tournament.out" 2>&1 ||
    fail "sbatch tournament.sbatch: $(cat "$work/sbatch-tournament.out" kavrosa-tournament-*.out 2> /dev/null)"
"$tournament" merge shares/part-*.csv -o merged.csv 2> /dev/null || fail "merge of the shares"
"$tournament" -C "$run" --ticks 100 --worlds 2 -o whole.csv 2> /dev/null || fail "the whole tournament"
cmp -s merged.csv whole.csv || fail "the merged shares differ from one run"
[ "$(wc -l < whole.csv)" -eq $((1 + 5 * 5 * 2)) ] || fail "whole.csv has $(wc -l < whole.csv) lines"
echo "the job arrays ran $seeds replicates, a sweep of 4 runs and a tournament in 3 shares on a single-node Slurm cluster"
