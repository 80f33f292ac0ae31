#!/usr/bin/env bash
# Installs every Debian package the installer needs to build, test and run.
# Idempotent: only missing packages are fetched.
set -euo pipefail

PKGS=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libminizip-dev libarchive-dev libpng-dev libfreetype-dev libsquish-dev
  libsdl2-dev libx11-dev libgl-dev libgl1-mesa-dri libegl1 libegl-mesa0
  xvfb xauth xdotool
  zip unzip 7zip python3 fonts-dejavu-core
  libjpeg62-turbo-dev xplanet-images
  nginx curl
  zenity
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packaged servers (nginx) must not start system services: tests run their own.
cleanup_policy=0
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  cleanup_policy=1
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [ $cleanup_policy -eq 1 ]; then $SUDO rm -f /usr/sbin/policy-rc.d; fi
