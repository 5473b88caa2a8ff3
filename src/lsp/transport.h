// The byte stream of the protocol: messages framed by a Content-Length header
// block. FrameReader takes bytes as they arrive and hands out whole message
// bodies; writeFrame frames one body. Owns no protocol meaning.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace qvek::lsp {

// The largest body accepted: room for a document of tens of megabytes.
constexpr size_t kMaxBodySize = 64u << 20;
// The largest header block: a few header lines, never a body.
constexpr size_t kMaxHeaderSize = 4096;

enum class Frame : unsigned char {
    None,       // no whole message buffered yet
    Body,       // a body was taken
    BadHeader,  // a header block without a usable Content-Length was skipped
};

class FrameReader {
  public:
    /// Appends bytes read from the stream.
    void feed(const char* bytes, size_t size);
    /// Takes the next whole body into body, or tells why there is none.
    Frame next(std::string& body);
    /// Puts a body back to be framed again from offset on: a body that did not
    /// parse may hold the next header, eaten because its length was too long.
    void reframe(const std::string& body, size_t offset);
    /// Bytes held and not yet taken.
    size_t buffered() const { return buffer_.size() - start_; }

  private:
    void compact();
    std::string buffer_;
    size_t start_ = 0;  // first byte not taken
};

/// Offset of the first Content-Length header in text at or after from (and starting before to), or npos.
size_t findHeader(const std::string& text, size_t from, size_t to = std::string::npos);
/// Writes one framed body to out and flushes it; false when the stream failed.
bool writeFrame(FILE* out, const std::string& body);

}  // namespace qvek::lsp
