// The inspector's central promise, over many generated programs: a load file
// disassembled to source text assembles to the same load file, with or
// without the source's names, in both layouts, also where origins overlap and
// operands left behind look like opcodes.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "inspect/exports.h"
#include "inspect_support.h"

namespace qvek::test {
namespace {

constexpr int kPrograms = 300;
constexpr uint32_t kProgramLimit = 3900;  // leaves room for the longest instruction and a last origin

// Random valid sources built from the whole instruction set and the directives.
class SourceGenerator {
  public:
    explicit SourceGenerator(uint32_t seed) : rng_(seed) {}

    std::string program() {
        text_.clear();
        constants();
        patterns();
        statements();
        return text_;
    }

  private:
    uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

    // A number in any of the source language's bases.
    std::string number(uint32_t value) {
        char text[48];
        switch (pick(5)) {
            case 0: std::snprintf(text, sizeof text, "%u", value); break;
            case 1: std::snprintf(text, sizeof text, "H%X", value); break;
            case 2: std::snprintf(text, sizeof text, "0X%X", value); break;
            case 3: std::snprintf(text, sizeof text, "D%u", value); break;
            default: {
                std::string bits = "B";
                for (int b = 31; b >= 0; b--)
                    if (value >> b != 0) bits += (value >> b & 1) != 0 ? '1' : '0';
                return value == 0 ? "B0" : bits;
            }
        }
        return text;
    }

    std::string value(uint32_t nibbles) {
        if (constantValues_.size() > 0 && pick(4) == 0) return "#C" + std::to_string(pick(constantValues_.size()));
        return number(pick(1u << (4 * nibbles)));
    }

    void line(const std::string& text) { text_ += text + "\n"; }

    void constants() {
        constantValues_.clear();
        const uint32_t count = pick(8);
        for (uint32_t i = 0; i < count; i++) {
            const uint32_t v = pick(3) == 0 ? static_cast<uint32_t>(rng_()) : pick(16);
            constantValues_.push_back(v);
            line("DEF #C" + std::to_string(i) + " " + number(v));
        }
        if (count > 0 && pick(3) == 0) line("DEF #C0 " + number(pick(16)));  // a second definition never counts
    }

    void patterns() {
        patternLabels_ = 0;
        const uint32_t count = pick(14);
        for (uint32_t i = 0; i < count; i++) {
            const std::string v = pick(4) == 0 ? number(static_cast<uint32_t>(rng_())) : number(pick(3) * 7);
            switch (pick(8)) {
                case 0: line("ORG PAT " + number(2 * pick(60))); break;  // below the words placed by address
                case 1: line("PAT " + v); break;
                case 3: line("PAT Q" + std::to_string(i) + " " + v); break;  // a label LPP cannot name
                case 2: line("PAT #A" + std::to_string(i) + " " + v + " " + number(200 + pick(120))); break;
                default: line("PAT #P" + std::to_string(patternLabels_++) + " " + v); break;
            }
        }
    }

    std::string target() {
        if (pick(4) == 0) return number(pick(kProgramLimit));
        return "#L" + std::to_string(pick(labels_));
    }

    std::string instruction(uint32_t& counter) {
        const Keyword& k = kKeywords[pick(kKeywordCount)];
        const InstructionFormat* format = instructionFormat(k.code);
        if (format == nullptr) {  // a directive's word: a NOP instead
            counter++;
            return "NOP";
        }
        counter += format->size;
        std::string text = k.word;
        switch (k.layout) {
            case Layout::Constant1: return text + " " + value(1);
            case Layout::Constant2: return text + " " + value(2);
            case Layout::PatternSlot:
                if (patternLabels_ > 0 && pick(2) == 0) return text + " #P" + std::to_string(pick(patternLabels_));
                return text + " " + number(pick(4096));
            case Layout::Call:
            case Layout::Jump: return text + " " + target();
            case Layout::Branch: return text + " " + target() + " " + value(1);
            default: return text;
        }
    }

