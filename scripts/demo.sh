#!/usr/bin/env bash
# Installs dependencies, builds a release binary in build/ and runs it.
# Arguments are passed to the binary; without arguments it runs "demo".
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT}

echo "==> demo: installing dependencies"
bash scripts/setup.sh

echo "==> demo: configuring build (Release)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLEXAVO_TESTS=OFF

echo "==> demo: building"
cmake --build build -j"$(nproc)"

if [[ $# -eq 0 ]]; then
  set -- demo
fi
echo "==> demo: running build/plexavo $*"
exec build/plexavo "$@"
