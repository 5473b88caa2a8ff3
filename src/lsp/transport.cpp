#include "lsp/transport.h"

#include <cstring>

namespace qvek::lsp {

namespace {

constexpr char kLengthHeader[] = "content-length:";
constexpr size_t kLengthHeaderSize = sizeof kLengthHeader - 1;

bool startsWithFolded(const std::string& text, size_t at, const char* prefix, size_t size) {
    if (text.size() - at < size) return false;
    for (size_t i = 0; i < size; i++) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The value of one Content-Length line, or -1 when it is no plain decimal count in range.
long long parseLength(const std::string& block, size_t at, size_t end) {
    while (at < end && (block[at] == ' ' || block[at] == '\t')) at++;
    long long value = 0;
    size_t digits = 0;
    for (; at < end && block[at] >= '0' && block[at] <= '9'; at++, digits++) {
        value = value * 10 + (block[at] - '0');
        if (value > static_cast<long long>(kMaxBodySize)) return -1;
    }
    while (at < end && (block[at] == ' ' || block[at] == '\t')) at++;
    return digits > 0 && at == end ? value : -1;
}

}  // namespace

size_t findHeader(const std::string& text, size_t from, size_t to) {
    // Anywhere, not only at a line start: after a body cut short, the next
    // header follows its last bytes directly.
    for (size_t at = from; at < text.size() && at < to; at++)
        if (startsWithFolded(text, at, kLengthHeader, kLengthHeaderSize)) return at;
    return std::string::npos;
}

void FrameReader::feed(const char* bytes, size_t size) {
    compact();
    buffer_.append(bytes, size);
}

void FrameReader::compact() {
    // Taken bytes are dropped once they are half the buffer, so feeding stays linear.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
}

void FrameReader::reframe(const std::string& body, size_t offset) {
    if (offset >= body.size()) return;
    buffer_.replace(0, start_, body, offset, std::string::npos);
    start_ = 0;
}

Frame FrameReader::next(std::string& body) {
    // Bytes before the first header belong to no message (the rest of a body
    // cut short by a wrong length): they are skipped.
    const size_t header = findHeader(buffer_, start_);
    if (header == std::string::npos) {
        // Keep a tail that may be the start of a header still arriving.
        const size_t keep = kLengthHeaderSize;
        if (buffered() > keep) start_ = buffer_.size() - keep;
        return Frame::None;
    }
    start_ = header;
    const char* blockEnd =
        static_cast<const char*>(memmem(buffer_.data() + start_, buffer_.size() - start_, "\r\n\r\n", 4));
    if (blockEnd == nullptr) {
        if (buffered() <= kMaxHeaderSize) return Frame::None;
        start_ += kLengthHeaderSize;  // no header block ends: skip this header
        return Frame::BadHeader;
    }
    const size_t end = static_cast<size_t>(blockEnd - buffer_.data());
    const size_t bodyStart = end + 4;
    // A second header before the block ends: the first block lacked its blank line (or used bare line
    // feeds), and the block found belongs to the next message, which is framed from its own header.
    const size_t second = findHeader(buffer_, start_ + kLengthHeaderSize, end);
    if (second != std::string::npos) {
        start_ = second;
        return Frame::BadHeader;
    }
    // Each header line; the Content-Length line gives the size.
    long long length = -1;
    for (size_t line = start_; line < end;) {
        const char* lineEnd = static_cast<const char*>(memmem(buffer_.data() + line, end - line, "\r\n", 2));
        const size_t stop = lineEnd != nullptr ? static_cast<size_t>(lineEnd - buffer_.data()) : end;
        if (startsWithFolded(buffer_, line, kLengthHeader, kLengthHeaderSize))
            length = parseLength(buffer_, line + kLengthHeaderSize, stop);
        line = stop + 2;
    }
    if (length < 0 || end - start_ > kMaxHeaderSize) {
        start_ = bodyStart;
        return Frame::BadHeader;
    }
    if (buffer_.size() - bodyStart < static_cast<size_t>(length)) return Frame::None;
    body.assign(buffer_, bodyStart, static_cast<size_t>(length));
    start_ = bodyStart + static_cast<size_t>(length);
    return Frame::Body;
}

bool writeFrame(FILE* out, const std::string& body) {
    std::fprintf(out, "Content-Length: %zu\r\n\r\n", body.size());
    std::fwrite(body.data(), 1, body.size(), out);
    return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace qvek::lsp
