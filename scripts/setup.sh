#!/usr/bin/env bash
# Installs every system package the project needs to build, test and run.
# Idempotent: when everything is already installed, apt is not touched.
set -euo pipefail

PACKAGES=(
  g++ cmake make pkg-config clang-format
  libsoci-dev libboost-dev libpq-dev libsqlite3-dev sqlite3
  postgresql postgresql-client
  libcpp-httplib-dev nlohmann-json3-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  curl ca-certificates procps
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  if [[ "$status" != "installed" ]]; then
    missing+=("$pkg")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "==> setup: all ${#PACKAGES[@]} packages already installed"
  exit 0
fi

echo "==> setup: missing packages: ${missing[*]}"

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo)
  else
    echo "==> setup: ERROR: not root and sudo is unavailable; cannot install packages" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
APT_OPTS=(-o DPkg::Lock::Timeout=600 -o Acquire::Retries=3)

echo "==> setup: apt-get update"
attempt=1
until "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${APT_OPTS[@]}" update; do
  if [[ $attempt -ge 3 ]]; then
    echo "==> setup: ERROR: apt-get update failed $attempt times" >&2
    exit 1
  fi
  attempt=$((attempt + 1))
  echo "==> setup: apt-get update failed, retrying ($attempt/3)"
  sleep 5
done

echo "==> setup: apt-get install ${PACKAGES[*]}"
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${APT_OPTS[@]}" install -y \
  --no-install-recommends "${PACKAGES[@]}"

echo "==> setup: done"
