// The record of an assembly, gathered from the observer's events while a
// source is assembled silently: the files read, which statement (file, line,
// first nibble) wrote each program nibble last, and where each constant,
// program label and pattern word was defined. Tables of the memories' and
// name tables' sizes, plus one name per distinct file: a few hundred
// kilobytes however long the source. Owns Record and FileTable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/asm_state.h"
#include "core/observer.h"
#include "inspect/source_names.h"

namespace qvek {

constexpr uint32_t kNoFile = UINT32_MAX;  // Site::file of a place no file holds

// A line of a file of the record's FileTable.
struct Site {
    uint32_t file = kNoFile;  // index into Record::files
    int32_t line = 0;         // line within that file, counted as messages count it
};

// The statement that wrote a program nibble last.
struct NibbleOwner {
    uint32_t statement = 0;  // its number among the lines of a pass, in reading order from 1; 0 = unused
    uint32_t start = 0;      // the address of its first nibble
    Site site;               // where it stands
};

// Every file an assembly read, each named once as the pass opened it.
class FileTable {
  public:
    /// Returns the index of a name, adding it when it is new.
    uint32_t add(const char* name);
    /// Returns the name of an index below count().
    const char* name(uint32_t index) const { return names_[index].c_str(); }
    /// Returns the number of files.
    uint32_t count() const { return static_cast<uint32_t>(names_.size()); }

  private:
    std::vector<std::string> names_;                   // by index, in the order first read
    std::unordered_map<std::string, uint32_t> index_;  // name to index
};

struct Record {
    FileTable files;                       // the main source first
    NibbleOwner nibbles[kProgramNibbles];  // by nibble address
    Site constants[kMaxDefinitions];       // where each definitions entry was made
    Site labels[kMaxProgramLabels];        // where each programLabels entry was made
    Site patterns[kPatternSlots];          // the PAT that stored each slot last; no file: none did
    uint32_t lines[3] = {};                // [pass]: statement lines the pass has told of
    uint32_t completed[3] = {};            // [pass]: of those, the lines carried out whole
    uint32_t openFiles[kMaxIncludeFiles];  // [depth]: the file being read at that depth
    FILE* messages = nullptr;              // messages are printed here as qvek prints them; null: nowhere
    uint32_t messagesPrinted = 0;          // how many
};

/// Adds what one event tells to the Record given as context (an Observer).
void recordEvent(void* record, const AsmState& st, const AsmEvent& event);
/// Assembles a source silently (both passes, or pass 1 alone) into st and record; record.messages gets its messages.
SourceResult recordSource(AsmState& st, Record& record, const char* sourceName, bool bothPasses = true);
/// Ends the messages printed, if any, with a line break, as the assembler's closing report does.
void endMessages(const Record& record);
/// Returns the site of a statement event: the file being read at its depth, and its line.
Site siteOf(const Record& record, const AsmEvent& event);
/// Tells whether pass 2 has written the targets of statement line number n (counted as NibbleOwner does).
bool targetsFilled(const Record& record, uint32_t n);

}  // namespace qvek
