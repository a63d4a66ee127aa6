#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velmora need, when
# they are missing. As root it uses apt-get; otherwise it names what to install.
# Usage: scripts/deps.sh [demo]   (demo: only what building the plug-ins and
#        velmora and running the demo need, for scripts/demo.sh)
set -euo pipefail

DEMO_PACKAGES=(
  cmake g++ make
  pkg-config libsndfile1-dev libcli11-dev libcairo2-dev fonts-dejavu-core
)

PACKAGES=(
  cmake g++ make
  libgtest-dev googletest libbenchmark-dev
  g++-multilib
  locales-all
  pkg-config libsndfile1-dev libcli11-dev libcairo2-dev fonts-dejavu-core
  dpf-plugins-vst
  dpf-source lv2-dev liblilv-dev lilv-utils lv2file sordi qtractor
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64
  ardour
  clang-22 libclang-rt-22-dev valgrind
  clang-format-22
)

if [ "${1:-}" = demo ]; then
  PACKAGES=("${DEMO_PACKAGES[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "velmora: missing Debian packages: ${missing[*]}" >&2
  echo "velmora: install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "velmora: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
