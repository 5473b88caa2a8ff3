" Vim filetype plugin
" Language:    qvek sequencer assembly
" gq formats through qvekfmt: formatexpr formats the whole buffer and keeps
" the lines gq covers, so that a range takes the columns of the whole file;
" formatprg, for a user who clears formatexpr, lays a range out by its own
" lines. Set only where qvekfmt is found: Vim replaces the lines with whatever
" a missing program prints, which is nothing. The formatter's notes about lines
" it leaves as they stand go to standard error, which Vim would otherwise put
" into the buffer.

if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring=*\ %s
let b:undo_ftplugin = 'setlocal commentstring<'
if executable('qvekfmt')
  setlocal formatprg=qvekfmt\ 2>/dev/null formatexpr=qvekfmt#format()
  let b:undo_ftplugin .= ' formatprg< formatexpr<'
endif
