#!/usr/bin/env bash
# Fails when a source file includes a header of a layer it may not use.
#
# The layers and whom each may use are the table between
# "<!-- layers:begin -->" and "<!-- layers:end -->" in docs/architecture.md
# (the build reads the same table). A layer may include its own headers,
# those of the layers in its row and, transitively, of the layers those may
# use. A test file (*_test.cc) may also include the test support in tests/.
# Only data/ may include SOCI. Every directory with C++ sources is either a
# layer of the table or one of the test-side directories (tests, bench, fuzz).
#
# Usage: scripts/check_layers.sh [ROOT]   (default: the checkout holding it)
set -euo pipefail

ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
DOC=$ROOT/docs/architecture.md
TEST_SIDE="tests bench fuzz"

# "layer used used ..." per table row.
rows=$(awk '
  /<!-- layers:begin -->/ { on = 1; next }
  /<!-- layers:end -->/   { on = 0 }
  on && /^\| `[a-z]+\/` \|/ {
    split($0, cell, "|")
    line = cell[2] " " cell[3]
    gsub(/[`\/]/, "", line)
    gsub(/  +/, " ", line)
    sub(/^ /, "", line); sub(/ $/, "", line)
    print line
  }' "$DOC")
if [[ -z "$rows" ]]; then
  echo "check_layers: no layer table in $DOC" >&2
  exit 1
fi

declare -A uses
for row in $(echo "$rows" | awk '{print $1}'); do uses[$row]=""; done
while read -r layer rest; do
  for used in $rest; do
    if [[ -z "${uses[$used]+x}" ]]; then
      echo "check_layers: $layer uses '$used/', which has no row of its own" >&2
      exit 1
    fi
  done
  uses[$layer]=$rest
done <<<"$rows"

# Everything each layer may reach; a layer that reaches itself is a cycle.
declare -A reach
for layer in "${!uses[@]}"; do
  seen=" "
  todo="${uses[$layer]}"
  while [[ -n "${todo// /}" ]]; do
    next=""
    for l in $todo; do
      [[ "$seen" == *" $l "* ]] && continue
      seen+="$l "
      next+=" ${uses[$l]}"
    done
    todo=$next
  done
  if [[ "$seen" == *" $layer "* ]]; then
    echo "check_layers: the table has a cycle through $layer/" >&2
    exit 1
  fi
  reach[$layer]=$seen
done

failures=0
fail() {
  echo "$1" >&2
  failures=$((failures + 1))
}

# Directories with sources that are neither a layer nor test-side.
for dir in "$ROOT"/*/; do
  name=$(basename "$dir")
  [[ -n "${uses[$name]+x}" || " $TEST_SIDE " == *" $name "* ]] && continue
  [[ "$name" == build* ]] && continue
  if compgen -G "$dir*.cc" >/dev/null || compgen -G "$dir*.h" >/dev/null; then
    fail "$name/: C++ sources in a directory that is no layer of docs/architecture.md"
  fi
done

for layer in "${!uses[@]}"; do
  for file in "$ROOT/$layer"/*.cc "$ROOT/$layer"/*.h; do
    [[ -e "$file" ]] || continue
    rel=${file#"$ROOT"/}
    allowed="${reach[$layer]}$layer "
    [[ "$file" == *_test.cc ]] && allowed+="tests "
    while IFS=: read -r lineno text; do
      if [[ "$text" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<soci/ ]]; then
        [[ "$layer" == data ]] || fail "$rel:$lineno: SOCI outside data/: $text"
        continue
      fi
      [[ "$text" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z_]+)/ ]] || continue
      target=${BASH_REMATCH[1]}
      # Only the table's layers and tests/ are checked; other quoted paths
      # (the public header plexavo/, generated files) belong to no layer.
      [[ -n "${uses[$target]+x}" || "$target" == tests ]] || continue
      [[ "$allowed" == *" $target "* ]] ||
        fail "$rel:$lineno: $layer/ may not use $target/: $text"
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
  done
done

if ((failures > 0)); then
  echo "check_layers: $failures include(s) against the layers of docs/architecture.md" >&2
  exit 1
fi
echo "check_layers: every include follows the layers of docs/architecture.md"
