" Vim syntax file
" Language:    qvek sequencer assembly (.qvs)
" Tokens are separated by blanks; a '*' starts a comment anywhere, even inside
" a token. The assembler upper-cases everything, so case is ignored. The
" keyword lines must list exactly the assembler's keyword table (a unit test
" compares them); everything else is matched by patterns.

if exists('b:current_syntax')
  finish
endif
let s:cpo_save = &cpo
set cpo&vim

syntax case ignore
" '#' belongs to a word, so the NOP in #NOP is no keyword.
syntax iskeyword @,48-57,_,35,192-255

syntax keyword qvekBranch      CAL JCB JMP RET
syntax keyword qvekInstruction NOP IPP DPP LPB LPE LMR LRB LDA LSR DMS DSC DUS LPP
syntax keyword qvekDirective   DEF PAT
syntax keyword qvekDirective   ORG nextgroup=qvekSegment skipwhite
syntax keyword qvekDirective   INC nextgroup=qvekIncludeFile skipwhite
syntax keyword qvekOperator    NOT AND OR XOR

" The segment word of ORG, and the file name of INC.
syntax match qvekSegment     /\v%(PGM|PAT)%([ \t*]|$)@=/ contained
syntax match qvekIncludeFile /[^ \t*]\+/ contained

" Leading zeros may stand before a base prefix: 0X1F is hexadecimal.
syntax match qvekNumber /\v%(^|[ \t])@<=%(0*[hx][-+]?\x+|0*b[01]+|0*d[-+]?\d+|\d+)%([ \t*]|$)@=/

syntax match qvekName  /#[^ \t*]*/
" Defined after qvekName, so that a name opening its line is a label.
syntax match qvekLabel /^[ \t]*#[^ \t*]*/

syntax match qvekTodo /\v<%(TODO|FIXME|XXX)>/ contained
syntax match qvekComment /\*.*$/ contains=qvekTodo,@Spell

highlight default link qvekBranch      Conditional
highlight default link qvekInstruction Statement
highlight default link qvekDirective   PreProc
highlight default link qvekOperator    Operator
highlight default link qvekSegment     Type
highlight default link qvekIncludeFile String
highlight default link qvekNumber      Number
highlight default link qvekName        Identifier
highlight default link qvekLabel       Label
highlight default link qvekTodo        Todo
highlight default link qvekComment     Comment

let b:current_syntax = 'qvek'
let &cpo = s:cpo_save
unlet s:cpo_save
