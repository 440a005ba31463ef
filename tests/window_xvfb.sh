#!/usr/bin/env bash
# End-to-end checks of the window program in a real X window under Xvfb (Mesa's
# software OpenGL), driven by xdotool and seen through ImageMagick screenshots.
#
#   window_xvfb.sh CASE KAVROSA AGENT_PIXELS
#
# CASE is one of: no_display, picture, keys, modes, save_resume, memory, pause_step,
# panel_select, esc_autosave, lost_display, rewind, record. Each runs in a fresh temporary folder,
# which is the program's working folder. Exit 77 (skipped) only when Xvfb itself is not
# installed.
set -euo pipefail

case_name=$1
prog=$(realpath "$2")
agent_pixels=$(realpath "$3")
evolve=$(dirname "$prog")/kavrosa-evolve

fail() { echo "FAIL [$case_name]: $*" >&2; exit 1; }
note() { echo "[$case_name] $*"; }

if [[ $case_name != no_display && $case_name != lost_display && ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  if ! command -v xvfb-run > /dev/null || ! command -v Xvfb > /dev/null; then
    echo "SKIPPED: Xvfb is not installed"
    exit 77
  fi
  tools=(xdotool xprop import convert identify od)
  [[ $case_name == record ]] && tools+=(ffprobe)
  for tool in "${tools[@]}"; do
    command -v "$tool" > /dev/null || fail "$tool is not installed"
  done
  declare -A server=([picture]=81 [keys]=82 [modes]=83 [save_resume]=84 [memory]=86
                     [pause_step]=87 [panel_select]=88 [esc_autosave]=89 [rewind]=90
                     [record]=91)
  export KAV_INSIDE_XVFB=1
  exec xvfb-run -a -n "${server[$case_name]:-85}" -s "-screen 0 1280x800x24" "$0" "$@"
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

launch=()  # before the program: env and its settings
start() {  # [ARGUMENTS...]
  "${launch[@]}" "$prog" "$@" > out.txt 2> err.txt &
  pid=$!
  # By class: the title holds more than ASCII, which xdotool's name search cannot match.
  wid=$(timeout 30 xdotool search --sync --onlyvisible --classname '^kavrosa$' | head -n 1) ||
    fail "no window appeared: $(cat err.txt)"
  [[ -n $wid ]] || fail "no window appeared"
  timeout 20 xdotool windowfocus --sync "$wid" || fail "the window did not take the keyboard focus"
}

# The window's title, and the tick it shows.
title() { xprop -id "$wid" _NET_WM_NAME | sed 's/^[^"]*"//; s/"$//'; }
title_tick() { title | grep -o 'tick [0-9,]*' | tr -dc '0-9'; }

rss_kib() {
  kill -0 "$pid" 2> /dev/null || fail "the program ended: $(cat err.txt)"
  ps -o rss= -p "$pid" | tr -d ' '
}

stop() {  # [SIGNAL], default TERM
  local signal=${1:-TERM}
  kill -"$signal" "$pid"
  local rc=0
  wait "$pid" || rc=$?
  pid=
  [[ $rc == 0 ]] || fail "exit status $rc after SIG$signal: $(cat err.txt)"
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
  # With no display the start fails at once with one line saying what is missing, and
  # the Genome file stays as it was: with no driver named (SDL would otherwise draw
  # offscreen, unseen, for ever), with X11 named but no server, and with a driver
  # that has no OpenGL.
  still_world 7 77
  before=$(md5sum genom.gen; stat -c %Y genom.gen)
  for driver in "" x11 dummy; do
    rc=0
    t0=$(now_ms)
    if [[ -n $driver ]]; then chosen=(SDL_VIDEODRIVER="$driver"); else chosen=(-u SDL_VIDEODRIVER); fi
    env -u DISPLAY -u WAYLAND_DISPLAY "${chosen[@]}" timeout 30 "$prog" > out.txt 2> err.txt || rc=$?
    ms=$(( $(now_ms) - t0 ))
    [[ $rc != 0 && $rc != 124 ]] || fail "${driver:-default}: exit status $rc"
    (( ms < 2000 )) || fail "${driver:-default}: took $ms ms to fail"
    [[ $(wc -l < err.txt) == 1 ]] || fail "${driver:-default}: expected one line on stderr, got: $(cat err.txt)"
    grep -q '^kavrosa: ' err.txt || fail "${driver:-default}: unexpected message: $(cat err.txt)"
    note "${driver:-default}: status $rc after $ms ms, $(cat err.txt)"
    [[ $(md5sum genom.gen; stat -c %Y genom.gen) == "$before" ]] || fail "${driver:-default}: genom.gen changed"
  done
  grep -q 'kavrosa-evolve' <(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$prog" 2>&1) ||
    fail "the message without a display does not point to kavrosa-evolve"
  rm genom.gen
  rc=0
  env -u DISPLAY -u SDL_VIDEODRIVER timeout 30 "$prog" > out.txt 2> err.txt || rc=$?
  [[ $rc != 0 ]] || fail "start without a display and without a Genome file succeeded"
  [[ ! -e genom.gen ]] || fail "a failed start wrote genom.gen"
  [[ ! -e kavrosa.lock ]] || fail "a failed start left a lock file"

  # The command line, which needs no display: help, version, bad arguments.
  "$prog" --help > out.txt 2>&1 || fail "--help: status $?"
  grep -q -- '--autosave' out.txt || fail "--help does not mention --autosave"
  "$prog" --version > out.txt 2>&1 || fail "--version: status $?"
  grep -q '^kavrosa [0-9]' out.txt || fail "--version printed: $(cat out.txt)"
  for bad in "--ticks 5" "--autosave x" "-C /nonexistent" "extra"; do
    rc=0
    # shellcheck disable=SC2086
    env -u DISPLAY "$prog" $bad > out.txt 2>&1 || rc=$?
    [[ $rc == 2 ]] || fail "'$bad': status $rc, expected 2"
    [[ -s out.txt ]] || fail "'$bad': no message"
  done
  [[ ! -e genom.gen ]] || fail "a bad command line wrote genom.gen"
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
  stop HUP  # a closed terminal saves as SIGTERM does
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
  rm genom.gen genom.gen.json
  ln -s /dev/full genom.gen.tmp
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

memory)
  # Resident memory stays flat: in the normal mode on SDL's offscreen driver (asked for
  # by name; it once grew by tens of MB a second there), and in the fast drawn mode in
  # a window. Ten seconds each after a warm-up of four; the driver may still allocate a
  # little on a busy machine, the fault grew 300 MB in ten seconds.
  flat() {  # WHAT
    local r0 r1
    sleep 4
    r0=$(rss_kib)
    sleep 10
    r1=$(rss_kib)
    note "$1: resident $r0 KiB, ten seconds later $r1 KiB"
    (( r1 - r0 < 20000 )) || fail "$1: resident memory grew from $r0 to $r1 KiB in 10 s: $(cat err.txt)"
  }
  env -u DISPLAY SDL_VIDEODRIVER=offscreen "$prog" > out.txt 2> err.txt &
  pid=$!
  flat "offscreen, normal mode"
  stop
  start
  xdotool key shift
  flat "window, fast drawn mode"
  stop
  ;;

pause_step)
  # The title's tick advances five times a second, holds while paused, and `.` adds
  # exactly one tick; resuming does not make up for the pause.
  start
  sleep 1
  k0=$(title_tick); t0=$(now_ms)
  sleep 4
  k1=$(title_tick); t1=$(now_ms)
  rate=$(awk -v n=$(( k1 - k0 )) -v ms=$(( t1 - t0 )) 'BEGIN { printf "%.2f", n * 1000 / ms }')
  note "title: tick $k0 -> $k1 in $(( t1 - t0 )) ms = $rate ticks/s"
  awk -v r="$rate" 'BEGIN { exit !(r >= 4.0 && r <= 6.0) }' || fail "the title's tick runs at $rate/s"
  xdotool key space
  sleep 0.5
  title | grep -q 'paused' || fail "no 'paused' in the title: $(title)"
  p0=$(title_tick)
  sleep 2
  p1=$(title_tick)
  [[ $p1 == "$p0" ]] || fail "paused, the tick went from $p0 to $p1"
  xdotool key period period period
  sleep 0.5
  p2=$(title_tick)
  [[ $p2 == $(( p0 + 3 )) ]] || fail "three steps took the tick from $p0 to $p2"
  note "paused at $p0, three steps: $p2"
  # Paused in the fast mode without drawing too; its title says so.
  xdotool key ctrl
  sleep 0.5
  title | grep -q 'fast, not drawn, paused' || fail "title in the paused fast mode: $(title)"
  [[ $(title_tick) == "$p2" ]] || fail "the paused fast mode ticked: $(title_tick)"
  xdotool key ctrl space
  sleep 1
  p3=$(title_tick)
  (( p3 >= p2 + 3 && p3 <= p2 + 8 )) || fail "one second after the resume: tick $p3 after $p2"
  note "resumed: tick $p3 a second later"
  stop
  [[ $(saved_tick) -ge $p3 ]] || fail "saved tick $(saved_tick) is behind the title's $p3"
  ;;

panel_select)
  # A world that stands still: H shows the panel and changes the paused frame only in
  # the panel's place; a click on an Agent's pixel draws the ring there; a click on
  # empty arena clears it; F12 writes the window as a PNG of its size.
  still_world 1 1
  read -r _ px py < <("$agent_pixels" . | grep '^predator')
  start
  xdotool mousemove 20 20 key space
  sleep 1
  import -window root before.png
  xdotool key h
  sleep 1
  import -window root panel.png
  # The panel, 340 pixels wide, opens beside the 800 x 600 arena: the window grows by its
  # width and not one pixel of the arena changes.
  # Where the two pictures differ: the bounding box and the count of changed pixels.
  convert before.png panel.png -compose difference -composite -colorspace gray -threshold 0 diff.png
  box=$(convert diff.png -format '%@' info:)  # WIDTHxHEIGHT+X+Y
  n=$(convert diff.png -format '%[fx:round(mean*w*h)]' info:)
  IFS='x+' read -r bw bh dx0 dy0 <<< "$box"
  dx1=$(( dx0 + bw - 1 )); dy1=$(( dy0 + bh - 1 ))
  note "the panel changed $n pixels within x $dx0..$dx1, y $dy0..$dy1"
  (( n > 20000 )) || fail "showing the panel changed only $n pixels"
  (( dx0 >= 900 && dx1 <= 1239 && dy0 >= 100 && dy1 <= 699 )) ||
    fail "showing the panel changed pixels outside its place beside the arena: x $dx0..$dx1, y $dy0..$dy1"
  xdotool key h
  sleep 0.5

  ix=$(printf '%.0f' "$px"); iy=$(printf '%.0f' "$py")
  xdotool mousemove "$ix" "$iy" click 1 mousemove 20 20
  sleep 0.7
  import -window root ring.png
  ring() {  # SHOT: "cx cy count" of the selection colour about the Predator
    convert "$1" -crop "81x81+$(( ix - 40 ))+$(( iy - 40 ))" +repage -depth 8 txt:- |
      awk -v x0=$(( ix - 40 )) -v y0=$(( iy - 40 )) -F'[,: ]+' '/^#/ { next }
        /#00FF00/ { sx += $1; sy += $2; n++ }
        END { if (n == 0) print "0 0 0"; else printf "%.1f %.1f %d\n", x0 + sx / n + 0.5, y0 + sy / n + 0.5, n }'
  }
  read -r rx ry rn < <(ring ring.png)
  note "ring of $rn pixels about ($rx, $ry); the Predator at ($px, $py)"
  (( rn > 150 )) || fail "no selection ring after a click on the Predator ($rn pixels)"
  near "$rx" "$px" 1.5 && near "$ry" "$py" 1.5 || fail "ring about ($rx, $ry), Predator at ($px, $py)"
  [[ $(convert before.png txt:- | grep -c '#00FF00') == 0 ]] || fail "the ring's colour was used before any selection"

  xdotool key h
  sleep 0.7
  import -window root inspect.png
  xdotool key F12
  sleep 1
  shot=$(ls kavrosa-tick-*.png 2> /dev/null | head -n 1)
  [[ -n $shot ]] || fail "F12 wrote no PNG: $(cat err.txt)"
  [[ $(identify -format '%wx%h' "$shot") == 1140x600 ]] || fail "$shot is $(identify -format '%wx%h' "$shot")"
  grep -q "$shot" err.txt || fail "no line on stderr names $shot"
  [[ $(convert "$shot" txt:- | grep -c '#00FF00') -gt 150 ]] || fail "the screenshot lacks the ring"
  note "F12: $shot, $(identify -format '%wx%h' "$shot")"
  xdotool key h
  xdotool mousemove 300 600 click 1 mousemove 20 20  # empty arena, below the middle
  sleep 0.7
  import -window root cleared.png
  read -r _ _ rn < <(ring cleared.png)
  (( rn == 0 )) || fail "the ring stayed after a click on empty arena ($rn pixels)"
  stop
  ;;

rewind)
  # Back and forth along the timeline gives the world the headless tool makes in as many
  # ticks, byte for byte; a size change in the past discards the future, and the save,
  # the log and the archive go back there.
  at() {  # TICK WHAT: the title's tick after a key, within 5 s (a loaded machine)
    local i
    for (( i = 0; i < 50; i++ )); do
      [[ $(title_tick) == "$1" ]] && return 0
      sleep 0.1
    done
    fail "$2: tick $(title_tick), expected $1"
  }
  start --autosave 0 --seed 5 --log log.csv --archive-every 1000
  xdotool key ctrl
  sleep 2
  xdotool key space
  sleep 0.6
  n=$(title_tick)
  (( n > 5000 )) || fail "the fast mode reached only tick $n"
  xdotool key Prior Prior
  at $(( n - 2000 )) "two Page Up"
  xdotool key comma comma
  at $(( n - 2002 )) "two steps back"
  xdotool key Next Next
  at $(( n - 2 )) "two Page Down"
  xdotool key period period
  at "$n" "two steps on"
  xdotool key Home
  at 0 "Home"
  xdotool key End
  at "$n" "End"
  xdotool key Prior
  at $(( n - 1000 )) "Page Up"
  xdotool key Escape
  wait "$pid" || fail "Esc while rewound: status $?: $(cat err.txt)"
  pid=
  [[ $(saved_tick) == "$n" ]] || fail "saved tick $(saved_tick) while rewound, not the newest $n"
  mkdir reference
  "$evolve" -C reference --seed 5 --until "$n" > /dev/null 2>&1 || fail "kavrosa-evolve failed"
  cmp -s genom.gen reference/genom.gen || fail "the world replayed to tick $n differs from the headless run's"
  note "tick $n, replayed after going back 2,002 ticks, is the headless run's"

  # The rewind reaches back to the start of the session, not before.
  start --autosave 0 --log log.csv --archive-every 1000
  xdotool key ctrl
  sleep 1
  xdotool key space
  sleep 0.6
  m=$(title_tick)
  (( m > n + 2000 )) || fail "the second session reached only tick $m from $n"
  xdotool key Prior Up period
  at $(( m - 999 )) "a size change after Page Up, then a step"
  xdotool key Escape
  wait "$pid" || fail "Esc after the discarded future: status $?: $(cat err.txt)"
  pid=
  [[ $(saved_tick) == $(( m - 999 )) && $(saved_predators) == 11 ]] ||
    fail "saved tick $(saved_tick) with $(saved_predators) Predators, expected $(( m - 999 )) with 11"
  last=$(tail -n 1 log.csv | cut -d, -f1)
  (( last <= m - 999 )) || fail "the log holds a row of tick $last of the discarded future"
  later=$(ls archive | awk -v t=$(( m - 999 )) -F'[-.]' '$2 + 0 > t')
  [[ -z $later ]] || fail "the archive holds snapshots of the discarded future: $later"
  note "the future after tick $(( m - 1000 )) discarded: saved $(saved_tick), log to $last"
  ;;

