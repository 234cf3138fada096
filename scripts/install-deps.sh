#!/usr/bin/env bash
# Installs the Debian packages the player needs to build, test and run.
# Only packages that are missing are installed; safe to run again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev liblodepng-dev liblz4-dev libgif-dev libmd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  lua5.2 xvfb xauth x11-apps imagemagick
  dpkg-dev shared-mime-info desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
