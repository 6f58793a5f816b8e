#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and uses it as a user would:
# the installed tessvane-cli with a fresh HOME and no TESSVANE_HOME scans,
# runs and undoes on a made game folder, its files land in XDG_DATA_HOME and
# nothing is written under the prefix; the menu and autostart entries validate,
# the watch's user unit starts the installed tessvane-cli; and a
# client program built against the installed headers and CMake package (and
# checked through pkg-config) loads a local page through libquillet.so.
# Usage: install_test.sh BUILD-DIR VERSION
set -euo pipefail
build=$1
expected_version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
prefix="$work/root/usr"
for f in bin/tessvane bin/tessvane-cli bin/tessvane-troubleshooter bin/quillet \
         share/tessvane/Tessvane.ini share/tessvane/TessvaneDontMove.ini \
         share/tessvane/tessvane.mdb share/tessvane/search.gif "share/tessvane/Tessvane Help.html" \
         share/tessvane/e.wav share/applications/org.example.tessvane.desktop \
         share/applications/org.example.tessvane.troubleshooter.desktop \
         share/metainfo/org.example.tessvane.metainfo.xml \
         share/metainfo/org.example.tessvane.troubleshooter.metainfo.xml \
         share/man/man1/tessvane.1 share/man/man1/tessvane-troubleshooter.1 \
         share/bash-completion/completions/tessvane-cli share/zsh/vendor-completions/_tessvane-cli \
         share/fish/vendor_completions.d/tessvane-cli.fish \
         share/icons/hicolor/scalable/apps/tessvane.svg share/icons/hicolor/48x48/apps/tessvane.png \
         share/man/man1/tessvane-cli.1 share/man/man1/quillet.1 include/quillet/web_parser.h \
         include/quillet/quick_ftp.h include/quillet/page_manager.h; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
ls "$prefix"/lib*/libquillet.so.1 >/dev/null 2>&1 || ls "$prefix"/lib/*/libquillet.so.1 >/dev/null ||
  fail "libquillet.so.1 was not installed"
desktop-file-validate "$prefix/share/applications/org.example.tessvane.desktop" \
  "$prefix/share/applications/org.example.tessvane.troubleshooter.desktop" \
  "$prefix/share/tessvane/tessvane-watch.desktop" || fail "desktop entries"
# The watch after each game: its user unit starts the installed tessvane-cli.
unit="$work/root/usr/lib/systemd/user/tessvane-watch.service"
[ -f "$unit" ] || fail "tessvane-watch.service was not installed"
grep -qx "ExecStart=/usr/bin/tessvane-cli watch" "$unit" || fail "the unit starts: $(grep ExecStart "$unit")"
grep -qx "WantedBy=default.target" "$unit" || fail "the unit cannot be enabled"

# A user of the installed programs.
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
unset TESSVANE_HOME TESSVANE_REGISTRY
mkdir -p "$HOME"
touch "$work/before"
sleep 1
cli="$prefix/bin/tessvane-cli"
"$cli" demo "$work/demo" >/dev/null
game="$work/demo/UT2003"
"$cli" --game "$game" scan --select all >"$work/scan.txt" || fail "scan"
grep -q "Found 12 files to process" "$work/scan.txt" || fail "scan output: $(cat "$work/scan.txt")"
"$cli" --game "$game" run --select all --no-backup >/dev/null || fail "run"
[ -f "$game/Maps/ONS-Torlan.ut2" ] || fail "the run moved nothing"
"$cli" --game "$game" undo --yes --all >/dev/null 2>&1 || fail "undo"
[ ! -e "$game/Maps/ONS-Torlan.ut2" ] || fail "the undo moved nothing back"
# Only check-update loads the browser engine: the installed module is found.
# grep reads all of ldd's output (-q would close the pipe early, and
# pipefail would then count ldd's broken pipe as a failure).
ldd "$cli" | grep -i webengine >/dev/null && fail "tessvane-cli links the browser engine"
[ -f "$prefix/lib/tessvane/tessvane-update.so" ] || [ -n "$(find "$prefix" -name tessvane-update.so)" ] ||
  fail "the update module was not installed"
out=$(QUILLET_CONNECTION_STATE=offline TESSVANE_UPDATE_URL=http://127.0.0.1:1 "$cli" check-update 2>&1) || true
[ "$out" = "Tessvane: Connect to the internet before checking for updates." ] ||
  fail "check-update did not load its module: $out"
for f in Tessvane.log tessvane.mdb TessvaneDontMove.ini; do
  [ -f "$XDG_DATA_HOME/tessvane/$f" ] || fail "$f is not in XDG_DATA_HOME"
done
# The window, started as the menu starts it, runs until it is stopped and
# records the data folder as InstallPath (the troubleshooter finds the log there).
mkdir -p "$XDG_CONFIG_HOME/tessvane"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003]\r\n"Folder"="%s"\r\n\r\n' \
  "$game" >"$XDG_CONFIG_HOME/tessvane/registry.reg"
status=0
QT_QPA_PLATFORM=offscreen timeout 15 "$prefix/bin/tessvane" >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "the window ended by itself with status $status"
grep -qa "\"InstallPath\"=\"$XDG_DATA_HOME/tessvane\"" "$XDG_CONFIG_HOME/tessvane/registry.reg" ||
  fail "InstallPath is not the data folder: $(grep -ai installpath "$XDG_CONFIG_HOME/tessvane/registry.reg")"
written=$(find "$work/root" -newer "$work/before" -print)
[ -z "$written" ] || fail "written under the prefix: $written"

# A client program of the installed library.
mkdir -p "$work/client"
cat >"$work/client/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.22)
project(client CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Quillet 1 REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(client main.cpp)
target_link_libraries(client PRIVATE Quillet::quillet Qt6::Widgets)
CMAKE
cat >"$work/client/main.cpp" <<'CPP'
#include <quillet/web_parser.h>
#include <QApplication>
#include <iostream>
int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quillet::WebParser page;
    if (!page.OpenSite(argv[1], 30)) return 1;
    std::cout << page.PageTitle() << '\n';
    return 0;
}
CPP
echo '<html><head><title>Installed Quillet</title></head><body>x</body></html>' >"$work/page.html"
cmake -S "$work/client" -B "$work/client/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/client.log" 2>&1 || fail "client configure: $(cat "$work/client.log")"
cmake --build "$work/client/build" >>"$work/client.log" 2>&1 || fail "client build: $(cat "$work/client.log")"
ldd "$work/client/build/client" | grep "$prefix" >/dev/null || fail "the client does not use the installed libquillet.so"
title=$(QT_QPA_PLATFORM=offscreen "$work/client/build/client" "$work/page.html" 2>/dev/null) ||
  fail "the client could not load the page"
[ "$title" = "Installed Quillet" ] || fail "the client read '$title'"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quillet.pc)") pkg-config --exists quillet ||
  fail "pkg-config does not know quillet"
# The version the project declares, not the one the file claims of itself.
[ "$(PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quillet.pc)") pkg-config --modversion quillet)" \
  = "$expected_version" ] || fail "pkg-config version is not $expected_version"
echo "installed and used: OK"
