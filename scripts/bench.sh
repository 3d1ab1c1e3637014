#!/usr/bin/env bash
# Runs the benchmarks side by side, on SQLite and on PostgreSQL with durable
# settings (fsync on, a private server of its own), and prints every figure:
#
#   inproc_bench   bills of 1/10/100 lines through libplexavo.so; one-line
#                  bills on a day holding 10 vs 9000 bills
#   floor_bench    the same reads and writes as plain prepared statements
#   writer_bench   drawing a bill number with 10/1000/9000 bills on the day
#   http_load      CurPeriod over one kept-alive connection; ten-line bills
#                  over 1/4/50 connections; the server's resident size over
#                  a 60-second run at 50 connections; the server's peak
#                  resident size through two whole-year PrintRst answers of
#                  about 60 MB each
#
# Options (environment):
#   PLEXAVO_BENCH_BUILD   build directory (default build-rel, built Release)
#   PLEXAVO_BENCH_BIN     take plexavo, libplexavo.so and the programs from
#                         this directory instead (e.g. an older build)
#   PLEXAVO_BENCH_BACKENDS  "sqlite postgresql" (default) or one of them
#   PLEXAVO_BENCH_SECONDS   length of each HTTP run (default 15)
#   PLEXAVO_BENCH_RSS_SECONDS  length of the memory run (default 60; 0 skips it)
#   PLEXAVO_BENCH_ANSWER_BILLS  bills of 10 lines behind the large answers
#                         (default 20000; 0 skips that run)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

BUILD=${PLEXAVO_BENCH_BUILD:-build-rel}
BACKENDS=${PLEXAVO_BENCH_BACKENDS:-sqlite postgresql}
SECONDS_PER_RUN=${PLEXAVO_BENCH_SECONDS:-15}
RSS_SECONDS=${PLEXAVO_BENCH_RSS_SECONDS:-60}
ANSWER_BILLS=${PLEXAVO_BENCH_ANSWER_BILLS:-20000}

if [[ -n "${PLEXAVO_BENCH_BIN:-}" ]]; then
  BIN=$(cd "$PLEXAVO_BENCH_BIN" && pwd)
else
  echo "==> bench: building $BUILD (Release)"
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPLEXAVO_BENCH=ON -DPLEXAVO_SANITIZE=OFF \
    -DPLEXAVO_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 >/dev/null
  BIN=$ROOT/$BUILD
fi
export PLEXAVO_NO_SYSLOG=1
export PLEXAVO_CLI=$BIN/plexavo
export PLEXAVO_INPROC_LIBRARY=$BIN/libplexavo.so

PGDIR=""
# shellcheck disable=SC2317  # invoked via trap
cleanup() {
  if [[ -n "$PGDIR" ]]; then
    bash "$ROOT/scripts/pg.sh" stop "$PGDIR" >/dev/null || true
    rm -rf "$PGDIR"
  fi
}
trap cleanup EXIT

run_backend() {
  local backend=$1
  echo "==> bench: backend $backend"
  export PLEXAVO_TEST_BACKEND=$backend
  "$BIN/inproc_bench" --benchmark_counters_tabular=true
  if [[ -x "$BIN/floor_bench" ]]; then
    "$BIN/floor_bench" --benchmark_counters_tabular=true
  fi
  "$BIN/writer_bench" --benchmark_filter=GetBillID --benchmark_counters_tabular=true
  "$BIN/http_load" --op curperiod --connections 1 --seconds "$SECONDS_PER_RUN" || true
  local c
  for c in 1 4 50; do
    "$BIN/http_load" --op addnew --lines 10 --connections "$c" --seconds "$SECONDS_PER_RUN" || true
  done
  if ((RSS_SECONDS > 0)); then
    "$BIN/http_load" --op addnew --lines 10 --connections 50 --seconds "$RSS_SECONDS" --rss || true
  fi
  if ((ANSWER_BILLS > 0)); then
    "$BIN/http_load" --op printrst --bills "$ANSWER_BILLS" --lines 10 --calls 2 || true
  fi
}

for backend in $BACKENDS; do
  if [[ "$backend" == postgresql ]]; then
    PGDIR=$(mktemp -d /tmp/plexavo-bench-pg.XXXXXX)
    PLEXAVO_PG_DURABLE=1 bash scripts/pg.sh start "$PGDIR" >/dev/null
    # shellcheck disable=SC1091
    source "$PGDIR/env"
    echo "==> bench: PostgreSQL with fsync on at 127.0.0.1:$PLEXAVO_TEST_PG_PORT"
  fi
  run_backend "$backend"
done
