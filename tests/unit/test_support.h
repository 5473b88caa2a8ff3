// Shared by the unit tests: a fresh state on the heap with its console
// captured, source texts handed over as streams, and pass 1 run over a text.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/asm_state.h"
#include "core/symbols.h"
#include "passes/pass1.h"

namespace qvek::test {

// The name messages give for the file being read.
constexpr const char* kSource = "test.qvs";

// A stream that keeps everything written to it.
class Capture {
  public:
    Capture() : stream_(open_memstream(&buffer_, &size_)) {}
    ~Capture() {
        std::fclose(stream_);
        std::free(buffer_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    FILE* stream() const { return stream_; }
    std::string text() {
        std::fflush(stream_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

// A readable stream holding text (any bytes), positioned at its start.
inline FILE* streamOf(const std::string& text) {
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

// A fresh working folder for files the passes open by name; left again at the end.
class Folder {
  public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvek_test_XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~Folder() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

  private:
    std::string path_;
    std::filesystem::path previous_;
};

// Every test starts from a state as the process starts, reading kSource.
class StateTest : public ::testing::Test {
  protected:
    StateTest() {
        st->console = console.stream();
        copyText(st->includeNames[0], sizeof st->includeNames[0], kSource);
    }

    std::string out() { return console.text(); }

    // Pass 1 over text as the main source, counting its lines from 1 as the run does.
    int assemble(const std::string& text) {
        st->currentLine = 0;
        return runPass1(*st, streamOf(text));
    }

    // Program nibbles from..from+count-1 as hexadecimal digits, lowest address first.
    std::string nibbles(uint32_t from, uint32_t count) const {
        std::string digits;
        for (uint32_t a = from; a < from + count; a++) digits += "0123456789ABCDEF"[st->programImage[a] & 0xF];
        return digits;
    }

    // The value of the first constant of that name (the test fails when there is none).
    int32_t constant(const char* name) const {
        const int i = findDefinition(*st, name);
        EXPECT_GE(i, 0) << name;
        return i < 0 ? 0 : st->definitions[i].value;
    }

    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    Capture console;
};

}  // namespace qvek::test
