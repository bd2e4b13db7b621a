#!/usr/bin/env bash
# Release builds of the whole product into temporary folders.
#
# usage: release-build-test.sh twice SOURCE_DIR
#          the 32-bit product built twice, in two folders at two times, with no variable
#          set: the same bytes, at the commit's time, with the carried program's version
#        release-build-test.sh version SOURCE_DIR
#          a malformed -DSETUP_VERSION stops the configure and is named
#        release-build-test.sh refused SOURCE_DIR
#          a vendor build with a ready archive the install would refuse fails and names why
#        release-build-test.sh signed SOURCE_DIR TOOLCHAIN APP_DIR LIFECYCLE_TEST DESKTOP_HOLDER
#          a signed vendor build (APP_DIR: the application's eight files) with a throwaway
#          authority: both signatures verify, a changed byte does not, removing the
#          signatures gives back the unsigned build's bytes, the password is nowhere, every
#          failure leaves no program, and the signed program lives a whole life cycle under Wine
set -euo pipefail
mode=$1
source_dir=$(cd "$2" && pwd)
peinfo="python3 $source_dir/tools/peinfo.py"
work=$(mktemp -d "${TMPDIR:-/tmp}/release-build-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }

configure() { # BUILD_DIR TOOLCHAIN OPTION...
  local dir=$1 toolchain=$2
  shift 2
  cmake -S "$source_dir" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DSETUP_BUILD_TESTS=OFF "$@"
}
# same_unsigned BARE UNSIGNED: a program whose signature was removed is the unsigned one;
# where the unsigned file's size is no multiple of 8 (the twin keeps its symbols), the
# signing padded it with zeros, which stay, and the PE checksum counts them.
same_unsigned() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
bare, unsigned = (open(path, 'rb').read() for path in sys.argv[1:3])
def without_checksum(data):
    at = struct.unpack_from('<I', data, 0x3C)[0] + 24 + 64
    return data[:at] + data[at + 4:]
padding = bare[len(unsigned):]
same = bare == unsigned if not padding else (
    len(padding) < 8 and padding == bytes(len(padding)) and
    without_checksum(bare[:len(unsigned)]) == without_checksum(unsigned))
sys.exit(0 if same else 1)
PY
}
# The version record as peinfo.py reads it: numbers and the two version strings.
record() { $peinfo record "$1" | grep -E '^(FILEVERSION|PRODUCTVERSION|FileVersion=|ProductVersion=)' | tr '\n' ' '; }
record_of() { echo "FILEVERSION $1 PRODUCTVERSION $1 FileVersion=$1 ProductVersion=$1 "; }

case "$mode" in
twice)
  toolchain=$source_dir/cmake/mingw-i686.cmake
  for build in a b; do
    configure "$work/$build" "$toolchain" >/dev/null
    env -u SOURCE_DATE_EPOCH cmake --build "$work/$build" -j2 >"$work/$build.log" 2>&1 ||
      { cat "$work/$build.log" >&2; fail "build $build failed"; }
    sleep 1 # the second build starts at another second whatever the machine's speed
  done
  for program in SETUP.EXE stub/SETUP.EXE payload/payload.lzh; do
    cmp "$work/a/$program" "$work/b/$program" || fail "$program differs between two builds"
  done
  if commit_time=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null); then
    expected_time=$commit_time
  else
    expected_time=$(date -u -d "2026-12-01 09:00:00 UTC" +%s)
  fi
  for program in SETUP.EXE stub/SETUP.EXE sample-app/QUORIN32.EXE sample-app/QUORIN32.DLL; do
    expect "$program PE time stamp" "$($peinfo timestamp "$work/a/$program")" "$expected_time"
  done
  # The sample application's PRODUCTVERSION (sample-app/quorin32.rc) is 1,6,0,0.
  expect "SETUP.EXE version record" "$(record "$work/a/SETUP.EXE")" "$(record_of 1.6.0.0)"
  expect "stub SETUP.EXE version record" "$(record "$work/a/stub/SETUP.EXE")" "$(record_of 1.6.0.0)"
  ;;

version)
  for bad in 1.2.3 1.2.3.4.5 1.2.3.65536 1.2.x.4 -1.2.3.4 1,2,3,4 1.2.3.000001; do
    if configure "$work/v" "$source_dir/cmake/mingw-i686.cmake" "-DSETUP_VERSION=$bad" >"$work/log" 2>&1; then
      fail "SETUP_VERSION='$bad' configured"
    elif ! grep -qF "SETUP_VERSION \"$bad\" is not a version" "$work/log"; then
      cat "$work/log" >&2
      fail "SETUP_VERSION='$bad': no message naming it"
    fi
  done
  configure "$work/v" "$source_dir/cmake/mingw-i686.cmake" -DSETUP_VERSION=0.65535.0.9 >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; fail "SETUP_VERSION=0.65535.0.9 refused"; }
  ;;

