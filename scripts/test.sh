#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test of the project:
#   1. the Linux build: unit and integration tests, the export table;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the 32-bit Windows DLL and its suite under wine, the DLL's export table.
# Set VOVED_SKIP_INSTALL=1 to skip the package installation.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VOVED_SKIP_INSTALL:-0}" != "1" ]; then
  VOVED_WINDOWS=1 ./scripts/install-deps.sh
fi
jobs=$(nproc)
export WINEDEBUG=-all

section() { printf '\n==== %s\n' "$*"; }

section "Linux build and tests"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOVED_BUILD_TOOLS=ON -DVOVED_BUILD_BENCH=ON
cmake --build build/linux -j "$jobs"
ctest --test-dir build/linux --output-on-failure -j "$jobs"
./scripts/check-exports.sh linux build/linux/src/libvoved32.so

section "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVOVED_SANITIZE=address,undefined -DVOVED_BUILD_TOOLS=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"

section "32-bit Windows DLL and tests under wine"
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build build/windows -j "$jobs"
wineboot --init >/dev/null 2>&1 || true
ctest --test-dir build/windows --output-on-failure
./scripts/check-exports.sh windows build/windows/src/Voved32.dll

section "All tests passed"
