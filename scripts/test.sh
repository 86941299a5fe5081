#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test of the project:
#   1. the layering of src/; the Linux build: unit and integration tests, the
#      export table; the same tests with the plain inner loops forced;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the concurrency test built with ThreadSanitizer;
#   4. the fuzz targets (clang, libFuzzer), each for a bounded time;
#   5. the 32-bit Windows DLL and its suite under wine, the DLL's export table.
# Set VOVED_SKIP_INSTALL=1 to skip the package installation, and
# VOVED_FUZZ_SECONDS to change how long each fuzz target runs (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VOVED_SKIP_INSTALL:-0}" != "1" ]; then
  VOVED_WINDOWS=1 ./scripts/install-deps.sh
fi
jobs=$(nproc)
export WINEDEBUG=-all

section() { printf '\n==== %s\n' "$*"; }

section "Layers of the source tree"
./scripts/check-layers.sh

section "Linux build and tests"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOVED_BUILD_TOOLS=ON -DVOVED_BUILD_BENCH=ON
cmake --build build/linux -j "$jobs"
ctest --test-dir build/linux --output-on-failure -j "$jobs"
./scripts/check-exports.sh linux build/linux/src/libvoved32.so

section "Linux tests again with the plain loops forced"
# Every optimised inner loop keeps its plain form; the whole suite must give
# the same bytes with the plain forms in force.
VOVED_FORCE_PLAIN=1 ctest --test-dir build/linux --output-on-failure -j "$jobs"

section "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVOVED_SANITIZE=address,undefined -DVOVED_BUILD_TOOLS=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"

section "Concurrent jobs under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOVED_SANITIZE=thread
cmake --build build/tsan -j "$jobs" --target voved_thread_tests
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -R 'Threads\.'

section "Fuzz targets, ${VOVED_FUZZ_SECONDS:-60} s each"
# Any finding (a sanitizer report, a crash, a broken check, a leak, a
# timeout) stops the target with a non-zero status and fails the run; the
# input that showed it is left in build/fuzz/findings.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOVED_BUILD_FUZZ=ON -DVOVED_SANITIZE=address,undefined -DVOVED_BUILD_TESTS=OFF \
  -DVOVED_BUILD_TOOLS=ON
cmake --build build/fuzz -j "$jobs" --target voved_fuzz
mkdir -p build/fuzz/findings
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=${target##*/fuzz_}
  log="build/fuzz/$name.log"
  # New inputs go to a scratch corpus; the seeds in the repository stay.
  rm -rf "build/fuzz/corpus/$name"
  mkdir -p "build/fuzz/corpus/$name"
  dict=()
  if [ -f "fuzz/$name.dict" ]; then
    dict=(-dict="fuzz/$name.dict")
  fi
  # The test plug-in is found, so the analysis consults it too.
  if ! LD_LIBRARY_PATH="$PWD/build/fuzz/fuzz/plugin/with_entry" "$target" "${dict[@]}" \
      -max_total_time="${VOVED_FUZZ_SECONDS:-60}" -timeout=25 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$name-" \
      "build/fuzz/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $name found a fault; the input is in build/fuzz/findings" >&2
    exit 1
  fi
  printf '%-16s %s\n' "$name" "$(grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log" | tr '\n' ' ')"
done

section "32-bit Windows DLL and tests under wine"
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build build/windows -j "$jobs"
wineboot --init >/dev/null 2>&1 || true
ctest --test-dir build/windows --output-on-failure
./scripts/check-exports.sh windows build/windows/src/Voved32.dll

section "All tests passed"
