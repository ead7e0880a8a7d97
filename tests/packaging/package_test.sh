#!/usr/bin/env bash
# The packages as a user gets them: scripts/package builds the simulated packages for this host
# and armhf and a board package against a fake maker library; each is checked against its list
# of files and its control fields, unpacked with dpkg-deb -x into a scratch root, and the
# unpacked programs run from there (armhf ones under qemu-arm): warpbench corrects a small
# picture on the simulated SoC, camtools-check finds the device and the stand-in library,
# quillox dumps from tqzel-sim, man -l renders every page.
# Usage: package_test.sh SOURCE_DIR SCRATCH_DIR VERSION
set -euo pipefail
src=$1 scratch=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
host_arch=$(dpkg --print-architecture)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch/maker"
# The maker's library for the board package: the board-build test's fake, built for armhf.
arm-linux-gnueabihf-g++ -shared -fPIC -O1 -fvisibility=hidden -I"$src/platform/include" \
  -Wl,-soname,libLenswarp.so -o "$scratch/maker/libLenswarp.so" \
  "$src/tests/board_build/fake_maker_lenswarp.cpp"
LENSWARP_LIBRARY="$scratch/maker/libLenswarp.so" "$src/scripts/package" >"$scratch/package.log" 2>&1 ||
  { cat "$scratch/package.log" >&2; fail "scripts/package failed"; }
grep -A50 '^== lintian' "$scratch/package.log"
packages=$src/build/packages

# Every package is built with Debian's hardening: lintian's informational tags say what is missing.
for deb in "$packages"/*.deb; do
  tags=$(lintian --display-info --tag-display-limit 0 "$deb" 2>/dev/null | grep -E ': hardening-' || true)
  [ -z "$tags" ] || fail "$(basename "$deb") lacks hardening: $tags"
done

# check_package DEB NAME ARCH OTHER: its control fields and its files, against NAME.contents.
check_package() {
  local deb=$1 name=$2 arch=$3 other=$4
  [ -f "$deb" ] || fail "$deb was not made"
  [ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "$deb: Package is not $name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: Version is not $version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb: Architecture is not $arch"
  [ "$(dpkg-deb -f "$deb" Conflicts)" = "$other" ] || fail "$deb: it does not conflict with $other"
  dpkg-deb -f "$deb" Depends | grep -q '\blibdrm2\b' || fail "$deb: Depends lacks libdrm2"
  if dpkg-deb -f "$deb" Depends | grep -qi 'lenswarp'; then
    fail "$deb: Depends names the maker's library"
  fi
  if [ "$arch" = armhf ]; then
    # 64-bit time on a 32-bit target came with glibc 2.34.
    local libc
    libc=$(dpkg-deb -f "$deb" Depends | grep -oE 'libc6 \(>= [^)]*\)' | sed 's/libc6 (>= \(.*\))/\1/')
    [ -n "$libc" ] && dpkg --compare-versions "$libc" ge 2.34 ||
      fail "$deb: Depends does not ask for glibc 2.34 or later: $(dpkg-deb -f "$deb" Depends)"
  fi
  diff -u "$here/$name.contents" <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort) ||
    fail "$deb: its files differ from $name.contents"
}

# run_sim_package ROOT [EMULATOR...]: the unpacked simulated programs at work.
run_sim_package() {
  local root=$1
  shift
  local bin=$root/usr/bin work=$root/work
  mkdir -p "$work"
  cat >"$work/calib.ini" <<'INI'
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
  "$@" "$bin/nv12-testpic" --calib-ini "$work/calib.ini" 320 240 "$work/in.yuv" >/dev/null
  local fmt=width=320,height=240,pixelformat=NV12
  SOCSIM_EMULATOR="$*" SOCDRM_REPORT="$work/device.json" "$bin/socsim" "$bin/warpbench" \
    -v $fmt -x $fmt --calib-ini-from "$work/calib.ini" --stream-from "$work/in.yuv" \
    --stream-to "$work/out.yuv" --stream-count 2 --fps 100 >"$work/warpbench.out" 2>&1 ||
    fail "$root: warpbench failed: $(cat "$work/warpbench.out")"
  [ "$(stat -c %s "$work/out.yuv")" = $((2 * 320 * 240 * 3 / 2)) ] ||
    fail "$root: warpbench did not write two corrected frames"
  cmp -s "$work/in.yuv" <(head -c $((320 * 240 * 3 / 2)) "$work/out.yuv") &&
    fail "$root: the corrected frame is the input picture"
  grep -q '"objects_created":[1-9]' "$work/device.json" ||
    fail "$root: warpbench did not use the simulated device: $(cat "$work/device.json")"
  # camtools-check finds the stand-in library by its run path, as warpbench does (no data files
  # here, so only these two lines are asked for).
  SOCSIM_EMULATOR="$*" "$bin/socsim" "$bin/camtools-check" >"$work/check.out" 2>&1 || true
  grep -q '^ok    drm device ' "$work/check.out" && grep -q '^ok    fec library ' "$work/check.out" ||
    fail "$root: camtools-check did not find the simulated platform: $(cat "$work/check.out")"

  "$@" "$bin/tqzel-sim" --port 0 2>"$work/tqzel-sim.log" &
  local service=$!
  local endpoint=
  for _ in $(seq 600); do
    endpoint=$(sed -n 's|.*listening on \(tcp://.*\)$|\1|p' "$work/tqzel-sim.log")
    [ -n "$endpoint" ] && break
    kill -0 "$service" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$endpoint" ] || fail "$root: tqzel-sim did not start: $(cat "$work/tqzel-sim.log")"
  # quillox's status is 1 when it printed a dump.
  local status=0
  QUILLOX_SERVICE=$endpoint "$@" "$bin/quillox" >"$work/dump.txt" || status=$?
  kill "$service"
  wait "$service" || true
  [ "$status" = 1 ] && grep -q 'ae' "$work/dump.txt" ||
    fail "$root: quillox gave status $status and: $(cat "$work/dump.txt")"
}

# check_manual_pages ROOT: man renders every installed page without a warning.
check_manual_pages() {
  local page
  for page in "$1"/usr/share/man/man*/*; do
    out=$(MANWIDTH=80 MAN_KEEP_FORMATTING= man -l "$page" 2>&1 >/dev/null) ||
      fail "man -l $page failed: $out"
    [ -z "$out" ] || fail "man -l $page warned: $out"
    [ -n "$(MANWIDTH=80 man -l "$page" 2>/dev/null | head -c1)" ] || fail "$page renders empty"
  done
}

