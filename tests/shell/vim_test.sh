#!/usr/bin/env bash
# vim_test.sh TABLOG-LINT SOURCE-DIR: the Vim files of editors/vim at work
# in a headless Vim. examples/prices.tl must get the file type tablog, its
# syntax without an error and the syntax items that its parts call for,
# and ':make' must put exactly tablog-lint's warnings in the quickfix list;
# a Teal file named *.tl keeps Vim's file type. Exits 77 (skipped) when
# there is no Vim.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: vim_test.sh TABLOG-LINT SOURCE-DIR" >&2; exit 2; }
lint=$(realpath "$1") src=$(realpath "$2")
command -v vim >/dev/null || { echo "no vim: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$lint" "$work/bin/tablog-lint"
cp "$src/examples/prices.tl" "$work/"
printf 'local x: number = 1\nprint(x)\n' >"$work/teal.tl"
cd "$work"

{
  cat <<'WANTED'
filetype tablog
syntax tablog
errors 
item 1:1 tablogTable
item 1:7 tablogColumn
item 1:11 tablogComma
item 2:1 tablogNumber
item 2:5 tablogString
item 15:1 tablogAtom
item 15:8 tablogVariable
item 15:12 tablogArrow
item 15:14 tablogAtom
item 15:25 tablogCondVariable
item 15:26 tablogOperator
item 15:27 tablogCondValue
item 17:24 tablogCondValue
item 18:17 tablogString
WANTED
  # tablog-lint's own warnings, as the quickfix list holds them.
  { "$lint" prices.tl || true; } | sed -n 's/^\(prices\.tl\):\([0-9]*\):\([0-9]*\): warning: /quickfix \1:\2:\3:w:/p'
  printf 'teal teal\nnew teal\n'
} >wanted.txt
grep -q '^quickfix' wanted.txt || { echo "tablog-lint found nothing in prices.tl" >&2; exit 1; }

PATH="$work/bin:$PATH" HOME="$work" timeout 60 vim -N -u NONE -i NONE -n -es \
  --cmd "set runtimepath^=$src/editors/vim" --cmd 'filetype plugin on' --cmd 'syntax on' \
  -S "$src/tests/shell/vim_check.vim" prices.tl </dev/null >vim.log 2>&1 || true
if ! diff -u wanted.txt result.txt; then
  echo "Vim's view of prices.tl differs from the one wanted (above); Vim said:" >&2
  cat vim.log >&2
  exit 1
fi
echo "vim: file type, syntax and quickfix list as wanted"
