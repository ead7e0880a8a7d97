#!/usr/bin/env bash
# scripts/plot-run on a made-up paced run whose timestamps lie near the top of the 64-bit range,
# where a subtraction in doubles would be off by a microsecond: the figures it prints and the
# size of the PNG; then the frames files and command lines it refuses, byte for byte.
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
out=$("$plot_run" --size 640x360 --title "a test run" "$scratch/paced.csv" "$scratch/run.png" 2>&1) ||
  fail "plot-run failed on a good frames file: $out"
[ "$out" = "$scratch/run.png: 3 frames; engine time p50 3.000 ms, p99 4.000 ms, mean 3.000 ms; start lateness p50 2.5 us, p99 9.5 us, mean 4.5 us" ] ||
  fail "unexpected output: $out"
[ "$(head -c 8 "$scratch/run.png" | od -An -tu1 | tr -s ' ')" = " 137 80 78 71 13 10 26 10" ] ||
  fail "run.png is not a PNG"
size=$(head -c 24 "$scratch/run.png" | tail -c 8 | od -An -tu1 | tr -s ' ')
[ "$size" = " 0 0 2 128 0 0 1 104" ] || fail "run.png is not 640x360: IHDR bytes$size"

: >"$scratch/empty.csv"
echo "$header" >"$scratch/no-frames.csv"
sed '1s/,write_ns$//' "$scratch/paced.csv" >"$scratch/old-header.csv"
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
2|--size 640 $scratch/paced.csv $scratch/out.png|plot-run: --size 640 is not WIDTHxHEIGHT in pixels (10 to 99999 each)
2|$scratch/paced.csv|$usage
CASES

# gnuplot's own complaint comes first; plot-run's line ends the error output.
status=0
err=$("$plot_run" "$scratch/paced.csv" "$scratch/no-such-dir/out.png" 2>&1 >/dev/null) || status=$?
[ "$status" = 1 ] || fail "an unwritable output: status $status, not 1"
[ "$(tail -n 1 <<<"$err")" = "plot-run: gnuplot failed to draw $scratch/no-such-dir/out.png" ] ||
  fail "an unwritable output: said \"$err\""
echo "plot-run: all cases passed"
