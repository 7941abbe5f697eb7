#!/usr/bin/env bash
# First command of the Quick start: set up, build, and open the Tervane window. With no
# mark-list service address set, the window asks the bundled sample service, started for
# it and stopped when the window closes (scripts/with-service.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
if [ -x build/bin/tervane ]; then
  exec bash scripts/with-service.sh build/bin build/bin/tervane "$@"
fi
exec build/bin/tervane-cli --state VA --county Fairfax --type HORIZONTAL \
  --service http://mark-service.example --dry-run
