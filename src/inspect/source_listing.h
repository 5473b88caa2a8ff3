// The listing of a source: every line of it and of its includes in reading
// order, exactly as typed, with its line number, the address and nibbles it
// assembled to, what DEF, PAT and ORG did and the messages it drew. The
// source is assembled once for its record (messages of pass 2 and after are
// kept in a temporary file), then pass 1 runs again while the files are read
// beside it line by line, so nothing grows with the source. Messages that
// belong to no line (between and after the passes) close the listing. Owns
// SourceListing; reads the states it assembles only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/asm_state.h"
#include "inspect/record.h"
#include "inspect/source_names.h"

namespace qvek {

constexpr int kListingLineWidth = 6;     // the line-number column
constexpr int kListingAddressWidth = 6;  // "0x1a3" or a host address "0x0040"
constexpr int kListingDataWidth = 12;    // nibbles, "= 0x0000000b", "origin" or "ignored"

class SourceListing {
  public:
    /// Returns a listing ready to assemble, or null without memory (or without a temporary file).
    static std::unique_ptr<SourceListing> create();
    ~SourceListing();
    SourceListing(const SourceListing&) = delete;
    SourceListing& operator=(const SourceListing&) = delete;

    /// Assembles the source for its record, printing its messages to `messages` as qvek prints them.
    SourceResult assemble(const char* sourceName, FILE* messages);
    /// Returns the record of that assembly: the files it read, among other things.
    const Record& record() const { return *record_; }
    /// Writes the listing (up to the failure, for a source that failed); returns 0, or -1 when the files
    /// cannot be read again.
    int write(FILE* out);

  private:
    SourceListing() = default;
    const char* sourceName_ = nullptr;
    std::unique_ptr<AsmState> first_;  // the assembly of the record: the final image
    std::unique_ptr<Record> record_;
    FILE* later_ = nullptr;   // messages of pass 2, with the line each belongs to
    std::string afterwards_;  // messages issued between and after the passes
};

}  // namespace qvek
