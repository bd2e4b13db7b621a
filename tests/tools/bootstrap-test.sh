#!/usr/bin/env bash
# The bootstrap's decisions on a mirror it cannot fully read, with stand-ins for apt and
# dpkg: the i386 index fails, then wine32:i386 cannot be installed, also not from the
# release: the run goes on with the 64-bit twin and says so in one line. A package the
# build cannot do without that cannot be installed stops it with one line.
set -uo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/tools" "$work/bin"
cp "$source_root/tools/bootstrap.sh" "$source_root/tools/wine-runs-i386" "$work/tools/"
printf "#!/bin/sh\nexit 0\n" >"$work/tools/runs-i386" && chmod +x "$work/tools/runs-i386" # runs 32-bit programs
stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
# Everything is installed but wine32:i386 and what MISSING names; libstub's amd64 build
# came from the security index, whose i386 half could not be read.
stub dpkg-query 'case "$*" in
  *Multi-Arch*) echo "libstub amd64 same 1.0+sec" ;;
  *wine32:i386*|*" $MISSING") exit 1 ;;
  *"{Version}"*) echo "1.0+sec" ;;
  *) echo "install ok installed" ;;
esac'
stub dpkg 'exit 0'
stub locale 'echo ja_JP.utf8'
stub apt-cache 'case "$1" in
  depends) printf "wine32:i386\n  Depends: libstub:i386\nlibstub:i386\n" ;;
  madison) echo "libstub:i386 | 1.0 | http://mirror stable/main i386 Packages"
           echo "libstub | 1.0+sec | http://mirror stable-security/main amd64 Packages"
           echo "libstub | 1.0 | http://mirror stable/main amd64 Packages" ;;
esac'
stub apt-get 'echo "$*" >>"$APT_LOG"
case "$*" in
  update*) echo "E: Failed to fetch http://mirror/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100 ;;
  *wine32*|*"$MISSING"*) echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2; exit 100 ;;
esac'

run_bootstrap() { # MISSING
  : >"$work/apt.log"
  PATH="$work/bin:$PATH" APT_LOG="$work/apt.log" MISSING="$1" BOOTSTRAP_RETRY_PAUSE=0 \
    bash "$work/tools/bootstrap.sh" >"$work/out" 2>"$work/err"
}

# ---- wine32 cannot be had: the run goes on.
run_bootstrap "" || fail "the bootstrap stopped: $(cat "$work/err")"
[ "$(grep -c '^update' "$work/apt.log")" -eq 3 ] || fail "the failed index was not tried three times: $(cat "$work/apt.log")"
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
grep -qx -- "install -y -qq --no-install-recommends -t $release --allow-downgrades wine32:i386 wine wine64 libstub:amd64=1.0" "$work/apt.log" ||
  fail "no install from the release with libstub at the version both architectures have: $(cat "$work/apt.log")"
grep -q "^bootstrap: wine32:i386 cannot be installed (E: Error, pkgProblemResolver::Resolve generated breaks.*); the Wine tests will run the 64-bit twin$" "$work/err" ||
  fail "no line saying why and that the twin runs: $(cat "$work/err")"
PATH="$work/bin:$PATH" MISSING="" "$work/tools/wine-runs-i386" && fail "the Wine tests would take the 32-bit product"

# ---- A package the build cannot do without stops it, with one line.
if run_bootstrap mingw-w64; then fail "the bootstrap went on without mingw-w64"; fi
[ "$(grep -c '^bootstrap: cannot install' "$work/err")" -eq 1 ] &&
  grep -q "^bootstrap: cannot install mingw-w64: E: Error, pkgProblemResolver" "$work/err" ||
  fail "no one-line reason: $(cat "$work/err")"

[ "$failures" -eq 0 ] && echo "bootstrap decisions: all passed"
exit "$failures"
