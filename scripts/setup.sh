#!/usr/bin/env bash
# Installs every system package the project needs to build, test and run.
# Idempotent: when everything is already installed, apt is not touched.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

PACKAGES=(
  g++ cmake make pkg-config clang-format ccache
  libsoci-dev libboost-dev libpq-dev libsqlite3-dev sqlite3
  postgresql postgresql-client
  libcpp-httplib-dev nlohmann-json3-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  curl ca-certificates procps locales
  chromium fonts-wqy-microhei
  clang libclang-rt-14-dev
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  if [[ "$status" != "installed" ]]; then
    missing+=("$pkg")
  fi
done

# PostgreSQL servers usually run with a language collation; the tests run
# one cluster under en_US.UTF-8, which must exist as a system locale.
ensure_locale() {
  if locale -a 2>/dev/null | grep -qix 'en_US\.utf-\?8'; then
    return 0
  fi
  echo "==> setup: generating the en_US.UTF-8 locale"
  if ! grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'en_US.UTF-8 UTF-8' | "${SUDO[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${SUDO[@]}" locale-gen >/dev/null
}

# Root installs directly; anyone else needs sudo, checked only once there
# is something to install.
SUDO=()
if [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
fi

# The page's tools (API document renderer, browser and document tests) come
# from npm, pinned by web/package-lock.json; install scripts never run.
ensure_web_packages() {
  if [[ -f web/node_modules/.package-lock.json && web/node_modules/.package-lock.json -nt web/package-lock.json ]]; then
    return 0
  fi
  echo "==> setup: installing web/'s npm packages"
  (cd web && SCARF_ANALYTICS=false npm ci --ignore-scripts --no-audit --no-fund)
}

# Node.js and npm: the machine's own when it has them, Debian's otherwise.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "==> setup: all ${#PACKAGES[@]} packages already installed"
  ensure_locale
  ensure_web_packages
  exit 0
fi

echo "==> setup: missing packages: ${missing[*]}"
if [[ $(id -u) -ne 0 && ${#SUDO[@]} -eq 0 ]]; then
  echo "==> setup: ERROR: not root and sudo is unavailable; cannot install packages" >&2
  exit 1
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

ensure_locale
ensure_web_packages
echo "==> setup: done"
