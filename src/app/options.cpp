#include "app/options.h"

#include "core/symbols.h"

namespace qvek {

namespace {

struct UsagePiece {
    const char* text;
    unsigned value;  // the number a piece with %u prints
};

const UsagePiece kUsage[] = {
    {"\n\nusage:  qvek [-Option List] [Source file name] [Target file name]", 0},
    {"\n        or", 0},
    {"\n        qveka [-Option] [-Option] [-Option] [Source file name] [Target file name]", 0},
    {"\n\n        Available options are:-", 0},
    {"\n        i Format output for krxDbgHdw configuration file.", 0},
    {"\n        p Format output for QLM configuration tool. This is the default option", 0},
    {"\n        d Dump line output while parsing, usefull for debugging assembler code", 0},
    {"\n        s Silent assembly, no output to stdout. To use as a child process during waveform assy via make etc.", 0},
    {"\n        a Append file to output file. Useful to concatinate micro sequencer code to the ztk mpu sequencer "
     "load file", 0},
    {"\n          The filename must follow the a option without any space i.e. -aMyFileName.ucd", 0},
    {"\n\n Sixteen native instructions + 1 psuedo instruction are supported.", 0},
    {"\n Source Syntax :- [#LABEL] OPCODE [OPERAND1] [OPERAND2]", 0},
    {"\n All labels must be prefixed by a '#'", 0},
    {"\n The psuedo instruction 'JMP #LABEL' is available and is expanded to the native 'JCB #LABEL 0' form", 0},
    {"\n\n Preprocessor directive 'PAT' (PATtern Image) is supported for pattern memory images", 0},
    {"\n Syntax :- PAT [#LABEL] VALUE [ADDRESS]", 0},
    {"\n Pattern memory values must be either a numeric operand or have been DEFined previously in the program "
     "code", 0},
    {"\n The address field is optional and defines an absolute address from the VRT perspective. If the address "
     "field is", 0},
    {"\n specified, the label field must also be present. Note; ORGing to an appropriate address is the preferred "
     "option", 0},
    {"\n\n Preprocessor directive 'DEF' (DEFine constant) is supported for source code symbolic definitions", 0},
    {"\n Syntax :- DEF #LABEL VALUE", 0},
    {"\n Values must be DEFined before using them in the program code", 0},
    {"\n\n The psuedo instructions 'AND','OR', 'NOT', and 'XOR' can be used up to 7 levels deep in DEF statements",
     0},
    {"\n Syntax :- DEF #LABEL VALUE OR VALUE AND VALUE AND NOT VALUE", 0},
    {"\n Previously DEFined values can be used as the operands but grouping by parenthasis is not supported.", 0},
    {"\n\n Preprocessor directive 'ORG' (ORiGin memory pointer) is supported for pattern and program memory "
     "segments", 0},
    {"\n Syntax :- [#LABEL] ORG SEGMENT ADDRESS - Segment definition must be either 'PGM' or 'PAT'", 0},
    {"\n Note: The ORG PAT statement sets the pattern memory origin with respect", 0},
    {"\n       to the VRT perspective but the ORG PGM sets the program origin with", 0},
    {"\n       respect to the KRX perspective", 0},
    {"\n\n Preprocessor directive 'INC' can be used to include another file within the assembly pass.", 0},
    {"\n Syntax :- INC FILENAME - The file name can include a path. Important: The filename and path will", 0},
    {"\n be interpreted using capital letters. This has implications for the LINUX user. Nested includes", 0},
    {"\n are permitted. Maximum INClude depth is %u", kMaxIncludeDepth},
    {"\n\n A prefix can be used on numerical operands to specify the base in:-", 0},
    {"\n    Decimal : (d)[Number]", 0},
    {"\n    Hex     : (x/h)[Number]", 0},
    {"\n    Binary  : (b)[Number]", 0},
    {"\n\n Maximum source code line length is %u characters (excluding comments)", kMaxLineLength},
    {"\n Maximum operand token length is %u characters.", kMaxTokenLength},
    {"\n", 0},
};
static_assert(sizeof kUsage / sizeof kUsage[0] == 41, "the usage text is 41 writes");

}  // namespace

void parseOption(AsmState& st, const char* word) {
    if (word[0] != '-') return;
    for (const char* p = word + 1; *p != '\0'; p++) {
        switch (*p) {
            case 'a':
                // The rest of the word is the name; a name no path could have is never opened.
                st.appendNameTooLong = !copyText(st.appendFileName, sizeof st.appendFileName, p + 1);
                return;
            case 'd': st.dumpListing = true; break;
            case 'i': st.outputFormat = DebugHwFormat; break;
            case 'p': st.outputFormat = ConfigToolFormat; break;
            case 's':
                st.silent = true;
                st.dumpListing = false;
                break;
            default:
                // An unknown letter is counted, never named, and not at all once silent.
                if (!st.silent) st.warningCount++;
        }
    }
}

void printUsage(const AsmState& st) {
    for (const UsagePiece& piece : kUsage) fprintf(st.console, piece.text, piece.value);
}

int walkCommandLine(AsmState& st, int count, const char* const* words, CommandLine& names) {
    names = CommandLine{};
    if (count < 2) return -1;
    if (count == 2) {
        names.sourceName = words[0];
        names.targetName = words[1];
        return 0;
    }
    int i = 0;
    while (i < count && words[i][0] == '-') parseOption(st, words[i++]);
    if (i < count) names.sourceName = words[i++];
    if (i < count) names.targetName = words[i];
    return names.targetName != nullptr ? 0 : -1;
}

}  // namespace qvek
