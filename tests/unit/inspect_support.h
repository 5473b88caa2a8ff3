// Shared by the inspector's tests: sources assembled in-process by both
// passes, load files written by the assembler's writers and read back.
#pragma once

#include <memory>
#include <string>

#include "inspect/listing.h"
#include "inspect/load_image.h"
#include "output/load_file.h"
#include "passes/pass2.h"
#include "test_support.h"

namespace qvek::test {

constexpr const char* kStamp = "05-Mar-2024 14:07:09";

// Both passes over text as the main source kSource, silently, as the run does them.
inline int assembleBoth(AsmState& st, const std::string& text) {
    st.silent = true;
    copyText(st.includeNames[0], sizeof st.includeNames[0], kSource);
    st.currentLine = 0;
    if (runPass1(st, streamOf(text)) < 0) return -1;
    st.programCounter = 0;
    st.currentLine = 0;
    return runPass2(st, streamOf(text));
}

// Everything a writer puts on a stream.
template <typename Write>
std::string written(Write write) {
    Capture out;
    write(out.stream());
    return out.text();
}

// The load file the assembler writes for st in a layout, with a fixed time stamp.
inline std::string loadFileOf(AsmState& st, OutputFormat layout) {
    st.outputFormat = layout;
    return written([&](FILE* out) {
        if (layout == DebugHwFormat)
            writeDebugHwFile(st, out, kSource, kStamp);
        else
            writeConfigToolFile(st, out, kSource, kStamp);
    });
}

inline int readText(const std::string& text, LoadImage& image) {
    FILE* in = streamOf(text);
    const int result = readLoadFile(in, image);
    std::fclose(in);
    return result;
}

// A load file read back and prepared for the listing, named from st (or not).
inline std::unique_ptr<Inspection> inspect(const std::string& loadFile, const AsmState* st) {
    auto inspection = std::make_unique<Inspection>();
    inspection->loadName = "test.ucd";
    inspection->sourceName = st != nullptr ? kSource : nullptr;
    EXPECT_EQ(readText(loadFile, inspection->image), 0) << inspection->image.error;
    prepareInspection(*inspection, st);
    return inspection;
}

}  // namespace qvek::test
