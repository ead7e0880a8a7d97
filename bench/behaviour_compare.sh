#!/usr/bin/env bash
# Compares what the installed programs do, before and after a change of the tree: BASE_REF and
# NEW_REF (default: the working tree of this checkout, uncommitted changes included) are each
# built with the release preset in a build folder of their own and installed in
# WORK/before/install and WORK/after/install. The same few hundred command lines (warpbench on
# the simulated DRM device and on the library's allocator, quillox against tqzel-sim and its
# faults, the tools) then run against both installs, one after the other for each line so that the
# machine's state is the same for both, each in a fresh folder at the same path. For each run the
# exit status or signal, standard output and error, every file left in its folder, the stand-in
# library's call trace, the simulated device's report and the requests the tuning service saw are
# recorded, made independent of the run where two runs legitimately differ (see normalise.pl
# below), and compared byte for byte.
# Usage: bench/behaviour_compare.sh [--keep DIR] [--only REGEX] BASE_REF [NEW_REF]
# Prints one line per command line whose records differ, with the start of the difference, then
# "N command lines compared, M differ"; exits with 0 when none differ, 1 when one does, 2 for a
# bad command line or a failed build. --keep DIR works in DIR (new or empty) and leaves it there
# for inspection (WORK/SIDE/cases/K holds each run's command, raw captures and record);
# --only REGEX runs only the command lines that match the extended regular expression.
set -euo pipefail

usage() {
  echo "usage: bench/behaviour_compare.sh [--keep DIR] [--only REGEX] BASE_REF [NEW_REF]" >&2
  exit 2
}
keep=
only=
while [ $# -gt 0 ]; do
  case $1 in
    --keep)
      [ $# -ge 2 ] || usage
      keep=$2
      shift 2
      ;;
    --only)
      [ $# -ge 2 ] || usage
      only=$2
      shift 2
      ;;
    --help | -h) usage ;;
    -*) usage ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then usage; fi
base_ref=$1
new_ref=${2:-}
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
git -C "$repo" rev-parse --verify --quiet "$base_ref^{commit}" >/dev/null ||
  { echo "behaviour_compare: $base_ref is no commit" >&2; exit 2; }
