#!/usr/bin/env bash
# warpbench's frame pacing on the simulated platform against the machine's own floor: the release
# build runs a small picture (WIDTH x HEIGHT, default 1280x720, so the engine does not hide the
# pacing) at --fps FPS (default 100) for FRAMES frames (default 1000) with WARPBENCH_SPIN_US=0 and
# =SPIN (default 200), and bench/bare_sleep_loop waits for the same deadlines doing nothing else,
# without and with the same spin. The four kinds of run alternate, RUNS rounds (default 3), so the
# shared machine's load falls on all alike. For each run: the start lateness (start of the frame
# after its deadline, from WARPBENCH_FRAMES) at p50, p99, p99.9 and its maximum, and the CPU time a
# frame (user and system, all threads; for warpbench the engine's too). Then the medians over the
# rounds, and the ratios of warpbench's p99 to the bare loop's.
set -euo pipefail
cd "$(dirname "$0")/.."
fps=${FPS:-100}
frames=${FRAMES:-1000}
width=${WIDTH:-1280}
height=${HEIGHT:-720}
spin=${SPIN:-200}
runs=${RUNS:-3}
fmt="width=$width,height=$height,pixelformat=NV12"

source bench/release_install.sh
"$bin/nv12-testpic" "$width" "$height" "$work/picture.yuv" >/dev/null
mesh_points=$(( ((width + 31) / 32 + 1) * ((height + 15) / 16 + 1) ))
head -c $((6 * mesh_points)) /dev/zero > "$work/mesh.bin"

# lateness CSV: p50 p99 p99.9 max in microseconds of start_ns - deadline_ns.
lateness() {
  tail -n +2 "$1" | awk -F, '{ print ($3 - $2) / 1e3 }' | sort -g |
    awk '{ v[NR] = $1 } END {
      printf "%.1f %.1f %.1f %.1f", v[int(NR * 0.5 + 0.999)], v[int(NR * 0.99 + 0.999)],
        v[int(NR * 0.999 + 0.999)], v[NR]
    }'
}

# one_run KIND: prints "p50 p99 p99.9 max cpu_us_per_frame".
one_run() {
  local TIMEFORMAT='%3U %3S' kind=$1
  case $kind in
    warpbench-*)
      { time WARPBENCH_SPIN_US=${kind#warpbench-} WARPBENCH_FRAMES="$work/frames.csv" \
          "$bin/socsim" "$bin/warpbench" -s -v "$fmt" -x "$fmt" --mesh-from "$work/mesh.bin" \
          --stream-from "$work/picture.yuv" --fps "$fps" --stream-count "$frames" >/dev/null; } \
        2>"$work/cpu" ;;
    bare-*)
      { time build/release/bench/bare_sleep_loop "$fps" "$frames" "${kind#bare-}" \
          >"$work/frames.csv"; } 2>"$work/cpu" ;;
  esac
  echo "$(lateness "$work/frames.csv") $(awk -v n="$frames" '{ print ($1 + $2) * 1e6 / n }' "$work/cpu")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

kinds=(bare-0 warpbench-0 bare-$spin warpbench-$spin)
for ((i = 1; i <= runs; ++i)); do
  for kind in "${kinds[@]}"; do
    figures=$(one_run "$kind")
    echo "$figures" >>"$work/$kind"
    printf 'round %d %-16s lateness p50 %7s p99 %7s p99.9 %7s max %8s us; CPU %8s us a frame\n' \
      "$i" "$kind" $figures
  done
done

echo "medians of $runs rounds of $frames frames at --fps $fps, ${width}x${height} (lateness in us):"
for kind in "${kinds[@]}"; do
  m=()
  for col in 1 2 3 4 5; do m+=("$(cut -d' ' -f$col "$work/$kind" | median)"); done
  printf '  %-16s p50 %7.1f  p99 %7.1f  p99.9 %7.1f  max %8.1f   CPU %8.1f us a frame\n' \
    "$kind" "${m[@]}"
  echo "${m[1]}" >"$work/$kind.p99"
done
awk -v a="$(cat "$work/warpbench-0.p99")" -v b="$(cat "$work/bare-0.p99")" \
    -v c="$(cat "$work/warpbench-$spin.p99")" -v s="$spin" 'BEGIN {
  printf "  warpbench p99 / bare loop p99, no spin: %.2f; with WARPBENCH_SPIN_US=%d: p99 %.1f us\n",
    (b > 0 ? a / b : 0), s, c
}'
