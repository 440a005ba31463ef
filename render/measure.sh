#!/usr/bin/env bash
# Measures the window program under Xvfb: frames a second in the normal (paced) mode,
# ticks a second of the fast modes read from the statistics tick field, and the fast
# mode without drawing (Ctrl) with the panel hidden and shown against kavrosa-evolve,
# run right after each in an empty folder up to the same tick.
#
#   render/measure.sh [BUILD_DIR] [SECONDS] [ctrl]   (default build/, 10 s per mode; with
#                                                     ctrl: only the two Ctrl comparisons)
#   render/measure.sh [BUILD_DIR] [SECONDS] memory   resident memory over SECONDS (say 65)
#                                                     on the offscreen driver, and in a
#                                                     window: normal, Shift, Ctrl with the
#                                                     panel, paused with the panel
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-10}
only=${3:-}
prog=$build/kavrosa
evolve=$build/kavrosa-evolve
counter=$build/kavrosa_frame_counter.so
[[ -x $prog && -x $evolve && -f $counter ]] || { echo "build $prog, $evolve and $counter first" >&2; exit 1; }

if [[ ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  export KAV_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$seconds" "$only"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
stats_tick() { local t; t=$(dd if=ivklsiker.txt bs=1 skip=10 count=20 2> /dev/null | tr -dc '0-9'); echo "${t:-0}"; }

# CPU seconds the process has used so far, all its threads.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }

rate=0
cpu_rate=0
run_mode() {  # NAME KEYS...
  local name=$1
  shift
  rm -f genom.gen
  : > ivklsiker.txt
  KAVROSA_FRAME_LOG=$work/frames.txt LD_PRELOAD=$counter "$prog" --autosave 0 2> err.txt &
  local pid=$! wid t0 t1 k0 k1 c0 c1
  wid=$(xdotool search --sync --onlyvisible --classname '^kavrosa$' | head -n 1)
  xdotool windowfocus --sync "$wid"
  [[ $# -gt 0 ]] && xdotool key "$@"
  sleep 2
  t0=$(now_ms); k0=$(stats_tick); c0=$(cpu_seconds "$pid")
  sleep "$seconds"
  t1=$(now_ms); k1=$(stats_tick); c1=$(cpu_seconds "$pid")
  kill -TERM "$pid"
  wait "$pid"
  if [[ $# -eq 0 ]]; then
    k0=0  # the normal mode writes no statistics this soon: count from the saved tick
    k1=$(od -An -t d8 -j 60480 -N 8 genom.gen | tr -d ' ')
    t0=$(( t1 - seconds * 1000 - 2000 ))
  fi
  last_tick=$k1
  rate=$(awk -v n=$(( k1 - k0 )) -v ms=$(( t1 - t0 )) 'BEGIN { printf "%.0f", n * 1000 / ms }')
  cpu_rate=$(awk -v n=$(( k1 - k0 )) -v c=$(awk -v a="$c0" -v b="$c1" 'BEGIN { print b - a }') \
    'BEGIN { printf "%.0f", (c > 0 ? n / c : 0) }')
  printf '%-34s %s; %s ticks/s, %s ticks per CPU second\n' "$name:" "$(cat frames.txt)" "$rate" "$cpu_rate"
}

# Ticks a second and ticks per CPU second of kavrosa-evolve from a fresh start, in an
# empty folder, up to the tick the window reached (a world's ticks grow dearer as it
# evolves). The CPU figures hold when other work shares the machine.
last_tick=50000
evolve_rates() {
  local dir t0 t1 ticks=$last_tick cpu
  dir=$(mktemp -d)
  t0=$(now_ms)
  cpu=$( { TIMEFORMAT='%U %S'; time "$evolve" -C "$dir" --ticks "$ticks" &> /dev/null; } 2>&1 |
         awk '{ print $1 + $2 }')
  t1=$(now_ms)
  rm -rf "$dir"
  awk -v n=$ticks -v ms=$(( t1 - t0 )) -v c="$cpu" 'BEGIN { printf "%.0f %.0f\n", n * 1000 / ms, n / c }'
}

compare_ctrl() {  # NAME KEYS...
  run_mode "$@"
  local window=$rate window_cpu=$cpu_rate evolved evolved_cpu
  read -r evolved evolved_cpu < <(evolve_rates)
  printf '%-34s kavrosa-evolve %s ticks/s, %s per CPU second: %s %% and %s %%\n' "" "$evolved" \
    "$evolved_cpu" "$(awk -v a="$window" -v b="$evolved" 'BEGIN { printf "%.0f", 100 * a / b }')" \
    "$(awk -v a="$window_cpu" -v b="$evolved_cpu" 'BEGIN { printf "%.0f", 100 * a / b }')"
}

# Resident memory of the program at moments up to SECONDS after its start.
memory_run() {  # NAME (then the program is started by the caller as $pid)
  local line="$1:" t r
  for t in 2 5 10 20 35 50 65 95 125; do
    (( t <= seconds )) || break
    while (( $(ps -o etimes= -p "$pid") < t )); do sleep 0.2; done
    r=$(ps -o rss= -p "$pid" | tr -d ' ')
    line="$line ${t}s $(( r / 1024 )) MiB,"
  done
  echo "$line CPU $(ps -o pcpu= -p "$pid" | tr -d ' ') %"
  kill -TERM "$pid"
  wait "$pid" || true
}

if [[ $only == memory ]]; then
  rm -f genom.gen
  env -u DISPLAY SDL_VIDEODRIVER=offscreen "$prog" --autosave 0 2> err.txt &
  pid=$!
  memory_run "offscreen driver, normal mode"
  for keys in "" shift "h ctrl" "h space"; do
    rm -f genom.gen
    "$prog" --autosave 0 2> err.txt &
    pid=$!
    wid=$(xdotool search --sync --onlyvisible --classname '^kavrosa$' | head -n 1)
    # shellcheck disable=SC2086
    [[ -n $keys ]] && xdotool windowfocus --sync "$wid" key $keys
    memory_run "window, keys '${keys:-none}'"
  done
  exit 0
fi

glxinfo -B 2> /dev/null | grep -E 'renderer string|version string' || true
if [[ $only != ctrl ]]; then
  run_mode "normal"
  run_mode "fast drawn (Shift)" shift
  run_mode "fast drawn (Shift), panel shown" h shift
fi
compare_ctrl "fast without drawing (Ctrl)" ctrl
compare_ctrl "Ctrl, panel shown" h ctrl
