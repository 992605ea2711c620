" Run by vim_test.sh in Vim, with examples/prices.tl as the current buffer:
" writes to result.txt what Vim made of it, one fact a line: the file
" type, the syntax and any error message met while loading them, the
" syntax item at chosen places, the quickfix entries of ':make', and the
" file type of a Teal file and an empty file named *.tl.
let s:out = ['filetype ' . &filetype, 'syntax ' . get(b:, 'current_syntax', ''),
      \ 'errors ' . v:errmsg]
for [s:line, s:col] in [[1, 1], [1, 7], [1, 11], [2, 1], [2, 5], [15, 1], [15, 8],
      \ [15, 12], [15, 14], [15, 25], [15, 26], [15, 27], [17, 24], [18, 17]]
  call add(s:out, printf('item %d:%d %s', s:line, s:col,
        \ synIDattr(synID(s:line, s:col, 0), 'name')))
endfor
silent make!
for s:entry in getqflist()
  call add(s:out, printf('quickfix %s:%d:%d:%s:%s', bufname(s:entry.bufnr), s:entry.lnum,
        \ s:entry.col, s:entry.type, s:entry.text))
endfor
silent edit teal.tl
call add(s:out, 'teal ' . &filetype)
silent edit new.tl
call add(s:out, 'new ' . &filetype)
call writefile(s:out, 'result.txt')
qall!