for arch in "$host_arch" armhf; do
  deb=$packages/camtools-sim_${version}_$arch.deb
  check_package "$deb" camtools-sim "$arch" camtools
  root=$scratch/camtools-sim-$arch
  dpkg-deb -x "$deb" "$root"
  if [ "$arch" = armhf ]; then
    bash "$here/../imports/narrow_imports_test.sh" arm-linux-gnueabihf-gcc arm-linux-gnueabihf-nm \
      "$root/usr" || fail "camtools-sim (armhf) imports 32-bit offset or time calls"
    run_sim_package "$root" qemu-arm -L /
  else
    run_sim_package "$root"
  fi
  check_manual_pages "$root"
  echo "camtools-sim ($arch): unpacked, corrected a picture, dumped, rendered its pages"
done

deb=$packages/camtools_${version}_armhf.deb
check_package "$deb" camtools armhf camtools-sim
root=$scratch/camtools-armhf
dpkg-deb -x "$deb" "$root"
bash "$here/../imports/narrow_imports_test.sh" arm-linux-gnueabihf-gcc arm-linux-gnueabihf-nm \
  "$root/usr" || fail "camtools (armhf) imports 32-bit offset or time calls"
dynamic=$(readelf -d "$root/usr/bin/warpbench")
grep -q 'NEEDED.*\[libLenswarp.so\]' <<<"$dynamic" || fail "the board warpbench does not need libLenswarp.so"
if grep -qE 'RPATH|RUNPATH' <<<"$dynamic"; then
  fail "the board warpbench has a run path: $(grep -E 'RPATH|RUNPATH' <<<"$dynamic")"
fi
# With the maker's library where the system loader looks, the programs start.
LD_LIBRARY_PATH=$scratch/maker qemu-arm -L / "$root/usr/bin/camtools-check" --version |
  grep -qx "camtools-check $version" || fail "the board camtools-check did not start"
check_manual_pages "$root"
echo "camtools (armhf): no run path, the maker's library from the system loader, pages render"
