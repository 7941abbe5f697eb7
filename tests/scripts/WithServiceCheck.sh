#!/usr/bin/env bash
# scripts/with-service.sh: with no service address set anywhere, the command runs against
# the sample service started for it; with an address set, usable or not, the command runs
# as it is, with nothing started or said. Whatever ends the script (the command ending, a
# SIGTERM that reaches the command, a SIGKILL) ends the sample service within 3 s.
#   WithServiceCheck.sh SOURCE_DIR BIN_DIR
set -euo pipefail
src=$1 bin=$2
work=$(mktemp -d)
started=()
cleanup() {
  for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
unset TERVANE_SERVICE_URL
failed=0 passed=0
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
# Waits up to $2 tenths of a second for the command $1 to succeed.
within() { for _ in $(seq "$2"); do if eval "$1"; then return 0; fi; sleep 0.1; done; eval "$1"; }
answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
alive() { kill -0 "$1" 2>/dev/null; }

# No address: the sample service answers, and is gone once the command ends.
# shellcheck disable=SC2016 # expanded by the inner shell
probe='echo "$TERVANE_SERVICE_URL" > "$0/url"; exec "$1/tervane-cli" --state VA --county Fairfax --project L27001 --out-dir "$0"'
if bash "$src/scripts/with-service.sh" "$bin" bash -c "$probe" "$work" "$bin" >/dev/null 2>"$work/err"; then
  url=$(cat "$work/url")
  if [[ $url =~ ^http://127\.0\.0\.1:([0-9]+)$ ]]; then
    port=${BASH_REMATCH[1]}
    grep -q "made up" "$work/err" || fail "the terminal was not told the marks are made up"
    grep -q "TERVANE_SERVICE_URL" "$work/err" || fail "the terminal was not told how to set the address"
    [ "$(grep -c '<Placemark>' "$work/L27001.kml")" -gt 0 ] || fail "no placemarks in the document"
    within "! answers $port" 30 || fail "the sample service still answers on port $port after the command"
    pass
  else
    fail "no sample service address: '$url'"
  fi
else
  fail "the command did not succeed: $(cat "$work/err")"
fi

# An address that is set reaches the command unchanged, usable or not; nothing is started.
# Rows: address in the environment | BaseUrl in the settings | folder of the programs.
mkdir -p "$work/bare-bin" # the programs without their catalogue
cp "$bin/tervane-cli" "$bin/tervane-sample-service" "$work/bare-bin/"
conf=$XDG_CONFIG_HOME/Tervane/Tervane.conf
while IFS='|' read -r env_url setting_url programs; do
  mkdir -p "$(dirname "$conf")"
  if [ -n "$setting_url" ]; then printf '[Service]\nBaseUrl=%s\n' "$setting_url" >"$conf"; else rm -f "$conf"; fi
  # shellcheck disable=SC2016
  out=$(TERVANE_SERVICE_URL=$env_url bash "$src/scripts/with-service.sh" "$programs" \
    bash -c 'echo "${TERVANE_SERVICE_URL-unset}"' 2>"$work/err2") || true
  if [ "$out" = "$env_url" ] && [ ! -s "$work/err2" ]; then
    pass
  else
    fail "env '$env_url', setting '$setting_url', $programs: the command saw '$out'; said: $(cat "$work/err2")"
  fi
done <<ROWS
http://mark-service.example||$bin
htp://mark-service.example||$bin
http://alice@mark-service.example||$bin
|htp://mark-service.example|$bin
|http://alice@mark-service.example|$bin
|http://mark-service.example|$work/bare-bin
ROWS
rm -f "$conf"

# Signals sent to the script. The command records a SIGTERM and the sample service's port.
# It waits in bash itself (read from a pipe nobody writes), leaving no child behind.
mkfifo "$work/never"
# shellcheck disable=SC2016 # expanded by the inner shell
waiter='trap "echo TERM > \"\$0/term\"; exit 0" TERM; echo "${TERVANE_SERVICE_URL##*:}" > "$0/port"; exec 3<>"$0/never"; read -r -t 30 -u 3'
for signal in TERM KILL; do
  rm -f "$work/port" "$work/term"
  bash "$src/scripts/with-service.sh" "$bin" bash -c "$waiter" "$work" 2>/dev/null &
  script=$!
  disown "$script" # no job report when it is killed
  started+=("$script")
  if ! within "[ -s '$work/port' ]" 100; then
    fail "SIG$signal: the command did not start"
    continue
  fi
  port=$(cat "$work/port")
  answers "$port" || fail "SIG$signal: the sample service does not answer on port $port"
  kill -"$signal" "$script"
  if [ "$signal" = TERM ]; then
    within "[ -s '$work/term' ]" 30 || fail "SIGTERM to the script did not reach the command"
  fi
  within "! alive $script" 30 || fail "SIG$signal: the command still runs"
  within "! answers $port" 30 || fail "SIG$signal: the sample service still answers after 3 s"
  pass
done

echo "with-service: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
