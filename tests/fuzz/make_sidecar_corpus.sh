#!/usr/bin/env bash
# Writes the seed inputs of the sidecar fuzz target into tests/fuzz/sidecar_corpus: real
# sidecars saved by kavrosa-evolve at the counts of a new evolution (10 Predators,
# 150 Prey), the counts the target checks them against.
#   make_sidecar_corpus.sh PATH/TO/kavrosa-evolve
set -euo pipefail
evolve=$1
here=$(cd "$(dirname "$0")" && pwd)/sidecar_corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$here"
save() {  # NAME ARGS...: runs in a folder of its own and keeps its sidecar
    local name=$1
    shift
    mkdir -p "$work/$name"
    "$evolve" -C "$work/$name" "$@" > /dev/null 2>&1
    cp "$work/$name/genom.gen.json" "$here/$name"
}
save new --ticks 0
save evolved --ticks 3000 --seed 3
save logged --ticks 1000 --seed 5 --log "$work/log.csv"
save resumed --ticks 700 --seed 9
"$evolve" -C "$work/resumed" --ticks 650 > /dev/null 2>&1
cp "$work/resumed/genom.gen.json" "$here/resumed"
# Other settings, and a run that changed some on resume.
save settings --ticks 800 --seed 4 --set predator.starvation_ticks=20 --set arena.x_max=6
"$evolve" -C "$work/settings" --ticks 300 --set motion.drag=0.2 > /dev/null 2>&1
cp "$work/settings/genom.gen.json" "$here/settings"