refused)
  # A ready archive the install would refuse (member 3's header unreadable) stops the
  # vendor build with the member and the cause, and no SETUP.EXE is made.
  mkdir "$work/files"
  for name in QUORIN32.EXE QUORIN32.HLP SETUP.EXE QUORIN32.DLL QUORIN32.TXT TIPS.TXT HISTORY.TXT QUORIN32.CNT quorin.url; do
    echo "$name of a vendor" >"$work/files/$name"
  done
  (cd "$work/files" && jlha a2q "$work/ready.lzh" QUORIN32.EXE QUORIN32.HLP SETUP.EXE QUORIN32.DLL \
     QUORIN32.TXT TIPS.TXT HISTORY.TXT QUORIN32.CNT quorin.url)
  python3 - "$work/ready.lzh" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = 0
for _ in range(2):  # level-2 headers: their length, then the packed data
    at += struct.unpack_from('<H', data, at)[0] + struct.unpack_from('<I', data, at + 7)[0]
data[at + 20] = 3
open(sys.argv[1], 'wb').write(data)
PY
  configure "$work/r" "$source_dir/cmake/mingw-i686.cmake" -DSETUP_PAYLOAD_ARCHIVE="$work/ready.lzh" >/dev/null
  if cmake --build "$work/r" -j2 >"$work/log" 2>&1; then
    fail "a ready archive with an unreadable header was carried"
  fi
  grep -q "member 3 (no name): header level above 2" "$work/log" || { cat "$work/log" >&2; fail "the refusal names no member and cause"; }
  [ ! -e "$work/r/SETUP.EXE" ] || fail "SETUP.EXE was made"
  ;;

