#!/usr/bin/env bash
# What warpbench's run statistics (WARPBENCH_STATS and WARPBENCH_FRAMES) cost its frame loop on
# the simulated platform: the release build corrects a 1280x720 fisheye picture from a calibration
# INI at --fps 1000, RUNS times (default 9) with both variables set and RUNS times without, in
# alternation so that the shared machine's load falls on both alike. Each run gives two figures:
# warpbench's own last "Total avg fps" over FRAMES frames (default 3000), which leaves out the
# set-up, and the CPU time (user and system, all threads, set-up included) per frame. When the
# engine keeps up with 1000 fps the rate is paced and hides any cost, but the CPU time does not.
# Prints every run and the medians. The runs spread by several per cent on a shared machine, more
# than the statistics cost, so it also times their per-frame work alone (run_statistics_bench)
# and gives that as a share of the frame time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-9}
frames=${FRAMES:-3000}
width=1280
height=720
fmt="width=$width,height=$height,pixelformat=NV12"

source bench/release_install.sh
# The lens of scripts/demo, as the calibration INI fuzzer keeps it among its seeds.
cp fuzz/corpus/calibration_ini/demo-lens "$work/calib.ini"
"$bin/nv12-testpic" --calib-ini "$work/calib.ini" "$width" "$height" "$work/picture.yuv" >/dev/null

# One run: the loop rate, as the last rate line's average, and the CPU microseconds per frame. A
# rate line follows the frame after every 1000 counted, and the last frame ends the loop uncounted,
# so FRAMES + 2 frames give a last line over FRAMES frames (a multiple of 1000).
one_run() {
  local TIMEFORMAT='%3U %3S'
  { time "$bin/socsim" "$bin/warpbench" -v "$fmt" -x "$fmt" --calib-ini-from "$work/calib.ini" \
      --stream-from "$work/picture.yuv" --fps 1000 --stream-count $((frames + 2)) \
      >"$work/out" 2>/dev/null; } 2>"$work/cpu"
  local fps
  fps=$(grep '^warpbench Current fps' "$work/out" | tail -n 1 | sed 's/.*Total avg fps: //')
  awk -v fps="$fps" -v n="$frames" '{ print fps, ($1 + $2) * 1e6 / (n + 2) }' "$work/cpu"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/without"
: > "$work/with"
for ((i = 1; i <= runs; ++i)); do
  without=$(one_run)
  with=$(WARPBENCH_STATS="$work/stats.json" WARPBENCH_FRAMES="$work/frames.csv" one_run)
  echo "$without" >> "$work/without"
  echo "$with" >> "$work/with"
  printf 'run %d: without %8.2f fps %8.1f us CPU a frame; with %8.2f fps %8.1f us CPU a frame\n' \
    "$i" $without $with
done
fps_without=$(cut -d' ' -f1 "$work/without" | median)
fps_with=$(cut -d' ' -f1 "$work/with" | median)
cpu_without=$(cut -d' ' -f2 "$work/without" | median)
cpu_with=$(cut -d' ' -f2 "$work/with" | median)
per_frame_ns=$(build/release/bench/run_statistics_bench --benchmark_format=csv 2>/dev/null |
  awk -F, '/^"BM_StatisticsPerFrame/ { print $3 }')
awk -v a="$fps_without" -v b="$fps_with" -v ca="$cpu_without" -v cb="$cpu_with" \
    -v ns="$per_frame_ns" -v n="$runs" -v f="$frames" 'BEGIN {
  printf "median of %d runs of %d frames at 1280x720, --fps 1000:\n", n, f
  printf "  loop rate:          %8.2f fps without, %8.2f fps with (%+.2f %% frame time)\n",
    a, b, (a / b - 1) * 100
  printf "  CPU time a frame:   %8.1f us without,  %8.1f us with (%+.2f %%)\n",
    ca, cb, (cb / ca - 1) * 100
  printf "  the statistics alone: %.0f ns a frame = %.4f %% of the frame time, %.4f %% of its CPU time\n",
    ns, ns / (1e9 / a) * 100, ns / (ca * 1e3) * 100
}'
echo "summary of the last run with them:"
cat "$work/stats.json"
