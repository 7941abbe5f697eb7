#!/usr/bin/env bash
# Runs a command against the mark-list service the user has set up. With no service
# address set anywhere (TERVANE_SERVICE_URL, BaseUrl in the [Service] section of
# ~/.config/Tervane/Tervane.conf, or one built in), it starts the bundled sample service
# on a free port of 127.0.0.1 first, points the command at it, and stops the service
# when the command ends.
#
#   bash scripts/with-service.sh BIN_DIR COMMAND [ARGUMENTS...]
set -euo pipefail
bin=$1; shift

# The command-line tool resolves the address exactly as the window does; its dry run
# succeeds only when there is one.
if "$bin/tervane-cli" --state VA --county Fairfax --project L27001 --dry-run >/dev/null 2>&1; then
  exec "$@"
fi

log=$(mktemp)
"$bin/tervane-sample-service" --port 0 >"$log" 2>&1 &
service=$!
stop_service() {
  kill "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  rm -f "$log"
}
trap stop_service EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

url=""
for _ in $(seq 100); do # up to 10 s
  url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$log" | head -n 1 || true)
  if [ -n "$url" ] || ! kill -0 "$service" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "The sample mark-list service did not start:" >&2
  cat "$log" >&2
  exit 1
fi

cat >&2 <<MESSAGE
No mark-list service address is set, so Tervane asks the bundled sample service at
$url for now. The marks it shows are made up: they are not survey data.
To use the real mark-list service, give its address (scheme://host[:port]) as
  TERVANE_SERVICE_URL=https://... bash scripts/run.sh
or once for good as BaseUrl=... in the [Service] section of ~/.config/Tervane/Tervane.conf.
MESSAGE

status=0
TERVANE_SERVICE_URL=$url "$@" || status=$?
exit "$status"
