#!/usr/bin/env bash
# Runs a command against the mark-list service the user has set up. With no service
# address set anywhere (TERVANE_SERVICE_URL, BaseUrl in the [Service] section of
# ~/.config/Tervane/Tervane.conf, or one built in), it starts the bundled sample service
# on a free port of 127.0.0.1 first and points the command at it. An address that is set
# reaches the command as it is, even when it cannot be used: the program says why.
#
# The script becomes the command (exec), so a signal sent to it reaches the command, and
# the sample service, started with --parent-pid, ends with it whatever ends it (on Linux
# the kernel kills the service when its parent dies, SIGKILL included).
#
#   bash scripts/with-service.sh BIN_DIR COMMAND [ARGUMENTS...]
set -euo pipefail
bin=$1; shift

# The text the programs show when no address is set at all (kMsgNoServiceAddress).
no_address="No mark-list service address is configured"

# An address in the environment is the program's to check.
env_url=${TERVANE_SERVICE_URL:-}
if [ -n "${env_url//[[:space:]]/}" ]; then
  exec "$@"
fi
# The setting and the built-in address: the command-line tool resolves the address as the
# window does. Only its word that there is none starts the sample service; any other
# failure (an address it refuses, a missing catalogue) is left for the program to report.
probe_dir=$(mktemp -d)
said=$("$bin/tervane-cli" --state VA --county Fairfax --type HORIZONTAL --out-dir "$probe_dir" \
  --dry-run 2>&1 >/dev/null) || true
rmdir "$probe_dir"
if [[ $said != *"$no_address"* ]]; then
  exec "$@"
fi

log=$(mktemp)
"$bin/tervane-sample-service" --port 0 --parent-pid $$ >"$log" 2>&1 &
service=$!
# Until the command takes over this process, an interruption stops the service too.
trap 'kill "$service" 2>/dev/null || true; rm -f "$log"' EXIT
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
rm -f "$log" # the service keeps writing to it, unseen, until it ends

cat >&2 <<MESSAGE
No mark-list service address is set, so Tervane asks the bundled sample service at
$url for now. The marks it shows are made up: they are not survey data.
To use the real mark-list service, give its address (scheme://host[:port]) as
  TERVANE_SERVICE_URL=https://... bash scripts/run.sh
or once for good as BaseUrl=... in the [Service] section of ~/.config/Tervane/Tervane.conf.
MESSAGE

trap - EXIT INT TERM HUP
export TERVANE_SERVICE_URL=$url
exec "$@"
