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

# The bundled sample photo enlarged to 12000 x 8400 (nearest neighbour), as
# PPM, then encoded by the tool itself.
"$voved" convert samples/chelsea.jpg "$work/small.ppm"
python3 - "$work/small.ppm" "$work/big.ppm" <<'PY'
import sys
W, H = 12000, 8400
data = open(sys.argv[1], "rb").read()
fields = data.split(None, 4)
w, h = int(fields[1]), int(fields[2])
pixels = fields[4]
columns = [x * w // W for x in range(W)]
rows = {}
with open(sys.argv[2], "wb") as out:
    out.write(b"P6\n%d %d\n255\n" % (W, H))
    for y in range(H):
        sy = y * h // H
        if sy not in rows:
            line = pixels[3 * w * sy: 3 * w * (sy + 1)]
            rows[sy] = b"".join(line[3 * c: 3 * c + 3] for c in columns)
        out.write(rows[sy])
PY
"$voved" convert "$work/big.ppm" "$work/big.jpg" --quality 90
rm "$work/big.ppm" "$work/small.ppm"
ls -l "$work/big.jpg"

measure() {
  /usr/bin/time -v "$@" 2>"$work/time.txt"
  grep -E "Maximum resident set size|Elapsed" "$work/time.txt"
}
echo "correct (decoded twice, default --max-memory 256MiB):"
measure "$voved" correct "$work/big.jpg" -o "$work/out.jpg"
echo "correct --max-memory 1GiB (held whole):"
measure "$voved" correct "$work/big.jpg" -o "$work/out1.jpg" --max-memory 1GiB
echo "convert --correct --denoise (streaming):"
measure "$voved" convert "$work/big.jpg" "$work/out2.jpg" --correct --denoise
echo "convert --sharpen 1 (streaming):"
measure "$voved" convert "$work/big.jpg" "$work/out3.jpg" --sharpen 1
