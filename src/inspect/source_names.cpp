#include "inspect/source_names.h"

#include <cstring>

#include "core/observer.h"
#include "core/symbols.h"
#include "output/load_file.h"
#include "passes/pass1.h"
#include "passes/pass2.h"
#include "passes/statement.h"
#include "source/opener.h"

namespace qvek {

namespace {

// Words the assembler would write for st in a layout: the writers' own counts.
uint32_t expectedProgramWords(const AsmState& st, OutputFormat layout) {
    if (layout == DebugHwFormat) return st.programHighWater == 0 ? 0 : programWordsWritten(st);
    return (programWordsWritten(st) + kProgramRowWords - 1) / kProgramRowWords * kProgramRowWords;
}

uint32_t expectedPatternSlots(const AsmState& st, OutputFormat layout) {
    const uint32_t used = st.patternHighWater < kPatternSlots ? st.patternHighWater : kPatternSlots;
    if (layout == DebugHwFormat) return used;
    return (used + kPatternRowSlots - 1) / kPatternRowSlots * kPatternRowSlots;
}

constexpr size_t kMakeNameSize = 2 * kPathBufferSize + 2;  // every character of a path escaped

// Where a name stands in a rule: as a target a '%' would make it a pattern.
enum class RulePlace : uint8_t { Target, Prerequisite };

// Characters make reads a backslash before: blanks separate, '#' comments and
// ':' ends the targets. Wildcards stay as they are, as gcc leaves them: make
// keeps a backslash before one in a target, and a pattern matches its own file.
bool escapedForMake(char c, RulePlace place) {
    return c == ' ' || c == '\t' || c == '#' || c == ':' || (c == '%' && place == RulePlace::Target);
}

// Quotes a file name for make as gcc does, and further: a character make reads
// gets a backslash (the backslashes before it doubled) and '$' becomes "$$".
void makeName(const char* name, RulePlace place, char (&quoted)[kMakeNameSize]) {
    size_t used = 0;
    unsigned slashes = 0;
    for (const char* p = name; *p != '\0' && used + 2 * slashes + 3 < sizeof quoted; p++) {
        const char c = *p;
        if (escapedForMake(c, place)) {
            for (; slashes > 0; slashes--) quoted[used++] = '\\';
            quoted[used++] = '\\';
        } else if (c == '$') {
            quoted[used++] = '$';
        }
        slashes = c == '\\' ? slashes + 1 : 0;
        quoted[used++] = c;
    }
    quoted[used] = '\0';
}

// Writes one name of the rule, breaking the line first when it would pass the limit.
unsigned writeRuleName(FILE* out, const char* name, RulePlace place, unsigned column) {
    char quoted[kMakeNameSize];
    makeName(name, place, quoted);
    const auto size = static_cast<unsigned>(std::strlen(quoted));
    if (column > 0) {
        if (column + size > kMakeRuleColumns) {
            std::fputs(" \\\n", out);
            column = 0;
        }
        std::fputc(' ', out);
        column++;
    }
    std::fputs(quoted, out);
    return column + size;
}

const char* dependency(const DependencyList& list, uint32_t i) { return list.text + list.offsets[i]; }

}  // namespace

SourceResult assembleSilently(AsmState& st, const char* sourceName, bool bothPasses) {
    st.silent = true;
    st.dumpListing = false;
    // Nothing is printed while silent without the dump listing; the sink makes sure of it. The null
    // device costs no file, which a temporary file does at every check of an editor's text.
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink == nullptr) sink = std::tmpfile();
    st.console = sink != nullptr ? sink : stderr;
    SourceResult result = SourceResult::Assembled;
    // Pass 2 would wait on a pipe for a second writer, and a device may read otherwise.
    const bool readable =
        std::strlen(sourceName) <= kMaxPathLength && !(bothPasses && kindRefused(st, sourceName) != nullptr);
    FILE* source = readable ? openSource(st, sourceName) : nullptr;
    if (source == nullptr) {
        result = SourceResult::CannotOpen;
    } else {
        copyText(st.includeNames[0], sizeof st.includeNames[0], sourceName);
        st.currentLine = 0;
        if (runPass1(st, source) < 0) {
            result = SourceResult::Pass1Failed;
        } else if (bothPasses) {
            warnUnloadedPatterns(st);  // as the run warns between the passes
            source = openSource(st, st.includeNames[0]);
            st.programCounter = 0;
            st.currentLine = 0;
            if (source == nullptr)
                result = SourceResult::CannotOpen;
            else if (runPass2(st, source) < 0)
                result = SourceResult::Pass2Failed;
        }
    }
    if (sink != nullptr) std::fclose(sink);
    st.console = stderr;
    return result;
}