    void statements() {
        labels_ = 1 + pick(12);
        const uint32_t count = pick(3) == 0 ? 300 + pick(500) : pick(60);
        // Every label is defined somewhere, so every reference resolves in pass 2.
        std::vector<uint32_t> labelAt(labels_);
        for (uint32_t& at : labelAt) at = pick(count + 1);
        uint32_t counter = 0;
        for (uint32_t s = 0; s <= count; s++) {
            std::string label;
            for (uint32_t l = 0; l < labels_; l++)
                if (labelAt[l] == s) {
                    if (!label.empty()) line(label);  // several labels of one address
                    label = "#L" + std::to_string(l);
                }
            if (s == count || counter > kProgramLimit) {
                if (!label.empty()) line(label);
                break;
            }
            if (pick(25) == 0) {
                counter += pick(40);
                line(label + " ORG PGM " + number(counter));
            } else if (pick(20) == 0) {
                // Back over the last few nibbles: what follows overwrites them.
                counter -= pick(std::min(counter, 6u) + 1);
                line(label + " ORG PGM " + number(counter));
            } else if (pick(12) == 0) {
                const uint32_t nops = 1 + pick(6);
                for (uint32_t n = 0; n < nops; n++, counter++) line((n == 0 ? label : "") + " NOP");
            } else {
                line(label + " " + instruction(counter));
            }
        }
        // A last instruction whose opcode a NOP overwrites: its operands, which may
        // look like opcodes, are left behind at the end of the used memory.
        if (pick(3) == 0 && counter + kMaxInstructionSize < kProgramLimit) {
            const uint32_t start = counter;
            line(instruction(counter));
            line("ORG PGM " + number(start));
            line("NOP");
        }
        // A used size beyond the last instruction, as a last origin leaves it.
        if (pick(4) == 0) line("ORG PGM " + number(counter + pick(30)));
        if (pick(6) == 0) line("#L0 NOP");  // a repeated label: the first stays in force
    }

    std::mt19937 rng_;
    std::string text_;
    std::vector<uint32_t> constantValues_;
    uint32_t patternLabels_ = 0;
    uint32_t labels_ = 1;
};

TEST(RoundTrip, SourceTextAssemblesToTheSameLoadFile) {
    for (int seed = 0; seed < kPrograms; seed++) {
        const std::string source = SourceGenerator(static_cast<uint32_t>(seed)).program();
        auto st = std::make_unique<AsmState>();
        ASSERT_EQ(assembleBoth(*st, source), 0) << "generated source " << seed << ":\n" << source;
        for (OutputFormat layout : {ConfigToolFormat, DebugHwFormat}) {
            const std::string original = loadFileOf(*st, layout);
            // With neither segment the debug-hardware layout is an empty file: nothing to read back.
            if (original.empty() && layout == DebugHwFormat && st->programHighWater == 0 && st->patternHighWater == 0)
                continue;
            for (const AsmState* names :
                 {static_cast<const AsmState*>(nullptr), static_cast<const AsmState*>(st.get())}) {
                const auto inspection = inspect(original, names);
                const std::string text = written([&](FILE* out) { writeSourceText(*inspection, out); });
                auto again = std::make_unique<AsmState>();
                ASSERT_EQ(assembleBoth(*again, text), 0) << "seed " << seed << ", text:\n" << text;
                EXPECT_EQ(again->warningCount, 0) << "seed " << seed << ", text:\n" << text;
                ASSERT_EQ(loadFileOf(*again, layout), original)
                    << "seed " << seed << (names != nullptr ? " with names" : "") << "\nsource:\n"
                    << source << "\ntext:\n"
                    << text;
                // The listing reads the same tables; it must hold together on any program.
                EXPECT_FALSE(written([&](FILE* out) { writeListing(*inspection, out); }).empty());
            }
        }
    }
}

TEST(RoundTrip, ConfigToolThroughDebugHwIsUnchanged) {
    for (int seed = 0; seed < kPrograms; seed += 3) {
        auto st = std::make_unique<AsmState>();
        ASSERT_EQ(assembleBoth(*st, SourceGenerator(static_cast<uint32_t>(seed)).program()), 0);
        const std::string original = loadFileOf(*st, ConfigToolFormat);
        LoadImage image;
        ASSERT_EQ(readText(original, image), 0);
        const std::string debugHw = written([&](FILE* out) { writeLayout(image, DebugHwFormat, out); });
        LoadImage converted;
        ASSERT_EQ(readText(debugHw, converted), 0) << converted.error;
        EXPECT_EQ(converted.programWords, image.programWords);
        EXPECT_EQ(converted.patternSlots, image.patternSlots);
        EXPECT_EQ(written([&](FILE* out) { writeLayout(converted, ConfigToolFormat, out); }), original) << seed;
    }
}

}  // namespace
}  // namespace qvek::test
