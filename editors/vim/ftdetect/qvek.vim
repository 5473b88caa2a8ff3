" qvek sequencer assembly sources
autocmd BufRead,BufNewFile *.qvs,*.QVS setfiletype qvek
