#!/usr/bin/env bash
# kavrosa --movie without a display: the frames and their size as ffprobe counts them,
# a folder left as it was, the command line's refusals, a missing ffmpeg, and encodes that
# fail or are stopped, none of which may leave a file under the movie's name.
#
#   movie_headless.sh KAVROSA
set -euo pipefail

prog=$(realpath "$1")
evolve=$(dirname "$prog")/kavrosa-evolve

fail() { echo "FAIL [movie]: $*" >&2; exit 1; }
note() { echo "[movie] $*"; }

for tool in ffmpeg ffprobe; do
  command -v "$tool" > /dev/null || fail "$tool is not installed (Debian's package ffmpeg)"
done

work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]] && kill -0 "$pid" 2> /dev/null; then kill -KILL "$pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# Whatever the environment names, the movie draws offscreen.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11)

frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
frame_size() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$1"; }
pixel_format() { ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 "$1"; }
# A stand-in for ffmpeg that keeps the raw frames it is sent, so that they can be compared
# exactly (the encoder's are lossy).
mkdir raw
printf '#!/bin/sh\nfor output; do :; done\ncat > "$output"\n' > raw/ffmpeg
chmod +x raw/ffmpeg
raw_movie() {  # FILE ARGUMENTS...: 320 x 240
  local file=$1
  shift
  "${headless[@]}" PATH="$work/raw:$PATH" "$prog" --movie "$file" --movie-size 320x240 "$@" 2> err.txt ||
    fail "raw frames: status $?: $(cat err.txt)"
}
# The checksum of each raw frame of 320 x 240, one a line.
raw_frame_sums() {
  local sums
  sums=$(mktemp -d)
  split -b $(( 320 * 240 * 3 )) -a 4 "$1" "$sums/frame-"
  md5sum "$sums"/frame-* | cut -d ' ' -f 1
  rm -rf "$sums"
}
# No temporary file beside the movie's name, and (no_movie) no movie under it.
no_temporary() {  # NAME WHAT
  local left
  left=$(ls -a "$(dirname "$1")" | grep -F "$(basename "$1")." || true)
  [[ -z $left ]] || fail "$2: left $left"
}
no_movie() {  # NAME WHAT
  [[ ! -e $1 ]] || fail "$2: $1 exists"
  no_temporary "$@"
}

# A fresh folder: 6 frames a tick at the size asked for, and nothing written in the
# folder but the lock file.
mkdir run
"${headless[@]}" "$prog" -C run --movie m.mp4 --ticks 3 --movie-size 320x240 2> err.txt ||
  fail "status $?: $(cat err.txt)"
[[ $(frames m.mp4) == 18 ]] || fail "3 ticks gave $(frames m.mp4) frames, not 18"
[[ $(frame_size m.mp4) == 320x240 ]] || fail "frame size $(frame_size m.mp4)"
[[ $(pixel_format m.mp4) == yuv420p ]] || fail "pixel format $(pixel_format m.mp4)"
[[ $(ls -A run) == kavrosa.lock ]] || fail "the movie wrote in the folder: $(ls -A run)"
tail -n 1 err.txt | grep -q 'm.mp4: 18 frames of 320 x 240, ticks 1 to 3' ||
  fail "last line: $(tail -n 1 err.txt)"
no_temporary m.mp4 "the first movie"
note "3 ticks: 18 frames of 320x240"

# A saved evolution: the movie shows the ticks after it, at the default size, and leaves
# the saved files as they were. Its frames, taken raw, are the same twice, and each
# differs from the one before: every tick's move is drawn along.
"$evolve" -C run --ticks 40 > /dev/null 2>&1 || fail "kavrosa-evolve failed"
before=$(md5sum run/genom.gen run/genom.gen.json)
"${headless[@]}" "$prog" -C run --movie a.mp4 --ticks 2 2> err.txt || fail "status $?: $(cat err.txt)"
grep -q 'ticks 41 to 42' err.txt || fail "not the ticks after the saved ones: $(tail -n 1 err.txt)"
[[ $(frames a.mp4) == 12 && $(frame_size a.mp4) == 800x600 ]] ||
  fail "2 ticks by default: $(frames a.mp4) frames of $(frame_size a.mp4)"
raw_movie a.raw -C run --ticks 3
raw_movie b.raw -C run --ticks 3
[[ $(stat -c %s a.raw) == $(( 18 * 320 * 240 * 3 )) ]] || fail "raw frames: $(stat -c %s a.raw) bytes"
cmp -s a.raw b.raw || fail "two movies of the same ticks differ"
distinct=$(raw_frame_sums a.raw | uniq | wc -l)
[[ $distinct == 18 ]] || fail "only $distinct of 18 frames differ from the one before"
[[ $(md5sum run/genom.gen run/genom.gen.json) == "$before" ]] || fail "the movie changed the saved evolution"
note "a saved evolution at tick 40: ticks 41 to 42, 12 frames of 800x600; raw frames the same twice, each new"

