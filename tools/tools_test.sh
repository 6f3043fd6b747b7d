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

# --sign: the release statement. Throwaway keys a, b, c.
keys="$work/keys"
mkdir -p "$keys"
for k in a b c; do
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$keys/$k.pem" 2>/dev/null
  openssl pkey -in "$keys/$k.pem" -pubout -out "$keys/$k.pub.pem"
done
point() {  # the uncompressed point of a public key file, upper-case hex
  openssl pkey -pubin -in "$1" -outform DER | tail -c 65 | xxd -p -c 65 | tr a-f A-F
}
field() {  # field() LINE-KEYWORD N: field N of the statement's line starting with the keyword
  awk -v k="$1" -v n="$2" '$1 == k { print $n; exit }' "$signed/.tb_release"
}
snapshot() {  # every file of the folder with its digest
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
}
# expect_refused CAUSE ARGS...: exit status 1, CAUSE on stderr, the folder unchanged.
expect_refused() {
  local cause="$1"
  shift
  snapshot "$signed" >"$work/before"
  expect_status 1 "$catalogue_tool" "$@" "$signed"
  grep -qF -- "$cause" "$work/err" || fail "'$*': no '$cause' in: $(cat "$work/err")"
  grep -q 'nothing written$' "$work/err" || fail "'$*': does not say nothing was written: $(cat "$work/err")"
  snapshot "$signed" >"$work/after"
  cmp -s "$work/before" "$work/after" || fail "'$*' changed the folder:"$'\n'"$(diff "$work/before" "$work/after")"
}
signed="$work/signed"
mkdir -p "$signed"
printf 'lobby' >"$signed/tblobby.dll"
printf 'tblobby.dll:\n' >"$signed/.tb_file_list"
printf 'old' >"$signed/.pm_file_list.sig"  # what older tools wrote is not content

# A first release: number 1, 30 days, both lists' sizes and digests, the
# signing key as the set, 1 of 1; the signature verifies with openssl alone
# over the context string and the lines before it.
expect_status 0 "$catalogue_tool" --sign "$keys/a.pem" "$signed"
[ "$(cut -d' ' -f1 "$signed/.pm_file_list")" = "tblobby.dll" ] ||
  fail "--sign: the catalogue lists more than the content: $(cat "$signed/.pm_file_list")"
[ "$(head -n 2 "$signed/.tb_release")" = $'tamber-release 1\nrelease 1' ] || fail "first release: $(cat "$signed/.tb_release")"
for list in .pm_file_list .tb_file_list; do
  want="$(stat -c %s "$signed/$list") $(sha256sum "$signed/$list" | cut -d' ' -f1 | tr a-f A-F)"
  grep -qx "list $list $want" "$signed/.tb_release" || fail "statement does not state $list as '$want'"
done
[ "$(field keys 2) $(field keys 3)" = "1 $(point "$keys/a.pub.pem")" ] || fail "first key set: $(grep keys "$signed/.tb_release")"
days=$(( ($(date -u -d "$(field expires 2)" +%s) - $(date -u +%s) + 300) / 86400 ))
[ "$days" -eq 30 ] || fail "default expiry is $days days away, not 30"
grep -v '^signature ' "$signed/.tb_release" >"$work/body"
{ printf 'tamber release statement\0'; cat "$work/body"; } >"$work/message"
field signature 3 | xxd -r -p >"$work/signature.der"
openssl dgst -sha256 -verify "$keys/a.pub.pem" -signature "$work/signature.der" "$work/message" >/dev/null 2>&1 ||
  fail "the statement's signature does not verify with openssl over the context and body"
[ "$(field signature 2)" = "$(point "$keys/a.pub.pem" | xxd -r -p | sha256sum | cut -d' ' -f1 | tr a-f A-F)" ] ||
  fail "the signature's key id is not the SHA-256 of the point"
expect_status 0 "$catalogue_tool" --verify "$signed"
grep -qx '.tb_release: .tb_file_list matches' "$work/out" || fail "--verify of the statement: $(cat "$work/out")"

# The next rounds: the published number + 1, or a higher one asked for.
expect_status 0 "$catalogue_tool" --sign "$keys/a.pem" --expires 7 "$signed"
[ "$(field release 2)" = 2 ] || fail "second release is $(field release 2)"
expect_status 0 "$catalogue_tool" --sign "$keys/a.pem" --release 5 "$signed"
[ "$(field release 2)" = 5 ] || fail "--release 5 wrote $(field release 2)"

