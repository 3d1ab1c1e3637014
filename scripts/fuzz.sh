#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 60), starting from
# the seed corpus in fuzz/corpus/TARGET. New inputs go to a scratch corpus,
# never into the tree; a crash leaves its input in $PLEXAVO_FUZZ_OUT
# (default /tmp/plexavo-fuzz) and fails the script.
#
#   bash scripts/fuzz.sh 3600     # an hour per target
#
# Optional: PLEXAVO_FUZZ_BUILD_DIR (default build-fuzz).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

SECONDS_EACH=${1:-60}
if ! [[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || [[ "$SECONDS_EACH" -lt 1 ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
BUILD=${PLEXAVO_FUZZ_BUILD_DIR:-build-fuzz}
OUT=${PLEXAVO_FUZZ_OUT:-/tmp/plexavo-fuzz}
TARGETS=(json_args settings cnn_string http_head)

echo "==> fuzz: building the targets with clang in $BUILD"
CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DPLEXAVO_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j2 >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for t in "${TARGETS[@]}"; do
  scratch="$OUT/$t/corpus"
  mkdir -p "$scratch" "$OUT/$t/crashes"
  echo "==> fuzz: $t for ${SECONDS_EACH}s"
  if ! "$BUILD/${t}_fuzz" "$scratch" "fuzz/corpus/$t" -max_total_time="$SECONDS_EACH" \
    -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$OUT/$t/crashes/" >"$OUT/$t/log" 2>&1; then
    failed+=("$t")
    echo "==> fuzz: $t FAILED; see $OUT/$t/log and $OUT/$t/crashes/"
    tail -n 30 "$OUT/$t/log"
  else
    grep -E "stat::number_of_executed_units|cov:" "$OUT/$t/log" | tail -n 2 || true
  fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "==> fuzz: FAILED: ${failed[*]}"
  exit 1
fi
echo "==> fuzz: all ${#TARGETS[@]} targets ran ${SECONDS_EACH}s each without a finding"
