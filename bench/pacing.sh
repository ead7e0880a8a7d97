#!/usr/bin/env bash
# Measures warpbench's frame pacing on the simulated platform: runs the release build at
# --fps 100 for 500 frames with the library trace on, and reports from the start time of every
# engine call the mean frame period, its drift from 10 ms, and the worst lateness of a call
# against its deadline (deadline k = first call + k x 10 ms). The picture is small by default
# (WIDTH x HEIGHT) so that the engine's own time does not hide the pacing.
set -euo pipefail
cd "$(dirname "$0")/.."
fps=${FPS:-100}
frames=${FRAMES:-500}
width=${WIDTH:-1280}
height=${HEIGHT:-720}
fmt="width=$width,height=$height,pixelformat=NV12"

source bench/release_install.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
install_release "$work"
"$work/install/bin/nv12-testpic" "$width" "$height" "$work/picture.yuv"
mesh_points=$(( ((width + 31) / 32 + 1) * ((height + 15) / 16 + 1) ))
head -c $((6 * mesh_points)) /dev/zero > "$work/mesh.bin"

LENSWARP_TRACE="$work/trace.jsonl" "$work/install/bin/warpbench" -s \
  -v "$fmt" -x "$fmt" \
  --mesh-from "$work/mesh.bin" --stream-from "$work/picture.yuv" \
  --fps "$fps" --stream-count "$frames"

grep '"op":"process"' "$work/trace.jsonl" | grep -o '"t_ns":[0-9]*' | cut -d: -f2 |
  awk -v fps="$fps" -v size="${width}x${height}" '
    { t[NR - 1] = $1 }
    END {
      n = NR; period = 1e9 / fps; worst = 0; worst_k = 0
      for (k = 0; k < n; ++k) {
        late = t[k] - (t[0] + k * period)
        if (late > worst) { worst = late; worst_k = k }
      }
      mean = (t[n - 1] - t[0]) / (n - 1)
      printf "frames:              %d at --fps %d, %s\n", n, fps, size
      printf "mean frame period:   %.4f ms\n", mean / 1e6
      printf "drift from %.0f ms:    %+.4f ms per frame (%+.1f ppm)\n", period / 1e6, (mean - period) / 1e6, (mean - period) / period * 1e6
      printf "worst lateness:      %.3f ms (frame %d)\n", worst / 1e6, worst_k
    }'
