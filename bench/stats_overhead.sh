#!/usr/bin/env bash
# What warpbench's run statistics (WARPBENCH_STATS and WARPBENCH_FRAMES) cost its frame loop on
# the simulated platform: the release build corrects a 1280x720 fisheye picture from a calibration
# INI at --fps 1000, RUNS times (default 9) with both variables set and RUNS times without, in
# alternation so that the shared machine's load falls on both alike. The figure of each run is
# warpbench's own last "Total avg fps" over FRAMES frames (default 3000), which leaves out the
# set-up; at 1280x720 the engine cannot keep 1000 fps on this machine, so the loop runs flat out
# and its rate is the cost of a frame. Prints every run and the medians. On a shared machine the
# runs spread by several per cent, more than the statistics cost; so it also times their per-frame
# work alone (run_statistics_bench) and gives that as a share of the median frame time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-9}
frames=${FRAMES:-3000}
width=1280
height=720
fmt="width=$width,height=$height,pixelformat=NV12"

source bench/release_install.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
install_release "$work"
bin=$work/install/bin
# The lens of scripts/demo, as the calibration INI fuzzer keeps it among its seeds.
cp fuzz/corpus/calibration_ini/demo-lens "$work/calib.ini"
"$bin/nv12-testpic" --calib-ini "$work/calib.ini" "$width" "$height" "$work/picture.yuv" >/dev/null

# The loop rate of one run: the last rate line's average. A line follows the frame after every
# 1000 counted, and the last frame ends the loop uncounted, so FRAMES + 2 frames give a last line
# over FRAMES frames (a multiple of 1000).
loop_fps() {
  "$bin/socsim" "$bin/warpbench" -v "$fmt" -x "$fmt" --calib-ini-from "$work/calib.ini" \
    --stream-from "$work/picture.yuv" --fps 1000 --stream-count $((frames + 2)) 2>/dev/null |
    grep '^warpbench Current fps' | tail -n 1 | sed 's/.*Total avg fps: //'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/without"
: > "$work/with"
for ((i = 1; i <= runs; ++i)); do
  without=$(loop_fps)
  with=$(WARPBENCH_STATS="$work/stats.json" WARPBENCH_FRAMES="$work/frames.csv" loop_fps)
  echo "$without" >> "$work/without"
  echo "$with" >> "$work/with"
  printf 'run %d: %10.2f fps without, %10.2f fps with the statistics\n' "$i" "$without" "$with"
done
m_without=$(median < "$work/without")
m_with=$(median < "$work/with")
awk -v a="$m_without" -v b="$m_with" -v n="$runs" -v f="$frames" 'BEGIN {
  printf "median of %d runs of %d frames at 1280x720, --fps 1000:\n", n, f
  printf "  without: %.2f fps (%.1f us a frame)\n", a, 1e6 / a
  printf "  with:    %.2f fps (%.1f us a frame)\n", b, 1e6 / b
  printf "  cost of the statistics: %+.2f %% of the frame time\n", (a / b - 1) * 100
}'
per_frame_ns=$(build/release/bench/run_statistics_bench --benchmark_format=csv 2>/dev/null |
  awk -F, '/^"BM_StatisticsPerFrame/ { print $3 }')
awk -v ns="$per_frame_ns" -v a="$m_without" 'BEGIN {
  printf "  the statistics alone: %.0f ns a frame = %.4f %% of the frame time without them\n",
    ns, ns / (1e9 / a) * 100
}'
echo "summary of the last run with them:"
cat "$work/stats.json"
