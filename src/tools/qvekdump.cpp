// qvekdump: the load-file inspector's command-line entry; its modules live in
// src/tools, the parser, disassembler and writers in libqvek.
#include "tools/dump_run.h"

int main(int argc, char** argv) { return qvek::runInspector(argc, argv); }
