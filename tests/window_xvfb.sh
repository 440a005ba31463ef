#!/usr/bin/env bash
# End-to-end checks of the window program in a real X window under Xvfb (Mesa's
# software OpenGL), driven by xdotool and seen through ImageMagick screenshots.
#
#   window_xvfb.sh CASE KAVROSA AGENT_PIXELS
#
# CASE is one of: no_display, picture, keys, modes, save_resume. Each runs in a fresh
# temporary folder, which is the program's working folder. Exit 77 (skipped) only when
# Xvfb itself is not installed.
set -euo pipefail

case_name=$1
prog=$(realpath "$2")
agent_pixels=$(realpath "$3")

fail() { echo "FAIL [$case_name]: $*" >&2; exit 1; }
note() { echo "[$case_name] $*"; }

if [[ $case_name != no_display && ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  if ! command -v xvfb-run > /dev/null || ! command -v Xvfb > /dev/null; then
    echo "SKIPPED: Xvfb is not installed"
    exit 77
  fi
  for tool in xdotool import convert od; do
    command -v "$tool" > /dev/null || fail "$tool is not installed"
  done
  declare -A server=([picture]=81 [keys]=82 [modes]=83 [save_resume]=84)
  export KAV_INSIDE_XVFB=1
  exec xvfb-run -a -n "${server[$case_name]:-85}" -s "-screen 0 1024x768x24" "$0" "$@"
fi

work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]] && kill -0 "$pid" 2> /dev/null; then kill -KILL "$pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

start() {
  "$prog" > out.txt 2> err.txt &
  pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kavrosa$' | head -n 1) ||
    fail "no window appeared: $(cat err.txt)"
  [[ -n $wid ]] || fail "no window appeared"
  timeout 20 xdotool windowfocus --sync "$wid" || fail "the window did not take the keyboard focus"
}

stop() {
  kill -TERM "$pid"
  local rc=0
  wait "$pid" || rc=$?
  pid=
  [[ $rc == 0 ]] || fail "exit status $rc after SIGTERM: $(cat err.txt)"
}

# Genome file fields (little-endian): tick at 60480, Predator and Prey counts after it.
saved_tick() { od -An -t d8 -j 60480 -N 8 genom.gen | tr -d ' '; }
saved_predators() { od -An -t d4 -j 60488 -N 4 genom.gen | tr -d ' '; }
saved_prey() { od -An -t d4 -j 60492 -N 4 genom.gen | tr -d ' '; }

# A Genome file of zero weights: nobody steers, so nobody moves.
le32() { printf "\\$(printf %03o $(( $1 & 255 )))\\$(printf %03o $(( ($1 >> 8) & 255 )))\\000\\000"; }
still_world() {  # PREDATORS PREY
  { head -c $(( 240 * 63 * 4 + 8 )) /dev/zero; le32 "$1"; le32 "$2"; } > genom.gen
}

# Tick field of the statistics record: 20 bytes from byte 10 (0 while never written).
stats_tick() {
  local t
  t=$(dd if=ivklsiker.txt bs=1 skip=10 count=20 2> /dev/null | tr -dc '0-9')
  echo "${t:-0}"
}

# "#RRGGBB" of one pixel of a screenshot.
pixel() { convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1; }

# Centroid and count of the pixels that are not background in a rectangle: prints
# "cx cy count" in screenshot pixels, pixel centres at .5.
blob_rect() {  # SHOT X0 Y0 WIDTH HEIGHT
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- |
    awk -v x0="$2" -v y0="$3" -F'[,: ]+' \
      '/^#/ { next }
       $0 !~ /#080808/ { sx += $1; sy += $2; n++ }
       END { if (n == 0) print "0 0 0"; else printf "%.2f %.2f %d\n", x0 + sx / n + 0.5, y0 + sy / n + 0.5, n }'
}
blob() {  # SHOT X Y HALF: the square of side 2 HALF + 1 about (X, Y)
  blob_rect "$1" $(( $2 - $4 )) $(( $3 - $4 )) $(( 2 * $4 + 1 )) $(( 2 * $4 + 1 ))
}

