#!/usr/bin/env bash
# Wall time and peak memory of `voved correct` and `voved convert --correct
# --denoise` on a 6000 x 4000 JPEG (the bundled photo enlarged, quality 92;
# correction type 5001), beside the tools a user could pick instead and the
# JPEG codec alone. The commands run in turns, round after round, so that a
# ratio compares runs made under the same load; medians are printed, with
# the processor time (user and system; for a pipe, both sides) and the cores
# used (processor time over wall time). On a machine busy with other work,
# wall times say little and the processor times say more.
#   scripts/measure-speed.sh [path/to/voved] [rounds]
# With VOVED_BEFORE=path/to/another/voved, that build is measured in the
# same rounds too (before and after a change).
# Needs libvips-tools, graphicsmagick, imagemagick, libjpeg-turbo-progs and
# time (VOVED_PEERS=1 scripts/install-deps.sh installs them). Not run in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
voved=$(realpath "${1:-build/demo/tools/voved/voved}")
rounds=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

vips resize samples/chelsea.jpg "$work/big.v" 13.3333333 --vscale 13.3333333
vips crop "$work/big.v" "$work/crop.v" 0 0 6000 4000
vips jpegsave "$work/crop.v" "$work/in.jpg" --Q 92
rm "$work"/*.v
"$voved" analyse "$work/in.jpg" | grep -E "^  correction"

cd "$work"
before=${VOVED_BEFORE:+$(realpath "$VOVED_BEFORE")}
/usr/bin/python3 - "$rounds" "$voved" "$before" <<'PY'
import statistics, subprocess, sys, time
rounds, voved, before = int(sys.argv[1]), sys.argv[2], sys.argv[3]
commands = {
    "voved correct": f"{voved} correct in.jpg -o o1.jpg",
    "vips hist_equal": "vips hist_equal in.jpg o2.jpg[Q=92]",
    "gm convert -normalize": "gm convert in.jpg -normalize -quality 92 o3.jpg",
    "convert -auto-level -auto-gamma": "convert in.jpg -auto-level -auto-gamma -quality 92 o4.jpg",
    "djpeg | cjpeg -quality 92": "djpeg in.jpg | cjpeg -quality 92 > o5.jpg",
    "djpeg > /dev/null": "djpeg in.jpg > /dev/null",
    "voved convert --correct --denoise": f"{voved} convert in.jpg o6.jpg --correct --denoise",
}
commands["voved correct, one thread"] = f"VOVED_SERIAL=1 {voved} correct in.jpg -o o9.jpg"
commands["voved convert, one thread"] = (
    f"VOVED_SERIAL=1 {voved} convert in.jpg o10.jpg --correct --denoise")
if before:
    commands["before: voved correct"] = f"{before} correct in.jpg -o o7.jpg"
    commands["before: voved convert --correct --denoise"] = (
        f"{before} convert in.jpg o8.jpg --correct --denoise")
wall = {name: [] for name in commands}
peak = {name: [] for name in commands}
cores = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for _ in range(rounds):
    for name, command in commands.items():
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "sh", "-c", command],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                              check=True)
        wall[name].append(time.perf_counter() - start)
        kib, user, system = done.stderr.strip().splitlines()[-1].split()
        peak[name].append(int(kib) / 1024)
        cpu[name].append(float(user) + float(system))
        cores[name].append(cpu[name][-1] / wall[name][-1])

def ratio(a, b):
    return statistics.median(x / y for x, y in zip(wall[a], wall[b]))

def cpu_ratio(a, b):
    return statistics.median(x / y for x, y in zip(cpu[a], cpu[b]))

print(f"{'command':42} {'wall s':>7} {'cpu s':>6} {'cores':>6} {'peak MiB':>9}"
      f"   (medians of {rounds} rounds)")
for name in commands:
    print(f"{name:42} {statistics.median(wall[name]):7.3f} {statistics.median(cpu[name]):6.2f}"
          f" {statistics.median(cores[name]):6.2f} {statistics.median(peak[name]):9.1f}")
print("paired ratios, wall and processor time (medians of per-round ratios):")
print(f"  voved correct / vips hist_equal                  {ratio('voved correct', 'vips hist_equal'):.2f}  cpu {cpu_ratio('voved correct', 'vips hist_equal'):.2f}")
print(f"  voved correct / gm convert -normalize            {ratio('voved correct', 'gm convert -normalize'):.2f}  cpu {cpu_ratio('voved correct', 'gm convert -normalize'):.2f}")
print(f"  voved correct / convert -auto-level -auto-gamma  {ratio('voved correct', 'convert -auto-level -auto-gamma'):.2f}  cpu {cpu_ratio('voved correct', 'convert -auto-level -auto-gamma'):.2f}")
print(f"  voved convert --correct --denoise / djpeg|cjpeg  {ratio('voved convert --correct --denoise', 'djpeg | cjpeg -quality 92'):.2f}  cpu {cpu_ratio('voved convert --correct --denoise', 'djpeg | cjpeg -quality 92'):.2f}")
print(f"  voved correct / one thread                       {ratio('voved correct', 'voved correct, one thread'):.2f}  cpu {cpu_ratio('voved correct', 'voved correct, one thread'):.2f}")
print(f"  voved convert / one thread                       {ratio('voved convert --correct --denoise', 'voved convert, one thread'):.2f}  cpu {cpu_ratio('voved convert --correct --denoise', 'voved convert, one thread'):.2f}")
if before:
    print(f"  voved correct / before                           {ratio('voved correct', 'before: voved correct'):.2f}  cpu {cpu_ratio('voved correct', 'before: voved correct'):.2f}")
    print(f"  voved convert / before                           {ratio('voved convert --correct --denoise', 'before: voved convert --correct --denoise'):.2f}  cpu {cpu_ratio('voved convert --correct --denoise', 'before: voved convert --correct --denoise'):.2f}")
PY
