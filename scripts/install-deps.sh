#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Telvora
# need, when any is missing. Run by every Makefile target before it builds;
# `install-deps.sh fuzz` adds the clang compiler and its libFuzzer runtime
# that `make fuzz` builds with.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3
  qt6-base-dev qt6-qpa-plugins
  libicu-dev
  googletest libgtest-dev libgmock-dev
  libsqlite3-dev libbenchmark-dev nlohmann-json3-dev
  fonts-wine fonts-dejavu-core qt6-translations-l10n
)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

cmd="apt-get update && apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Telvora needs these Debian packages: ${missing[*]}" >&2
  echo "Run as root, then try again:  $cmd" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y "${missing[@]}"
