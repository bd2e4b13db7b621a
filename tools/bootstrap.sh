#!/usr/bin/env bash
# Installs what the build and the tests need, once, quietly. Safe to run again.
# A package mirror that cannot be read whole does not stop it: only the packages the build
# cannot do without do, with a one-line reason; the 32-bit Wine is given up with one line
# saying so, and the Wine tests then run the 64-bit twin.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
apt_log=$(mktemp "${TMPDIR:-/tmp}/bootstrap-apt.XXXXXX")
trap 'rm -f "$apt_log"' EXIT
export DEBIAN_FRONTEND=noninteractive

# apt's first error line, for a one-line reason.
apt_reason() { grep -m1 '^E:' "$apt_log" | cut -c1-200 || true; }

# An index that fails to download (a mirror in the middle of a sync) is tried again; apt
# goes on with the indexes it has, so a failure here stops nothing by itself.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq >/dev/null 2>"$apt_log" && return 0
    [ "$try" -lt 3 ] && sleep "${BOOTSTRAP_RETRY_PAUSE:-10}"
  done
  echo "bootstrap: apt-get update failed 3 times ($(apt_reason)); going on with the indexes that were read" >&2
  return 1
}

apt_install() { apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>"$apt_log"; }

PACKAGES=(cmake ninja-build mingw-w64 wine wine64 locales xvfb xauth imagemagick
          fonts-ipafont-gothic liblnk-utils lhasa p7zip-full jlha-utils clang
          libclang-rt-14-dev googletest python3 file g++-multilib osslsigncode openssl)

missing=()
for p in "${PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}" >&2
  apt_update || true
  if ! apt_install "${missing[@]}"; then
    echo "bootstrap: cannot install ${missing[*]}: $(apt_reason)" >&2
    exit 1
  fi
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "bootstrap: generating ja_JP.UTF-8" >&2
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# The amd64 libraries in wine32's dependencies whose installed version has no i386 twin
# (they came from an index whose i386 half could not be read), each as pkg:amd64=VERSION
# at the highest version both architectures have. Only "Multi-Arch: same" packages must
# be at one version on both.
twinless_libraries() {
  local closure same
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances wine32:i386 2>/dev/null | grep -v '^ ' | sed 's/:i386$//' | sort -u)
  same=$(dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch} ${Version}\n' 2>/dev/null |
         awk '$2 == "amd64" && $3 == "same" {print $1, $4}' | sort)
  same=$(join <(printf '%s\n' "$closure") <(printf '%s\n' "$same")) || true
  [ -n "$same" ] || return 0
  local names
  names=$(awk '{print $1 ":i386"; print $1 ":amd64"}' <<<"$same")
  # madison: "name | version | source"; the i386 rows name their architecture in the
  # name or the source. Versions come highest first within each package and architecture.
  apt-cache madison $names 2>/dev/null | awk -F'|' -v list="$same" '
    BEGIN { n = split(list, rows, "\n"); for (i = 1; i <= n; i++) { split(rows[i], f, " "); installed[f[1]] = f[2] } }
    { gsub(/ /, ""); name = $1; sub(/:(i386|amd64)$/, "", name)
      arch = ($1 ~ /:i386$/ || $3 ~ /i386/) ? "i386" : "amd64"
      if (arch == "i386" && $2 == installed[name]) ok[name] = 1
      if (!(name in common) && seen[name, $2] != "" && seen[name, $2] != arch) common[name] = $2
      seen[name, $2] = arch }
    END { for (name in installed) if (!(name in ok) && (name in common)) print name ":amd64=" common[name] }'
}

# wine32 from the distribution's own release for both architectures: what the mirror's
# security index could not give at one version.
install_wine32_from_release() {
  local release
  release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || return 1
  local pins
  mapfile -t pins < <(twinless_libraries)
  echo "bootstrap: installing wine32:i386 from $release${pins[*]:+ with ${pins[*]}}" >&2
  apt_install -t "$release" --allow-downgrades wine32:i386 wine wine64 "${pins[@]}"
}

# The product is a 32-bit program: Wine runs it with wine32 from the i386 architecture,
# which only helps where the kernel runs 32-bit programs at all. The tests do not need
# it: without it they run the 64-bit twin.
if "$here/runs-i386"; then
  if ! installed wine32:i386; then
    echo "bootstrap: installing wine32:i386" >&2
    dpkg --add-architecture i386
    apt_update || true
    apt_install wine32:i386 || install_wine32_from_release || true
    if ! installed wine32:i386; then
      echo "bootstrap: wine32:i386 cannot be installed ($(apt_reason)); the Wine tests will run the 64-bit twin" >&2
    fi
    # A failed attempt must not have taken the 64-bit Wine with it.
    if ! installed wine || ! installed wine64; then
      if ! apt_install wine wine64; then
        echo "bootstrap: cannot install wine wine64: $(apt_reason)" >&2
        exit 1
      fi
    fi
  fi
else
  echo "bootstrap: this machine cannot run 32-bit programs; the Wine tests will run the 64-bit twin" >&2
fi
