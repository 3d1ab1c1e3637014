#!/usr/bin/env bash
# One command for everything: installs dependencies, builds a sanitized debug
# build and runs the whole test suite against SQLite and then PostgreSQL.
#
# Optional overrides: PLEXAVO_BUILD_DIR (default build-test),
# PLEXAVO_JOBS (default: number of cores).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

BUILD=${PLEXAVO_BUILD_DIR:-build-test}
JOBS=${PLEXAVO_JOBS:-$(nproc)}

echo "==> test: installing dependencies"
bash scripts/setup.sh

echo "==> test: configuring $BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DPLEXAVO_SANITIZE=ON -DPLEXAVO_BENCH=ON

echo "==> test: building with -j$JOBS"
cmake --build "$BUILD" -j"$JOBS"

export PLEXAVO_NO_SYSLOG=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_ctest() {
  ctest --no-tests=error --test-dir "$BUILD" --output-on-failure -j2 --timeout 300
}

PGDIR=""
# shellcheck disable=SC2317  # invoked via trap
cleanup() {
  if [[ -n "$PGDIR" ]]; then
    bash "$ROOT/scripts/pg.sh" stop "$PGDIR" || true
    rm -rf "$PGDIR"
  fi
}
trap cleanup EXIT

echo "==> test: running tests with PLEXAVO_TEST_BACKEND=sqlite"
sqlite_result=PASS
if ! PLEXAVO_TEST_BACKEND=sqlite run_ctest; then
  sqlite_result=FAIL
  echo "==> test: sqlite run FAILED"
fi

echo "==> test: starting PostgreSQL"
pg_result=PASS
PGDIR=$(mktemp -d /tmp/plexavo-pg.XXXXXX)
if bash scripts/pg.sh start "$PGDIR"; then
  # shellcheck disable=SC1091
  source "$PGDIR/env"
  echo "==> test: running tests with PLEXAVO_TEST_BACKEND=postgresql" \
    "(127.0.0.1:$PLEXAVO_TEST_PG_PORT)"
  if ! PLEXAVO_TEST_BACKEND=postgresql run_ctest; then
    pg_result=FAIL
    echo "==> test: postgresql run FAILED"
  fi
else
  pg_result="FAIL (server did not start)"
  echo "==> test: could not start PostgreSQL"
fi

echo "==> test: SUMMARY: sqlite=$sqlite_result postgresql=$pg_result"
if [[ "$sqlite_result" == PASS && "$pg_result" == PASS ]]; then
  echo "==> test: ALL PASSED"
  exit 0
fi
echo "==> test: FAILED"
exit 1
