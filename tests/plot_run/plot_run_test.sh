#!/usr/bin/env bash
# scripts/plot-run on a made-up paced run whose timestamps lie near the top of the 64-bit range,
# where a subtraction in doubles would be off by a microsecond: the figures it prints and the
# size of the PNG; the figures of an unpaced run; then the frames files and command lines it
# refuses, byte for byte.
# Usage: plot_run_test.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
src=$1 scratch=$2
plot_run=$src/scripts/plot-run

fail() {
  echo "$*" >&2
  exit 1
}

if ! command -v gnuplot >/dev/null; then
  echo "gnuplot is not installed (scripts/bootstrap installs it)" >&2
  exit 77
fi

! mountpoint -q "$scratch/small" || umount "$scratch/small"
rm -rf "$scratch"
mkdir -p "$scratch"
header=frame,deadline_ns,start_ns,end_ns,write_ns
# Engine times 2, 3 and 4 ms; start lateness 1.5, 2.5 and 9.5 us.
cat >"$scratch/paced.csv" <<CSV
$header
0,9223372036000000000,9223372036000001500,9223372036002001500,0
1,9223372036033333333,9223372036033335833,9223372036036335833,0
2,9223372036066666666,9223372036066676166,9223372036070676166,1000000
CSV

# The figures, and width 640 and height 360 in the PNG's header chunk.
figures="3 frames; engine time p50 3.000 ms, p99 4.000 ms, mean 3.000 ms; start lateness p50 2.5 us, p99 9.5 us, mean 4.5 us"
out=$("$plot_run" --size 640x360 --title "a test run" "$scratch/paced.csv" "$scratch/run.png" 2>&1) ||
  fail "plot-run failed on a good frames file: $out"
[ "$out" = "$scratch/run.png: $figures" ] || fail "unexpected output: $out"
[ "$(head -c 8 "$scratch/run.png" | od -An -tu1 | tr -s ' ')" = " 137 80 78 71 13 10 26 10" ] ||
  fail "run.png is not a PNG"
size=$(head -c 24 "$scratch/run.png" | tail -c 8 | od -An -tu1 | tr -s ' ')
[ "$size" = " 0 0 2 128 0 0 1 104" ] || fail "run.png is not 640x360: IHDR bytes$size"

# An unpaced run (deadline_ns 0 throughout) has no lateness: engine times 1, 5 and 2 ms.
cat >"$scratch/unpaced.csv" <<CSV
$header
0,0,1000000000,1001000000,0
1,0,1001000000,1006000000,0
2,0,1006000000,1008000000,0
CSV
out=$("$plot_run" "$scratch/unpaced.csv" "$scratch/unpaced.png" 2>&1) ||
  fail "plot-run failed on an unpaced frames file: $out"
[ "$out" = "$scratch/unpaced.png: 3 frames; engine time p50 2.000 ms, p99 5.000 ms, mean 2.667 ms; unpaced" ] ||
  fail "unexpected output for an unpaced run: $out"
[ "$(head -c 8 "$scratch/unpaced.png" | od -An -tu1 | tr -s ' ')" = " 137 80 78 71 13 10 26 10" ] ||
  fail "unpaced.png is not a PNG"

: >"$scratch/empty.csv"
echo "$header" >"$scratch/no-frames.csv"
sed '1s/,write_ns$//' "$scratch/paced.csv" >"$scratch/old-header.csv"
sed '3s/^1,[0-9]*,/1,0,/' "$scratch/paced.csv" >"$scratch/half-paced.csv"
usage="usage: plot-run [--size WxH] [--title TEXT] FRAMES.csv OUTPUT.png"
# status|arguments (split at spaces)|standard error
while IFS='|' read -r want args message; do
  rm -f "$scratch/out.png"
  status=0
  # shellcheck disable=SC2086
  err=$("$plot_run" $args 2>&1 >/dev/null) || status=$?
  [ "$status" = "$want" ] || fail "plot-run $args: status $status, not $want ($err)"
  [ "$err" = "$message" ] || fail "plot-run $args: said \"$err\", not \"$message\""
  [ ! -e "$scratch/out.png" ] || fail "plot-run $args: wrote a PNG"
