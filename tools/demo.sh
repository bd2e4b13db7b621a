#!/usr/bin/env bash
# Runs SETUP.EXE (the 64-bit twin, which Wine can run here) on a virtual display
# in a fresh prefix, goes through it as a user would and saves screenshots to build/demo/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
out=$root/build/demo
display=:77
rm -rf "$out"
mkdir -p "$out"

Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display WINE_DISPLAY=x11 WINEPREFIX=$out/wineprefix
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
tools/wine-prefix >/dev/null

shot() { # name
  import -display "$display" -window root "$out/$1.png"
  echo "demo: saved build/demo/$1.png"
}

driver=$root/build/win64/tools/demo/demo-driver.exe
if [ -x "$driver" ] || [ -f "$driver" ]; then
  # The driver starts SETUP.EXE, waits for each page and asks us for a screenshot
  # by printing "SHOT name"; it answers the dialogs as a user would.
  tools/wine-run "$driver" "Z:${root//\//\\}\\build\\win64\\SETUP.EXE" --ack-dir "Z:${out//\//\\}" 2>/dev/null |
  while read -r word name rest; do
    name=${name%$'\r'}
    case "$word" in
      SHOT) sleep 1; shot "$name"; touch "$out/.shot-$name" ;;
      *) echo "demo: $word $name $rest" ;;
    esac
  done
else
  tools/wine-run "$root/build/win64/SETUP.EXE" &
  sleep 8
  shot 1-folder-page
fi
