#!/usr/bin/env bash
# Signs a program in place with an Authenticode signature (SHA-256), as the build's
# last step for that program.
#
# usage: sign-program.sh --tool OSSLSIGNCODE --pkcs12 FILE --description TEXT --url URL
#                        [--timestamp URL] [--also-remove FILE]... PROGRAM
#        sign-program.sh --stamp PKCS12 OUTPUT
#          writes a digest of the certificate file (or that it cannot be read) to OUTPUT,
#          only when it changed: the programs are signed again when the file changes
#
# The password of the PKCS#12 file comes from the environment variable
# SETUP_SIGN_PASSWORD and reaches openssl and osslsigncode through a pipe: it is never
# on a command line, in a file or in the output. A failure of any kind (tool missing,
# file unreadable, wrong password, a certificate without the code-signing use, no
# answer from the time-stamp server) names its cause and deletes PROGRAM and every
# --also-remove file: an unsigned program must never stand where the signed one is
# expected.
set -euo pipefail

if [ "${1:-}" = --stamp ]; then
  stamp=$({ sha256sum <"$2"; } 2>/dev/null | cut -d' ' -f1) || true
  [ -n "$stamp" ] || stamp="cannot be read"
  if [ ! -f "$3" ] || [ "$(cat "$3")" != "$stamp" ]; then
    echo "$stamp" >"$3.tmp" && mv -f "$3.tmp" "$3"
  fi
  exit 0
fi

tool= pkcs12= description= url= timestamp= program=
remove=()
while [ $# -gt 0 ]; do
  case "$1" in
    --tool) tool=$2; shift 2 ;;
    --pkcs12) pkcs12=$2; shift 2 ;;
    --description) description=$2; shift 2 ;;
    --url) url=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --also-remove) remove+=("$2"); shift 2 ;;
    -*) echo "sign-program.sh: unknown option $1" >&2; exit 2 ;;
    *) program=$1; shift ;;
  esac
done
[ -n "$program" ] && [ -n "$pkcs12" ] || { echo "sign-program.sh: usage: see the script" >&2; exit 2; }
case "$tool" in *-NOTFOUND) tool= ;; esac # not found when the build was configured

# Kept in this shell only: no program started below sees it in its environment.
password=${SETUP_SIGN_PASSWORD-}
password_set=${SETUP_SIGN_PASSWORD+set}
unset SETUP_SIGN_PASSWORD

work=$(mktemp -d "${TMPDIR:-/tmp}/sign-program.XXXXXX")
trap 'rm -rf "$work"' EXIT
name=$program

fail() {
  echo "sign-program.sh: cannot sign $name: $*" >&2
  rm -f "$program" "${remove[@]}"
  echo "sign-program.sh: removed $program${remove[*]:+ and ${remove[*]}}: no unsigned program is left" >&2
  exit 1
}
# the tool's own words, indented, without OpenSSL's error-queue lines
show() { grep -v '^[0-9A-F]\{8,\}:error:' "$1" | sed 's/^/    /' >&2 || true; }

[ -n "$tool" ] && [ -x "$tool" ] ||
  fail "osslsigncode is not installed${tool:+ ($tool)} (Debian package osslsigncode; tools/bootstrap.sh installs it)"
command -v openssl >/dev/null || fail "openssl is not installed (Debian package openssl)"
[ "$password_set" = set ] ||
  fail "SETUP_SIGN_PASSWORD is not set: put the password of $pkcs12 into that environment variable (empty for none)"
[ -f "$pkcs12" ] || fail "the certificate file $pkcs12 does not exist"
head -c 1 "$pkcs12" >/dev/null 2>&1 || fail "the certificate file $pkcs12 cannot be read"

# The password goes through a pipe (descriptor 3); an empty one, which neither tool
# reads from a pipe, is given as it is: it tells no one anything.
if [ -n "$password" ]; then
  passin=(-passin fd:3) readpass=(-readpass /dev/fd/3)
else
  passin=(-passin pass:) readpass=(-pass "")
fi
# The certificate that goes with the key; OpenSSL 3 needs -legacy for older files.
certificate() { # [OPTION]
  openssl pkcs12 -in "$pkcs12" -nokeys -clcerts "${passin[@]}" "$@" 3< <(printf '%s' "$password")
}
if ! certificate >"$work/cert.pem" 2>"$work/openssl.err"; then
  if grep -qi 'invalid password\|mac verify' "$work/openssl.err"; then
    fail "wrong password for $pkcs12 (SETUP_SIGN_PASSWORD)"
  elif ! certificate -legacy >"$work/cert.pem" 2>>"$work/openssl.err"; then
    show "$work/openssl.err"
    fail "$pkcs12 is not a PKCS#12 file that openssl can read"
  fi
fi
grep -q 'BEGIN CERTIFICATE' "$work/cert.pem" || fail "$pkcs12 holds no certificate for its key"
subject=$(openssl x509 -in "$work/cert.pem" -noout -subject -nameopt utf8,sep_comma_plus 2>/dev/null | sed 's/^subject=//')
usage=$(openssl x509 -in "$work/cert.pem" -noout -ext extendedKeyUsage 2>/dev/null | sed -n '2,$p' | sed 's/^ *//')
case "$usage" in
  *"Code Signing"*) ;;
  *) fail "the certificate in $pkcs12 ($subject) is not for code signing: its extended key usage is ${usage:-not given}, without Code Signing" ;;
esac

options=(-pkcs12 "$pkcs12" -h sha256 -n "$description" -i "$url")
[ -z "$timestamp" ] || options+=(-ts "$timestamp")
# A time-stamp server that never answers must not hold the build for ever.
set +e
timeout 120 "$tool" sign "${options[@]}" "${readpass[@]}" -in "$program" -out "$work/signed" \
  3< <(printf '%s' "$password") >"$work/sign.log" 2>&1
status=$?
set -e
if [ $status -ne 0 ] || [ ! -s "$work/signed" ]; then
  show "$work/sign.log"
  if [ $status -eq 124 ]; then
    fail "the time-stamp server $timestamp did not answer within 120 seconds"
  elif [ -n "$timestamp" ] && grep -qi 'timestamp' "$work/sign.log"; then
    fail "no time stamp from $timestamp (the server did not answer)"
  fi
  fail "osslsigncode failed (status $status)"
fi
mv -f "$work/signed" "$program"
chmod 755 "$program"
echo "sign-program.sh: signed $name ($subject${timestamp:+, time stamp from $timestamp})"
