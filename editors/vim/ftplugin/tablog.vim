" Vim file type plugin for tablog scripts: ':make' checks the script with
" tablog-lint (compiler/tablog.vim).
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

compiler tablog
let b:undo_ftplugin = 'setlocal makeprg< errorformat< | unlet! b:current_compiler'
