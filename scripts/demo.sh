#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the library and the voved tool, and
# corrects the bundled sample photo: the corrected picture, a before/after
# comparison and the analysis plot go into out/, the analysis is printed.
# Set VOVED_SKIP_INSTALL=1 to skip the package installation.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VOVED_SKIP_INSTALL:-0}" != "1" ]; then
  ./scripts/install-deps.sh
fi

cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVOVED_BUILD_TOOLS=ON -DVOVED_BUILD_TESTS=OFF
cmake --build build/demo -j "$(nproc)"

voved=build/demo/tools/voved/voved
mkdir -p out
"$voved" correct samples/chelsea.jpg -o out/chelsea-corrected.jpg \
  --side-by-side out/chelsea-before-after.jpg
# Sharpening: a higher level is gentler (-1 strongest, 3 gentlest).
"$voved" convert samples/chelsea.jpg out/chelsea-sharp.jpg --sharpen 3 \
  --side-by-side out/chelsea-sharpen-3-before-after.jpg
echo
"$voved" analyse samples/chelsea.jpg --plot out/chelsea-analysis.svg
echo
echo "Written: out/chelsea-corrected.jpg, out/chelsea-before-after.jpg,"
echo "         out/chelsea-sharpen-3-before-after.jpg, out/chelsea-analysis.svg"
echo "The tool: $voved --help (or docs/voved.md)"