# One program per folder: refused with status 3 while kavrosa-evolve works there.
"$evolve" -C run > /dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "$pid" run/kavrosa.lock 2> /dev/null && break; sleep 0.1; done
rc=0
"${headless[@]}" "$prog" -C run --movie busy.mp4 --ticks 1 2> err.txt || rc=$?
kill -TERM "$pid"
wait "$pid" || true
pid=
[[ $rc == 3 ]] || fail "a folder in use: status $rc: $(cat err.txt)"
no_movie busy.mp4 "a folder in use"
before=$(md5sum run/genom.gen run/genom.gen.json)
note "a folder in use: status 3, $(cat err.txt)"

# Refused command lines: status 2 and one line, nothing written.
refuse() {  # WHAT ARGUMENTS...
  local what=$1 rc=0
  shift
  "${headless[@]}" "$prog" "$@" > out.txt 2> err.txt || rc=$?
  [[ $rc == 2 ]] || fail "$what: status $rc, expected 2: $(cat err.txt)"
  [[ $(wc -l < err.txt) == 1 && ! -s out.txt ]] || fail "$what: not one line: $(cat out.txt err.txt)"
  no_movie r.mp4 "$what"
}
refuse "no --ticks" --movie r.mp4
refuse "--ticks 0" --movie r.mp4 --ticks 0
refuse "--ticks -3" --movie r.mp4 --ticks -3
refuse "--ticks ''" --movie r.mp4 --ticks ''
refuse "--ticks x" --movie r.mp4 --ticks x
refuse "--ticks without --movie" --ticks 5
refuse "--movie-size without --movie" --movie-size 320x240
refuse "an odd width" --movie r.mp4 --ticks 1 --movie-size 321x240
refuse "too small" --movie r.mp4 --ticks 1 --movie-size 62x64
refuse "too high" --movie r.mp4 --ticks 1 --movie-size 800x2162
refuse "no height" --movie r.mp4 --ticks 1 --movie-size 800x
refuse "an empty name" --movie '' --ticks 1
refuse "no such folder" --movie nowhere/r.mp4 --ticks 1
refuse "a folder" --movie run --ticks 1
refuse "the folder's genom.gen" -C run --movie run/genom.gen --ticks 1
refuse "the folder's lock" -C run --movie run/kavrosa.lock --ticks 1
refuse "a log" --movie r.mp4 --ticks 1 --log log.csv
[[ $(md5sum run/genom.gen run/genom.gen.json) == "$before" ]] || fail "a refused movie changed the folder"
note "refused command lines: status 2, one line each"

# Without ffmpeg: status 2 and the package to install, before the folder is touched.
mkdir empty
rc=0
"${headless[@]}" PATH=/nonexistent "$prog" -C empty --movie r.mp4 --ticks 1 2> err.txt || rc=$?
[[ $rc == 2 && $(wc -l < err.txt) == 1 ]] || fail "without ffmpeg: status $rc: $(cat err.txt)"
grep -q "package ffmpeg" err.txt || fail "without ffmpeg: the package is not named: $(cat err.txt)"
[[ -z $(ls -A empty) ]] || fail "without ffmpeg the folder was touched: $(ls -A empty)"
no_movie r.mp4 "without ffmpeg"
note "without ffmpeg: $(cat err.txt)"

# Encodes that fail: an ffmpeg that takes every frame and fails, having written part of
# its output, and one that ends at once and so breaks the pipe. The movie's name keeps
# the file it had.
mkdir bin
cat > bin/ffmpeg << 'EOF'
#!/bin/sh
for output; do :; done
echo partial > "$output"
cat > /dev/null
exit 1
EOF
printf '#!/bin/sh\nexit 1\n' > bin/ffmpeg-quits
chmod +x bin/ffmpeg bin/ffmpeg-quits
echo old > kept.mp4
for kind in fails quits; do
  [[ $kind == quits ]] && mv bin/ffmpeg-quits bin/ffmpeg
  rc=0
  "${headless[@]}" PATH="$work/bin:$PATH" "$prog" --movie kept.mp4 --ticks 3 --movie-size 320x240 \
    2> err.txt || rc=$?
  [[ $rc == 1 ]] || fail "ffmpeg that $kind: status $rc: $(cat err.txt)"
  grep -q 'not made' err.txt || fail "ffmpeg that $kind: no reason given: $(cat err.txt)"
  [[ $(cat kept.mp4) == old ]] || fail "ffmpeg that $kind: the old kept.mp4 was replaced"
  no_temporary kept.mp4 "ffmpeg that $kind"
  note "ffmpeg that $kind: status 1, $(tail -n 1 err.txt)"
done

# SIGTERM while the movie is made: status 1, no file.
"${headless[@]}" "$prog" --movie long.mp4 --ticks 100000 --movie-size 64x64 2> err.txt &
pid=$!
for _ in $(seq 300); do grep -q 'frames, ' err.txt && break; sleep 0.1; done
grep -q 'frames, ' err.txt || fail "no progress line within 30 s: $(cat err.txt)"
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
pid=
[[ $rc == 1 ]] || fail "SIGTERM: status $rc: $(cat err.txt)"
grep -q 'stopped by SIGTERM' err.txt || fail "SIGTERM: $(tail -n 1 err.txt)"
no_movie long.mp4 "SIGTERM"
note "SIGTERM: $(tail -n 1 err.txt)"
note "passed"
