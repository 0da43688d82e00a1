#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# but only those that are missing.
set -euo pipefail

packages=(
  g++ clang cmake ninja-build pkg-config
  libpcre3-dev libgtest-dev libgmock-dev
  qt6-base-dev
  libmodbus-dev python3-pymodbus python3-serial mbpoll socat
  xvfb xauth imagemagick x11-utils
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
