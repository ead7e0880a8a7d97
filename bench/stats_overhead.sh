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

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install build/release --prefix "$work/install" >/dev/null
bin=$work/install/bin
cat > "$work/calib.ini" <<'INI'
[fec_online]
light_center = 1920.0 1080.0
coeff = -1103.7 3.6843e-4 -1.0378e-7 6.0608e-11
direction = 0
style = 0
correct_level = 200
calib_width = 3840
calib_height = 2160
calib_level_maxLimit = 200
INI
"$bin/nv12-testpic" --calib-ini "$work/calib.ini" "$width" "$height" "$work/picture.yuv" >/dev/null

# The loop rate of one run: the last rate line's average; the frame count is one more than a
# multiple of 1000, so the last line covers all but the first frame.
loop_fps() {
  "$bin/socsim" "$bin/warpbench" -v "$fmt" -x "$fmt" --calib-ini-from "$work/calib.ini" \
    --stream-from "$work/picture.yuv" --fps 1000 --stream-count $((frames + 1)) 2>/dev/null |
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
