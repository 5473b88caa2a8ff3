// qvekfmt's unified diff between a source and its formatted text, which
// always have the same lines, each changed in place. Writes only the text it returns.
#pragma once

#include <string>
#include <string_view>

namespace qvek::fmt {

// Unchanged lines shown around each change.
constexpr size_t kContextLines = 3;

/// The unified diff from before to after, both named name; empty when they are equal.
std::string unifiedDiff(const std::string& name, std::string_view before, std::string_view after);

}  // namespace qvek::fmt