# Refusals, each writing nothing.
expect_refused "is not above the published release 5" --sign "$keys/a.pem" --release 5
expect_refused "is not above the published release 5" --sign "$keys/a.pem" --release 3
expect_refused "an expiry in the past" --sign "$keys/a.pem" --expires 0
expect_refused "an expiry in the past" --sign "$keys/a.pem" --expires -2
expect_refused "more than 3650 days" --sign "$keys/a.pem" --expires 3651
expect_refused "'$keys/b.pem' is outside the key set" --sign "$keys/b.pem"
expect_refused "holds no private key" --sign "$keys/a.pub.pem"
expect_refused "--threshold must be from 1 to 1" --sign "$keys/a.pem" --key-set "$keys/a.pub.pem" --threshold 2
# A rotation to keys that do not sign it would shut every later release out.
expect_refused "too few signatures for the new key set: 0 keys of it sign, 1 needed" \
  --sign "$keys/a.pem" --key-set "$keys/b.pub.pem" --threshold 1
printf 'more' >"$signed/new.bin"  # content changed: still nothing written on a refusal
expect_refused "an expiry in the past" --sign "$keys/a.pem" --expires 0
mv "$signed/.tb_file_list" "$work/deps"
expect_refused "cannot read '$signed/.tb_file_list'" --sign "$keys/a.pem"
mv "$work/deps" "$signed/.tb_file_list"

# Rotation to 2 of {a, b}, signed by the published set and the new one;
# then one signature short of the new threshold is refused.
expect_status 0 "$catalogue_tool" --sign "$keys/a.pem" --sign "$keys/b.pem" \
  --key-set "$keys/b.pub.pem" "$keys/a.pub.pem" --threshold 2 "$signed"
sorted="$(printf '%s\n' "$(point "$keys/a.pub.pem")" "$(point "$keys/b.pub.pem")" | LC_ALL=C sort | tr '\n' ' ')"
[ "$(field release 2) $(grep '^keys ' "$signed/.tb_release" | cut -d' ' -f2-) " = "6 2 $sorted" ] ||
  fail "rotation to 2 of a, b: $(cat "$signed/.tb_release")"
grep -q '^new.bin ' "$signed/.pm_file_list" || fail "the rotation round did not list new.bin"
expect_refused "too few signatures for the published key set: 1 key of it signs, 2 needed" --sign "$keys/b.pem"
expect_status 0 "$catalogue_tool" --sign "$keys/b.pem" --sign "$keys/a.pem" "$signed"
[ "$(grep -c '^signature ' "$signed/.tb_release")" -eq 2 ] || fail "two keys, not two signatures"

# Rotation to c alone: a and b retire it, c signs too; a retired key is then
# outside the set.
expect_refused "too few signatures for the published key set: 1 key of it signs, 2 needed" \
  --sign "$keys/a.pem" --sign "$keys/c.pem" --key-set "$keys/c.pub.pem" --threshold 1
expect_status 0 "$catalogue_tool" --sign "$keys/a.pem" --sign "$keys/b.pem" --sign "$keys/c.pem" \
  --key-set "$keys/c.pub.pem" --threshold 1 "$signed"
expect_refused "'$keys/a.pem' is outside the key set" --sign "$keys/a.pem"
expect_status 0 "$catalogue_tool" --sign "$keys/c.pem" "$signed"
[ "$(field release 2)" = 9 ] || fail "release after the rotations is $(field release 2)"
expect_status 0 "$catalogue_tool" --verify "$signed"

# A list changed after signing: --verify says which; the catalogue alone is
# written with a warning that the statement no longer matches.
printf 'tblobby.dll: new.bin\n' >"$signed/.tb_file_list"
expect_status 1 "$catalogue_tool" --verify "$signed"
grep -q '^.tb_release: .tb_file_list differs: ' "$work/out" || fail "--verify after a list change: $(cat "$work/out")"
printf 'newer' >"$signed/new.bin"
expect_status 0 "$catalogue_tool" "$signed"
grep -qF "no longer matches the catalogue" "$work/err" || fail "no warning of a stale statement: $(cat "$work/err")"
[ -z "$(find "$work" -name '*.new')" ] || fail "temporary files left: $(find "$work" -name '*.new')"
[ -z "$(find "$signed" -name '*.sig' ! -name .pm_file_list.sig)" ] || fail "a .sig file was written"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "publisher tools: all checks passed"
