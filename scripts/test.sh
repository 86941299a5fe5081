#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test of the project:
#   1. the layering of src/; the Linux build (Release, GCC): unit and
#      integration tests, the export table; the same tests with the plain
#      inner loops forced;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the concurrency test built with ThreadSanitizer;
#   4. the fuzz targets (clang, libFuzzer), each for a bounded time;
#   5. the 32-bit Windows DLL and its suite under wine, the DLL's export table;
#   6. a Release build with clang and its tests; the Linux build installed
#      into a prefix with the example consumers built against it; the Windows
#      zip linked with MinGW and MSVC import libraries and run under wine; the
#      Debian packages built, checked by lintian, installed and run.
#   7. the same bytes on Linux x86-64, Windows (two host states) and aarch64.
#   8. the voved32 Python package, installed offline into a venv, and its tests.
# Warnings are errors in every build here (VOVED_WERROR=ON).
# Set VOVED_SKIP_INSTALL=1 to skip the package installation, and
# VOVED_FUZZ_SECONDS to change how long each fuzz target runs (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VOVED_SKIP_INSTALL:-0}" != "1" ]; then
  VOVED_WINDOWS=1 VOVED_AARCH64=1 ./scripts/install-deps.sh
fi
jobs=$(nproc)
export WINEDEBUG=-all

section() { printf '\n==== %s\n' "$*"; }

section "Layers of the source tree"
./scripts/check-layers.sh

section "Linux build and tests"
# Release (-O3) with GCC, so an optimisation-level warning fails here first.
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOVED_WERROR=ON \
  -DVOVED_BUILD_TOOLS=ON -DVOVED_BUILD_BENCH=ON
cmake --build build/linux -j "$jobs"
ctest --test-dir build/linux --output-on-failure -j "$jobs"
./scripts/check-exports.sh linux build/linux/src/libvoved32.so

section "Linux tests again with the plain loops forced"
# Every optimised inner loop keeps its plain form; the whole suite must give
# the same bytes with the plain forms in force.
VOVED_FORCE_PLAIN=1 ctest --test-dir build/linux --output-on-failure -j "$jobs"

section "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOVED_WERROR=ON \
  -DVOVED_SANITIZE=address,undefined -DVOVED_BUILD_TOOLS=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"

section "Concurrent jobs under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOVED_SANITIZE=thread \
  -DVOVED_WERROR=ON
cmake --build build/tsan -j "$jobs" --target voved_thread_tests
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -R 'Threads\.'

section "Fuzz targets, ${VOVED_FUZZ_SECONDS:-60} s each"
# Any finding (a sanitizer report, a crash, a broken check, a leak, a
# timeout) stops the target with a non-zero status and fails the run; the
# input that showed it is left in build/fuzz/findings.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOVED_WERROR=ON -DVOVED_BUILD_FUZZ=ON -DVOVED_SANITIZE=address,undefined \
  -DVOVED_BUILD_TESTS=OFF -DVOVED_BUILD_TOOLS=ON
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
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DVOVED_WERROR=ON
cmake --build build/windows -j "$jobs"
wineboot --init >/dev/null 2>&1 || true
ctest --test-dir build/windows --output-on-failure
./scripts/check-exports.sh windows build/windows/src/Voved32.dll

section "Same bytes on every platform and host"
# The determinism driver prints one hash line per job; Linux x86-64, the
# Windows DLL under wine (in a MinGW program's state and with the x87 unit at
# 53-bit precision, as Windows starts a process) and Linux aarch64 under
# qemu, on x86-64 and aarch64 also in a host that rounds otherwise, must
# print the same lines. The sample photo is decoded here, by the
# Linux tool, since the cross targets have no JPEG decoder.
det=build/determinism
mkdir -p "$det"
build/linux/tools/voved/voved convert samples/chelsea.jpg "$det/chelsea.ppm" >/dev/null
cmake -S . -B build/aarch64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOVED_BUILD_TESTS=OFF -DVOVED_WERROR=ON
cmake --build build/aarch64 -j "$jobs" --target voved_determinism
fused=$(aarch64-linux-gnu-objdump -d build/aarch64/src/libvoved32.so | grep -cE '\sf(n)?m(add|sub|la|ls)\s' || true)
if [ "$fused" -ne 0 ]; then
  echo "the aarch64 library has $fused fused multiply-add instructions" >&2
  exit 1
fi
build/linux/tests/determinism/voved_determinism "$det/chelsea.ppm" >"$det/linux-x86-64.txt"
wine build/windows/src/voved_determinism.exe "$det/chelsea.ppm" | tr -d '\r' >"$det/windows.txt"
wine build/windows/src/voved_determinism.exe --x87-precision 53 "$det/chelsea.ppm" |
  tr -d '\r' >"$det/windows-53-bit.txt"
build/linux/tests/determinism/voved_determinism --rounding toward-zero "$det/chelsea.ppm" \
  >"$det/linux-x86-64-toward-zero.txt"
qemu-aarch64 -L /usr/aarch64-linux-gnu build/aarch64/tests/determinism/voved_determinism \
  "$det/chelsea.ppm" >"$det/linux-aarch64.txt"
qemu-aarch64 -L /usr/aarch64-linux-gnu build/aarch64/tests/determinism/voved_determinism \
  --rounding down "$det/chelsea.ppm" >"$det/linux-aarch64-down.txt"
for run in windows windows-53-bit linux-x86-64-toward-zero linux-aarch64 linux-aarch64-down; do
  diff -u "$det/linux-x86-64.txt" "$det/$run.txt" || {
    echo "determinism: $run differs from Linux x86-64" >&2
    exit 1
  }
done
echo "determinism: $(wc -l <"$det/linux-x86-64.txt") jobs, the same on every platform and host"

# ---- Release with clang; what users install: a prefix, the Windows zip, the
# Debian packages (scripts/check-install.sh).
section "Release build with clang, tests included"
CC=clang CXX=clang++ cmake -S . -B build/clang -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVOVED_WERROR=ON -DVOVED_BUILD_TOOLS=ON
cmake --build build/clang -j "$jobs"
ctest --test-dir build/clang --output-on-failure -j "$jobs"

section "Installed into a prefix: the files, the example consumers"
./scripts/check-install.sh prefix build/linux build/prefix

section "Windows zip: MinGW and MSVC links run under wine"
./scripts/check-install.sh windows build/windows

section "Debian packages: build, lintian, install, run"
./scripts/check-install.sh debian
# ---- end of the installation checks

section "Python package voved32"
# Installed the way the README says, offline, then tested against the tool
# built above. The CMake build folder is kept for the next run.
rm -rf build/python-venv
/usr/bin/python3 -m venv --system-site-packages build/python-venv
VOVED_CMAKE_BUILD_DIR="$PWD/build/python" CMAKE_BUILD_PARALLEL_LEVEL="$jobs" \
  build/python-venv/bin/pip install -q --no-index --no-build-isolation ./python
status=0
VOVED_TOOL="$PWD/build/linux/tools/voved/voved" timeout 900 \
  build/python-venv/bin/python -m pytest -q -p no:cacheprovider python/tests || status=$?
if [ "$status" -eq 5 ]; then
  echo "pytest collected no tests from python/tests" >&2
  exit 1
fi
[ "$status" -eq 0 ] || exit "$status"

section "All tests passed"
