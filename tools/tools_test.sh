#!/usr/bin/env bash
# Runs tamber-catalogue and tamber-resolve on a scratch content folder.
# Usage: tools_test.sh PATH/tamber-catalogue PATH/tamber-resolve
set -euo pipefail
catalogue_tool="$1"
resolve_tool="$2"

work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-tools-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# expect_status CODE COMMAND...: runs COMMAND, output to $work/out and $work/err.
expect_status() {
  local want="$1"
  shift
  local got=0
  "$@" >"$work/out" 2>"$work/err" || got=$?
  if [ "$got" -ne "$want" ]; then
    fail "'$*' exited $got, expected $want; stderr: $(cat "$work/err")"
  fi
}

content="$work/content"
mkdir -p "$content/data/big" "$content/sub"
printf 'lobby' >"$content/tblobby.dll"
printf 'png bytes\n' >"$content/data/a.png"
head -c 5000 /dev/zero >"$content/data/big/b.bin"
printf 'Z' >"$content/Zeta"
: >"$content/sub/.pm_file_list"  # only the lists at the top are left out
printf 'stale\n' >"$content/.pm_file_list"
printf 'tblobby.dll: +data/ -data/big/ missing.dll +nothing/ -gone/ data/a.png\nextra: tblobby.dll\n' \
  >"$content/.tb_file_list"

# The list: every file, byte-wise order, upper-case digests.
expect_status 0 "$catalogue_tool" "$content"
expected=""
for name in Zeta data/a.png data/big/b.bin sub/.pm_file_list tblobby.dll; do
  size=$(stat -c %s "$content/$name")
  digest=$(sha256sum "$content/$name" | cut -d' ' -f1 | tr a-f A-F)
  expected+="$name $size $digest"$'\n'
done
if [ "$(cat "$content/.pm_file_list"; echo .)" != "$expected." ]; then
  fail "catalogue differs:"$'\n'"$(diff <(printf '%s' "$expected") "$content/.pm_file_list")"
fi

# The same digests from --hash, and a current folder passes --verify.
expect_status 0 "$catalogue_tool" --hash "$content/tblobby.dll"
grep -q "^$(printf 'lobby' | sha256sum | cut -d' ' -f1 | tr a-f A-F)  " "$work/out" || fail "--hash: $(cat "$work/out")"
expect_status 0 "$catalogue_tool" --verify "$content"
grep -qx '5 files, 5 current, 0 outdated' "$work/out" || fail "--verify: $(cat "$work/out")"
printf 'LOBBY' >"$content/tblobby.dll"
expect_status 1 "$catalogue_tool" --verify "$content"
grep -qx 'outdated tblobby.dll' "$work/out" || fail "--verify after a change: $(cat "$work/out")"
printf 'lobby' >"$content/tblobby.dll"

# Names the host refuses, or with whitespace, stop the tool; the list stays.
cp "$content/.pm_file_list" "$work/list.before"
for bad in "nul.txt" "data/COM1.dll" "with space.png" "trailing." $'tab\tname'; do
  printf 'x' >"$content/$bad"
  expect_status 1 "$catalogue_tool" "$content"
  grep -qF "refusing '$bad'" "$work/err" || fail "no refusal for '$bad': $(cat "$work/err")"
  cmp -s "$content/.pm_file_list" "$work/list.before" || fail "list changed after refusing '$bad'"
  rm "$content/$bad"
done

# A file over 1 GiB is listed, with a warning about the 32-bit host.
big="$work/big"
mkdir -p "$big"
truncate -s 1073741824 "$big/gib.bin"   # exactly 1 GiB: no warning
expect_status 0 "$catalogue_tool" "$big"
grep -q "warning" "$work/err" && fail "warning for exactly 1 GiB: $(cat "$work/err")"
rm "$big/gib.bin"
truncate -s 1073741825 "$big/huge.bin"
expect_status 0 "$catalogue_tool" "$big"
grep -qF "warning: 'huge.bin' is over 1073741824 bytes (1 GiB): the 32-bit host cannot hold it" "$work/err" ||
  fail "no warning for a file over 1 GiB: $(cat "$work/err")"
grep -q '^huge.bin 1073741825 ' "$big/.pm_file_list" || fail "huge.bin not listed"
rm -rf "$big"

# A listed name the host refuses stops its update there: said so.
unsafe="$work/unsafe"
mkdir -p "$unsafe"
zero_digest=$(printf '' | sha256sum | cut -d' ' -f1 | tr a-f A-F)
printf 'a.dll 0 %s
../evil.dll 0 %s
' "$zero_digest" "$zero_digest" >"$unsafe/.pm_file_list"
printf 'root: a.dll ../evil.dll
' >"$unsafe/.tb_file_list"
expect_status 0 "$resolve_tool" "$unsafe" root
grep -qF "the host refuses the name '../evil.dll': its update stops there" "$work/err" ||
  fail "unsafe name warning: $(cat "$work/err")"