near() { awk -v a="$1" -v b="$2" -v tol="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= tol) }'; }

case $case_name in
no_display)
  # With no X server, and with a video driver that has no OpenGL, the start fails with
  # one line saying why and a non-zero status, and the Genome file stays as it was.
  still_world 7 77
  before=$(md5sum genom.gen; stat -c %Y genom.gen)
  for driver in x11 dummy; do
    rc=0
    env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=$driver timeout 30 "$prog" > out.txt 2> err.txt || rc=$?
    [[ $rc != 0 && $rc != 124 ]] || fail "$driver: exit status $rc"
    [[ $(wc -l < err.txt) == 1 ]] || fail "$driver: expected one line on stderr, got: $(cat err.txt)"
    grep -q '^kavrosa: cannot ' err.txt || fail "$driver: unexpected message: $(cat err.txt)"
    note "$driver: status $rc, $(cat err.txt)"
    [[ $(md5sum genom.gen; stat -c %Y genom.gen) == "$before" ]] || fail "$driver: genom.gen changed"
  done
  rm genom.gen
  rc=0
  env -u DISPLAY SDL_VIDEODRIVER=x11 timeout 30 "$prog" > out.txt 2> err.txt || rc=$?
  [[ $rc != 0 ]] || fail "start without a display and without a Genome file succeeded"
  [[ ! -e genom.gen ]] || fail "a failed start wrote genom.gen"
  ;;

picture)
  # One Predator and one Prey that do not move; both must be drawn where the
  # projection puts them, on the 0x080808 background.
  still_world 1 1
  read -r _ px py < <("$agent_pixels" . | grep '^predator')
  read -r _ qx qy < <("$agent_pixels" . | grep '^prey')
  note "expected Predator at ($px, $py), Prey at ($qx, $qy)"
  start
  sleep 2
  import -window root shot.png
  stop
  for p in "102 102" "897 102" "102 697" "897 697" "500 110"; do
    # shellcheck disable=SC2086
    [[ $(pixel shot.png $p) == '#080808' ]] || fail "background at $p is $(pixel shot.png $p)"
  done
  check_agent() {  # NAME X Y HALF MIN_COUNT MAX_COUNT
    local ix iy cx cy n
    ix=$(printf '%.0f' "$2")
    iy=$(printf '%.0f' "$3")
    read -r cx cy n < <(blob shot.png "$ix" "$iy" "$4")
    note "$1: drawn around ($cx, $cy), $n pixels"
    (( n >= $5 && n <= $6 )) || fail "$1: $n pixels drawn near ($2, $3)"
    near "$cx" "$2" 0.6 && near "$cy" "$3" 0.6 || fail "$1 drawn around ($cx, $cy), expected ($2, $3)"
  }
  # Disc radii 0.25 and 0.16 at 72.4 pixels per unit: about 1030 and 420 pixels.
  check_agent Predator "$px" "$py" 24 900 1150
  check_agent Prey "$qx" "$qy" 16 350 500
  ;;

keys)
  # Arrow keys, one press per tick period: 3 up, 1 down, 2 right, 3 left.
  start
  sleep 0.5
  xdotool key --delay 500 Up Up Up Down Right Right Left Left Left
  sleep 0.5
  stop
  [[ $(saved_predators) == 12 ]] || fail "saved Predator count $(saved_predators), expected 12"
  [[ $(saved_prey) == 149 ]] || fail "saved Prey count $(saved_prey), expected 149"
  note "saved counts 12 and 149"
  ;;

