#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs every test: the unit and
# integration tests through CTest, then a short run of each fuzz target
# (built with clang, address and undefined-behaviour sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 600)

if [ "${KORVIA_SKIP_FUZZ:-0}" != "1" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DKORVIA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-fuzz --target fuzzers -j"$(nproc)"
  for f in build-fuzz/bin/fuzz_*; do
    [ -x "$f" ] || continue
    echo "fuzz smoke: $(basename "$f")"
    # A crashing input is kept in build-fuzz/, not in the source tree.
    "$f" -max_total_time="${KORVIA_FUZZ_SECONDS:-10}" -print_final_stats=0 \
      -artifact_prefix=build-fuzz/"$(basename "$f")"- >/dev/null 2>build-fuzz/"$(basename "$f")".log \
      || { tail -50 build-fuzz/"$(basename "$f")".log; exit 1; }
  done
fi
