// qvekfmt's files: a source read whole, within limits no source comes near,
// and a file rewritten in place through a temporary file beside it, so that
// it is either wholly the old text or wholly the new one. Writes only the
// files it is asked to, and its messages into the strings it returns.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace qvek::fmt {

// More than any source holds: anything larger, or with a longer line, is not one.
constexpr size_t kMaxSourceBytes = size_t{256} << 20;
constexpr size_t kMaxLineBytes = size_t{1} << 20;

// A file as it was read.
struct Source {
    std::string text;
    struct stat status = {};  // of the file read, as it stood once read whole
};

/// Reads a named file ("-": standard input) whole; false with *why set when it cannot be read or is no source.
bool readSource(const std::string& name, bool forRewrite, Source& source, std::string* why);
/// Replaces a file read by readSource with text, keeping its permissions; false with *why set, the file as it was.
bool rewriteSource(const std::string& name, const Source& source, const std::string& text, std::string* why);

}  // namespace qvek::fmt
