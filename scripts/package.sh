#!/usr/bin/env bash
# Builds the Debian package: a Release build installed under /usr, packed by CPack with
# the dependencies dpkg-shlibdeps finds. Prints the path of the .deb.
#   bash scripts/package.sh [BUILD_DIR]      (default: build-deb)
# Then, as root or with sudo:  apt-get install ./build-deb/tervane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}
bash scripts/setup.sh
bash scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTERVANE_BUILD_TESTS=OFF
rm -f "$dir"/tervane_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/tervane_*.deb
