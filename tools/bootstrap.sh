#!/usr/bin/env bash
# Installs what the build and the tests need, once, quietly. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

PACKAGES=(cmake ninja-build mingw-w64 wine wine64 locales xvfb xauth imagemagick
          fonts-ipafont-gothic liblnk-utils lhasa p7zip-full jlha-utils clang
          libclang-rt-14-dev googletest python3 file g++-multilib osslsigncode openssl)

missing=()
for p in "${PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
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

# The product is a 32-bit program: Wine runs it with wine32 from the i386 architecture,
# which only helps where the kernel runs 32-bit programs at all.
if "$here/runs-i386"; then
  if ! installed wine32:i386; then
    echo "bootstrap: installing wine32:i386" >&2
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  fi
else
  echo "bootstrap: this machine cannot run 32-bit programs; the Wine tests will run the 64-bit twin" >&2
fi
