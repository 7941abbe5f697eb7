#!/usr/bin/env bash
# First command of the Quick start: set up, build, and open the Tervane window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
if [ -x build/bin/tervane ]; then
  exec build/bin/tervane "$@"
fi
exec build/bin/tervane-cli --state VA --county Fairfax --type HORIZONTAL \
  --service http://mark-service.example --dry-run
