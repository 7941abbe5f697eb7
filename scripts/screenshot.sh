#!/usr/bin/env bash
# Takes docs/main-window.png: the window in the state-and-county query, under a private
# X server (Xvfb) so that nothing on your own desktop is touched. Needs a build (build/bin)
# and the packages xvfb, xdotool and imagemagick (scripts/setup.sh installs them).
#   bash scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}
mkdir -p "$(dirname "$out")"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
config=$(mktemp -d)
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$config"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The remembered state and county, as after an earlier query.
mkdir -p "$config/Tervane"
printf '[Settings]\nState=VA\nCounty=Fairfax\n' > "$config/Tervane/Tervane.conf"
XDG_CONFIG_HOME=$config build/bin/tervane 2>/dev/null &
app_pid=$!

window=
for _ in $(seq 50); do
  window=$(xdotool search --onlyvisible --name '^TERVANE$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 0.5
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.4; }
click 40 11     # Stations
click 80 40     # By State and County
click 300 45    # the state box: the county row appears
click 300 78    # the county box: the type row appears
click 300 246    # the type box
xdotool type --delay 40 horizontal; sleep 0.3
click 500 300   # away from the fields, so no text is selected
import -window "$window" "$out"
echo "wrote $out"
