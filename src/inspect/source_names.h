// A source as the inspector uses it: assembled silently by the library's own
// passes on a fresh state, for its names, for checking it against a load file
// and for the files it includes (the make rule). Writes the AsmState it is
// given; owns DependencyList.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "inspect/load_image.h"

namespace qvek {

enum class SourceResult : uint8_t {
    Assembled,    // the passes asked for ran to the end of the source
    CannotOpen,   // the source could not be opened
    Pass1Failed,  // pass 1 stopped with an error
    Pass2Failed,  // pass 2 stopped with an error
};

constexpr uint32_t kMaxDependencies = 1024;                                    // distinct include files of one source
constexpr uint32_t kDependencyTextSize = kMaxDependencies * kTokenBufferSize;  // their names, each a token
constexpr size_t kDifferenceTextSize = 160;                                    // one description of a difference
constexpr unsigned kMakeRuleColumns = 72;                                      // wrap the rule before this column

// The include files a source opened, each named once, in the order first opened.
struct DependencyList {
    uint32_t count = 0;                  // names held
    uint32_t used = 0;                   // bytes of text used
    bool overflow = false;               // a name found no room: the list is incomplete
    uint32_t offsets[kMaxDependencies];  // where each name starts in text
    char text[kDependencyTextSize];      // the names, each with its terminator
};

/// Assembles a source as the assembler does, with no message and no output: pass 1, then pass 2 if asked.
SourceResult assembleSilently(AsmState& st, const char* sourceName, bool bothPasses);
/// Describes the first place where a load image differs from what st assembled; returns false when none does.
bool findDifference(const AsmState& st, const LoadImage& image, char* text, size_t size);

/// Notes an include file in a DependencyList, once per name.
void recordInclude(void* list, const char* name);
/// Notes every include file a pass enters in the DependencyList given as context (an Observer).
void observeIncludes(void* list, const AsmState& st, const AsmEvent& event);
/// Tells whether make can read a name in a rule once it is quoted: no line break or other control
/// character, ';', '=', '|', leading '~', last backslash or archive member NAME(MEMBER).
bool makeCanHold(const char* name);
/// Returns the first of the rule's names that make cannot hold, or null when it can hold them all.
const char* nameMakeCannotHold(const char* target, const char* source, const DependencyList& list);
/// Writes "TARGET: SOURCE INCLUDES..." wrapped as gcc -MD writes it, then an empty rule for each include.
void writeMakeRule(FILE* out, const char* target, const char* source, const DependencyList& list);
/// Names the default target: the source with its extension replaced by .ucd; false when it does not fit.
bool defaultTarget(const char* source, char* target, size_t size);

}  // namespace qvek
