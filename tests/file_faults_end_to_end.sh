#!/usr/bin/env bash
# kavrosa-evolve against file faults: each gives one line on stderr, the run goes on or
# stops with a non-zero status, and no saved evolution is lost.
#   file_faults_end_to_end.sh PATH/TO/kavrosa-evolve
set -uo pipefail
evolve=$1
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run NAME ARGS...: runs the tool, keeps status in $status and stderr in $work/NAME.err
run() {
    local name=$1
    shift
    "$evolve" "$@" 2> "$work/$name.err"
    status=$?
}
lines() { wc -l < "$1" | tr -d ' '; }

# A saved evolution to start from.
mkdir "$work/base"
run base -C "$work/base" --ticks 300
[ "$status" -eq 0 ] || fail "base run: status $status"
cp "$work/base/genom.gen" "$work/saved.gen"
cp "$work/base/genom.gen.json" "$work/saved.gen.json"

# 1. Full disk at save: genom.gen.tmp leads to /dev/full.
mkdir "$work/full" && cp "$work/saved.gen" "$work/full/genom.gen"
cp "$work/saved.gen.json" "$work/full/genom.gen.json"
ln -s /dev/full "$work/full/genom.gen.tmp"
run full -C "$work/full" --ticks 50
[ "$status" -ne 0 ] || fail "full disk: status 0"
[ "$(lines "$work/full.err")" -eq 1 ] || fail "full disk: $(lines "$work/full.err") lines"
grep -q "saving .*genom.gen failed" "$work/full.err" || fail "full disk: $(cat "$work/full.err")"
cmp -s "$work/saved.gen" "$work/full/genom.gen" || fail "full disk: genom.gen changed"

# 2. genom.gen is a folder: refused before the run, nothing written beside it.
mkdir -p "$work/folder/genom.gen"
run folder -C "$work/folder" --ticks 50
[ "$status" -eq 2 ] || fail "folder: status $status"
[ "$(lines "$work/folder.err")" -eq 1 ] || fail "folder: $(cat "$work/folder.err")"
grep -q "genom.gen is a folder" "$work/folder.err" || fail "folder: $(cat "$work/folder.err")"
[ -d "$work/folder/genom.gen" ] || fail "folder: genom.gen is no longer a folder"
[ ! -e "$work/folder/genom.gen.json" ] || fail "folder: a sidecar was written beside it"

# 2b. A dangling symbolic link as genom.gen: refused, the link stays a link.
mkdir "$work/dangling" && ln -s "$work/nowhere.gen" "$work/dangling/genom.gen"
run dangling -C "$work/dangling" --ticks 50
[ "$status" -eq 2 ] || fail "dangling link: status $status"
grep -q "symbolic link to .*does not exist" "$work/dangling.err" || fail "dangling link: $(cat "$work/dangling.err")"
[ -L "$work/dangling/genom.gen" ] && [ ! -e "$work/nowhere.gen" ] || fail "dangling link: replaced"

# 2c. A lock file that is a folder: the folder is not "in use" (status 3), it cannot be
#     used (status 2).
mkdir -p "$work/lockdir/kavrosa.lock"
run lockdir -C "$work/lockdir" --ticks 50
[ "$status" -eq 2 ] || fail "lock folder: status $status"
grep -q "kavrosa.lock" "$work/lockdir.err" || fail "lock folder: $(cat "$work/lockdir.err")"

# 3. A short genom.gen: refused, new evolution saved, the short file kept aside.
mkdir "$work/short" && head -c 30000 "$work/saved.gen" > "$work/short/genom.gen"
run short -C "$work/short" --ticks 50
[ "$status" -eq 0 ] || fail "short: status $status"
grep -q "30000 bytes long" "$work/short.err" || fail "short: $(cat "$work/short.err")"
cmp -s "$work/short/genom.gen.rejected" <(head -c 30000 "$work/saved.gen") ||
    fail "short: the refused file was not kept"
[ "$(stat -c %s "$work/short/genom.gen")" -eq 60496 ] || fail "short: new genom.gen size"

# 4. A genom.gen that is a pipe: refused at once rather than waiting for a writer.
mkdir "$work/pipe" && mkfifo "$work/pipe/genom.gen"
timeout 60 "$evolve" -C "$work/pipe" --ticks 10 2> "$work/pipe.err"
status=$?
[ "$status" -ne 124 ] || fail "pipe: the load blocked"
grep -q "not a regular file" "$work/pipe.err" || fail "pipe: $(cat "$work/pipe.err")"

# 5. Statistics files that cannot be written: a folder, a link to a file elsewhere and
#    (for users other than root) a read-only file are skipped; the run goes on.
mkdir -p "$work/stats/ivklsiker.txt"
echo "not yours" > "$work/elsewhere.txt"
ln -s "$work/elsewhere.txt" "$work/stats/AiTesztE.txt"
echo "read only" > "$work/stats/AiTesztM.txt" && chmod 444 "$work/stats/AiTesztM.txt"
run stats -C "$work/stats" --ticks 600
[ "$status" -eq 0 ] || fail "statistics: status $status"
grep -q "ivklsiker.txt: it is not a regular file" "$work/stats.err" || fail "statistics: $(cat "$work/stats.err")"
grep -q "AiTesztE.txt: it is a symbolic link" "$work/stats.err" || fail "statistics: $(cat "$work/stats.err")"
[ "$(cat "$work/elsewhere.txt")" = "not yours" ] || fail "statistics: the link target was written"
if [ "$(id -u)" -ne 0 ]; then
    [ "$(lines "$work/stats.err")" -eq 3 ] || fail "statistics: $(cat "$work/stats.err")"
    [ "$(cat "$work/stats/AiTesztM.txt")" = "read only" ] || fail "statistics: read-only file written"
else
    # root writes the read-only file, as it may.
    [ "$(lines "$work/stats.err")" -eq 2 ] || fail "statistics: $(cat "$work/stats.err")"
fi
[ -f "$work/stats/genom.gen" ] || fail "statistics: the run did not save"

# 6. A read-only folder (not for root, who may write anywhere): refused before the run.
if [ "$(id -u)" -ne 0 ]; then
    mkdir "$work/readonly" && cp "$work/saved.gen" "$work/readonly/genom.gen"
    chmod 555 "$work/readonly"
    run readonly -C "$work/readonly" --ticks 10
    [ "$status" -ne 0 ] || fail "read-only folder: status 0"
    [ "$(lines "$work/readonly.err")" -eq 1 ] || fail "read-only folder: $(cat "$work/readonly.err")"
    cmp -s "$work/saved.gen" "$work/readonly/genom.gen" || fail "read-only folder: genom.gen changed"
    chmod 755 "$work/readonly"
fi

[ "$failures" -eq 0 ] && echo "all file faults handled"
exit $((failures > 0))
