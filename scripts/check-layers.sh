#!/usr/bin/env bash
# Checks that the library's folders are layers: a file under src/ includes
# only from its own folder or from a folder in a lower layer.
#
#   layer 0  platform, pixels   blocks, library loading; layouts, width helpers
#   layer 1  context            the context record, handles, validation
#   layer 2  stats, filters     statistics; stateless line filters
#   layer 3  analysis
#   layer 4  correct
#   layer 5  stream
#   layer 6  interface          the entry points, included by nothing in src/
#
# filters sit in layer 2 but keep no state, so they may not include context/.
#   check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}

declare -A layer=(
  [platform]=0 [pixels]=0 [context]=1 [stats]=2 [filters]=2
  [analysis]=3 [correct]=4 [stream]=5 [interface]=6
)
status=0

while IFS= read -r file; do
  folder=${file#"$src"/}
  folder=${folder%%/*}
  own=${layer[$folder]:-}
  if [ -z "$own" ]; then
    echo "layers: $file is in folder '$folder', which has no layer" >&2
    status=1
    continue
  fi
  while IFS= read -r included; do
    target=${included%%/*}
    [ "$target" = "$folder" ] && continue
    theirs=${layer[$target]:-}
    [ -n "$theirs" ] || continue  # the public header, generated headers
    if [ "$theirs" -gt "$own" ] || { [ "$theirs" -eq "$own" ]; } ||
      { [ "$folder" = filters ] && [ "$target" = context ]; }; then
      echo "layers: $file ($folder) includes $included ($target)" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ $status -eq 0 ]; then
  echo "layers: every include in $src points to its own layer or one below"
fi
exit $status
