#!/usr/bin/env bash
# Makes the README pictures: the window program running for a few seconds under Xvfb,
# its 800 x 600 client area cut from the screen. With --panel, the program first runs
# fast (Ctrl) for SECONDS so that the panel has a history to plot, then pauses, goes
# 1,000 ticks back (Page Up), selects a Predator (found by the blue tip of its pointer)
# and shows the panel beside the arena: 1140 x 600.
#
#   render/screenshot.sh [BUILD_DIR] [OUT_PNG]
#   render/screenshot.sh --panel BUILD_DIR OUT_PNG [SECONDS]      (default 60)
set -euo pipefail
panel=0
if [[ ${1:-} == --panel ]]; then
  panel=1
  shift
fi
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-$(dirname "$0")/../docs/screenshot.png}")
fast_seconds=${3:-60}

if [[ ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  export KAV_INSIDE_XVFB=1
  args=("$build" "$out")
  [[ $panel == 1 ]] && args=(--panel "$build" "$out" "$fast_seconds")
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "${args[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/kavrosa" --autosave 0 &
pid=$!
wid=$(xdotool search --sync --onlyvisible --classname '^kavrosa$' | head -n 1)
xdotool windowfocus --sync "$wid"
if [[ $panel == 1 ]]; then
  xdotool mousemove 20 20 key ctrl
  sleep "$fast_seconds"
  xdotool key ctrl
  sleep 1.5
  xdotool key space
  sleep 0.5
  xdotool key Prior
  sleep 0.5
  import -window root paused.png
  # A pixel of a Predator's blue pointer, away from the edges of the client area.
  read -r x y < <(convert paused.png -crop 360x420+160+180 +repage -depth 8 txt:- |
                    awk -F'[,: ]+' '/#0000[89A-F][0-9A-F] / { print $1 + 160, $2 + 180; exit }' || true)
  [[ -n ${x:-} ]] || { echo "no Predator found to select" >&2; exit 1; }
  xdotool mousemove "$x" "$y" click 1 mousemove 20 20 key h
  sleep 1
else
  sleep 4
fi
import -window root screen.png
kill -TERM "$pid"
wait "$pid"
mkdir -p "$(dirname "$out")"
width=800
[[ $panel == 1 ]] && width=1140
convert screen.png -crop "${width}x600+100+100" +repage -strip -colors 128 "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
