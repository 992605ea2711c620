" Vim compiler file for tablog scripts: ':make' runs tablog-lint on the
" current file, and its warnings, SCRIPT:LINE:COLUMN: warning: MESSAGE
" [name], fill the quickfix list. The message that a script cannot be read
" is kept as a line of text; the rest of tablog-lint's output is dropped.
if exists('current_compiler')
  finish
endif
let current_compiler = 'tablog'

if exists(':CompilerSet') != 2
  command -nargs=* CompilerSet setlocal <args>
endif

let s:cpo_save = &cpo
set cpo&vim

CompilerSet makeprg=tablog-lint\ %:S
CompilerSet errorformat=%f:%l:%c:\ %tarning:\ %m,%+Gtablog-lint:\ %m,%-G%.%#

let &cpo = s:cpo_save
unlet s:cpo_save
