#!/usr/bin/env bash
# Checks the Debian package as a user gets it: builds it
# (scripts/package-debian.sh), installs it with apt, validates the installed
# desktop entry and AppStream metadata, runs lintian (errors fail the check),
# runs the installed fendrik-cli scan over generated documents and starts the
# installed window program under a virtual X server with a fresh home. Then
# it purges the package: every file it installed, and every folder it made,
# must be gone.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/package-debian.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
deb=dist/fendrik_${version}_$(dpkg --print-architecture).deb
app_id=de.fendrik.Fendrik
fail() { echo "check-debian-package: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' fendrik 2>/dev/null | grep -q 'install ok installed'; }
purge() { DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq fendrik >/dev/null; }

source scripts/window-check-home.sh /usr/bin/fendrik
# Whatever fails below, the package does not stay installed.
trap 'rm -rf "$work"; if installed; then purge; fi' EXIT

echo "-- lintian"
status=0
lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian" || true
[ "$status" = 0 ] || fail "lintian reports errors"

echo "-- apt-get install ./$deb"
# An earlier installation of the same version would be kept instead.
if installed; then purge; fi
# The folders the package makes, to be gone again after the purge.
new_dirs=()
while read -r dir; do
  [ -e "$dir" ] || new_dirs+=("$dir")
done < <(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ { sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }')
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "./$deb" 2>&1 \
  | grep -vE '^N: Download is performed unsandboxed|^debconf: delaying|^\(Reading database' || true
installed || fail "the package did not install"
files=()
while read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then files+=("$path"); fi
done < <(dpkg -L fendrik)
echo "${#files[@]} files installed"

echo "-- desktop entry, AppStream metadata, icons, manual pages"
desktop-file-validate "/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
for icon in "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" "/usr/share/icons/hicolor/256x256/apps/$app_id.png"; do
  [ -f "$icon" ] || fail "$icon is missing"
done
[ "$(identify -format '%wx%h' "/usr/share/icons/hicolor/256x256/apps/$app_id.png")" = 256x256 ] \
  || fail "the PNG icon is not 256 x 256"
for page in fendrik fendrik-cli; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man $page does not find its page"
done

echo "-- /usr/bin/fendrik-cli scan"
python3 tools/gen/generate_samples.py --out "$work/cad" --documents 12 --nested --seed 4 --model-bytes 2048 >/dev/null
rm -f "$work/cad/manifest.json"
status=0
/usr/bin/fendrik-cli scan "$work/cad" >"$work/rows" 2>"$work/scan-errors" || status=$?
[ "$status" = 0 ] || { cat "$work/scan-errors" >&2; fail "fendrik-cli scan ended with exit status $status"; }
rows=$(grep -c $'\r$' "$work/rows" || true)
[ "$rows" = 12 ] || fail "fendrik-cli scan listed $rows rows, 12 expected"
echo "fendrik-cli scan listed $rows rows"

echo "-- /usr/bin/fendrik under a virtual X server"
# The desktop entry ties the window to itself through its X class.
wm_class=$(sed -n 's/^StartupWMClass=//p' "/usr/share/applications/$app_id.desktop")
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
  timeout 120 xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" bash -c '
    source scripts/window-drive.sh "$1" "$2"
    class=$(xprop -id "$wid" WM_CLASS)
    echo "window: $(xdotool getwindowname "$wid"); $class"
    case "$class" in
      *"\"$3\""*) ;;
      *) kill $pid; echo "the class of the window is not $3, the StartupWMClass of the desktop entry" >&2; exit 1 ;;
    esac
    sleep 2
    kill -0 $pid || { echo "the program ended by itself" >&2; exit 1; }
    end_program
  ' _ /usr/bin/fendrik "$work/window-log" "$wm_class" || { cat "$work/window-log" >&2; fail "the installed window program failed"; }

echo "-- apt-get remove --purge fendrik"
purge
! installed || fail "the package is still installed"
left=()
for path in "${files[@]}" "${new_dirs[@]}"; do
  if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
done
[ ${#left[@]} = 0 ] || fail "left behind after the purge: ${left[*]}"
echo "check-debian-package: installed and purged again, nothing left (files: ${#files[@]}, new folders: ${#new_dirs[@]})"
