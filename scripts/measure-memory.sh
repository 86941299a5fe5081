#!/usr/bin/env bash
# Measures the peak resident memory of `voved correct` and `voved convert` on
# a generated 12000 x 8400 (100-megapixel) baseline JPEG, with GNU time.
#   scripts/measure-memory.sh [path/to/voved]
# Needs python3 (to generate the picture) and the Debian package "time".
set -euo pipefail
cd "$(dirname "$0")/.."
voved=${1:-build/demo/tools/voved/voved}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A warm-cast ramp with texture, written as PPM and encoded by the tool itself.
python3 - "$work/big.ppm" <<'PY'
import sys
W, H = 12000, 8400
row = bytearray()
for x in range(W):
    t = x * 230 // W
    wobble = (x * 37) % 23
    row += bytes((min(255, t + 25 + wobble), min(255, t + 8 + wobble // 2), max(0, t - 15)))
with open(sys.argv[1], "wb") as out:
    out.write(b"P6\n%d %d\n255\n" % (W, H))
    for y in range(H):
        shift = (y * 3) % 29 * 3
        lift = y * 20 // H
        table = bytes(min(255, v + lift) for v in range(256))
        out.write((row[shift:] + row[:shift]).translate(table))
PY
"$voved" convert "$work/big.ppm" "$work/big.jpg" --quality 90
rm "$work/big.ppm"
ls -l "$work/big.jpg"

measure() {
  /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null
  grep -E "Maximum resident set size|Elapsed" "$work/time.txt"
}
echo "correct (decoded twice, default --max-memory 256MiB):"
measure "$voved" correct "$work/big.jpg" -o "$work/out.jpg"
echo "convert --correct --denoise (streaming):"
measure "$voved" convert "$work/big.jpg" "$work/out2.jpg" --correct --denoise
echo "convert --sharpen 1 (streaming):"
measure "$voved" convert "$work/big.jpg" "$work/out3.jpg" --sharpen 1
