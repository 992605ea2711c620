" Vim syntax file for tablog scripts.
" A line is told apart as tablog tells it: a line holding "<-" is a rule,
" else a line holding "(" is a declaration, else a data line. Each kind is
" one match over the whole line, defined in that order so that the later
" kind wins, with the parts it may hold: a declaration's table and column
" names; a data line's values; a rule's table names, its variables (words
" that begin with an upper-case letter), constants and conditions such as
" S>1000.
if exists('b:current_syntax')
  finish
endif

syntax match tablogData /^.*$/ contains=tablogString,tablogNumber,tablogNull,tablogComma
syntax match tablogDeclaration /^.*(.*$/
      \ contains=tablogTable,tablogColumnList
syntax match tablogRule /^.*<-.*$/
      \ contains=tablogArrow,tablogAtom,tablogVariable,tablogWord,tablogString,tablogNumber,
      \tablogCondition,tablogComma,tablogParen

" Values: a number as a whole value, a quoted text, NULL.
syntax match tablogNumber /\%(^\|[,(]\)\@1<=[-+]\=\d\+\%(\.\d\+\)\=\%([,)]\|$\)\@=/ contained
syntax match tablogString /'[^']*'/ contained
syntax match tablogNull /\%(^\|,\)\@1<=NULL\%(,\|$\)\@=/ contained
syntax match tablogComma /,/ contained
syntax match tablogParen /[()]/ contained

" Declarations.
syntax match tablogTable /^[^(]*\ze(/ contained
syntax match tablogColumnList /([^()]*)/ contained contains=tablogColumn,tablogComma,tablogParen
syntax match tablogColumn /[^(),]\+/ contained

" Rules.
syntax match tablogArrow /<-/ contained
syntax match tablogAtom /[^(),<>=-][^(),<>=]*\ze(/ contained
syntax match tablogWord /\<\l\w*\>(\@!/ contained
syntax match tablogVariable /\<\u\w*\>(\@!/ contained
syntax match tablogCondition /\<\u\w*[<>=][^,()]*/ contained contains=tablogCondVariable
syntax match tablogCondVariable /\<\u\w*/ contained nextgroup=tablogOperator
syntax match tablogOperator /[<>=]/ contained nextgroup=tablogCondValue
syntax match tablogCondValue /[^,()]*/ contained

highlight default link tablogNumber Number
highlight default link tablogString String
highlight default link tablogNull Constant
highlight default link tablogComma Delimiter
highlight default link tablogParen Delimiter
highlight default link tablogTable Type
highlight default link tablogColumn Identifier
highlight default link tablogArrow Statement
highlight default link tablogAtom Function
highlight default link tablogWord Constant
highlight default link tablogVariable Identifier
highlight default link tablogCondVariable Identifier
highlight default link tablogOperator Operator
highlight default link tablogCondValue Constant

let b:current_syntax = 'tablog'
