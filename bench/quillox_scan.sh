#!/usr/bin/env bash
# Measures quillox's built-in printable-text scan against `strings -a -n 4 FILE | grep` on a
# 100 MiB file made of the system's shared libraries with version texts spread through it. The
# scan runs as `quillox --version --list` with the file as libtqzel.so on LD_LIBRARY_PATH (so the
# whole file is scanned), on the release build. Both outputs are compared; the medians of wall
# and CPU time of RUNS runs (default 5) are reported.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/quillox_timing.sh
runs=${RUNS:-5}
size=$((100 * 1024 * 1024))

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install build/release --prefix "$work/install" >/dev/null

mkdir "$work/lib"
lib=$work/lib/libtqzel.so
mapfile -t binaries < <(find /usr/lib /usr/bin -maxdepth 2 -type f -size +200k 2>/dev/null | sort)
: > "$lib"
i=0
while [ "$(stat -c %s "$lib")" -lt "$size" ] && [ "$i" -lt "${#binaries[@]}" ]; do
  cat "${binaries[$i]}" >> "$lib" 2>/dev/null || true
  i=$((i + 1))
  if [ $((i % 8)) = 0 ]; then printf '\0TQZEL v3.%d.0 build %d\0' "$i" "$i" >> "$lib"; fi
done
[ "$(stat -c %s "$lib")" -ge "$size" ] || { echo "could not make a 100 MiB file" >&2; exit 1; }
truncate -s "$size" "$lib"

# quillox exits with 1 when its report was written.
builtin_scan() {
  LD_LIBRARY_PATH="$work/lib" "$work/install/bin/quillox" --version --list || [ $? = 1 ]
}
gnu_scan() { strings -a -n 4 "$lib" | grep 'ZEL v'; }
gnu_strings_only() { strings -a -n 4 "$lib"; }

builtin_scan | sed '1,3d;$d' > "$work/builtin.txt"
gnu_scan > "$work/gnu.txt"
if cmp -s "$work/builtin.txt" "$work/gnu.txt"; then same=yes; else same=NO; fi

read -r builtin_wall builtin_cpu < <(measure builtin_scan)
read -r gnu_wall gnu_cpu < <(measure gnu_scan)
read -r strings_wall strings_cpu < <(measure gnu_strings_only)
awk -v bw="$builtin_wall" -v bc="$builtin_cpu" -v gw="$gnu_wall" -v gc="$gnu_cpu" \
    -v sw="$strings_wall" -v sc="$strings_cpu" -v size="$size" -v runs="$runs" \
    -v same="$same" -v n="$(wc -l < "$work/gnu.txt")" 'BEGIN {
  printf "file: %d bytes, %d matching texts, results identical: %s\n", size, n, same
  printf "                                wall ms     MB/s   CPU ms   MB/s of CPU  (medians of %d)\n", runs
  printf "quillox --version --list:       %7.1f  %7.1f  %7.1f  %7.1f\n", bw, size / bw / 1000, bc, size / bc / 1000
  printf "strings -a -n 4 FILE | grep:    %7.1f  %7.1f  %7.1f  %7.1f\n", gw, size / gw / 1000, gc, size / gc / 1000
  printf "strings -a -n 4 FILE alone:     %7.1f  %7.1f  %7.1f  %7.1f\n", sw, size / sw / 1000, sc, size / sc / 1000
  printf "speed-up over strings | grep:   %7.2f           %7.2f\n", gw / bw, gc / bc
}'
[ "$same" = yes ]
