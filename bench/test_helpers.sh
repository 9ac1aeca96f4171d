# What the bench scripts' own checks share: a scratch folder removed at exit,
# the pass and fail counts, and expect NAME WANT GOT.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

expect() {  # expect NAME WANT GOT
  if [[ $2 == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n  want: %q\n  got:  %q\n' "$1" "$2" "$3"
  fi
}
