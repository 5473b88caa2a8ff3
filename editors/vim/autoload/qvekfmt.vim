" gq through qvekfmt, for the file type plugin's formatexpr.
" The columns of the layout are chosen for a whole file, so the whole buffer
" is formatted and only the lines gq covers take their formatted text: a
" range comes out as formatting the whole file would leave it.

function! qvekfmt#format() abort
  " Wrapping while typing stays Vim's own.
  if mode() =~# '[iR]'
    return 1
  endif
  let l:formatted = systemlist('qvekfmt 2>/dev/null', getline(1, '$'))
  " A source qvekfmt refuses stays as it is; it never adds or removes a line.
  if v:shell_error != 0 || len(l:formatted) != line('$')
    return 0
  endif
  for l:n in range(v:lnum, min([v:lnum + v:count - 1, line('$')]))
    if getline(l:n) !=# l:formatted[l:n - 1]
      call setline(l:n, l:formatted[l:n - 1])
    endif
  endfor
  return 0
endfunction
