#include "source/reader.h"

namespace qvek {

namespace {

char upperCase(int c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

ReadResult readSourceLine(AsmState& st, char* line, FILE* stream) {
    uint32_t length = 0;
    bool inComment = false;
    // A blank is held back until a later character proves it is not trailing,
    // so the length limit applies to the line as delivered.
    bool pendingBlank = false;

    for (;;) {
        const int c = getc_unlocked(stream);
        if (c == EOF) {
            if (ferror(stream)) return ReadFailed;
            if (length == 0) return EndOfFile;
            // A last line without a line feed is a line like any other.
            st.currentLine++;
            break;
        }
        if (c == '\r' || c == '\f') continue;
        if (c == '\n') {
            st.currentLine++;
            inComment = false;
            if (length == 0) continue;
            break;
        }
        if (c == '*') {
            inComment = true;
            continue;
        }
        if (inComment) continue;
        // A zero byte would end the stored line early and lose what follows it.
        if (c == '\0') {
            st.currentLine++;
            return ZeroByte;
        }
        if (c == ' ' || c == '\t') {
            if (length > 0) pendingBlank = true;
            continue;
        }
        if (length + (pendingBlank ? 1 : 0) >= kMaxLineLength) {
            st.currentLine++;
            return LineTooLong;
        }
        if (pendingBlank) {
            line[length++] = ' ';
            pendingBlank = false;
        }
        line[length++] = upperCase(c);
    }
    line[length] = '\0';
    return LineRead;
}

}  // namespace qvek
