// The inspector's run: from the command line to the exit status. Reads the
// load file (or, for the make rule, assembles the source), writes the chosen
// form to standard output or the output file, and reports on standard error.
#pragma once

namespace qvek {

/// The inspector's main entry; returns 0, 1 for a file that failed, 2 for a mistake on the command line.
int runInspector(int argc, char** argv);

}  // namespace qvek
