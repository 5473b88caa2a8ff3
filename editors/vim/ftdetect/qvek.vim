" qvek sequencer assembly: sources always; include files, whose .inc other
" assemblers use too, only when an INC line of a .qvs source in their folder
" names them: qvek upper-cases the name and opens it in its working folder,
" so the file's name is the upper-cased word.
" The same rule as the Neovim setup, the Emacs mode and the VS Code extension.
autocmd BufRead,BufNewFile *.qvs,*.QVS setfiletype qvek
" Vim's own rules guess a type for every .inc file: a named include overrides it.
autocmd BufRead,BufNewFile *.[iI][nN][cC] if QvekNamesInclude(expand('<afile>:p')) | set filetype=qvek | endif

function! QvekNamesInclude(path) abort
  let l:name = '\V' . escape(fnamemodify(a:path, ':t'), '\')
  for l:source in glob(fnamemodify(a:path, ':h') . '/*.[qQ][vV][sS]', 1, 1)
    for l:line in readfile(l:source)
      if toupper(substitute(l:line, '\*.*', '', '')) =~# '\v^\s*(#\S+\s+)?INC\s+' . l:name . '\m\(\s\|$\)'
        return 1
      endif
    endfor
  endfor
  return 0
endfunction
