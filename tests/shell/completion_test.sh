#!/usr/bin/env bash
# completion_test.sh SOURCE-DIR: the bash completions of completion/ give
# each argument of tablog, tablog-lint and tablog-csv its candidates, in a
# folder of scripts, CSV files, an output file and a subfolder.
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: completion_test.sh SOURCE-DIR" >&2; exit 2; }
src=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir sub
touch a.tl b.tl staff.csv notes.txt 'with space.tl'
printf 'R(X)<-T(X)\n\nT(A)\n1\n\nRich(N)\n\nR(X)\n1\n\n' >company.out
for program in tablog tablog-lint tablog-csv; do
  # shellcheck source=/dev/null
  source "$src/completion/$program"
done

failed=0
# expect 'CANDIDATES' WORD...: completing the last WORD of the command line
# gives CANDIDATES, sorted and separated by blanks.
expect() {
  local wanted=$1 function got
  shift
  function=$(complete -p "$1" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd ' ')
  if [ "$got" != "$wanted" ]; then
    echo "completing: $*" >&2
    echo "  wanted: $wanted" >&2
    echo "  got:    $got" >&2
    failed=$((failed + 1))
  fi
}

expect 'a.tl b.tl sub with space.tl' tablog ''
expect 'a.tl' tablog a
expect '--help --version' tablog --
expect 'a.tl b.tl company.out notes.txt staff.csv sub with space.tl' tablog a.tl ''
expect '' tablog --help ''
expect '' tablog a.tl b.out ''
expect 'a.tl b.tl sub with space.tl' tablog-lint ''
expect 'a.tl b.tl sub with space.tl' tablog-lint a.tl ''
expect '- --graph --help --version' tablog-lint -
expect '--graph' tablog-lint --g
expect '--help --version export import' tablog-csv ''
expect 'import' tablog-csv i
expect '' tablog-csv import ''
expect 'staff.csv sub' tablog-csv import Emp ''
expect '' tablog-csv import Emp staff.csv ''
expect 'company.out' tablog-csv export comp
expect 'R Rich T' tablog-csv export company.out ''
expect 'R Rich' tablog-csv export company.out T R
expect '' tablog-csv export none.out ''

if [ "$failed" -ne 0 ]; then
  echo "$failed completions differ from the ones wanted" >&2
  exit 1
fi
echo "completion: every argument gets its candidates"
