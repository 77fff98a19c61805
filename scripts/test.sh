#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs every test: the unit and
# integration tests through CTest; the core suites again under the address
# and undefined-behaviour sanitizers (and, with KORVIA_TSAN=1, under the
# thread sanitizer); a short run of each fuzz target
# from its seed corpus (built with clang, address and undefined-behaviour
# sanitizers); and the Debian package installed, used and removed.
#   KORVIA_SKIP_SANITIZERS=1, KORVIA_SKIP_FUZZ=1, KORVIA_SKIP_PACKAGE=1 skip a step.
set -euo pipefail
cd "$(dirname "$0")/.."
step() { echo "== $1 ($(date -u +%H:%M:%S))"; STEP_START=$(date +%s); }
done_step() { echo "== $1 took $(( $(date +%s) - STEP_START )) s"; }

# Every test stops what it starts: after each step, no program built here
# may still be running.
no_leftovers() {
  local p exe left=""
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$PWD"/build*/bin/*) left+="${p#/proc/} $exe"$'\n' ;; esac
  done
  if [ -n "$left" ]; then echo "left running after $1:"; echo "$left"; exit 1; fi
}

step "build and tests"
bash scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 600)
no_leftovers "the tests"
done_step "build and tests"

step "the run command as a newcomer runs it"
bash scripts/newcomer-run.sh
done_step "the run command as a newcomer runs it"

if [ "${KORVIA_SKIP_SANITIZERS:-0}" != "1" ]; then
  # Every report fails its test.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  step "address and undefined-behaviour sanitizers"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVIA_SANITIZE=address \
    -DKORVIA_UI=OFF -DKORVIA_BENCH=OFF \
    -DKORVIA_TEST_DIRS="link;engine;foundation;data;messaging;contacts;sim;discovery;usage;owner;bus;notify" >/dev/null
  cmake --build build-asan -j"$(nproc)"
  (cd build-asan && ctest --output-on-failure -j"$(nproc)" --timeout 600)
  no_leftovers "the sanitizer tests"
  done_step "address and undefined-behaviour sanitizers"
fi

# The thread sanitizer run is not yet part of the default command: set
# KORVIA_TSAN=1 to run it.
if [ "${KORVIA_SKIP_SANITIZERS:-0}" != "1" ] && [ "${KORVIA_TSAN:-0}" = "1" ]; then
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  step "thread sanitizer"
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVIA_SANITIZE=thread \
    -DKORVIA_UI=OFF -DKORVIA_BENCH=OFF \
    -DKORVIA_TEST_DIRS="link;engine;foundation;data;messaging;contacts;sim;discovery;net;traffic;usage;owner;cli;bus;notify" >/dev/null
  cmake --build build-tsan -j"$(nproc)"
  # TSan cannot map its shadow on kernels whose address randomisation is
  # wider than it expects; setarch -R turns randomisation off where the
  # machine allows it (containers may not).
  norand=()
  setarch "$(uname -m)" -R true 2>/dev/null && norand=(setarch "$(uname -m)" -R)
  (cd build-tsan && "${norand[@]}" ctest --output-on-failure -j"$(nproc)" --timeout 600)
  done_step "thread sanitizer"
fi

if [ "${KORVIA_SKIP_FUZZ:-0}" != "1" ]; then
  step "fuzz smoke run"
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DKORVIA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-fuzz --target fuzzers -j"$(nproc)"
  for f in build-fuzz/bin/fuzz_*; do
    [ -x "$f" ] || continue
    n=$(basename "$f")
    echo "fuzz smoke: $n"
    # New inputs and crashing inputs stay in build-fuzz/; the seeds in
    # fuzz/corpus/<target>/ are only read.
    mkdir -p "build-fuzz/corpus/$n"
    seeds=()
    [ -d "fuzz/corpus/$n" ] && seeds=("fuzz/corpus/$n")
    "$f" "build-fuzz/corpus/$n" "${seeds[@]}" -max_total_time="${KORVIA_FUZZ_SECONDS:-10}" \
      -print_final_stats=0 -artifact_prefix=build-fuzz/"$n"- >/dev/null 2>build-fuzz/"$n".log \
      || { tail -50 build-fuzz/"$n".log; exit 1; }
  done
  done_step "fuzz smoke run"
fi

if [ "${KORVIA_SKIP_PACKAGE:-0}" != "1" ]; then
  step "package test"
  bash scripts/package-test.sh
  done_step "package test"
fi
