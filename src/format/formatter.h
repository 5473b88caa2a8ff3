// The formatter's engine, shared by qvekfmt and the language server: one
// layout for every source, applied line by line to text read exactly as the
// assembler reads it. Owns the layout's columns and the notes about lines it
// leaves alone; writes nothing but the text it returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvek::format {

// Why a line was left exactly as it stood.
enum class Untouched : uint8_t {
    TooLong,     // longer than the assembler takes once its blanks are collapsed
    OddByte,     // a control character or a byte beyond ASCII before its comment
    DroppedByte, // a carriage return or form feed among its tokens, which the assembler reads past
};

struct Note {
    uint32_t line;  // from 1
    Untouched why;
};

// A whole file formatted; its line i is line i of the input, always.
struct Formatted {
    std::string text;         // empty when the text went to a sink
    std::vector<Note> notes;  // lines left as they stood, in order, that the assembler cannot read as written
    bool isText = true;       // false: the input holds a zero byte (text empty, notes empty)
    uint32_t zeroLine = 0;    // the line of the first zero byte, when !isText
};

// Takes a formatting's text in pieces, in order. The formatter has allocated
// all it needs before the first piece: a failure leaves nothing half-written.
class Sink {
  public:
    virtual void put(std::string_view piece) = 0;

  protected:
    ~Sink() = default;
};

/// Formats a whole source; the same text always gives the same result, and formatting that again changes nothing.
Formatted formatSource(std::string_view source);
/// The same, its text put into out in pieces rather than into the result's text.
Formatted formatSource(std::string_view source, Sink& out);
/// The lines of a text, each with its line feed when it has one: line i of a source is line i of its formatting.
std::vector<std::string_view> linesWithEnds(std::string_view text);
/// What a note means, as a phrase that follows "line N".
const char* describe(Untouched why);

}  // namespace qvek::format
