// qvek: the assembler's command-line entry; everything else lives in libqvek.
#include "app/run.h"

int main(int argc, char** argv) { return qvek::runAssembler(argc, argv); }