modes)
  : > ivklsiker.txt
  start
  sleep 1
  [[ $(stats_tick) == 0 ]] || fail "statistics written within a second of the normal mode"
  race() {  # KEY: the key starts a fast mode; the tick field must race ahead
    local from t0 tick0 t1 tick1
    from=$(stats_tick)
    xdotool key "$1"
    t0=$(now_ms)
    until (( $(stats_tick) >= from + 1000 )); do
      (( $(now_ms) - t0 < 30000 )) || fail "$1: tick field stayed at $(stats_tick)"
      sleep 0.1
    done
    t0=$(now_ms); tick0=$(stats_tick)
    sleep 2
    t1=$(now_ms); tick1=$(stats_tick)
    note "$1: about $(( (tick1 - tick0) * 1000 / (t1 - t0) )) ticks/s"
    xdotool key "$1"
  }
  race shift
  race ctrl
  # Back in the normal mode: the field moves once more at most, after which the next
  # report comes 200 ticks later; the save at the end tells the ticks since then.
  sleep 0.5
  f1=$(stats_tick)
  t0=$(now_ms)
  until (( $(stats_tick) != f1 )); do
    (( $(now_ms) - t0 < 45000 )) || fail "no statistics within 45 s of the normal mode"
    sleep 0.05
  done
  t1=$(now_ms); f2=$(stats_tick)
  (( f2 == f1 + 200 )) || fail "tick field went from $f1 to $f2"
  sleep 4
  t2=$(now_ms)
  stop
  g=$(saved_tick)
  rate=$(awk -v n=$(( g - f2 )) -v ms=$(( t2 - t1 )) 'BEGIN { printf "%.2f", n * 1000 / ms }')
  note "normal mode: $(( g - f2 )) ticks in $(( t2 - t1 )) ms = $rate ticks/s"
  awk -v r="$rate" 'BEGIN { exit !(r >= 4.0 && r <= 5.6) }' || fail "normal mode runs $rate ticks/s"
  ;;

save_resume)
  start
  t0=$(now_ms)
  sleep 3
  t1=$(now_ms)
  stop
  [[ $(stat -c %s genom.gen) == 60496 ]] || fail "genom.gen is $(stat -c %s genom.gen) bytes"
  g1=$(saved_tick)
  note "first run saved tick $g1 after $(( t1 - t0 )) ms"
  (( g1 >= 10 && g1 <= 2 + (t1 - t0) / 200 + 2 )) || fail "first run saved tick $g1"
  [[ $(saved_predators) == 10 && $(saved_prey) == 150 ]] || fail "counts $(saved_predators) $(saved_prey)"

  # The second run continues from there, also across a change of the window size.
  start
  timeout 20 xdotool windowsize --sync "$wid" 640 480 || fail "the window could not be resized"
  t0=$(now_ms)
  sleep 3
  import -window root shot.png
  t1=$(now_ms)
  stop
  g2=$(saved_tick)
  note "second run saved tick $g2 after $(( t1 - t0 )) ms since the resize"
  (( g2 >= g1 + 10 )) || fail "second run saved tick $g2 after $g1: not continued or frozen"
  for p in "102 102" "737 577"; do
    # shellcheck disable=SC2086
    [[ $(pixel shot.png $p) == '#080808' ]] || fail "background at $p after resize is $(pixel shot.png $p)"
  done
  [[ $(pixel shot.png 800 300) != '#080808' ]] || fail "the window did not shrink"
  # 10 Predators and 150 Prey cover some 47,000 pixels of the 640 x 480 client area
  # when none overlap; overlaps and the walls take some of that away.
  read -r _ _ n < <(blob_rect shot.png 100 100 640 480)
  note "$n agent pixels after the resize"
  (( n > 25000 && n < 60000 )) || fail "$n agent pixels drawn after the resize"

  # A save that cannot be made shows in the exit status.
  rm genom.gen
  mkdir genom.gen
  start
  sleep 0.5
  kill -TERM "$pid"
  rc=0
  wait "$pid" || rc=$?
  pid=
  (( rc != 0 )) || fail "exit status 0 although genom.gen could not be written"
  grep -q 'not saved' err.txt || fail "no word of the failed save: $(cat err.txt)"
  note "failed save: status $rc"
  ;;

*)
  fail "unknown case"
  ;;
esac
note "passed"
