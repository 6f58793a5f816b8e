#!/bin/bash
# Takes the screenshots the software centres show (assets/screenshots) from
# the programs themselves, on a sample game, under Xvfb:
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/take_screenshots.sh build
# Needs xdotool and ImageMagick's import.
set -eu
build=$(realpath "${1:-build}")
out=$(realpath "$(dirname "$0")/../assets/screenshots")
# A folder of its own with a plain name: the pictures show its paths.
work=${TMPDIR:-/tmp}/player
[ ! -e "$work" ] || { echo "$work is there already: move it away first"; exit 1; }
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
"$build/tessvane-cli" demo "$work/demo" >/dev/null
# The cache folder as Tessvane stores it, so the troubleshooter shows it at once.
printf '\n[HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane]\n"CacheDir"="%s"\n' \
    "$work/demo/UT2003/Cache" >>"$work/demo/registry.reg"
export TESSVANE_HOME=$work/demo/program TESSVANE_REGISTRY=$work/demo/registry.reg
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run TESSVANE_PROC_ROOT=$work/proc
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$TESSVANE_PROC_ROOT"
chmod 700 "$XDG_RUNTIME_DIR"

# shot PNG WIDTH HEIGHT NAME CLICK PROGRAM: the program's window at that size
# (0 0: the size it opens at), after a click at CLICK ("X,Y" in the window;
# "-" for none).
shot() {
    local png=$1 width=$2 height=$3 name=$4 click=$5 window=""
    shift 5
    "$@" &
    local pid=$!
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -1) && [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || { echo "no window named $name"; kill "$pid"; return 1; }
    [ "$width" = 0 ] || xdotool windowsize "$window" "$width" "$height"
    xdotool windowmove "$window" 0 0
    sleep 1
    [ "$click" = - ] || xdotool mousemove --window "$window" "${click%,*}" "${click#*,}" click 1
    sleep 2 # the list fills in off the window's thread
    import -window "$window" "$out/$png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
# The File List with the second map chosen, its picture below the list.
shot file-list.png 1024 640 "^Tessvane" 100,131 "$build/tessvane"
shot troubleshooter.png 0 0 "Troubleshooter" - "$build/tessvane-troubleshooter"
echo "written: $out/file-list.png $out/troubleshooter.png"
