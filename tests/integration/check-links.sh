#!/usr/bin/env bash
# Reads the shell links that our CreateProgramGroup writes with lnkinfo (libyal's
# parser of the link format, outside Wine) and compares target, description,
# working folder and icon location with what the writer says they must be.
# Usage: check-links.sh WINE-RUN LINK-WRITER.EXE WINEPREFIX
set -euo pipefail
if ! command -v lnkinfo >/dev/null; then
  echo "FAIL lnkinfo is not installed (package liblnk-utils; tools/bootstrap.sh installs it)"
  exit 1
fi
wine_run=$1 writer=$2
export WINEPREFIX=$3
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
# No copies of the links in the Linux desktop's menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
listing=$("$wine_run" "$writer" | iconv -f CP932 -t UTF-8 | tr -d '\r')
failures=0 checked=0
written=()
field() { # lnkinfo output, field name
  sed -n "s/^\t$2[[:space:]]*: //p" <<<"$1" | head -n1
}
expect() { # what, got, wanted
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: got '$2', want '$3'"
    failures=$((failures + 1))
  fi
}
while IFS='|' read -r link target workdir icon; do
  link=${link#LINK }
  unix=$(winepath -u "$link" 2>/dev/null)
  written+=("$unix")
  if [ ! -f "$unix" ]; then
    echo "FAIL missing link $link"
    failures=$((failures + 1))
    continue
  fi
  info=$(lnkinfo -c windows-932 "$unix")
  expect "$link local path" "$(field "$info" 'Local path')" "$target"
  expect "$link description" "$(field "$info" 'Description')" "$target"
  expect "$link working directory" "$(field "$info" 'Working directory')" "$workdir"
  if [ "$icon" = 1 ]; then
    expect "$link icon location" "$(field "$info" 'Icon location')" "$target"
    expect "$link icon index" "$(field "$info" 'Icon index')" "0"
  else
    expect "$link icon location" "$(field "$info" 'Icon location')" ""
  fi
  expect "$link arguments" "$(field "$info" 'Command line arguments')" ""
  checked=$((checked + 1))
done < <(grep '^LINK ' <<<"$listing")
group=$(sed -n 's/^GROUP //p' <<<"$listing")
rm -f "${written[@]}"
rmdir "$(winepath -u "$group" 2>/dev/null)" 2>/dev/null || true
rm -rf "$WINEPREFIX/drive_c/bench/lnkinfo"
expect "links checked" "$checked" "5"
[ "$failures" -eq 0 ] && echo "all $checked links match" || exit 1
