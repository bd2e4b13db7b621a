#!/usr/bin/env bash
# Runs SETUP.EXE on a virtual display in a fresh prefix (a 64-bit Windows, as most
# users have today): installs as a user would, prints what the installation wrote,
# uninstalls through the uninstall entry's command, and saves a screenshot of
# every step to build/demo/. It runs the 32-bit product, build/win32/SETUP.EXE; a
# machine that cannot run 32-bit programs shows the 64-bit twin instead.
#
#   tools/demo.sh [--display :N]
#
# The programs run in a Wine virtual desktop, which draws their frames and title bars;
# each picture is cut to the windows of the step (a message box with its dialog).
# Without --display, Xvfb takes the first free display itself.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
out=$root/build/demo
display=
while [ $# -gt 0 ]; do
  case "$1" in
    --display) display=${2:?--display needs a display such as :77}; shift 2 ;;
    *) echo "usage: tools/demo.sh [--display :N]" >&2; exit 2 ;;
  esac
done
screen=1024x768
rm -rf "$out"
mkdir -p "$out"
if tools/wine-runs-i386; then
  # A 32-bit program on 64-bit Windows writes HKEY_LOCAL_MACHINE\SOFTWARE in the 32-bit view.
  setup=$root/build/win32/SETUP.EXE drivers=build/win32-tests/tools/demo view=/reg:32
  echo "demo: the 32-bit product, build/win32/SETUP.EXE"
else
  setup=$root/build/win64/SETUP.EXE drivers=build/win64/tools/demo view=/reg:64
  echo "demo: the 64-bit twin, build/win64/SETUP.EXE (Wine here cannot run 32-bit programs)"
fi

# Xvfb writes the number of its display to the pipe once it accepts clients (-displayfd),
# or ends with its reason in xvfb.log (the display given is in use, for example).
exec 8< <(exec Xvfb ${display:+"$display"} -displayfd 1 -screen 0 "${screen}x24" -nolisten tcp 2>"$out/xvfb.log")
xvfb=$!
number=
read -r -t 20 -u 8 number || true
if [ -z "$number" ]; then
  echo "demo: Xvfb did not start${display:+ on $display}:" \
       "$(sed 's/(EE) *//g; /^ *$/d' "$out/xvfb.log" | tail -n 2 | tr '\n' ' ')" >&2
  kill "$xvfb" 2>/dev/null || true
  exit 1
fi
display=:$number
echo "demo: Xvfb on display $display"
export DISPLAY=$display WINE_DISPLAY=x11 WINEPREFIX=$out/wineprefix
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
tools/wine-prefix >/dev/null
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
# Wine draws the buttons of a title bar with its Marlett font. Only that font is taken
# from Wine's font package: its other fonts would replace the Japanese system font the
# tests measure with.
fonts=$root/build/demo-fonts
if [ ! -f "$fonts/marlett.ttf" ]; then
  rm -rf "$fonts.tmp" && mkdir -p "$fonts.tmp"
  if (cd "$fonts.tmp" && apt-get download fonts-wine >/dev/null 2>&1) &&
     dpkg-deb -x "$fonts.tmp"/fonts-wine_*.deb "$fonts.tmp/x"; then
    mkdir -p "$fonts" && cp "$fonts.tmp"/x/usr/share/wine/fonts/marlett.ttf "$fonts/"
  else
    echo "demo: Wine's Marlett font could not be fetched; title bar buttons show letters" >&2
  fi
  rm -rf "$fonts.tmp"
fi
[ -f "$fonts/marlett.ttf" ] && cp "$fonts/marlett.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
# A virtual desktop as large as the screen: Wine draws the frames and title bars itself.
# Its desktop process reads this when it starts, so Wine starts again after it.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$screen" /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w
tools/wine-prefix >/dev/null

win() { # a Linux path as Wine sees it
  local p=${1//\//\\}
  echo "Z:$p"
}

shot() { # name x y width height — the windows of the step, cut from the screen
  import -display "$display" -window root -crop "$4x$5+$2+$3" +repage "$out/$1.png"
  echo "demo: saved build/demo/$1.png"
}

# A driver prints "SHOT name x y width height" when a step is on screen and waits for
# our acknowledgement.
drive() { # driver.exe args...
  tools/wine-run "$@" --ack-dir "$(win "$out")" 2>/dev/null |
  while IFS= read -r line; do
    read -r word name rest <<<"${line%$'\r'}"
    case "$word" in
      SHOT) sleep 1; shot "$name" $rest; touch "$out/.shot-$name" ;;
      DONE) echo "demo: done" ;;
      FAIL | INFO) echo "demo: $word $name $rest" ;;
      *) ;; # the hidden clean-up batch echoes its lines into the same stream
    esac
  done
}

reg_query() { # key — what the registry holds, in UTF-8
  # A key the installation did not write (the other root's entry) prints nothing.
  { wine reg query "$1" /s "$view" 2>/dev/null || true; } | iconv -f CP932 -t UTF-8 | tr -d '\r' |
    sed '/^$/d; /^reg:/d; s/^/    /'
}

echo "demo: installing"
drive "$drivers/demo-driver.exe" "$(win "$setup")"

echo
echo "== What the installation wrote"
drive_c=$WINEPREFIX/drive_c
echo "-- files in C:\\Program Files\\Quorin32"
ls -l --time-style=+%Y-%m-%d\ %H:%M "$drive_c/Program Files/Quorin32" | tail -n +2 | sed 's/^/    /'
echo "-- registry"
for key in 'HKCU\SOFTWARE\Brastelo\くおりん' \
           'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\くおりん' \
           'HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\くおりん' \
           'HKCR\.QRB' 'HKCR\QuorinPG.Document'; do
  reg_query "$key"
done
echo "-- shortcuts"
find "$drive_c" -name '*.lnk' -newer "$out/1-folder-page.png" 2>/dev/null | while read -r link; do
  echo "    ${link#"$drive_c"/}"
  lnkinfo "$link" 2>/dev/null | grep -E 'Description|Working directory|Local path|Icon location' | sed 's/^\s*/      /'
done

echo
command=$(wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\くおりん' /v UninstallString "$view" 2>/dev/null |
          iconv -f CP932 -t UTF-8 | tr -d "\r" | sed -n "s/.*REG_SZ *//p" || true)
echo "demo: uninstalling with: $command"
drive "$drivers/demo-uninstall.exe" "$command"
sleep 3
echo "-- left in C:\\Program Files\\Quorin32 after the batch: $(ls "$drive_c/Program Files/Quorin32" 2>/dev/null | wc -l) files"
