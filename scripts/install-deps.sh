#!/usr/bin/env bash
# Installs the Debian packages the loader, its tests and its tools need; given package names,
# those instead (scripts/windows/ installs the Windows build's that way).
# Idempotent: only missing packages are installed; quick when all are present.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang clang-format clang-tidy pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libssl-dev nlohmann-json3-dev libtomlplusplus-dev
  xvfb xauth dpkg-dev file
  lintian appstream desktop-file-utils groff-base
  libpq-dev postgresql
  # The screenshots and the window's ping probe under Xvfb: a screen grabber, a keyboard and mouse.
  imagemagick xdotool libx11-dev
  # The report page drawn headless in its test (skipped without it).
  chromium
)

if [ $# -gt 0 ]; then PACKAGES=("$@"); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
