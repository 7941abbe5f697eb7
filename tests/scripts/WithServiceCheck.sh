#!/usr/bin/env bash
# scripts/with-service.sh: with no service address set, the command runs against the
# sample service started for it, which is gone once the command ends; with an address
# set, the command runs as it is, with nothing started.
#   WithServiceCheck.sh SOURCE_DIR BIN_DIR
set -euo pipefail
src=$1 bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
unset TERVANE_SERVICE_URL
fail() { echo "FAIL: $*" >&2; exit 1; }

# shellcheck disable=SC2016 # expanded by the inner shell
probe='echo "$TERVANE_SERVICE_URL" > "$0/url"; exec "$1/tervane-cli" --state VA --county Fairfax --project L27001 --out-dir "$0"'
bash "$src/scripts/with-service.sh" "$bin" bash -c "$probe" "$work" "$bin" 2>"$work/err" \
  || fail "the command did not succeed: $(cat "$work/err")"
url=$(cat "$work/url")
[[ $url =~ ^http://127\.0\.0\.1:([0-9]+)$ ]] || fail "no sample service address: '$url'"
port=${BASH_REMATCH[1]}
grep -q "made up" "$work/err" || fail "the terminal was not told the marks are made up"
grep -q "TERVANE_SERVICE_URL" "$work/err" || fail "the terminal was not told how to set the address"
[ "$(grep -c '<Placemark>' "$work/L27001.kml")" -gt 0 ] || fail "no placemarks in the document"
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  fail "the sample service still answers on port $port"
fi

out=$(TERVANE_SERVICE_URL=http://mark-service.example \
  bash "$src/scripts/with-service.sh" "$bin" bash -c 'echo "$TERVANE_SERVICE_URL"' 2>"$work/err2")
[ "$out" = "http://mark-service.example" ] || fail "the set address was replaced: '$out'"
[ ! -s "$work/err2" ] || fail "something was started or said: $(cat "$work/err2")"
echo "with-service: 2 passed, 0 failed"
