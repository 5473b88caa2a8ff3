// What the programs learn about a file before they trust it: its identity
// (device and inode), whether it reads the same way every time it is opened,
// and the standard descriptors every program needs open. Touches no AsmState.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qvek {

// Which file a name or a stream is; two names are the same file when both are known and equal.
struct FileIdentity {
    bool known = false;    // the file exists and could be examined
    bool regular = false;  // a plain file: opening it for writing empties it
    uint64_t device = 0;   // st_dev
    uint64_t inode = 0;    // st_ino
};

/// Identifies the file a name leads to (links followed); unknown when there is none.
FileIdentity identityOf(const char* name);
/// Identifies the file an open stream reads or writes.
FileIdentity identityOf(FILE* stream);
/// Tells whether two identities are the same known file.
bool sameFile(const FileIdentity& a, const FileIdentity& b);

/// Names the kind of file a name is ("a pipe", "a device", "a socket") when opening and reading it
/// twice need not give the same text, or returns null: regular files, folders, /dev/null, no file.
const char* kindReadOnce(const char* name);

/// Opens for reading a name that was a regular file when it was last opened, without asking first
/// what it is: without waiting, as for a pipe, and refusing afterwards (*kind set, null returned) what
/// kindReadOnce would name. Sets *id from the open file; null with *kind null when it cannot be opened.
FILE* reopenRegular(const char* name, const char** kind, FileIdentity* id);

/// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file the program
/// opens later takes its place; returns false when one could not be opened.
bool guardStandardDescriptors();

}  // namespace qvek