[ -z "$new_ref" ] || git -C "$repo" rev-parse --verify --quiet "$new_ref^{commit}" >/dev/null ||
  { echo "behaviour_compare: $new_ref is no commit" >&2; exit 2; }

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  [ -z "$(ls -A "$keep")" ] || { echo "behaviour_compare: $keep is not empty" >&2; exit 2; }
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d /tmp/behaviour_compare.XXXXXX)
fi
# Local sockets get a short folder of their own: their paths must fit 107 bytes.
sockets=$(mktemp -d /tmp/bc-sock.XXXXXX)
worktrees=()
services=()
cleanup() {
  local pid tree
  for pid in "${services[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  for tree in "${worktrees[@]}"; do
    git -C "$repo" worktree remove --force "$tree" 2>/dev/null || rm -rf "$tree"
  done
  rm -rf "$sockets"
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---------------------------------------------------------------------------------------------
# Build and install both sides.

# build_side SIDE SOURCE: the release preset's build of SOURCE in WORK/SIDE/build, installed in
# WORK/SIDE/install.
build_side() {
  local side=$1 source=$2 log=$work/$1/build.log
  mkdir -p "$work/$side"
  echo "building $side from $source" >&2
  if ! (cd "$source" && cmake --preset release -B "$work/$side/build" &&
        cmake --build "$work/$side/build" &&
        cmake --install "$work/$side/build" --prefix "$work/$side/install") >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "behaviour_compare: building $side failed (log: $log)" >&2
    exit 2
  fi
}

start=$(date +%s)
mkdir -p "$work/before"
git -C "$repo" worktree add --detach "$work/before/src" "$base_ref" >/dev/null 2>&1 ||
  { echo "behaviour_compare: cannot check out $base_ref" >&2; exit 2; }
worktrees+=("$work/before/src")
build_side before "$work/before/src"
if [ -n "$new_ref" ]; then
  mkdir -p "$work/after"
  git -C "$repo" worktree add --detach "$work/after/src" "$new_ref" >/dev/null 2>&1 ||
    { echo "behaviour_compare: cannot check out $new_ref" >&2; exit 2; }
  worktrees+=("$work/after/src")
  after_src=$work/after/src
else
  after_src=$repo
fi
build_side after "$after_src"
built=$(date +%s)

# ---------------------------------------------------------------------------------------------
# The harness's own helpers.

tools=$work/tools
mkdir -p "$tools"

# run_case STATUS LIMIT COMMAND: COMMAND by bash -c in a process group of its own (a simple
# command is then the process itself, so its signal is seen), killed with the group after LIMIT
# seconds; writes "status N", "signal N" or "timed out" to STATUS. Whatever the command left
# running in its group is killed at the end.
cat >"$tools/run_case.pl" <<'PERL'
use strict;
use warnings;
my ($status_file, $limit, $command) = @ARGV;
my $pid = fork();
die "fork: $!" unless defined $pid;
if ($pid == 0) {
  setpgrp(0, 0);
  exec('bash', '-c', $command) or exit(127);
}
my $timed_out = 0;
local $SIG{ALRM} = sub { $timed_out = 1; kill('KILL', -$pid); };
alarm($limit);
my $st;
while (1) {
  my $r = waitpid($pid, 0);
  if ($r == $pid) { $st = $?; last; }
}
alarm(0);
kill('KILL', -$pid);
open(my $out, '>', $status_file) or die "$status_file: $!";
if ($timed_out) { print $out "timed out after $limit s\n"; }
elsif ($st & 127) { print $out "signal ", ($st & 127), "\n"; }
else { print $out "status ", ($st >> 8), "\n"; }
PERL

# normalise.pl [--threads] FILE: FILE's text made independent of the run. Only what two runs of
# the same programs give differently is replaced:
# - the two sides' own paths (install prefixes, build folders, sources) and the work folder, and
#   the ports and pids of the services (placeholders from NORMALISE_PAIRS);
# - the figures of warpbench's rate lines, which are measured rates;
# - in run statistics, the values that come from clocks and the machine (start time, wall and CPU
#   times, resident size, distributions in microseconds, missed deadlines, achieved rate): the
#   keys, counts, nulls and everything else stay;
# - in frame records, the clock readings: the frame index stays, a deadline becomes its distance
#   from the first deadline of the file (a whole number of periods), nonzero times become T;
# - in the call trace, the call's start and duration (t_ns, dur_ns), and addresses (pointers,
#   contexts: values of 2^32 and above, which no size or descriptor reaches), which move with
#   address-space randomisation;
# - in tqzel-sim's log, the connection numbers, which count the connections of both sides.
# With --threads (the console's runs, where a second thread calls the library while frames flow)
# the trace's engine calls are listed apart from the other calls, each in its own order: the
# interleaving of two threads' calls is the scheduler's.
# A text over 64 KiB is given as its length and sha256 after normalising; anything holding a byte
# other than printable ASCII, tab, CR and LF (pictures, meshes, PNGs) as its raw length and sha256.
cat >"$tools/normalise.pl" <<'PERL'
use strict;
use warnings;
use Digest::SHA qw(sha256_hex);
my $threads = 0;
if (@ARGV && $ARGV[0] eq '--threads') { $threads = 1; shift; }
my $file = shift;
open(my $in, '<:raw', $file) or die "$file: $!";
my $data = do { local $/; <$in> };
$data = '' unless defined $data;
if ($data =~ /[\x00-\x08\x0b\x0c\x0e-\x1f\x7f-\xff]/) {
  printf "(binary, %d bytes, sha256 %s)\n", length($data), sha256_hex($data);
  exit 0;
}
my @pairs;
for my $pair (split(/\n/, $ENV{NORMALISE_PAIRS} // '')) {
  my ($from, $to) = split(/\t/, $pair, 2);
  push @pairs, [$from, $to] if defined $to && length $from;
}
my $timing = qr/-?(?:\d+(?:\.\d*)?(?:[eE][-+]?\d+)?|nan|inf|-nan)/;
my $first_deadline;
my (@process, @other);
my $out = '';
for my $line (split(/(?<=\n)/, $data)) {
  $line =~ s/(Current fps: )[^,\n]*(, Total avg fps: )[^\s]*/${1}X${2}X/g;
  if ($line =~ /\{"run":\{/) {
    $line =~ s/("(?:start_time)":)"[^"]*"/$1"T"/g;
    $line =~ s/("(?:wall_s|cpu_user_s|cpu_system_s|max_rss_kib|achieved_fps|deadlines_missed|min|mean|p50|p90|p99|p99_9|max)":)(?!null)$timing/$1T/g;
  }
  if ($line =~ /^(\d+),(\d+),(\d+),(\d+),(\d+)(\r?\n?)$/) {
    my ($frame, $deadline, $s, $e, $w, $end) = ($1, $2, $3, $4, $5, $6);
    if ($deadline != 0) {
      $first_deadline = $deadline unless defined $first_deadline;
      $deadline = 'D+' . ($deadline - $first_deadline);
    }
    $line = join(',', $frame, $deadline, map { $_ == 0 ? 0 : 'T' } ($s, $e, $w)) . $end;
  }
  if ($line =~ /^\{"op":"/) {
    $line =~ s/,"(?:t_ns|dur_ns)":-?\d+//g;
    $line =~ s/(?<=[:\[,])(\d{10,})(?=[,\]\}])/$1 >= 4294967296 ? '@ADDR@' : $1/ge;
  }
  $line =~ s/(tqzel-sim: connection )\d+:/${1}#:/;
  for my $pair (@pairs) {
    my ($from, $to) = @$pair;
    if ($from =~ /^:\d+$/) { $line =~ s/\Q$from\E(?!\d)/$to/g; } else { $line =~ s/\Q$from\E/$to/g; }
  }
  if ($threads && $line =~ /^\{"op":"/) {
    if ($line =~ /^\{"op":"process"/) { push @process, $line; } else { push @other, $line; }
    next;
  }
  $out .= $line;
}
$out .= "-- engine calls, in their order:\n" . join('', @process) .
        "-- the other calls, in their order:\n" . join('', @other) if $threads;
if (length($out) > 65536) {
  printf "(text, %d bytes after normalising, sha256 %s)\n", length($out), sha256_hex($out);
} else {
  print $out;
  print "\n(no newline at the end)\n" if length($out) && substr($out, -1) ne "\n";
}
PERL

# stop-when STATE SIGNAL COMMAND...: runs COMMAND and sends it SIGNAL once its process waits in the
# kernel at a point whose name (/proc/PID/wchan) matches the glob STATE; ends as COMMAND ended,
# by its signal too. A wait on a state, not on time.
cat >"$tools/stop-when" <<'SH'
#!/usr/bin/env bash
state=$1 sig=$2
shift 2
# The command keeps the standard error; this script's own goes away, or the shell would name the
# signal and the pid whenever it happens to notice the command's end.
exec 3>&2 2>/dev/null
"$@" 2>&3 3>&- &
pid=$!
while kill -0 "$pid"; do
  # shellcheck disable=SC2053  # the state is a glob on purpose
  if [[ $(cat "/proc/$pid/wchan") == $state ]]; then
    kill -s "$sig" "$pid"
    break
  fi
  sleep 0.01
done
wait "$pid"
st=$?
if [ "$st" -gt 128 ] && [ "$st" -lt 160 ]; then
  trap - "$((st - 128))"
  kill -s "$((st - 128))" $$
fi
exit "$st"
SH
# hold-service PID STATE COMMAND...: runs COMMAND while the service PID is stopped, and lets the
# service go on once COMMAND's process waits in the kernel at STATE (so the client has connected
# and sent its request before the service accepts the connection); ends as COMMAND ended.
cat >"$tools/hold-service" <<'SH'
#!/usr/bin/env bash
service=$1 state=$2
shift 2
trap 'kill -CONT "$service" 2>/dev/null' EXIT
kill -STOP "$service"
exec 3>&2 2>/dev/null
"$@" 2>&3 3>&- &
pid=$!
while kill -0 "$pid"; do
  # shellcheck disable=SC2053  # the state is a glob on purpose
  [[ $(cat "/proc/$pid/wchan") == $state ]] && break
  sleep 0.01
done
kill -CONT "$service"
wait "$pid"
exit $?
SH
chmod +x "$tools/hold-service"
chmod +x "$tools/stop-when"

# ---------------------------------------------------------------------------------------------
# Shared inputs, made once with the after side's tools.

in=$work/in
bin_after=$work/after/install/bin
mkdir -p "$in"/{pic,mesh,ini,data4k,data64,dataempty,lib,lib-notext,fakebin,dir} "$work/home"
(
  cd "$in"
  cp "$after_src"/fuzz/corpus/calibration_ini/* ini/
  ini=ini/demo-lens
  # Variants of the demo lens, and files that are no INI.
  sed 's/^correct_level = 200/correct_level = 100/' $ini >ini/level100
  sed 's/^correct_level = 200/correct_level = 0/' $ini >ini/level0
  sed 's/^direction = 0/direction = 1/' $ini >ini/direction1
  sed 's/^style = 0/style = 1/' $ini >ini/style1
  sed 's/^calib_level_maxLimit = 200/calib_level_maxLimit = 100/' $ini >ini/maxlimit100
  sed 's/^\[fec_online\]/[fec_offline]/' $ini >ini/wrong-section
  perl -e 'print map { chr(($_ * 37 + 11) % 256) } 0 .. 299' >ini/random-bytes
  mkdir -p ini/a-directory
  # INI paths of 127 and 128 characters for --auto-parse-ini, relative to a case's folder.
  long=../in/ini/long
  while [ ${#long} -lt 100 ]; do long=${long}d; done
  mkdir -p "${long#../in/}"
  name=$(printf '%*s' $((127 - 101)) '' | tr ' ' i)
  cp $ini "${long#../in/}/$name"
  cp $ini "${long#../in/}/${name}j"
  echo "$long/$name" >ini127.path
  echo "$long/${name}j" >ini128.path

  tp=$bin_after/nv12-testpic
  $tp 64 32 pic/flat64.yuv >/dev/null
  $tp --calib-ini $ini 64 32 pic/f64.yuv >/dev/null
  $tp --calib-ini $ini 320 240 pic/f320.yuv >/dev/null
  $tp --calib-ini $ini 66 34 pic/f66.yuv >/dev/null
  $tp 2 2 pic/p2.yuv >/dev/null
  $tp --calib-ini ini/level100 --samples 2 128 64 pic/f128.yuv >/dev/null
  cat pic/f64.yuv pic/flat64.yuv pic/f64.yuv >pic/three64.yuv
  head -c 1000 pic/f64.yuv >pic/short64.yuv
  : >pic/empty.yuv
  # The same picture with one sample changed, and a 63x31 picture (odd sizes) from raw bytes.
  cp pic/f64.yuv pic/f64-one-off.yuv
  printf '\377' | dd of=pic/f64-one-off.yuv bs=1 seek=100 conv=notrunc status=none
  head -c $((63 * 31 * 3 / 2)) pic/f320.yuv >pic/odd63x31.yuv

  fm=$bin_after/fec-mesh
  $fm --calib-ini $ini --size 64x32 --output mesh/m64.bin >/dev/null
  $fm --calib-ini $ini --size 64x32 --level 0 --output mesh/m64-0.bin >/dev/null
  $fm --calib-ini $ini --size 320x240 --output mesh/m320.bin >/dev/null
  $fm --calib-ini $ini --size 66x34 --output mesh/m66.bin >/dev/null
  $fm --calib-ini $ini --size 128x64 --input-size 64x32 --output mesh/m128from64.bin >/dev/null
  head -c 53 mesh/m64.bin >mesh/m64-short.bin
  { cat mesh/m64.bin; printf x; } >mesh/m64-long.bin
  cp "$after_src"/fuzz/corpus/mesh_file/* mesh/
  mkfifo mesh/fifo
  mkdir -p mesh/a-directory
  # Mesh names of 63 and 64 characters, directory parts of 127 and 128 (relative to a case).
  n63=$(printf '%*s' 59 '' | tr ' ' n).bin
  cp mesh/m64.bin "mesh/$n63"
  cp mesh/m64.bin "mesh/${n63%.bin}x.bin"
  echo "../in/mesh/$n63" >mesh63.path
  echo "../in/mesh/${n63%.bin}x.bin" >mesh64.path
  for length in 126 127 128; do
    dir=../in/mesh/
    while [ ${#dir} -lt "$length" ]; do dir=${dir}d; done
    mkdir -p "${dir#../in/}"
    cp mesh/m64.bin "${dir#../in/}/m.bin"
    echo "$dir/m.bin" >"dir$length.path"
  done

  # warpbench's fixed files: at their real sizes, at 64x32 under the same names, and none.
  l0=zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin
  l200=zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin
  $tp 3840 2160 data4k/imx415_4k_nv12.yuv >/dev/null
  $fm --calib-ini $ini --size 3840x2160 --level 0 --level 200 --dir data4k >/dev/null
  cp pic/f64.yuv data64/imx415_4k_nv12.yuv
  cp mesh/m64-0.bin "data64/$l0"
  cp mesh/m64.bin "data64/$l200"

  # Tuning service libraries for quillox's version report: with version texts, without, and one
  # in a folder whose name the shell must not read as commands.
  { printf '\177ELF\2\1\1\0'; head -c 200 /dev/zero; printf 'TQZEL v3.1.4 (simulated) build 42\0';
    head -c 64 /dev/zero; printf 'libtqzel ZEL v3.1 api\0zel v9 lower case\0ZEL v\0'; } >lib/libtqzel.so
  { printf '\177ELF\2\1\1\0'; head -c 300 /dev/zero; printf 'no version here\0'; } >lib-notext/libtqzel.so
  mkdir -p "lib-it's;x"
  cp lib-notext/libtqzel.so "lib-it's;x/libtqzel.so"

  # Commands for quillox's clock and memory reports, with fixed answers in place of the machine's.
  cat >fakebin/free <<'SH'
#!/bin/sh
echo "               total        used        free      shared  buff/cache   available"
echo "Mem:         1000000      400000      500000        1000      100000      590000"
echo "Swap:              0           0           0"
SH
  cat >fakebin/cat <<'SH'
#!/bin/sh
case "$1" in
  /sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq) echo 1416000 ;;
  /sys/kernel/debug/clk/clk_summary)
    printf '   aclk_vdec  1 1 0 396000000 0 0 50000\n   aclk_rga  1 1 0 297000000 0 0 50000\n   clk_rga_core 1 1 0 297000000 0 0 50000\n' ;;
  /sys/kernel/debug/clk/clk_scmi_gpu/clk_rate) echo 800000000 ;;
  /sys/devices/platform/fde60000.gpu/utilisation) echo 12 ;;
  /sys/kernel/debug/dri/0/mm_dump)
    printf 'total: 1048576 pages\n0x0-0x10: 16 used\n0x10-0x20: 16 used\n0x20-0x30: 16 free\n0x30-0x40: 16 used\n0x40-0x50: 16 free\n' ;;
  *) exec /bin/cat "$@" ;;
esac
SH
  chmod +x fakebin/free fakebin/cat
  printf 'not a socket\n' >not-a-socket
)

# ---------------------------------------------------------------------------------------------
# The tuning services, all from the after side: both sides' quillox talk to the same ones.

svc=$work/svc
mkdir -p "$svc"
# start_service NAME OPTION...: tqzel-sim with its log in svc/NAME.log; sets endpoint.
start_service() {
  local name=$1
  shift
  "$bin_after/tqzel-sim" "$@" 2>"$svc/$name.log" </dev/null &
  local pid=$!
  services+=("$pid")
  endpoint=
  for _ in $(seq 400); do
    endpoint=$(sed -n -e 's|.*listening on \(tcp://.*\)$|\1|p' \
      -e 's|.*listening on local socket \(.*\)$|domain://\1|p' "$svc/$name.log")
    [ -n "$endpoint" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$endpoint" ] || { cat "$svc/$name.log" >&2; echo "behaviour_compare: tqzel-sim $name did not start" >&2; exit 2; }
  service_names+=("$name")
  service_pids+=("$pid")
  service_endpoints+=("$endpoint")
}
service_names=()
service_pids=()
service_endpoints=()
start_service main --port 0; main=$endpoint
start_service local --socket "$sockets/main.sock"; local_sock=$endpoint
start_service cut --socket "$sockets/cut.sock" --size 100 --send-only 50; cut=$endpoint
start_service big --port 0 --size 2000000; big=$endpoint
start_service huge --port 0 --size 4294967295 --send-only 10; huge=$endpoint
start_service once --port 0 --close-at-once; once=$endpoint once_pid=${service_pids[-1]}
start_service never --socket "$sockets/never.sock" --never-answer; never=$endpoint
start_service drip --port 0 --drip 1; drip=$endpoint
start_service slow --port 0 --delay 100; slow=$endpoint
main_port=${main##*:}

# ---------------------------------------------------------------------------------------------
# The command lines. Each runs by bash -c in a fresh folder WORK/run, with standard input from
# /dev/null, PATH starting with the side's bin/, a fixed small environment, LENSWARP_TRACE and
# SOCDRM_REPORT pointing into WORK/cap; ../in is the shared inputs; @BIN@ is the side's bin/.

cases=()
flags=()
c() { selected "$1" && cases+=("$1") && flags+=(""); return 0; }
# A run with the console's second thread (see normalise.pl --threads).
ct() { selected "$1" && cases+=("$1") && flags+=("threads"); return 0; }
selected() { [ -z "$only" ] || [[ $1 =~ $only ]]; }

I=../in
IA=$in
WB="socsim warpbench"
NODEV="SOCDRM_NO_DEVICE=1 socsim warpbench"
F64=width=64,height=32,pixelformat=NV12
F320=width=320,height=240,pixelformat=NV12
F66=width=66,height=34,pixelformat=NV12
J64="-v $F64 -x $F64"
J320="-v $F320 -x $F320"
M64="--mesh-from $I/mesh/m64.bin"
CI="--calib-ini-from $I/ini/demo-lens"
S64="--stream-from $I/pic/f64.yuv"
S320="--stream-from $I/pic/f320.yuv"
RUN64="$J64 $M64 $S64 --fps 1000"

# warpbench: usage, help and words left over.
for args in "" "-z" "--help" "--he" "-z -s" "-s -z" "-h" "-h $RUN64 --stream-count 1" "x" \
  "$RUN64 x y" "$RUN64 --stream-count 1 --api-test 1" "-s $RUN64 leftover" "--help x" \
  "-z --bogus" "--bogus $RUN64 --stream-count 1" "--stream-count" "$RUN64 --stream-count 1 --fps" \
  "--set-fmt-video $F64 --set-fmt-video-out $F64 $M64 $S64 --stream-count 1" \
  "-v $F64" "-x $F64" "$J64" "$J64 $S64 --stream-count 1"; do
  c "$WB $args"
done
c "warpbench"
c "warpbench --help -s"
c "@BIN@/warpbench -h --help"
c "warpbench $RUN64 --stream-to out.yuv --stream-count 2"
c "warpbench -s $RUN64 --stream-to out.yuv --stream-count 2"

# -v and -x: suboptions, pixel formats, sizes; each as the input and as the output picture.
for fmt in "$F64" "height=32,pixelformat=NV12,width=64" "width=64,height=32" "width=64" \
  "width=0,height=32,pixelformat=NV12" "width=64,height=0,pixelformat=NV12" "field=none" \
  "colorspace=srgb" "width" "width=,height=32,pixelformat=NV12" \
  "width=0x40,height=040,pixelformat=NV12" "width=64abc,height=32,pixelformat=NV12" \
  "width=64,height=32,pixelformat=NV12-BE" "width=64,height=32,pixelformat=0x3231564E" \
  "width=64,height=32,pixelformat=842094158" "width=64,height=32,pixelformat=1234" \
  "width=64,height=32,pixelformat=FBC0" "width=64,height=32,pixelformat=NV1" \
  "width=64,height=32,pixelformat=NV12X" "width=64,height=32,pixelformat=ABCDEFG" \
  "width=64,height=32,pixelformat=" "width=64,height=32,pixelformat=0" \
  "width=64,height=32,pixelformat=012" "width=64,height=32,pixelformat=NV12,width=32" \
  "width=64,height=32,pixelformat=\"NV'2\"" "width=100000,height=100000,pixelformat=NV12" \
  "width=46341,height=30899,pixelformat=NV12" "width=4294967360,height=32,pixelformat=NV12" \
  "width=63,height=31,pixelformat=NV12" "$F66" "width=64,,height=32,pixelformat=NV12" "''"; do
  c "$WB -v $fmt -x $F64 $CI $S64 --stream-to out.yuv --stream-count 1 --fps 1000"
  c "$WB -v $F64 -x $fmt $CI $S64 --stream-to out.yuv --stream-count 1 --fps 1000"
done
c "$WB -v $F64 -v width=320,height=240 -x $F320 $CI $S320 --stream-to out.yuv --stream-count 1"
c "$WB -s -v field=x -x $F64 $M64"
c "$WB -s -v $F64 -x width=64,height=32,pixelformat=BAD $M64"
c "$WB -v width=63,height=31,pixelformat=NV12 -x width=63,height=31,pixelformat=NV12 $CI --stream-from $I/pic/odd63x31.yuv --stream-to out.yuv --stream-count 1"
c "$WB -v $F66 -x $F66 --mesh-from $I/mesh/m66.bin --stream-from $I/pic/f66.yuv --stream-to out.yuv --stream-count 2"
c "$WB -v $F64 -x width=128,height=64,pixelformat=NV12 --mesh-from $I/mesh/m128from64.bin $S64 --stream-to out.yuv --stream-count 1"
c "$WB -v width=2,height=2,pixelformat=NV12 -x width=2,height=2,pixelformat=NV12 $CI --stream-from $I/pic/p2.yuv --stream-to out.yuv --stream-count 1"
c "$WB -v $F64 -x width=64,height=32,pixelformat=FBC0 --stride-out 128 $CI $S64 --stream-to out.yuv --stream-count 1"
c "$NODEV -v width=64,height=32,pixelformat=NV12-BE -x $F64 $CI $S64 --stream-count 1"

# --fps: unpaced, out of range, paced, with and without rate lines.
for fps in 0 -5 1 30 1000 2000 abc 7x 0x10; do
  c "$WB $J64 $M64 $S64 --fps $fps --stream-count 2 --stream-to out.yuv"
done
c "$WB -s $J64 $M64 $S64 --fps 0 --stream-count 3"
c "$WB $J64 $M64 $S64 -f 5 --stream-count 12"
c "$WB $J64 $M64 $S64 --fps 1000 --stream-count 2100"
c "$WB $J64 $M64 $S64 --fps 2000 --stream-count 2100"
c "$WB -s $J64 $M64 $S64 --fps 1000 --stream-count 2100"
c "$NODEV $J64 $M64 $S64 --fps 500 --stream-count 1100"

# --stream-skip, --stream-count, --stream-to, --stream-from.
for skip in 0 2 010 0x3 abc; do
  c "$WB $RUN64 --stream-skip $skip --stream-count 2 --stream-to out.yuv"
done
for count in 1 3 010 0x2; do
  c "$WB $RUN64 --stream-count $count --stream-to out.yuv"
done
# Endless runs, ended by a failing engine call.
c "LENSWARP_FAIL_PROCESS_AT=4 $WB $RUN64 --stream-skip -1 --stream-count 2 --stream-to out.yuv"
c "LENSWARP_FAIL_PROCESS_AT=6 $WB $RUN64 --stream-skip 2 --stream-to out.yuv"
c "LENSWARP_FAIL_PROCESS_AT=3 $WB $RUN64 --stream-count abc --stream-to out.yuv"
for to in /dev/null /dev/full . missing-dir/out.yuv "''"; do
  c "$WB $RUN64 --stream-count 2 --stream-to $to"
done
c "$WB -s $RUN64 --stream-count 2 --stream-to /dev/full"
c "$WB $RUN64 --stream-count 2 --stream-to /dev/stdout | od -An -c | head -3"
c "printf old > out.yuv && chmod 400 out.yuv && $WB $RUN64 --stream-count 1 --stream-to out.yuv"
c "mkfifo out.fifo && $WB $RUN64 --stream-count 1 --stream-to out.fifo"
c "mkfifo out.fifo && $tools/stop-when 'poll*' HUP $WB $J320 $CI $S320 --stream-count 1 --stream-to out.fifo"
c "mkfifo out.fifo && $tools/stop-when 'poll*' TERM $WB -s $J320 $CI $S320 --stream-count 1 --stream-to out.fifo"
for from in missing.yuv $I/pic/empty.yuv $I/pic/short64.yuv $I/pic/three64.yuv $I/dir /dev/null \
  $I/pic/f320.yuv "''"; do
  c "$WB $J64 $M64 --fps 1000 --stream-count 1 --stream-to out.yuv --stream-from $from"
done
c "$WB -s $J64 $M64 --fps 1000 --stream-count 1 --stream-from missing.yuv"
c "mkfifo in.fifo && { cat $I/pic/f64.yuv > in.fifo & } && $WB $J64 $M64 --stream-from in.fifo --stream-to out.yuv --stream-count 1"
c "mkfifo in.fifo && { head -c 100 $I/pic/f64.yuv > in.fifo & } && $WB $J64 $M64 --stream-from in.fifo --stream-to out.yuv --stream-count 1"
c "mkfifo in.fifo && $tools/stop-when 'poll*' TERM $WB $J64 $M64 --stream-from in.fifo --stream-count 1"
c "mkfifo in.fifo && $tools/stop-when 'poll*' INT $WB $J64 $M64 --stream-from in.fifo --stream-count 1"
c "cat $I/pic/f64.yuv | $WB $J64 $M64 --stream-from /dev/stdin --stream-to out.yuv --stream-count 1"

# --mesh-from.
for mesh in m64.bin m64-0.bin missing.bin a-directory fifo m320.bin m64-short.bin m64-long.bin \
  extremes negative-size one-byte-long one-byte-short one-cell small-grid uneven-size zero-size; do
  c "$WB $J64 --mesh-from $I/mesh/$mesh $S64 --stream-to out.yuv --stream-count 1 --fps 1000"
done
for path in mesh63 mesh64 dir126 dir127 dir128; do
  c "$WB $J64 --mesh-from \$(cat $I/$path.path) $S64 --stream-to out.yuv --stream-count 1"
done
c "$WB $J64 --mesh-from '' $S64 --stream-count 1"
c "$WB $J64 $M64 $CI $S64 --stream-to out.yuv --stream-count 1"
c "$WB $J64 $S64 --stream-count 1"
c "$WB -s $J64 $S64 --stream-count 1"
c "$NODEV $J64 --mesh-from $I/mesh/a-directory $S64 --stream-count 1"
c "$WB $J320 --mesh-from $I/mesh/m320.bin $S320 --stream-to out.yuv --stream-count 1"

# --calib-ini-from, --auto-parse-ini.
for ini in $(cd "$in/ini" && ls); do
  [ "${ini#long}" = "$ini" ] || continue
  c "$WB $J64 --calib-ini-from $I/ini/$ini $S64 --stream-to out.yuv --stream-count 1 --fps 1000"
done
c "$WB $J64 --calib-ini-from missing.ini $S64 --stream-count 1"
c "$WB -s $J64 --calib-ini-from missing.ini $S64 --stream-count 1"
for ini in demo-lens level100 direction1 missing-key syntax-error a-directory random-bytes; do
  c "$WB $J64 --calib-ini-from $I/ini/$ini --auto-parse-ini 1 $S64 --stream-to out.yuv --stream-count 1"
done
for v in 0 0x1 2 abc; do
  c "$WB $J64 $CI --auto-parse-ini $v $S64 --stream-to out.yuv --stream-count 1"
done
c "$WB $J64 --calib-ini-from missing.ini --auto-parse-ini 1 $S64 --stream-count 1"
c "$WB $J64 --calib-ini-from \$(cat $I/ini127.path) --auto-parse-ini 1 $S64 --stream-to out.yuv --stream-count 1"
c "$WB $J64 --calib-ini-from \$(cat $I/ini128.path) --auto-parse-ini 1 $S64 --stream-count 1"
c "$WB $J64 --calib-ini-from \$(cat $I/ini128.path) $S64 --stream-to out.yuv --stream-count 1"
c "$WB $J320 --calib-ini-from $I/ini/level100 $S320 --stream-to out.yuv --stream-count 1"
c "$NODEV $J320 --calib-ini-from $I/ini/style1 --auto-parse-ini 1 $S320 --stream-to out.yuv --stream-count 1"

# Background value, border, cross-buffer mode, strides and offsets: the frames written show them.
JB="-v $F64 -x width=128,height=64,pixelformat=NV12 $CI $S64 --stream-to out.yuv --stream-count 1"
for bg in y=16,u=128,v=128 y=235 u=1,v=2 y=300 y=abc q=1 y "''" y=1,q=2,v=3 "y=0x10,u=010,v=9"; do
  c "$WB $JB --set-bg-val $bg"
done
c "$WB -s $JB --set-bg-val q=1"
c "$WB $JB --set-bg-val y=50 --set-bg-val u=60"
for mode in 0 1 0x1 7 -1; do
  c "$WB $JB --border-mode $mode --set-bg-val y=200"
done
for mode in 0 1 -3 abc; do
  c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --cross-buf-mode $mode"
done
c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --mesh-density 4"
for v in 0 2 63 64 100 -4 abc; do
  c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --offset-x $v"
  c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --offset-x-out $v"
done
for v in 0 32 64 96 128 -8 abc 2147483647; do
  c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --stride $v"
  c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --stride-out $v"
done
c "$WB $RUN64 --stream-count 1 --stream-to out.yuv --stride 96 --offset-x 16 --stride-out 80 --offset-x-out 8"
c "$WB -v width=40000,height=40000,pixelformat=NV12 -x $F64 --stride 60000 $M64 $S64 --stream-count 1"

# -s at different places.
for args in "-s $RUN64 --stream-count 2 --fps 0" "$RUN64 -s --stream-count 2 --fps 0" \
  "$RUN64 --stream-count 2 --fps 0 -s" "--fps 0 -s $RUN64 --stream-count 2" "-s -h $RUN64 --stream-count 1" \
  "-h -s $RUN64 --stream-count 1" "-s x" "-s -v $F64 -x $F64 -s $S64 --stream-count 1" \
  "--silent $RUN64 --stream-count 2 --stream-to out.yuv" "-s $RUN64 --stream-count 2 --stream-to out.yuv --set-bg-val z=1"; do
  c "$WB $args"
done

# The simulated device's faults and the library's failing engine call.
for fault in CREATE EXPORT MAP_OFFSET MMAP; do
  for n in 1 2 3 4 5; do
    c "SOCDRM_FAIL_$fault=$n $WB $RUN64 --stream-count 2 --stream-to out.yuv"
  done
  c "SOCDRM_FAIL_$fault=1 $WB -s $RUN64 --stream-count 2"
done
for v in high low bogus "''"; do
  c "SOCDRM_MAP_OFFSETS=$v $WB $RUN64 --stream-count 2 --stream-to out.yuv"
done
for v in 1 0 "''" yes; do
  c "SOCDRM_NO_DEVICE=$v socsim warpbench $RUN64 --stream-count 2 --stream-to out.yuv"
done
for n in 1 2 3 5; do
  c "LENSWARP_FAIL_PROCESS_AT=$n $WB $RUN64 --stream-count 4 --stream-to out.yuv"
  c "LENSWARP_FAIL_PROCESS_AT=$n $NODEV -s $RUN64 --stream-count 4 --stream-to out.yuv"
done
c "LENSWARP_FAIL_PROCESS_AT=2 $WB $RUN64 --stream-to out.yuv"
for env in LENSWARP_THREADS=1 LENSWARP_THREADS=3 LENSWARP_KERNEL=scalar "LENSWARP_THREADS=1 LENSWARP_KERNEL=scalar"; do
  c "$env $WB $J320 $CI $S320 --stream-to out.yuv --stream-count 2"
done

# Run statistics and the frame records; the deadline spin.
ST="$RUN64 --stream-count 5 --stream-to out.yuv"
c "WARPBENCH_STATS=stats.json WARPBENCH_FRAMES=frames.csv $WB $ST"
c "WARPBENCH_STATS=stats.json WARPBENCH_FRAMES=frames.csv $WB $ST --fps 0"
c "WARPBENCH_STATS=stats.json WARPBENCH_FRAMES=frames.csv $NODEV $ST --stream-skip 2"
c "WARPBENCH_STATS=stats.json WARPBENCH_FRAMES=frames.csv $WB $J64 --calib-ini-from $I/ini/demo-lens --auto-parse-ini 1 $S64 --stream-count 3"
c "WARPBENCH_STATS=/dev/stdout $WB $ST"
c "WARPBENCH_STATS=/dev/stderr WARPBENCH_FRAMES=/dev/stderr $WB -s $ST"
c "WARPBENCH_FRAMES=/dev/stdout $WB $ST | tail -n 3"
c "WARPBENCH_STATS=log.txt $WB $ST >log.txt"
c "WARPBENCH_STATS=missing-dir/stats.json WARPBENCH_FRAMES=. $WB $ST"
c "WARPBENCH_STATS=/dev/full WARPBENCH_FRAMES=/dev/full $WB -s $ST"
c "WARPBENCH_STATS=stats.json $WB $J64 --mesh-from missing.bin $S64 --stream-count 1"
c "WARPBENCH_STATS=stats.json LENSWARP_FAIL_PROCESS_AT=3 $WB $ST"
c "WARPBENCH_STATS=stats.json $WB -v $F64 -x width=64,height=32,pixelformat='N\"2\\\\' $M64 $S64 --stream-count 1"
c "WARPBENCH_STATS=stats.json WARPBENCH_FRAMES=frames.csv $WB $RUN64 --stream-count 2100"
c "mkfifo s.fifo && { cat s.fifo > got.json & } && WARPBENCH_STATS=s.fifo $WB $ST && wait"
for spin in 0 100 10000 10001 abc -1 "''" " 5"; do
  c "WARPBENCH_SPIN_US='$spin' $WB $ST"
done
c "WARPBENCH_SPIN_US=abc $WB -s $ST"
c "WARPBENCH_SPIN_US=50 WARPBENCH_STATS=stats.json $WB $ST"

# The console (-t): keys from a pipe, the end of input, the fixed files in the data folder.
DA="WARPBENCH_DATA_DIR=$IA/data64"
TJ="$J64 $CI $S64 --stream-count 3 --fps 30"
for key in 1 2 3 4 5 6 7 x; do
  ct "printf $key | $DA $WB -t $TJ"
done
ct "printf 66 | $DA $WB -t $J64 $CI $S64 --stream-count 10 --fps 30"
ct "printf 6 | $DA $WB -t $J64 $M64 $S64 --stream-count 3 --fps 30"
ct "printf 6 | $DA $WB -t $J64 --calib-ini-from $I/ini/demo-lens --auto-parse-ini 1 $S64 --stream-count 3 --fps 30"
ct "printf 5 | $DA $NODEV -t $TJ"
ct "printf 4 | $DA $NODEV -t $TJ"
ct "printf 3 | $DA $NODEV -t $TJ"
for key in 3 4 5; do
  ct "printf $key | WARPBENCH_DATA_DIR=$IA/data4k $WB -t $TJ"
  ct "printf $key | WARPBENCH_DATA_DIR=$IA/dataempty $WB -t $TJ"
done
ct "printf 4 | WARPBENCH_DATA_DIR=$IA/data4k $WB -t -v width=3840,height=2160,pixelformat=NV12 -x width=3840,height=2160,pixelformat=NV12 $CI --stream-count 2 --fps 30"
ct "printf 6 | $DA $WB -s -t $TJ"
ct "printf 1 | $DA $WB -t -s $TJ"
ct "$DA $WB -t $TJ"
ct "$DA $WB -t $TJ <&-"
ct "$DA $WB -s -t $TJ </dev/null"
ct "printf 6 | $DA $WB --api-test $TJ --stream-to out.yuv"
ct "printf 2 | WARPBENCH_STATS=stats.json $DA $WB -t $TJ"

# The fixed data folder: the default input picture.
c "WARPBENCH_DATA_DIR=$IA/data4k $WB $J64 $CI --stream-to out.yuv --stream-count 1"
c "WARPBENCH_DATA_DIR=$I/data64 $WB $J64 $CI --stream-to out.yuv --stream-count 1"
c "WARPBENCH_DATA_DIR=$IA/dataempty $WB $J64 $CI --stream-count 1"
c "WARPBENCH_DATA_DIR='' $WB $J64 $CI --stream-count 1"
c "$WB $J64 $CI --stream-count 1"

# Closed standard streams.
c "$WB $RUN64 --stream-count 2 --stream-to out.yuv >&-"
c "$WB $RUN64 --stream-count 2 --stream-to out.yuv 2>&-"
c "$WB x 2>&- >&-"
c "$WB $RUN64 --stream-count 2 --fps 0 | head -c 10"

# quillox: options, reports, service dumps.
Q="QUILLOX_SERVICE=$main quillox"
for args in "--help" "--he" "-h" "--bogus" "--uri" "--help ae" "ae --help" "--list" \
  "--list version" "--freq --mem" "--mem --freq" "--uri cfg --freq" "--freq --uri cfg"; do
  c "$Q $args"
done
c "@BIN@/quillox --bogus"
for lib in "$IA/lib" "$IA/lib-notext" "$IA/lib-it's;x" "/nonexistent:$IA/lib" "$IA/lib-notext:$IA/lib" ""; do
  for args in "--version" "--version --list" "version" "version --list" "--list --version"; do
    c "LD_LIBRARY_PATH=\"$lib\" quillox $args"
  done
done
many=$(for i in $(seq 22); do printf '/nonexistent/%d:' "$i"; done)
c "LD_LIBRARY_PATH=${many}$IA/lib quillox --version"
c "LD_LIBRARY_PATH=${many%:}:/x quillox --version --list"
c "LD_LIBRARY_PATH=$IA/lib:${many}x quillox --version"
c "LD_LIBRARY_PATH=$IA/lib quillox --version >/dev/full"
c "quillox --freq"
c "PATH=$IA/fakebin:\$PATH quillox --freq"
c "PATH=$IA/fakebin:\$PATH quillox --mem"
c "PATH=$IA/fakebin:\$PATH quillox --mem >/dev/full"
c "PATH=$IA/fakebin:\$PATH quillox --freq --version"
for module in "" ae awb ccm gamma lsc nr sharp all version nosuch "''"; do
  c "$Q $module"
done
for args in "awb --verbose 2" "ae 'with space' 'quote\"d' 'back\\\\slash'" "nr \$'tab\\there' \$'\\001'" \
  "sharp '#hash' 'a#b'" "ccm --uri x" "lsc -- --freq" "--uri cfg exposure gain" "--uri dump" "--uri dump ae" \
  "--uri ''" "--uri 'u#v'" "--uri 'we\"ird' a" "--uri cfg 'x#y'" "--uri \$'c\\nd'"; do
  c "$Q $args"
done
# Requests around the 1023 bytes of the request text: "/cam/tqzel/dump#" (16 bytes), the JSON,
# "#". {"module":"ae", "moduleArgs":["A"]} is 34 bytes and A; {"uriArgs":["A"]} 16 and A, after
# "/cam/tqzel/cfg#" (15); a '#' in an argument is escaped in 6 bytes.
for n in -1 0 1; do
  c "$Q ae \$(printf '%*s' $((1023 - 16 - 34 - 1 + n)) '' | tr ' ' a)"
  c "$Q --uri cfg \$(printf '%*s' $((1023 - 15 - 16 - 1 + n)) '' | tr ' ' b)"
  c "$Q ae \$(printf '%*s' $(((1023 - 16 - 34 - 1) / 6 + n)) '' | tr ' ' '#')"
done
c "$Q ae \$(seq 200)"
c "$Q ae >/dev/full"
c "$Q ae >&-"
c "$Q ae | cat"
c "QUILLOX_SERVICE=$cut quillox ae | cat"
for service in "$main" "tcp://127.1:$main_port" "tcp://localhost:$main_port" "tcp://127.0.0.1" \
  "tcp://127.0.0.1:" "tcp://127.0.0.1:99999" "tcp://127.0.0.1:abc" "$local_sock" "domain://relative.sock" \
  "domain://$sockets/missing.sock" "domain://$IA/not-a-socket" "domain://" "bogus://x" "''" "tcp:/x" \
  "tcp://0.0.0.0:$main_port" "TCP://127.0.0.1:$main_port" " $main"; do
  c "QUILLOX_SERVICE='$service' quillox ae"
done
long107=/$(printf '%*s' 106 '' | tr ' ' s)
c "QUILLOX_SERVICE=domain://$long107 quillox ae"
c "QUILLOX_SERVICE=domain://${long107}t quillox ae"
for timeout in soon -1 86401 0 1 "''" 007 " 5" 5x; do
  c "QUILLOX_TIMEOUT='$timeout' $Q awb"
done
for max in 1 0 4097 abc 4096 "''" 2; do
  c "QUILLOX_MAX_DUMP='$max' $Q ae"
  c "QUILLOX_MAX_DUMP='$max' QUILLOX_SERVICE=$big quillox ae | wc -c"
done
c "QUILLOX_SERVICE=$big quillox ae | head -c 400"
c "QUILLOX_SERVICE=$big quillox --uri x | tail -c 300"
c "QUILLOX_SERVICE=$huge quillox ae"
c "QUILLOX_MAX_DUMP=4096 QUILLOX_SERVICE=$huge QUILLOX_TIMEOUT=1 quillox ae"
c "QUILLOX_SERVICE=$cut quillox ae"
c "QUILLOX_SERVICE=$cut quillox --uri cfg a"
# Whether quillox's request or the service's close comes first is the scheduler's choice; the
# service is held until the request is sent, so that the close always finds it unread.
c "QUILLOX_SERVICE=$once $tools/hold-service $once_pid 'wait_woken' quillox ae"
c "QUILLOX_SERVICE=$once $tools/hold-service $once_pid 'wait_woken' quillox --uri cfg a"
c "QUILLOX_SERVICE=$never QUILLOX_TIMEOUT=1 quillox ae"
c "QUILLOX_SERVICE=$never QUILLOX_TIMEOUT=1 quillox --uri cfg x"
c "QUILLOX_SERVICE=$drip quillox awb"
c "QUILLOX_SERVICE=$slow quillox gamma"
c "quillox ae </dev/null 2>&1 | head -n 3"

# The tools.
for args in "" "--help" "-h" "--version" "--bogus" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level 0 --level 100 --level 200 --dir ." \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level 0 --dir . --prefix cam" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --input-size 128x64 --output m.bin --png m.png" \
  "-c $I/ini/level100 -s 320x240 -l 50 -o m.bin --png m.png" \
  "--calib-ini $I/ini/demo-lens --size 3000x16 --output m.bin --png m.png" \
  "--calib-ini $I/ini/demo-lens --size 64 --output m.bin" "--calib-ini $I/ini/demo-lens --size 0x0 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x --output m.bin" "--calib-ini $I/ini/demo-lens --size 16385x2 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level 201 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level -1 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level 0 --level 1 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --output m.bin --dir ." \
  "--calib-ini $I/ini/demo-lens --size 64x32" "--size 64x32 --output m.bin" \
  "--calib-ini missing.ini --size 64x32 --output m.bin" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --output /dev/full" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --output m.bin --png /dev/full" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --level 0 --level 200 --png m.png --dir ." \
  "--calib-ini $I/ini/demo-lens --size 64x32 --dir missing-dir" \
  "--calib-ini $I/ini/demo-lens --size 64x32 --output m.bin extra" \
  "--calib-ini $I/ini/maxlimit100 --size 64x32 --output m.bin" \
  "--calib-ini $I/ini/direction1 --size 64x32 --level 150 --output m.bin"; do
  c "fec-mesh $args"
done
for ini in missing-key syntax-error out-of-range not-a-number empty random-bytes a-directory wrong-section style1; do
  c "fec-mesh --calib-ini $I/ini/$ini --size 64x32 --output m.bin"
done
for args in "" "--help" "--version" "--bogus" "64 32 p.yuv" "320 240 p.yuv" "63 32 p.yuv" "64 31 p.yuv" \
  "0 0 p.yuv" "2 2 p.yuv" "16386 2 p.yuv" "64 32" "64 32 p.yuv extra" "abc 32 p.yuv" \
  "--calib-ini $I/ini/demo-lens 64 32 p.yuv" "--calib-ini $I/ini/direction1 --samples 1 66 34 p.yuv" \
  "--calib-ini $I/ini/demo-lens --samples 16 32 16 p.yuv" "--calib-ini $I/ini/demo-lens --samples 0 64 32 p.yuv" \
  "--calib-ini $I/ini/demo-lens --samples 17 64 32 p.yuv" "--samples 3 64 32 p.yuv" \
  "--calib-ini missing.ini 64 32 p.yuv" "--calib-ini $I/ini/syntax-error 64 32 p.yuv" \
  "--calib-ini $I/ini/out-of-range 64 32 p.yuv" "64 32 /dev/full" "64 32 missing-dir/p.yuv" "64 32 ."; do
  c "nv12-testpic $args"
done
for args in "" "--help" "--version" "--bogus" "64 32 $I/pic/f64.yuv p.png" "--scale 2 320 240 $I/pic/f320.yuv p.png" \
  "--scale 3 64 32 $I/pic/f64.yuv p.png" "--scale 0 64 32 $I/pic/f64.yuv p.png" "--scale 65 64 32 $I/pic/f64.yuv p.png" \
  "--frame 1 64 32 $I/pic/three64.yuv p.png" "--frame 2 64 32 $I/pic/three64.yuv p.png" \
  "--frame 3 64 32 $I/pic/three64.yuv p.png" "--frame -1 64 32 $I/pic/three64.yuv p.png" \
  "64 32 $I/pic/short64.yuv p.png" "64 32 missing.yuv p.png" "63 32 $I/pic/f64.yuv p.png" \
  "66 34 $I/pic/f66.yuv p.png" "64 32 $I/pic/f64.yuv /dev/full" "64 32 $I/pic/f64.yuv missing-dir/p.png" \
  "64 32 $I/pic/f64.yuv" "2 2 $I/pic/p2.yuv p.png" "--scale 64 64 32 $I/pic/f64.yuv p.png"; do
  c "nv12-topng $args"
done
for args in "" "--help" "--version" "--bogus" "64 32 $I/pic/f64.yuv $I/pic/f64.yuv" \
  "64 32 $I/pic/f64.yuv $I/pic/f64-one-off.yuv" "--max-diff 255 64 32 $I/pic/f64.yuv $I/pic/flat64.yuv" \
  "64 32 $I/pic/f64.yuv $I/pic/flat64.yuv --heatmap h.png" "--max-diff 1 64 32 $I/pic/f64-one-off.yuv $I/pic/f64.yuv" \
  "--frame 2 64 32 $I/pic/three64.yuv $I/pic/three64.yuv" "--test-frame 2 --ref-frame 0 64 32 $I/pic/three64.yuv $I/pic/f64.yuv" \
  "--test-frame 1 64 32 $I/pic/three64.yuv $I/pic/f64.yuv --heatmap h.png" "--frame 3 64 32 $I/pic/three64.yuv $I/pic/f64.yuv" \
  "64 32 $I/pic/short64.yuv $I/pic/f64.yuv" "64 32 missing.yuv $I/pic/f64.yuv" "63 32 $I/pic/f64.yuv $I/pic/f64.yuv" \
  "--max-diff -1 64 32 $I/pic/f64.yuv $I/pic/f64.yuv" "--max-diff abc 64 32 $I/pic/f64.yuv $I/pic/f64.yuv" \
  "64 32 $I/pic/f64.yuv $I/pic/flat64.yuv --heatmap /dev/full" "64 32 $I/pic/f64.yuv" \
  "320 240 $I/pic/f320.yuv $I/pic/f320.yuv --heatmap h.png"; do
  c "fec-compare $args"
done
c "$WB $RUN64 --stream-count 1 --stream-to out.yuv && fec-compare 64 32 out.yuv $I/pic/f64.yuv --heatmap h.png; nv12-topng 64 32 out.yuv o.png"
for env in "" "WARPBENCH_DATA_DIR=$IA/data4k" "WARPBENCH_DATA_DIR=$IA/data64" "WARPBENCH_DATA_DIR=$IA/dataempty"; do
  for args in "" "--json"; do
    c "$env QUILLOX_SERVICE=$main socsim camtools-check $args"
    c "$env QUILLOX_SERVICE=$main camtools-check $args"
  done
done
for service in "$local_sock" "domain://$sockets/missing.sock" "$cut" "$big" "$huge" "bogus://x"; do
  c "WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$service socsim camtools-check"
done
c "WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$never QUILLOX_TIMEOUT=1 socsim camtools-check --json"
c "WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$big QUILLOX_MAX_DUMP=1 socsim camtools-check"
c "WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$main QUILLOX_TIMEOUT=soon socsim camtools-check"
c "SOCDRM_FAIL_MMAP=1 WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$main socsim camtools-check"
c "SOCDRM_FAIL_EXPORT=1 WARPBENCH_DATA_DIR=$IA/data4k QUILLOX_SERVICE=$main socsim camtools-check --json"
c "camtools-check"
for args in "--help" "--version" "--bogus" "--json x" "x" "-h"; do
  c "camtools-check $args"
done
c "QUILLOX_SERVICE=$main socsim camtools-check --json >/dev/full"
for args in "--help" "--version" "--bogus" "--port 70000" "--port abc" "--port" "--delay x" "--drip 0" \
  "--size -1" "--size 4294967296" "--send-only x" "foo" "--socket $IA/not-a-socket" \
  "--socket /$(printf '%*s' 110 '' | tr ' ' s)" "--socket $sockets/../../nonexistent-dir/s.sock" \
  "--port $main_port" "--help --bogus" "--version --port 1"; do
  c "tqzel-sim $args"
done
for args in "" "--version" "nonexistent-command" "true" "false" "sh -c 'echo \$LD_PRELOAD'" \
  "warpbench --version" "--version x" "env"; do
  c "socsim $args"
done
c "@BIN@/socsim sh -c 'exit 3'"

# ---------------------------------------------------------------------------------------------
# Run every command line on both sides, one after the other.

# The services' addresses first (a local socket's path holds the sockets' folder), then the
# sides' paths, longest first, then the services' ports and pids in any other form.
pairs=
for i in "${!service_names[@]}"; do
  pairs+="${service_endpoints[$i]}"$'\t'"@${service_names[$i]}@"$'\n'
done
pairs+=$(printf '%s\t@INSTALL@\n%s\t@INSTALL@\n%s\t@BUILD@\n%s\t@BUILD@\n%s\t@SRC@\n%s\t@SRC@\n%s\t@SOCKETS@\n%s\t@WORK@' \
  "$work/before/install" "$work/after/install" "$work/before/build" "$work/after/build" \
  "$work/before/src" "$after_src" "$sockets" "$work")
for i in "${!service_names[@]}"; do
  case ${service_endpoints[$i]} in
    tcp://*) pairs+=$'\n'":${service_endpoints[$i]##*:}"$'\t'":@${service_names[$i]}-port@" ;;
  esac
  pairs+=$'\n'"pid ${service_pids[$i]}"$'\t'"pid @${service_names[$i]}-pid@"
done
export NORMALISE_PAIRS=$pairs

# record SIDE K FLAGS: the normalised record of case K's run in WORK/SIDE/cases/K.
record() {
  local dir=$work/$1/cases/$2 threads=
  [ "$3" = threads ] && threads=--threads
  {
    echo "== status"
    cat "$dir/cap/status"
    echo "== stdout"
    perl "$tools/normalise.pl" "$dir/cap/stdout"
    echo "== stderr"
    perl "$tools/normalise.pl" "$dir/cap/stderr"
    echo "== files"
    (cd "$dir/run" && find . -mindepth 1 | LC_ALL=C sort) | while IFS= read -r f; do
      local p=$dir/run/$f
      if [ -L "$p" ]; then
        echo "$f: symbolic link to $(readlink "$p")"
      elif [ -d "$p" ]; then
        echo "$f: directory, mode $(stat -c %a "$p")"
      elif [ -p "$p" ]; then
        echo "$f: fifo, mode $(stat -c %a "$p")"
      elif [ -f "$p" ]; then
        echo "$f: file, mode $(stat -c %a "$p"):"
        perl "$tools/normalise.pl" "$p" | sed 's/^/  /'
      else
        echo "$f: $(stat -c %F "$p")"
      fi
    done
    if [ -f "$dir/cap/trace.jsonl" ]; then
      echo "== call trace"
      perl "$tools/normalise.pl" $threads "$dir/cap/trace.jsonl"
    fi
    if [ -f "$dir/cap/report.json" ]; then
      echo "== device report"
      perl "$tools/normalise.pl" "$dir/cap/report.json"
    fi
    if [ -s "$dir/cap/service" ]; then
      echo "== tuning service"
      perl "$tools/normalise.pl" "$dir/cap/service"
    fi
  } >"$dir/record"
}

# run_side SIDE K: case K on SIDE's install.
run_side() {
  local side=$1 k=$2 bin=$work/$1/install/bin
  local cmd=${cases[$k]//@BIN@/$bin}
  local dir=$work/$side/cases/$k
  local offsets=() i
  rm -rf "$work/run" "$work/cap"
  mkdir -p "$work/run" "$work/cap" "$dir"
  printf '%s\n' "${cases[$k]}" >"$dir/command"
  for i in "${!service_names[@]}"; do
    offsets+=("$(stat -c %s "$svc/${service_names[$i]}.log")")
  done
  (
    cd "$work/run"
    umask 022
    exec env -i PATH="$bin:/usr/local/bin:/usr/bin:/bin" HOME="$work/home" LC_ALL=C TZ=UTC \
      LENSWARP_TRACE="$work/cap/trace.jsonl" SOCDRM_REPORT="$work/cap/report.json" \
      perl "$tools/run_case.pl" "$work/cap/status" 30 "$cmd" \
      >"$work/cap/stdout" 2>"$work/cap/stderr" </dev/null
  )
  # What the services saw of this run: its requests, and connections closed or left unanswered
  # by the service itself. Lines logged after the service has answered (the answer's own line, a
  # client that closed) may come after the client ended, so they are left out.
  for i in "${!service_names[@]}"; do
    tail -c +"$((offsets[i] + 1))" "$svc/${service_names[$i]}.log" |
      { grep -v -e ': answer of ' -e ': closed before a request' -e ': closed within the request' || true; } |
      sed "s/^/${service_names[$i]}: /"
  done >"$work/cap/service"
  mv "$work/run" "$dir/run"
  mv "$work/cap" "$dir/cap"
  record "$side" "$k" "${flags[$k]}"
}

total=${#cases[@]}
echo "running $total command lines on both sides" >&2
differ=0
for k in "${!cases[@]}"; do
  run_side before "$k"
  run_side after "$k"
  if ! cmp -s "$work/before/cases/$k/record" "$work/after/cases/$k/record"; then
    differ=$((differ + 1))
    printf 'differs: #%d: %s\n' "$k" "${cases[$k]//$work/@WORK@}"
    diff -u --label before --label after "$work/before/cases/$k/record" "$work/after/cases/$k/record" |
      tail -n +3 | head -n 12 | sed 's/^/    /' || true
  fi
  if [ $(( (k + 1) % 50 )) -eq 0 ]; then echo "  $((k + 1)) of $total" >&2; fi
done
end=$(date +%s)
echo "built in $((built - start)) s, ran in $((end - built)) s" >&2
[ -z "$keep" ] || echo "work folder kept in $work" >&2
echo "$total command lines compared, $differ differ"
[ "$differ" -eq 0 ]
