// libFuzzer entry for the inspector: the input bytes are a load file, read
// back and, when they read, listed, turned into source text, pictured and
// converted to every output qvekdump writes, all into a null sink. A fresh
// record per input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "inspect/exports.h"
#include "inspect/listing.h"
#include "inspect/load_image.h"
#include "inspect/memory_picture.h"

namespace {

FILE* nullSink = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nullSink = std::fopen("/dev/null", "w");
    if (nullSink == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A stream over the bytes themselves; an empty one has no memory to stand on.
    FILE* in = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::fopen("/dev/null", "rb");
    if (in == nullptr) std::abort();
    auto inspection = std::make_unique<qvek::Inspection>();
    inspection->loadName = "fuzz.ucd";
    if (qvek::readLoadFile(in, inspection->image) == 0) {
        qvek::prepareInspection(*inspection, nullptr);
        qvek::writeListing(*inspection, nullSink);
        qvek::writeSourceText(*inspection, nullSink);
        auto picture = std::make_unique<qvek::MemoryPicture>();
        qvek::pictureLoadFile(*picture, *inspection);
        qvek::writeMemorySvg(*picture, nullSink);
        for (qvek::Memory memory : {qvek::Memory::Program, qvek::Memory::Pattern}) {
            qvek::writeReadmemh(inspection->image, memory, inspection->loadName, nullSink);
            qvek::writeIntelHex(inspection->image, memory, nullSink);
        }
        for (qvek::OutputFormat layout : {qvek::DebugHwFormat, qvek::ConfigToolFormat}) {
            if (qvek::writeLayout(inspection->image, layout, nullSink) < 0) std::abort();
            if (qvek::copyAppended(inspection->image, in, nullSink) < 0) std::abort();
        }
    }
    std::fclose(in);
    return 0;
}
