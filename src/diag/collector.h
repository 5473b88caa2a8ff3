// The diagnostics of one check as its parts make them: each opens a group that
// the notes added after it join, and the groups are put in reading order once,
// at the end, without moving a diagnostic more than once. Owns Collector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "diag/diagnostic.h"

namespace qvek::diag {

class Collector {
  public:
    /// Makes room for about this many diagnostics, so that they are not moved as they come.
    void expect(size_t count) { items_.reserve(count); groups_.reserve(count); }
    /// Opens a group with a diagnostic, ordered by key among the groups; returns the diagnostic.
    Diagnostic& open(uint64_t order, Diagnostic&& d);
    /// Adds a diagnostic (a note) to the group opened last.
    Diagnostic& add(Diagnostic&& d);
    /// Moves every diagnostic into out, the groups in order of their keys (opening order among equals).
    void moveInto(std::vector<Diagnostic>& out);

  private:
    struct Group {
        uint64_t order;  // reading order
        uint32_t first;  // its first diagnostic in items_
        uint32_t count;  // its diagnostics, set as the next group opens
    };
    std::vector<Diagnostic> items_;
    std::vector<Group> groups_;
};

}  // namespace qvek::diag
