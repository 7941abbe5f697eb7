#!/usr/bin/env bash
# Installs the Debian packages Tervane builds and tests with. Idempotent: installs only
# what is missing, through apt-get, with sudo when not run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins libgl1-mesa-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev zlib1g-dev
  libzip-dev gdal-bin gpsbabel
  libxml2-utils libxml2-dev xvfb x11-apps x11-utils xdotool imagemagick
  clang libclang-rt-14-dev
  python3 fonts-dejavu-core locales
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The core tests run a second time under a comma-decimal locale, to show that numbers
# are read and written the same whatever the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale for the number tests"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
