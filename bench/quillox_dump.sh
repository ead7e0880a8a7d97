#!/usr/bin/env bash
# Measures a 64 MiB dump from tqzel-sim through quillox into /dev/null against the same transfer
# by a plain socket reader (bench/plain_dump_reader.cpp), on the release build. Each is run RUNS
# times (default 9) after one warm-up; the medians of wall and CPU time are compared (the CPU
# time is quillox's or the reader's own, not the service's). The service takes a free port.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/quillox_timing.sh
runs=${RUNS:-9}
size=${SIZE:-67108864}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cmake --install build/release --prefix "$work/install" >/dev/null
c++ -O2 -o "$work/plain_dump_reader" bench/plain_dump_reader.cpp

"$work/install/bin/tqzel-sim" --port 0 --size "$size" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do grep -q 'listening on' "$work/sim.log" && break; sleep 0.05; done
port=$(sed -n 's|.*listening on tcp://127.0.0.1:\([0-9]*\)$|\1|p' "$work/sim.log")
[ -n "$port" ] || { cat "$work/sim.log" >&2; exit 1; }
export QUILLOX_SERVICE=tcp://127.0.0.1:$port


read -r quillox_wall quillox_cpu < <(measure "$work/install/bin/quillox")
read -r plain_wall plain_cpu < <(measure "$work/plain_dump_reader" "$port")
bytes=$({ "$work/install/bin/quillox" || true; } | wc -c)
plain_bytes=$("$work/plain_dump_reader" "$port" | wc -c)
# The frame (two separator lines, header and footer), and the warning for a dump above 1 MiB.
extra=$(( 2 * 80 + 21 + 25 ))
[ "$size" -gt 1048576 ] && extra=$(( extra + 54 ))
if [ "$bytes" != $((size + extra)) ] || [ "$plain_bytes" != "$size" ]; then
  echo "unexpected output sizes: quillox $bytes, plain reader $plain_bytes" >&2
  exit 1
fi
awk -v qw="$quillox_wall" -v qc="$quillox_cpu" -v pw="$plain_wall" -v pc="$plain_cpu" \
    -v size="$size" -v bytes="$bytes" -v runs="$runs" 'BEGIN {
  printf "dump size:            %d bytes (%d bytes of quillox output with the frame)\n", size, bytes
  printf "                      wall ms     MB/s   CPU ms  (medians of %d runs)\n", runs
  printf "quillox:              %7.1f  %7.1f  %7.1f\n", qw, size / qw / 1000, qc
  printf "plain socket reader:  %7.1f  %7.1f  %7.1f\n", pw, size / pw / 1000, pc
  printf "ratio quillox/plain:  %7.2f           %7.2f\n", qw / pw, qc / pc
}'
