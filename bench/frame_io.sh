#!/usr/bin/env bash
# Measures warpbench's frame step at 4K NV12 on the simulated SoC (DRM back end): --fps 1000,
# unpaced in effect, once with --stream-to /dev/null and once with a real file. From the library
# trace it reports frames per second and the share of each frame spent outside the engine call
# (the sleep, the write-out and the bookkeeping).
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-60}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=build/bench-frame-io
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cmake --install build/release --prefix "$work/install" >/dev/null
"$work/install/bin/nv12-testpic" 3840 2160 "$work/picture.yuv"
head -c $((6 * 121 * 136)) /dev/zero > "$work/mesh.bin"
k4=width=3840,height=2160,pixelformat=NV12

measure() {
  local label=$1 target=$2
  rm -f "$work/trace.jsonl"
  LENSWARP_TRACE="$work/trace.jsonl" "$work/install/bin/socsim" "$work/install/bin/warpbench" -s \
    -v "$k4" -x "$k4" --mesh-from "$work/mesh.bin" --stream-from "$work/picture.yuv" \
    --stream-to "$target" --fps 1000 --stream-count "$frames" >/dev/null 2>&1
  grep '"op":"process"' "$work/trace.jsonl" |
    sed -E 's/.*"t_ns":([0-9]+),"dur_ns":([0-9]+).*/\1 \2/' |
    awk -v label="$label" '
      NR == 1 { first = $1 }
      { last = $1; engine += $2; n = NR }
      END {
        period = (last - first) / (n - 1)
        printf "%-22s %5.1f frames/s  frame %6.2f ms  engine %6.2f ms  outside the engine %4.1f%%\n",
               label, 1e9 / period, period / 1e6, engine / n / 1e6, 100 * (1 - engine / n / period)
      }'
}

echo "4K NV12, --fps 1000, $frames frames, DRM back end (socsim)"
measure "--stream-to /dev/null" /dev/null
measure "--stream-to file" "$work/out.yuv"
