#!/usr/bin/env bash
# Measures the window program under Xvfb: frames a second in the normal (paced) mode,
# ticks a second of the fast modes read from the statistics tick field, and the fast
# mode without drawing (Ctrl) with the panel hidden and shown against kavrosa-evolve,
# run right after each in an empty folder.
#
#   render/measure.sh [BUILD_DIR] [SECONDS]      (default build/ and 10 s per mode)
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-10}
prog=$build/kavrosa
evolve=$build/kavrosa-evolve
counter=$build/kavrosa_frame_counter.so
[[ -x $prog && -x $evolve && -f $counter ]] || { echo "build $prog, $evolve and $counter first" >&2; exit 1; }

if [[ ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  export KAV_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$seconds"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
stats_tick() { local t; t=$(dd if=ivklsiker.txt bs=1 skip=10 count=20 2> /dev/null | tr -dc '0-9'); echo "${t:-0}"; }

rate=0
run_mode() {  # NAME KEYS...
  local name=$1
  shift
  rm -f genom.gen
  : > ivklsiker.txt
  KAVROSA_FRAME_LOG=$work/frames.txt LD_PRELOAD=$counter "$prog" --autosave 0 2> err.txt &
  local pid=$! wid t0 t1 k0 k1
  wid=$(xdotool search --sync --onlyvisible --classname '^kavrosa$' | head -n 1)
  xdotool windowfocus --sync "$wid"
  [[ $# -gt 0 ]] && xdotool key "$@"
  sleep 2
  t0=$(now_ms); k0=$(stats_tick)
  sleep "$seconds"
  t1=$(now_ms); k1=$(stats_tick)
  kill -TERM "$pid"
  wait "$pid"
  if [[ $# -eq 0 ]]; then
    k0=0  # the normal mode writes no statistics this soon: count from the saved tick
    k1=$(od -An -t d8 -j 60480 -N 8 genom.gen | tr -d ' ')
    t0=$(( t1 - seconds * 1000 - 2000 ))
  fi
  rate=$(awk -v n=$(( k1 - k0 )) -v ms=$(( t1 - t0 )) 'BEGIN { printf "%.0f", n * 1000 / ms }')
  printf '%-34s %s; %s ticks/s\n' "$name:" "$(cat frames.txt)" "$rate"
}

evolve_rate() {  # ticks a second of kavrosa-evolve from a fresh start, in an empty folder
  local dir t0 t1 ticks=50000
  dir=$(mktemp -d)
  t0=$(now_ms)
  "$evolve" -C "$dir" --ticks "$ticks" 2> /dev/null
  t1=$(now_ms)
  rm -rf "$dir"
  awk -v n=$ticks -v ms=$(( t1 - t0 )) 'BEGIN { printf "%.0f", n * 1000 / ms }'
}

compare_ctrl() {  # NAME KEYS...
  run_mode "$@"
  local window=$rate evolved
  evolved=$(evolve_rate)
  printf '%-34s kavrosa-evolve %s ticks/s: %s %%\n' "" "$evolved" \
    "$(awk -v a="$window" -v b="$evolved" 'BEGIN { printf "%.0f", 100 * a / b }')"
}

glxinfo -B 2> /dev/null | grep -E 'renderer string|version string' || true
run_mode "normal"
run_mode "fast drawn (Shift)" shift
run_mode "fast drawn (Shift), panel shown" h shift
compare_ctrl "fast without drawing (Ctrl)" ctrl
compare_ctrl "Ctrl, panel shown" h ctrl