esc_autosave)
  # Autosave every second writes genom.gen while the program runs; a kill -9 then
  # loses no tick older than the interval. Esc saves and exits with status 0.
  start --autosave 1
  sleep 3
  [[ -e genom.gen ]] || fail "no autosave within 3 s at --autosave 1"
  k=$(title_tick)
  sleep 1.6
  kill -KILL "$pid"
  wait "$pid" 2> /dev/null || true
  pid=
  g=$(saved_tick)
  note "title showed tick $k; after kill -9 1.6 s later genom.gen holds tick $g"
  (( g >= k )) || fail "kill -9 lost ticks older than the autosave interval: saved $g < $k"
  rm -f genom.gen.tmp
  start --autosave 0 --log log.csv
  # A burst of fast ticks, so that the log gets rows.
  xdotool key ctrl
  sleep 1.5
  xdotool key ctrl
  sleep 0.5
  # One writer per folder: the headless tool is refused while the window works here.
  rc=0
  "$evolve" -C . --ticks 1 > evolve-out.txt 2> evolve-err.txt || rc=$?
  [[ $rc == 3 ]] || fail "kavrosa-evolve on the window's folder: status $rc, not 3"
  grep -q "in use by process $pid" evolve-err.txt ||
    fail "the refusal does not name the window's process: $(cat evolve-err.txt)"
  k=$(title_tick)
  xdotool key Escape
  rc=0
  wait "$pid" || rc=$?
  pid=
  [[ $rc == 0 ]] || fail "Esc: exit status $rc: $(cat err.txt)"
  (( $(saved_tick) >= k )) || fail "Esc saved tick $(saved_tick), the title showed $k"
  note "Esc: status 0, saved tick $(saved_tick)"
  # The window saved its sidecar and log: the headless tool continues the evolution
  # exactly (no word of a fresh random state) and the log's ticks go on.
  rows=$(( $(wc -l < log.csv) - 1 ))
  (( rows >= 2 )) || fail "the window's log holds $rows rows"
  "$evolve" -C . --ticks 400 --log log.csv > evolve-out.txt 2> evolve-err.txt ||
    fail "kavrosa-evolve after the window: $(cat evolve-err.txt)"
  grep -q "random state starts" evolve-err.txt &&
    fail "the window's sidecar did not match: $(cat evolve-err.txt)"
  [[ $(grep -c '^tick' log.csv) == 1 ]] || fail "a second header in the log"
  [[ $(( $(wc -l < log.csv) - 1 )) == $(( rows + 2 )) ]] || fail "the log did not go on by 2 rows"
  note "the window's log had $rows rows; kavrosa-evolve continued it"
  ;;

