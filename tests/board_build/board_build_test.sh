#!/usr/bin/env bash
# A board build against the maker's library and header, as the README describes it, with a fake
# maker library and a copy of the contract header that carries a marker:
#  1. the build takes the maker's header (never platform/include's) for every file of warpbench;
#  2. a maker header whose records are laid out otherwise stops the build, naming the field.
# Usage: board_build_test.sh SOURCE_DIR FAKE_LIBRARY SCRATCH_DIR [TOOLCHAIN_FILE]
set -euo pipefail
src=$1 fake_lib=$2 scratch=$3 toolchain=${4:-}

rm -rf "$scratch"
mkdir -p "$scratch/maker/include" "$scratch/skewed/include"
contract="$src/platform/include/lenswarp_api.h"
{ cat "$contract"; echo "// board-build test: the maker's copy"; } >"$scratch/maker/include/lenswarp_api.h"
# One field more in front of `direction` moves every field after it.
sed 's/^  int32_t direction;$/  int32_t added_by_maker;\n  int32_t direction;/' "$contract" \
  >"$scratch/skewed/include/lenswarp_api.h"
if cmp -s "$contract" "$scratch/skewed/include/lenswarp_api.h"; then
  echo "FAIL: could not make the skewed header (the contract's FecOnlineConfig changed?)" >&2
  exit 1
fi

configure() {  # configure DIR INCLUDE_DIR
  cmake -S "$src" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DLENSWARP_LIBRARY="$fake_lib" -DLENSWARP_INCLUDE_DIR="$2" \
    ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} >"$1.configure.log"
}

# 1. The marker's copy is what warpbench was compiled against.
configure "$scratch/maker/build" "$scratch/maker/include"
cmake --build "$scratch/maker/build" --target warpbench >"$scratch/maker/build.log"
deps=$(ninja -C "$scratch/maker/build" -t deps | grep 'lenswarp_api\.h$' | sort -u)
if ! grep -qx " *$scratch/maker/include/lenswarp_api.h" <<<"$deps"; then
  echo "FAIL: warpbench was not compiled against the maker's header; headers seen:" >&2
  echo "$deps" >&2
  exit 1
fi
if grep -q "$src/platform/include/lenswarp_api.h" <<<"$deps"; then
  echo "FAIL: the project's own contract header was still used:" >&2
  echo "$deps" >&2
  exit 1
fi
echo "the board build compiled warpbench against $scratch/maker/include/lenswarp_api.h"
# Nothing of the simulated platform is part of a board build.
if grep -q "\"file\": \"$src/sim/" "$scratch/maker/build/compile_commands.json"; then
  echo "FAIL: the board build compiles files of sim/:" >&2
  grep "\"file\": \"$src/sim/" "$scratch/maker/build/compile_commands.json" >&2
  exit 1
fi
echo "the board build compiles nothing from sim/"

# 2. A maker header with another layout fails the build with the field's name.
configure "$scratch/skewed/build" "$scratch/skewed/include"
if cmake --build "$scratch/skewed/build" --target warpbench >"$scratch/skewed/build.log" 2>&1; then
  echo "FAIL: a header with another FecOnlineConfig layout was built" >&2
  exit 1
fi
if ! grep -q 'libLenswarp ABI: FecOnlineConfig.direction must lie at byte 48' \
  "$scratch/skewed/build.log"; then
  echo "FAIL: the build failed without naming the moved field:" >&2
  cat "$scratch/skewed/build.log" >&2
  exit 1
fi
echo "a header with another layout stopped the build at FecOnlineConfig.direction"
