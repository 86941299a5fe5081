#!/usr/bin/env bash
# Checks a built library's export table against the fixed table of entry
# points: the Linux shared library exports the entry points and nothing else;
# the Windows DLL exports them undecorated, at their ordinals, in a table that
# runs from ordinal 100 to 401.
#
#   check-exports.sh linux   path/to/libvoved32.so
#   check-exports.sh windows path/to/Voved32.dll
set -euo pipefail

platform=$1
library=$2

declare -A ordinal=(
  [QVAlloc]=100 [QVHistogram]=101 [QVMargeHisto]=102 [QVCalculate]=103
  [QVCorrection]=104 [QVFree]=105 [QVInitImageConversion]=200 [QVCorrection2]=201
  [QVTerminateImageConversion]=202 [QVExtension]=401
)
expected=$(printf '%s\n' "${!ordinal[@]}" | sort)
status=0

fail() {
  echo "export check ($platform): $*" >&2
  status=1
}

case "$platform" in
linux)
  actual=$(nm -D --defined-only "$library" | awk 'NF == 3 && $2 ~ /^[A-Z]$/ { print $3 }' | sort)
  if [ "$actual" != "$expected" ]; then
    fail "exported symbols differ from the entry points"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
  fi
  ;;
windows)
  dump=$(i686-w64-mingw32-objdump -p "$library")
  base=$(awk '/^Ordinal Base/ { print $3 }' <<<"$dump")
  slots=$(awk '/Export Address Table[ \t]+[0-9a-fA-F]+$/ { print $4; exit }' <<<"$dump")
  [ "$base" = "100" ] || fail "ordinal base is '$base', not 100"
  [ "$((16#${slots:-0}))" = "302" ] || fail "the table has $((16#${slots:-0})) slots, not 302 (ordinals 100 to 401)"
  # "[  idx] Name" lines of the name table: idx is the ordinal minus the base.
  names=$(awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
               table && /^\t\[/ { gsub(/[\[\]]/, ""); print $2, $1 + 100 }
               table && /^$/ { table = 0 }' <<<"$dump" | sort)
  actual=$(awk '{ print $1 }' <<<"$names")
  if [ "$actual" != "$expected" ]; then
    fail "exported names differ from the entry points"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
  fi
  while read -r name number; do
    [ -n "$name" ] || continue
    want=${ordinal[$name]:-}
    [ "$want" = "$number" ] || fail "$name is at ordinal $number, not ${want:-(none)}"
  done <<<"$names"
  ;;
*)
  echo "usage: $0 linux|windows LIBRARY" >&2
  exit 2
  ;;
esac

if [ $status -eq 0 ]; then
  echo "export check ($platform): the ten entry points, and nothing else"
fi
exit $status