signed)
  toolchain=$3 app_dir=$4 lifecycle=$5 holder=$6
  cd "$work"
  # A throwaway authority, a code-signing certificate and one for web servers only.
  password=$(openssl rand -hex 16)
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Release Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
  for use in codeSigning serverAuth; do
    openssl req -newkey rsa:2048 -nodes -keyout $use.key -out $use.csr -subj "/CN=Release Test $use" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' $use >$use.ext
    openssl x509 -req -in $use.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile $use.ext -out $use.pem 2>/dev/null
    openssl pkcs12 -export -in $use.pem -inkey $use.key -certfile ca.pem -out $use.p12 -passout "pass:$password"
  done
  # The vendor's files, with dates of their own.
  mkdir app
  for name in QUORIN32.EXE QUORIN32.HLP QUORIN32.TXT QUORIN32.DLL QUORIN32.CNT TIPS.TXT HISTORY.TXT quorin.url; do
    cp "$app_dir/$name" app/
  done
  touch -d "2021-03-04 05:06:07 UTC" app/*
  # The signing tools as the build starts them: their arguments and environment are kept.
  mkdir tools
  for tool in osslsigncode openssl; do
    real=$(command -v $tool) || { fail "$tool is not installed"; exit 1; }
    printf '#!/bin/sh\necho "$0 $*" >>%s/tools.log\nenv >>%s/tools.log\nexec %s "$@"\n' "$work" "$work" "$real" >tools/$tool
    chmod +x tools/$tool
  done
  export PATH=$work/tools:$PATH

  signed_options=(-DSETUP_PAYLOAD_DIR="$work/app" -DSETUP_VERSION=2.3.4.5 -DSETUP_SIGN_PKCS12="$work/codeSigning.p12"
                  -DSETUP_SIGN_TOOL="$work/tools/osslsigncode")
  configure signed "$toolchain" "${signed_options[@]}" >/dev/null
  SOURCE_DATE_EPOCH=1700000000 SETUP_SIGN_PASSWORD=$password cmake --build signed -j2 >signed.log 2>&1 ||
    { cat signed.log >&2; fail "the signed build failed"; exit 1; }
  $peinfo resource signed/SETUP.EXE 10 19 >carried.lzh
  mkdir carried && (cd carried && 7z x -bd ../carried.lzh >/dev/null)
  cmp carried/SETUP.EXE signed/stub/SETUP.EXE || fail "the carried SETUP.EXE is not stub/SETUP.EXE"

  for program in signed/SETUP.EXE carried/SETUP.EXE; do
    osslsigncode verify -CAfile ca.pem -in "$program" >verify.log 2>&1 || { cat verify.log >&2; fail "$program does not verify"; }
    for line in "Signature verification: ok" "Message digest algorithm  : SHA256" \
                "Text description: 家計簿,出納簿くおりん" "URL description: http://www.marveno.co.jp/" \
                "CN=Release Test codeSigning"; do
      grep -qF "$line" verify.log || fail "$program: osslsigncode verify does not say '$line'"
    done
    expect "$program version record" "$(record "$program")" "$(record_of 2.3.4.5)"
    expect "$program PE time stamp" "$($peinfo timestamp "$program")" 1700000000
  done
  expect "carried SETUP.EXE archive time" "$(stat -c %Y carried/SETUP.EXE)" 1700000000
  for name in QUORIN32.EXE quorin.url; do
    expect "vendor's $name archive time" "$(stat -c %Y carried/$name)" "$(date -u -d '2021-03-04 05:06:07 UTC' +%s)"
  done

  # One byte changed after signing: the signature no longer holds.
  cp signed/SETUP.EXE changed.exe
  printf '\x5a' | dd of=changed.exe bs=1 seek=1536 conv=notrunc 2>/dev/null
  cmp -s changed.exe signed/SETUP.EXE && fail "the byte was not changed"
  osslsigncode verify -CAfile ca.pem -in changed.exe >verify.log 2>&1 && fail "a changed program still verifies"
  grep -q MISMATCH verify.log || fail "verify of the changed program reports no digest mismatch"

  # Without their signatures the programs are the unsigned build's bytes: the outer one
  # against an unsigned build of the same archive, the carried one against its stub.
  configure unsigned "$toolchain" -DSETUP_PAYLOAD_ARCHIVE="$work/carried.lzh" -DSETUP_VERSION=2.3.4.5 >/dev/null
  SOURCE_DATE_EPOCH=1700000000 cmake --build unsigned -j2 >unsigned.log 2>&1 || { cat unsigned.log >&2; fail "the unsigned build failed"; }
  for pair in "signed/SETUP.EXE unsigned/SETUP.EXE" "carried/SETUP.EXE unsigned/stub/SETUP.EXE"; do
    set -- $pair
    rm -f bare.exe
    osslsigncode remove-signature -in "$1" -out bare.exe >/dev/null
    same_unsigned bare.exe "$2" || fail "$1 without its signature is not $2"
    echo "release-build-test: the signature adds $(( $(stat -c %s "$1") - $(stat -c %s "$2") )) bytes to $1"
  done

  # The password is in no file of the build, in no argument and no environment of the tools.
  grep -rqF "$password" signed unsigned && fail "the password is written in the build folder"
  grep -qF "$password" signed.log && fail "the password is in the build's output"
  grep -q '^.*/tools/osslsigncode sign' tools.log || fail "osslsigncode was not started through the wrapper"
  grep -q '^.*/tools/openssl pkcs12' tools.log || fail "openssl was not started through the wrapper"
  grep -qF "$password" tools.log && fail "the password is on a command line or in the tools' environment"

  # The signed program installs and uninstalls as the unsigned one does.
  program_dir="Z:$(echo "$work/signed" | tr / '\\')"
  BENCH_PROGRAM_DIR=$program_dir BENCH_DESKTOP_HOLDER=$holder WINE_SYSTEM=win64 \
    "$source_dir/tools/wine-run" "$lifecycle" --gtest_filter='*/win10_AllUsers' >lifecycle.log 2>&1 ||
    { cat lifecycle.log >&2; fail "the life cycle of the signed program failed"; }
  grep -q '\[  PASSED  \] 1 test' lifecycle.log || { cat lifecycle.log >&2; fail "the life cycle did not run"; }

  # Every failure names its cause and leaves no program: an earlier SETUP.EXE is removed too.
  cp signed/SETUP.EXE signed-release.exe
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  while IFS='|' read -r cause pass option message; do
    configure signed "$toolchain" "${signed_options[@]}" -DSETUP_SIGN_TIMESTAMP_URL= ${option:+"$option"} >/dev/null
    cp signed-release.exe signed/SETUP.EXE
    rm -f signed/stub/SETUP.EXE
    if SETUP_SIGN_PASSWORD=${pass/PASSWORD/$password} cmake --build signed -j2 >failed.log 2>&1; then
      fail "$cause: the build succeeded"
    fi
    grep -qF "$message" failed.log || { cat failed.log >&2; fail "$cause: no message '$message'"; }
    [ ! -e signed/SETUP.EXE ] && [ ! -e signed/stub/SETUP.EXE ] || fail "$cause: a program is left"
  done <<EOF
wrong password|wrong-PASSWORD||wrong password for $work/codeSigning.p12
no time stamp|PASSWORD|-DSETUP_SIGN_TIMESTAMP_URL=http://127.0.0.1:$port/|no time stamp from http://127.0.0.1:$port/
not for code signing|PASSWORD|-DSETUP_SIGN_PKCS12=$work/serverAuth.p12|is not for code signing
missing file|PASSWORD|-DSETUP_SIGN_PKCS12=$work/missing.p12|the certificate file $work/missing.p12 does not exist
no signing tool|PASSWORD|-DSETUP_SIGN_TOOL=$work/no-such-tool|osslsigncode is not installed
EOF
  ;;
*)
  echo "usage: release-build-test.sh twice|version|signed SOURCE_DIR [...]" >&2
  exit 2
  ;;
esac

[ $failures = 0 ] && echo "release-build-test $mode: all checks passed"
exit $((failures > 0))
