#!/usr/bin/env bash
# Makes the README picture: the window program running for a few seconds under Xvfb,
# its 800 x 600 client area cut from the screen.
#
#   render/screenshot.sh [BUILD_DIR] [OUT_PNG]     (default build/ and docs/screenshot.png)
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-$(dirname "$0")/../docs/screenshot.png}")

if [[ ${KAV_INSIDE_XVFB:-} != 1 ]]; then
  export KAV_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$out"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/kavrosa" &
pid=$!
xdotool search --sync --onlyvisible --name '^Kavrosa$' > /dev/null
sleep 4
import -window root screen.png
kill -TERM "$pid"
wait "$pid"
mkdir -p "$(dirname "$out")"
convert screen.png -crop 800x600+100+100 +repage -strip -colors 64 "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
