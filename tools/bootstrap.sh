#!/usr/bin/env bash
# Installs what the build and the tests need, once, quietly. Safe to run again.
set -euo pipefail

PACKAGES=(cmake ninja-build mingw-w64 wine wine64 locales xvfb xauth imagemagick
          fonts-ipafont-gothic liblnk-utils lhasa p7zip-full jlha-utils clang
          libclang-rt-14-dev googletest python3 file g++-multilib)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "bootstrap: generating ja_JP.UTF-8" >&2
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
