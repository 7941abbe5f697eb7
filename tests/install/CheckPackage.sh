#!/usr/bin/env bash
# Packs the build tree as the Debian package (under /usr, as scripts/package.sh does) and
# checks it without installing it: its control fields (dependencies declared by
# dpkg-shlibdeps), every file it installs and nothing outside /usr, and, unpacked into a
# scratch folder, that the programs find their data in ../share/tervane: the window starts
# and paints, the tool checks a query against the catalogue and packs the icons into a KMZ.
#
#   CheckPackage.sh BUILD_DIR WORK_DIR          (exits 77, skipped, without dpkg-deb)
set -euo pipefail
build=$1 work=$2
for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" -D CPACK_PACKAGING_INSTALL_PREFIX=/usr \
  >"$work/cpack.log" 2>&1 || fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/tervane_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "not one package: ${debs[*]}"; fi
deb=${debs[0]}

info=$(dpkg-deb -f "$deb" Package Architecture Depends)
for field in "Package: tervane" "Architecture: $(dpkg --print-architecture)" "libc6" "libqt6core6" \
  "libqt6widgets6" "libqt6network6" "libzip4" "qt6-qpa-plugins"; do
  [[ $info == *"$field"* ]] || fail "the control fields lack '$field': $info"
done

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expected=(/usr/bin/tervane /usr/bin/tervane-cli /usr/share/tervane/Country.dat /usr/share/tervane/Tervane.html
  /usr/share/tervane/cmdGo.png /usr/share/applications/tervane.desktop)
for icon in shaded_dot star triangle square donut; do expected+=("/usr/share/tervane/icons/$icon.png"); done
for size in 16 32 48 64 128; do expected+=("/usr/share/icons/hicolor/${size}x$size/apps/tervane.png"); done
for file in "${expected[@]}"; do
  grep -qx -- "$file" "$work/files" || fail "not in the package: $file"
done
if grep -v -e '^/usr/' -e '^/$' "$work/files"; then fail "files outside /usr (above)"; fi
if grep -q '^/usr/bin/Country.dat$' "$work/files"; then
  fail "Country.dat lies beside the programs; the check would not test share/tervane"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
export XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$HOME"
out=$(QT_QPA_PLATFORM=offscreen timeout 120 "$root/usr/bin/tervane" --measure-startup 2>&1) ||
  fail "the packaged window did not start: $out"
[[ $out == *first-paint* ]] || fail "the packaged window printed no first paint: $out"
out=$(timeout 60 "$root/usr/bin/tervane-cli" --state VA --county Fairfax --type HORIZONTAL \
  --service http://marks.test --out-dir "$work" --dry-run 2>&1) || fail "the packaged tool's dry run failed: $out"
printf '   .  AB1234 2 1             N385323 W0770213      SMITH\n' >"$work/reply.txt"
out=$(timeout 60 "$root/usr/bin/tervane-cli" --state VA --county Fairfax --type GPS --service http://marks.test \
  --reply "$work/reply.txt" --format kmz --out-dir "$work" 2>&1) || fail "the packaged tool wrote no KMZ: $out"
python3 - "$work/VA_Fairfax_H-G.kmz" <<'PY' || fail "the KMZ package lacks its document or icons"
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
sys.exit(0 if names[0] == "doc.kml" and any(n.endswith(".png") for n in names) else 1)
PY
echo "package $(basename "$deb"): fields, files and programs as expected"
