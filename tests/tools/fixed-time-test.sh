#!/usr/bin/env bash
# The build's fixed time by where the sources come from: a checkout owned by another user
# (which git refuses to read) still gives its commit time; sources outside a checkout get
# the fixed stamp and say so; a checkout git cannot read at all stops the build.
set -uo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
fixed_time=$source_root/tools/fixed-time
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

git init -q "$work/checkout" &&
  git -C "$work/checkout" -c user.name=t -c user.email=t@t commit -q --allow-empty -m one
commit_time=$(git -C "$work/checkout" log -1 --format=%ct)
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$work/checkout"
  git -C "$work/checkout" log -1 >/dev/null 2>&1 && fail "git read a checkout of another user; the case is not made"
fi
unset SOURCE_DATE_EPOCH
said=$("$fixed_time" "$work/checkout" "$work/time1") || fail "no time for the checkout"
[ "$(cat "$work/time1")" = "$commit_time" ] || fail "checkout: $(cat "$work/time1"), not the commit time $commit_time"
[[ $said == "fixed time: $commit_time ("*"), the commit time of "* ]] || fail "checkout said: $said"

mkdir "$work/unpacked"
said=$("$fixed_time" "$work/unpacked" "$work/time2") || fail "no time for unpacked sources"
[ "$(cat "$work/time2")" = 1796115600 ] || fail "unpacked: $(cat "$work/time2")"
[ "$said" = "fixed time: 1796115600 (2026-12-01 09:00:00 UTC), the fixed stamp for sources outside a git checkout" ] ||
  fail "unpacked said: $said"

mkdir "$work/broken" && echo "gitdir: $work/nowhere" >"$work/broken/.git"
if "$fixed_time" "$work/broken" "$work/time3" 2>"$work/err"; then fail "a checkout git cannot read got a time"; fi
grep -q "^fixed-time: $work/broken is a git checkout, but git cannot read its commit time: fatal: " "$work/err" ||
  fail "no reason: $(cat "$work/err")"
[ ! -e "$work/time3" ] || fail "a time was written"

[ "$failures" -eq 0 ] && echo "fixed time: all passed"
exit "$failures"