# The queue in download order, the total, and members that name nothing.
expect_status 0 "$resolve_tool" "$content" tblobby.dll
# Zeta is not reached: the queue holds data/a.png and tblobby.dll only.
want=$'data/a.png 10\ntblobby.dll 5\ntotal 2 files 15 bytes\nunresolved tblobby.dll: missing.dll\nunresolved tblobby.dll: +nothing/\nunresolved tblobby.dll: -gone/'
[ "$(cat "$work/out")" = "$want" ] || fail "resolve output:"$'\n'"$(cat "$work/out")"
expect_status 0 "$resolve_tool" "$content" extra
[ "$(head -n 3 "$work/out")" = $'data/a.png 10\ntblobby.dll 5\ntotal 2 files 15 bytes' ] ||
  fail "resolve from extra: $(cat "$work/out")"

# A root that is not a key, missing lists and bad arguments fail.
expect_status 1 "$resolve_tool" "$content" Zeta
grep -q "'Zeta' is not a key" "$work/err" || fail "root not a key: $(cat "$work/err")"
expect_status 1 "$resolve_tool" "$work/nowhere" tblobby.dll
expect_status 2 "$resolve_tool" "$content"
grep -q '^usage: tamber-resolve' "$work/err" || fail "resolve usage: $(cat "$work/err")"
expect_status 2 "$catalogue_tool"
grep -q '^usage: tamber-catalogue' "$work/err" || fail "catalogue usage: $(cat "$work/err")"
expect_status 2 "$catalogue_tool" --bogus
expect_status 1 "$catalogue_tool" "$work/nowhere"

# Names that differ only in letter case are one file on Windows: the list is
# still written, with a warning naming both.
cased="$work/cased"
mkdir -p "$cased/data"
printf 'upper' >"$cased/data/A.png"
printf 'lower' >"$cased/data/a.png"
expect_status 0 "$catalogue_tool" "$cased"
grep -qF "warning: 'data/A.png' and 'data/a.png' are the same file on Windows" "$work/err" ||
  fail "no letter-case warning: $(cat "$work/err")"
[ "$(wc -l <"$cased/.pm_file_list")" -eq 2 ] || fail "letter-case list: $(cat "$cased/.pm_file_list")"

# --sign: both lists signed as openssl signs, verifiable with openssl alone;
# a second run lists no signature file; a key that is no P-256 private key
# signs nothing.
keys="$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/keys" && pwd)"
signed="$work/signed"
mkdir -p "$signed"
printf 'lobby' >"$signed/tblobby.dll"
printf 'tblobby.dll:\n' >"$signed/.tb_file_list"
expect_status 0 "$catalogue_tool" --sign "$keys/content_key.pem" "$signed"
expect_status 0 "$catalogue_tool" --sign "$keys/content_key.pem" "$signed"
for list in .pm_file_list .tb_file_list; do
  openssl dgst -sha256 -verify "$keys/content_key.pub.pem" -signature "$signed/$list.sig" "$signed/$list" \
    >/dev/null 2>&1 || fail "--sign: $list.sig does not verify with openssl"
done
[ "$(cut -d' ' -f1 "$signed/.pm_file_list")" = "tblobby.dll" ] ||
  fail "--sign: catalogue lists more than the content: $(cat "$signed/.pm_file_list")"
cp "$signed/.pm_file_list" "$work/list.before"
cp "$signed/.pm_file_list.sig" "$work/sig.before"
printf 'more' >"$signed/new.bin"
expect_status 1 "$catalogue_tool" --sign "$keys/content_key.pub.pem" "$signed"
grep -q "no private key" "$work/err" || fail "--sign with a public key: $(cat "$work/err")"
cmp -s "$signed/.pm_file_list" "$work/list.before" || fail "--sign with a public key rewrote the catalogue"
cmp -s "$signed/.pm_file_list.sig" "$work/sig.before" || fail "--sign with a public key changed a signature"
rm "$signed/.tb_file_list"
expect_status 1 "$catalogue_tool" --sign "$keys/content_key.pem" "$signed"
grep -q "cannot read '.*\.tb_file_list': nothing written" "$work/err" ||
  fail "--sign without .tb_file_list: $(cat "$work/err")"
cmp -s "$signed/.pm_file_list" "$work/list.before" || fail "--sign without .tb_file_list rewrote the catalogue"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "publisher tools: all checks passed"
