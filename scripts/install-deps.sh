#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# checks need. Quick and silent when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang lld libclang-rt-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-format xvfb xauth
  libx11-dev xdotool imagemagick fonts-dejavu-core
  srecord binutils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "install-deps: missing packages (${missing[*]}) and no sudo to install them" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
