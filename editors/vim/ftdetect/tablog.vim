" Vim file type detection for tablog scripts.
" Vim takes *.tl for Teal. A *.tl file whose first lines all read as
" tablog lines (declarations, data lines and rules), with at least one
" declaration or rule among them, is a tablog script instead. This file is
" sourced after Vim's own detection, so ':set filetype' overrides the
" ':setf teal' that ran before it; an empty file keeps Vim's choice.

" Whether the buffer's first 200 lines look like a tablog script.
function! s:IsTablog() abort
  let l:value = '\%(''[^'']*''\|[^''"={}]*\)'
  let l:seen = 0
  for l:line in getline(1, 200)
    if l:line =~# '^\s*$'
      continue
    elseif l:line =~# '<-'
      " A rule: a head Name(Var,...) right before the arrow.
      if l:line !~# '^[^(),<]\+([^()]*)<-'
        return 0
      endif
      let l:seen = 1
    elseif l:line =~# '('
      " A declaration: Name(Col,...) and nothing after it.
      if l:line !~# '^[^(),"={}]\+([^()"={}]*)$'
        return 0
      endif
      let l:seen = 1
    elseif l:line !~# '^' . l:value . '\%(,' . l:value . '\)*$'
      " Not a data line: values between commas, texts in single quotes.
      return 0
    endif
  endfor
  return l:seen
endfunction

autocmd BufNewFile,BufRead *.tl if s:IsTablog() | set filetype=tablog | endif
