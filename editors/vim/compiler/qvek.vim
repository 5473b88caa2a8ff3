" Vim compiler file
" Compiler:    qvek sequencer assembler
" :make assembles the current file into FILE.ucd beside it (:make -i for the
" debug-hardware layout) and fills the quickfix list with qvek's messages. A
" message names its line and file in one of several wordings ("on line 002 in
" file a.qvs", "line 002in file", "at LINE 002", "of file", "file a.qvs after
" line 002"); one naming no line goes in the list as a plain entry with its
" type. Matching ignores case, so "line" stands for every spelling. With
" :setlocal makeprg=qvekdump\ --check\ %:S the list holds the check's
" diagnostics, every mistake at its line and column.

if exists('current_compiler')
  finish
endif
let current_compiler = 'qvek'

if exists(':CompilerSet') != 2
  command -nargs=* CompilerSet setlocal <args>
endif
let s:cpo_save = &cpo
set cpo&vim

" qvek reads the options before the source, and the target after it.
CompilerSet makeprg=qvek\ $*\ %:S\ %:r:S.ucd

" Every message opens with WARNING:- or ERROR:-, whose first letter is the type;
" %+A keeps the whole message, in qvek's words, as the entry's text.
let s:message = '%+A%t%*[A-Z]:-%.%#'
let s:line = s:message . 'line %l%*[ inof]file '
" The check (qvekdump --check FILE) writes "FILE:LINE:COL: error: message
" [code]" as compilers do; its quoted lines, carets and notes are no entries.
let s:check = ['%f:%l:%c: %trror: %m', '%f:%l:%c: %tarning: %m', '%f:%l: %trror: %m', '%f:%l: %tarning: %m']
let s:efm = s:check + [
      \ s:message . 'read file %f after line %l%.%#',
      \ s:line . '%f%[.]%\@<! %.%#',
      \ s:line . '%f%[.] %.%#',
      \ s:line . '%f',
      \ s:message,
      \ '%+C%\s%\+Value has been truncated%.%#',
      \ '%-G%.%#']
" A file name is a run of file-name characters. Followed by text, it ends at a
" blank and not in a dot (the first pattern), or before the dot of a sentence's
" end, as in "in file t.qvs. Assembly stopped." (the second).
execute 'CompilerSet errorformat=' . escape(join(s:efm, ','), ' \|"')

let &cpo = s:cpo_save
unlet s:cpo_save
