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
# Compiler-cache entries hold paths relative to the checkout, so that another
# clone of the same sources reuses them.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT}

# Fails fast on an include against the layers of docs/architecture.md.
echo "==> test: checking the layers"
bash scripts/check_layers.sh

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

PGDIRS=()
# shellcheck disable=SC2317  # invoked via trap
cleanup() {
  local dir
  for dir in "${PGDIRS[@]}"; do
    bash "$ROOT/scripts/pg.sh" stop "$dir" || true
    rm -rf "$dir"
  done
}
trap cleanup EXIT

echo "==> test: running tests with PLEXAVO_TEST_BACKEND=sqlite"
results=()
if PLEXAVO_TEST_BACKEND=sqlite run_ctest; then
  results+=("sqlite=PASS")
else
  results+=("sqlite=FAIL")
  echo "==> test: sqlite run FAILED"
fi

# The PostgreSQL suite runs on two private servers: one whose databases
# collate by language (en_US.UTF-8, what most servers run with) and one that
# collates byte by byte (C.UTF-8). Each runs only while its suite does.
run_postgres() {
  local locale=$1 label=$2 dir
  dir=$(mktemp -d /tmp/plexavo-pg.XXXXXX)
  PGDIRS+=("$dir")
  echo "==> test: starting PostgreSQL ($locale)"
  if ! PLEXAVO_PG_LOCALE=$locale bash scripts/pg.sh start "$dir"; then
    results+=("$label=FAIL(server did not start)")
    echo "==> test: could not start PostgreSQL ($locale)"
    return
  fi
  # shellcheck disable=SC1091
  source "$dir/env"
  echo "==> test: running tests with PLEXAVO_TEST_BACKEND=postgresql, $locale" \
    "(127.0.0.1:$PLEXAVO_TEST_PG_PORT)"
  if PLEXAVO_TEST_BACKEND=postgresql run_ctest; then
    results+=("$label=PASS")
  else
    results+=("$label=FAIL")
    echo "==> test: postgresql ($locale) run FAILED"
  fi
  bash scripts/pg.sh stop "$dir" || true
}

# The bill-entry page in headless Chromium, the API document and the
# metrics, against the demo company served by the built binary.
echo "==> test: running the page, API document and metrics tests (web/tests)"
BUILD_ABS=$(realpath "$BUILD")
if (cd web && PLEXAVO_CLI="$BUILD_ABS/plexavo" PLEXAVO_SCREENSHOTS="$BUILD_ABS/screenshots" npm test); then
  results+=("web=PASS")
  echo "==> test: screenshots of the page tests are in $BUILD/screenshots"
else
  results+=("web=FAIL")
  echo "==> test: web run FAILED"
fi

run_postgres en_US.UTF-8 postgresql-en_US
run_postgres C.UTF-8 postgresql-C

# A short bounded run of every fuzz target from its seed corpus
# (scripts/fuzz.sh SECONDS runs them longer).
echo "==> test: fuzzing each target for ${PLEXAVO_FUZZ_SECONDS:-10}s"
if bash scripts/fuzz.sh "${PLEXAVO_FUZZ_SECONDS:-10}"; then
  results+=("fuzz=PASS")
else
  results+=("fuzz=FAIL")
fi

echo "==> test: SUMMARY: ${results[*]}"
for r in "${results[@]}"; do
  if [[ "$r" != *=PASS ]]; then
    echo "==> test: FAILED"
    exit 1
  fi
done
echo "==> test: ALL PASSED"