bool findDifference(const AsmState& st, const LoadImage& image, char* text, size_t size) {
    const uint32_t slots = expectedPatternSlots(st, image.layout);
    const uint32_t words = expectedProgramWords(st, image.layout);
    if (image.patternSlots != slots) {
        std::snprintf(text, size, "the load file holds %u pattern words, the source gives %u", image.patternSlots,
                      slots);
        return true;
    }
    if (image.programWords != words) {
        std::snprintf(text, size, "the load file holds %u program words, the source gives %u", image.programWords,
                      words);
        return true;
    }
    for (uint32_t k = 0; k < slots; k++) {
        if (image.patternValues[k] == st.patternMemory[k].value) continue;
        std::snprintf(text, size, "the pattern word at host address 0x%4.4x is 0x%8.8x, the source gives 0x%8.8x",
                      2 * k, image.patternValues[k], st.patternMemory[k].value);
        return true;
    }
    for (uint32_t a = 0; a < 4 * words; a++) {
        if (image.programImage[a] == st.programImage[a]) continue;
        std::snprintf(text, size, "program nibble 0x%3.3x is %x, the source gives %x", a, image.programImage[a],
                      st.programImage[a]);
        return true;
    }
    return false;
}

void recordInclude(void* context, const char* name) {
    auto& list = *static_cast<DependencyList*>(context);
    for (uint32_t i = 0; i < list.count; i++)
        if (std::strcmp(dependency(list, i), name) == 0) return;
    const size_t length = std::strlen(name);
    if (list.count >= kMaxDependencies || list.used + length + 1 > sizeof list.text) {
        list.overflow = true;
        return;
    }
    list.offsets[list.count++] = list.used;
    std::memcpy(list.text + list.used, name, length + 1);
    list.used += static_cast<uint32_t>(length + 1);
}

void observeIncludes(void* list, const AsmState&, const AsmEvent& event) {
    if (event.kind == EventKind::FileEntered && event.depth > 0) recordInclude(list, event.file);
}

bool makeCanHold(const char* name) {
    const size_t length = std::strlen(name);
    // A leading '~' names a home folder, a last backslash escapes what follows, and NAME(MEMBER) is a
    // member of an archive.
    if (length == 0 || name[0] == '~' || name[length - 1] == '\\') return false;
    if (name[length - 1] == ')' && std::strchr(name, '(') != nullptr) return false;
    for (const char* p = name; *p != '\0'; p++) {
        const auto c = static_cast<unsigned char>(*p);
        // Line breaks end the rule, ';' starts a recipe, '=' assigns a variable, '|' begins order-only names.
        if ((c < ' ' && c != '\t') || c == 0x7F || c == ';' || c == '=' || c == '|') return false;
    }
    return true;
}

const char* nameMakeCannotHold(const char* target, const char* source, const DependencyList& list) {
    if (!makeCanHold(target)) return target;
    if (!makeCanHold(source)) return source;
    for (uint32_t i = 0; i < list.count; i++)
        if (!makeCanHold(dependency(list, i))) return dependency(list, i);
    return nullptr;
}

void writeMakeRule(FILE* out, const char* target, const char* source, const DependencyList& list) {
    unsigned column = writeRuleName(out, target, RulePlace::Target, 0);
    std::fputc(':', out);
    column++;
    column = writeRuleName(out, source, RulePlace::Prerequisite, column);
    for (uint32_t i = 0; i < list.count; i++)
        column = writeRuleName(out, dependency(list, i), RulePlace::Prerequisite, column);
    std::fputc('\n', out);
    // An empty rule for each include, so make goes on when one is deleted.
    for (uint32_t i = 0; i < list.count; i++) {
        char quoted[kMakeNameSize];
        makeName(dependency(list, i), RulePlace::Target, quoted);
        std::fprintf(out, "%s:\n", quoted);
    }
}

bool defaultTarget(const char* source, char* target, size_t size) {
    const char* base = std::strrchr(source, '/');
    base = base == nullptr ? source : base + 1;
    const char* dot = std::strrchr(base, '.');
    // A name that only begins with a dot has no extension.
    const size_t stem = dot != nullptr && dot != base ? static_cast<size_t>(dot - source) : std::strlen(source);
    const int written = std::snprintf(target, size, "%.*s.ucd", static_cast<int>(stem), source);
    return written >= 0 && static_cast<size_t>(written) < size;
}

}  // namespace qvek