done <<CASES
2|$scratch/empty.csv $scratch/out.png|plot-run: $scratch/empty.csv does not start with the line $header
2|$scratch/old-header.csv $scratch/out.png|plot-run: $scratch/old-header.csv does not start with the line $header
2|$scratch/no-frames.csv $scratch/out.png|plot-run: $scratch/no-frames.csv: no frames after the header
2|$scratch/half-paced.csv $scratch/out.png|plot-run: $scratch/half-paced.csv: deadline_ns is 0 on 1 of its 3 frames, not on all or none
2|--size 640 $scratch/paced.csv $scratch/out.png|plot-run: --size 640 is not WIDTHxHEIGHT in pixels (10 to 99999 each)
2|$scratch/paced.csv|$usage
CASES

# The names a user gives are only names: an output beginning with '|' (a pipe to gnuplot), and
# frames paths that awk would take as an assignment and head as an option, with nothing on
# standard input to read in their place.
plot_named() {
  local said
  said=$(cd "$scratch/names" && "$plot_run" -- "$1" "$2" 2>&1 </dev/null) ||
    fail "plot-run $1 \"$2\" failed: $said"
  [ "$said" = "$2: $figures" ] || fail "plot-run $1 \"$2\": said \"$said\""
  [ "$(head -c 8 "$scratch/names/$2" | od -An -tu1 | tr -s ' ')" = " 137 80 78 71 13 10 26 10" ] ||
    fail "plot-run $1: \"$2\" is not a PNG"
  rm "$scratch/names/$2"
}
mkdir "$scratch/names"
cp "$scratch/paced.csv" "$scratch/names/data=victim.csv"
cp "$scratch/paced.csv" "$scratch/names/-x.csv"
plot_named ../paced.csv "|touch ran; cat >.png"
plot_named data=victim.csv named.png
plot_named -x.csv named.png
[ "$(ls -A "$scratch/names")" = "$(printf '%s\n' -x.csv data=victim.csv)" ] ||
  fail "plot-run left other files (\"ran\": the pipe ran): $(ls -A "$scratch/names")"

# A picture that is not written whole: status 1, the system's complaint and plot-run's line, and
# nothing left at OUTPUT but what was there before.
expect_failure() {
  local want_last=$1 status=0 err
  shift
  err=$("$@" 2>&1 >/dev/null) || status=$?
  [ "$status" = 1 ] || fail "$*: status $status, not 1 ($err)"
  [ "$(tail -n 1 <<<"$err")" = "$want_last" ] || fail "$*: said \"$err\""
}
# The system's complaint comes first; plot-run's line ends the error output.
expect_failure "plot-run: writing the picture to $scratch/no-such-dir/out.png failed" \
  "$plot_run" "$scratch/paced.csv" "$scratch/no-such-dir/out.png"
expect_failure "plot-run: writing the picture to /dev/full failed" \
  "$plot_run" "$scratch/paced.csv" /dev/full
[ -c /dev/full ] || fail "/dev/full is gone"
# A disk that fills while gnuplot draws: writes past 4096 bytes fail (SIGXFSZ ignored, as a
# full disk's fail), which gnuplot does not notice.
expect_failure "plot-run: gnuplot's picture for $scratch/cut.png is not a whole PNG (4096 bytes); nothing is written there" \
  bash -c 'ulimit -f 4 && trap "" XFSZ && exec "$@"' - "$plot_run" "$scratch/paced.csv" "$scratch/cut.png"
[ ! -e "$scratch/cut.png" ] || fail "a cut picture was left at OUTPUT"

# A disk too small for the picture where OUTPUT lies: a new file is not left behind, an old one
# keeps its contents. Mounting a file system takes root, as the tests have in CI.
mkdir "$scratch/small"
if ! mount -t tmpfs -o size=8k plot-run-test "$scratch/small" 2>/dev/null; then
  echo "cannot mount a small file system here (needs root): the full-disk case did not run" >&2
  exit 77
fi
trap 'umount "$scratch/small"' EXIT
echo old >"$scratch/small/old.png"
for out in new.png old.png; do
  expect_failure "plot-run: writing the picture to $scratch/small/$out failed" \
    "$plot_run" "$scratch/paced.csv" "$scratch/small/$out"
done
[ "$(ls -A "$scratch/small")" = old.png ] || fail "left on the full disk: $(ls -A "$scratch/small")"
[ "$(cat "$scratch/small/old.png")" = old ] || fail "the old OUTPUT was overwritten"
echo "plot-run: all cases passed"
