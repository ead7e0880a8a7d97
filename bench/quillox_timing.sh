# Sourced by the quillox benchmarks. `measure CMD...` runs the command once to warm up, then
# RUNS times, and prints "WALL_MS CPU_MS": the medians of the wall time and of the CPU time
# (user + system, the command's children included). Exit statuses are not looked at; the
# benchmarks check the outputs themselves.
measure() {
  local log
  log=$(mktemp)
  "$@" >/dev/null 2>&1 || true
  local TIMEFORMAT='%R %U %S'
  for _ in $(seq "$runs"); do
    { time "$@" >/dev/null 2>&1 || true; } 2>>"$log"
  done
  local wall cpu
  wall=$(awk '{ print $1 * 1000 }' "$log" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  cpu=$(awk '{ print ($2 + $3) * 1000 }' "$log" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  echo "$wall $cpu"
  rm -f "$log"
}
