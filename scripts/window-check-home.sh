# Sourced by the checks that drive the window under a virtual X server: the
# program to start (first argument, or the release build) and a fresh home
# with settings, runtime and documents folders, removed again on exit.
# The program must open a real window on the virtual X server, whatever
# platform the calling test command chose for the widget tests.
unset QT_QPA_PLATFORM
program=$(realpath "${1:-build/release/src/app/fendrik}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
mkdir -p "$home/config/Fendriken" "$home/runtime" "$home/Documents"
chmod 700 "$home/runtime"