lost_display)
  # The X server goes away while the program runs: the Genomes are saved, and the
  # program ends with a non-zero status and one line saying so.
  command -v Xvfb > /dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 77; }
  display=:120
  while [[ -e /tmp/.X${display#:}-lock ]]; do display=:$(( ${display#:} + 1 )); done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > xvfb.txt 2>&1 &
  xpid=$!
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
  DISPLAY=$display "$prog" --autosave 0 > out.txt 2> err.txt &
  pid=$!
  # The display goes once the world is seen to get on (the tick in the title, five ticks
  # a second), however long the start takes on a busy machine.
  wid=$(DISPLAY=$display timeout 60 xdotool search --sync --onlyvisible --classname '^kavrosa$' |
        head -n 1) || fail "no window appeared: $(cat err.txt)"
  shown=0
  for _ in $(seq 600); do
    shown=$(DISPLAY=$display title_tick 2> /dev/null || true)
    (( ${shown:-0} >= 10 )) && break
    sleep 0.1
  done
  (( ${shown:-0} >= 10 )) || fail "the title showed tick ${shown:-none} after a minute"
  kill -TERM "$xpid"
  rc=0
  timeout 20 tail --pid="$pid" -f /dev/null || fail "the program outlived its display"
  wait "$pid" || rc=$?
  pid=
  wait "$xpid" 2> /dev/null || true
  (( rc != 0 )) || fail "exit status 0 after the display was lost"
  grep -q 'lost the connection to the display; the Genomes were saved' err.txt ||
    fail "no word of the lost display: $(cat err.txt)"
  [[ $(stat -c %s genom.gen 2> /dev/null) == 60496 ]] || fail "nothing saved when the display was lost"
  (( $(saved_tick) >= shown )) || fail "saved tick $(saved_tick), before the tick $shown shown"
  note "status $rc, saved tick $(saved_tick)"
  ;;

record)
  # R starts a recording of the window and R stops it; a second one stops with Esc.
  # Each is named on stderr at its start and end, is a movie of the window's size, and
  # leaves no temporary file. Without ffmpeg, R says so and the window goes on.
  frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
  check_recording() {  # FILE SECONDS
    local n size
    [[ -f $1 ]] || fail "no recording $1: $(cat err.txt)"
    grep -q "recording $1 " err.txt || fail "the start of $1 is not named: $(cat err.txt)"
    grep -q "recorded $1: " err.txt || fail "the end of $1 is not named: $(cat err.txt)"
    n=$(frames "$1")
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$1")
    note "$1: $n frames of $size in about $2 s"
    (( n > 0 && n <= 30 * $2 + 15 )) || fail "$1 holds $n frames after $2 s"
    [[ $size == 800x600 ]] || fail "$1 is $size, not the window's 800x600"
  }
  start
  sleep 0.5
  xdotool key r
  sleep 2
  xdotool key r
  sleep 1
  first=$(grep -o 'kavrosa-tick-[0-9]*\.mp4' err.txt | head -n 1)
  [[ -n $first ]] || fail "R named no recording: $(cat err.txt)"
  check_recording "$first" 2
  xdotool key r
  sleep 1.5
  second=$(grep -o 'kavrosa-tick-[0-9]*\.mp4' err.txt | grep -v "^$first$" | head -n 1)
  xdotool key Escape
  rc=0
  wait "$pid" || rc=$?
  pid=
  [[ $rc == 0 ]] || fail "Esc while recording: status $rc: $(cat err.txt)"
  [[ -n $second ]] || fail "the second R named no recording: $(cat err.txt)"
  check_recording "$second" 2
  left=$(ls | grep -v '^kavrosa-tick-[0-9]*\.mp4$' | grep '\.mp4' || true)
  [[ -z $left ]] || fail "temporary files left: $left"

  rm -f kavrosa-tick-*.mp4
  launch=(env PATH=/nonexistent)
  start
  sleep 0.5
  xdotool key r
  sleep 1
  k0=$(title_tick)
  sleep 1
  (( $(title_tick) > k0 )) || fail "the window stopped after R without ffmpeg"
  grep -q 'package ffmpeg' err.txt || fail "R without ffmpeg: $(cat err.txt)"
  [[ -z $(ls | grep '\.mp4' || true) ]] || fail "R without ffmpeg wrote $(ls | grep '\.mp4')"
  stop
  note "without ffmpeg: $(grep ffmpeg err.txt)"
  ;;

*)
  fail "unknown case"
  ;;
esac
note "passed"
