#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/gather.h"
#include "source/files.h"

namespace qvek::diag {

namespace {

constexpr size_t kTypicalLineBytes = 32;  // sizes a file's line table before its lines are counted

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

// The lines are views of the bytes, which the file keeps: one allocation for a file, none for each line.
void splitLines(std::shared_ptr<const std::string> bytes, CheckedFile& file) {
    const char* const begin = bytes->data();
    const char* const end = begin + bytes->size();
    file.lines.reserve(bytes->size() / kTypicalLineBytes + 1);
    for (const char* start = begin; start < end;) {
        const char* stop = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
        const char* next = stop == nullptr ? end : stop + 1;
        if (stop == nullptr)
            stop = end;
        else if (stop > start && stop[-1] == '\r')
            stop--;
        file.lines.emplace_back(start, static_cast<size_t>(stop - start));
        start = next;
    }
    file.text = std::move(bytes);
}

// The file as the check first met it, read whole once: both passes get the same bytes.
FileText& textFor(Gathered& g, const char* name) {
    const auto [at, fresh] = g.texts.try_emplace(name);
    FileText& text = at->second;
    if (fresh) {
        // A check refuses, as the passes do, what need not read the same twice: from disk by their own
        // rule, through an opener by what the opener says it refuses.
        if (g.options.opener == nullptr)
            text.refused = kindReadOnce(name);
        else if (g.options.openerRefuses != nullptr)
            text.refused = g.options.openerRefuses(g.options.openerContext, name);
        FILE* stream = text.refused != nullptr ? nullptr : openDirectly(g, name);
        text.missing = text.refused == nullptr && stream == nullptr;
        if (stream != nullptr) {
            text.whole = readAll(stream, *text.bytes);
            std::fclose(stream);
        }
    }
    return text;
}

}  // namespace

FILE* openForCheck(void* context, const char* name) {
    Gathered& g = *static_cast<Gathered*>(context);
    FileText& text = textFor(g, name);
    if (text.refused != nullptr || text.missing) return nullptr;
    if (!text.whole) return openDirectly(g, name);
    // The bytes outlive the stream: the check holds them until it ends.
    return fmemopen(text.bytes->data(), text.bytes->size(), "r");
}

const char* refusedForCheck(void* context, const char* name) {
    return textFor(*static_cast<Gathered*>(context), name).refused;
}

void fillLines(Gathered& g, const char* name, CheckedFile& file) {
    const auto known = g.texts.find(name);
    if (known != g.texts.end() && !known->second.bytes->empty()) {
        splitLines(known->second.bytes, file);
        return;
    }
    // Not read by the check's opener (none was set), or nothing read: the file as it is now.
    FILE* stream = known == g.texts.end() ? openDirectly(g, name) : nullptr;
    if (stream == nullptr) return;
    auto bytes = std::make_shared<std::string>();
    readAll(stream, *bytes);
    std::fclose(stream);
    splitLines(std::move(bytes), file);
}

}  // namespace qvek::diag
