#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/gather.h"
#include "source/files.h"

namespace qvek::diag {

namespace {

// Reads a stream to its end, or to the most a check keeps; true when it was read whole without a fault.
bool readAll(FILE* stream, std::string& bytes) {
    // Sized once where the stream can tell its length; a stream that cannot grows as it is read.
    if (std::fseek(stream, 0, SEEK_END) == 0) {
        const long size = std::ftell(stream);
        if (size > 0) bytes.reserve(std::min<size_t>(static_cast<size_t>(size), kMaxKeptFileSize));
        std::rewind(stream);
    }
    char buffer[1 << 14];
    size_t n;
    while (bytes.size() < kMaxKeptFileSize && (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, n);
    return std::ferror(stream) == 0 && std::feof(stream) != 0;
}

FILE* openDirectly(const Gathered& g, const char* name) {
    return g.options.opener != nullptr ? g.options.opener(g.options.openerContext, name) : std::fopen(name, "r");
}

void splitLines(const std::string& bytes, CheckedFile& file) {
    size_t count = 1;
    for (const char* p = bytes.data(); (p = static_cast<const char*>(
                                            std::memchr(p, '\n', static_cast<size_t>(bytes.data() + bytes.size() - p))));
         p++)
        count++;
    file.lines.reserve(count);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        const bool last = end == std::string::npos;
        if (last) end = bytes.size();
        size_t stop = end;
        if (!last && stop > start && bytes[stop - 1] == '\r') stop--;
        file.lines.emplace_back(bytes.data() + start, stop - start);
        start = end + 1;
    }
}

}  // namespace

FILE* openForCheck(void* context, const char* name) {
    Gathered& g = *static_cast<Gathered*>(context);
    const auto [at, fresh] = g.texts.try_emplace(name);
    FileText& text = at->second;
    if (fresh) {
        // Without an opener of its own a check refuses, as the passes do, what need not read the same twice.
        if (g.options.opener == nullptr) text.refused = kindReadOnce(name);
        FILE* stream = text.refused != nullptr ? nullptr : openDirectly(g, name);
        text.missing = text.refused == nullptr && stream == nullptr;
        if (stream != nullptr) {
            text.whole = readAll(stream, text.bytes);
            std::fclose(stream);
        }
    }
    if (text.refused != nullptr || text.missing) return nullptr;
    if (!text.whole) return openDirectly(g, name);
    // The bytes outlive the stream: the check holds them until it ends.
    return fmemopen(text.bytes.data(), text.bytes.size(), "r");
}

void fillLines(Gathered& g, const char* name, CheckedFile& file) {
    const auto known = g.texts.find(name);
    if (known != g.texts.end() && !known->second.bytes.empty()) {
        splitLines(known->second.bytes, file);
        return;
    }
    // Not read by the check's opener (none was set), or nothing read: the file as it is now.
    FILE* stream = known == g.texts.end() ? openDirectly(g, name) : nullptr;
    if (stream == nullptr) return;
    std::string bytes;
    readAll(stream, bytes);
    std::fclose(stream);
    splitLines(bytes, file);
}

}  // namespace qvek::diag
