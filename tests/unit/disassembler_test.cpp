// Decoding program memory with the instruction-format table, zero runs, and
// which names the listing may put where.
#include "inspect/disassembler.h"

#include <string>
#include <vector>

#include "inspect_support.h"

namespace qvek::test {
namespace {

class Disassembler : public ::testing::Test {
  protected:
    // Assembles source and disassembles its first `end` nibbles, named from the source or not.
    void take(const std::string& source, uint32_t end, bool named) {
        st = std::make_unique<AsmState>();
        ASSERT_EQ(assembleBoth(*st, source), 0) << source;
        prepareNames(*names, named ? st.get() : nullptr, kPatternSlots);
        disassemble(st->programImage, end, *names, *program);
        names->program = program.get();
    }

    // Every item as "address:statement", zero runs as "address:zero*size".
    std::vector<std::string> items() {
        std::vector<std::string> result;
        for (uint32_t i = 0; i < program->count; i++) {
            const ProgramItem& item = program->items[i];
            char text[kStatementTextSize];
            if (item.kind == ItemKind::ZeroRun)
                std::snprintf(text, sizeof text, "zero*%u", item.size);
            else
                statementText(item.instruction, *names, text);
            result.push_back(std::to_string(item.address) + ":" + text);
        }
        return result;
    }

    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    std::unique_ptr<Names> names = std::make_unique<Names>();
    std::unique_ptr<Disassembly> program = std::make_unique<Disassembly>();
};

using Items = std::vector<std::string>;

TEST_F(Disassembler, DecodesEveryInstruction) {
    take(
        "LPP 5\nIPP\nDPP\nLDA 255\nLMR 15\nLSR H12\nCAL H123\nRET\nJCB H456 7\nLRB 1\nLPB\nLPE\n"
        "DMS 2\nDUS 5\nDSC 5\nNOP\nJMP H789\n",
        60, false);
    EXPECT_EQ(items(), (Items{"0:LPP H005", "4:IPP", "5:DPP", "6:LDA HFF", "9:LMR HF", "11:LSR H12", "14:CAL H123",
                              "18:RET", "19:JCB H456 H7", "24:LRB H1", "26:LPB", "27:LPE", "28:DMS H02", "31:DUS H05",
                              "34:DSC H05", "37:NOP", "38:JMP H789", "43:zero*17"}));
    EXPECT_EQ(program->usedEnd, 43u);
}

TEST_F(Disassembler, ShowsJcbWithConditionZeroAsJmp) {
    take("JCB 5 0\nJCB 5 1\nDEF #ZERO 0\nJCB 5 #ZERO\n", 15, false);
    EXPECT_EQ(items(), (Items{"0:JMP H005", "5:JCB H005 H1", "10:JMP H005"}));
}

TEST_F(Disassembler, GathersZeroNibbles) {
    // Three NOPs stay statements; four or more zero nibbles are one run; the zeros after the last
    // instruction are one unused run however short.
    take("RET\nNOP\nNOP\nNOP\nRET\nORG PGM 20\nRET\nNOP\n", 24, false);
    EXPECT_EQ(items(), (Items{"0:RET", "1:NOP", "2:NOP", "3:NOP", "4:RET", "5:zero*15", "20:RET", "21:zero*3"}));
    EXPECT_EQ(program->usedEnd, 21u);
    // An operand's zero nibbles belong to its instruction, not to a run.
    take("LDA 0\nRET\n", 4, false);
    EXPECT_EQ(items(), (Items{"0:LDA H00", "3:RET"}));
}

TEST_F(Disassembler, LabelsSplitZeroRunsAndNameTargets) {
    take("#A RET\nORG PGM 10\n#B\nORG PGM 12\n#C RET\nCAL #A\nCAL #B\nJMP #C\n#END\n", 32, true);
    EXPECT_EQ(items(), (Items{"0:RET", "1:zero*9", "10:NOP", "11:NOP", "12:RET", "13:CAL #A", "17:CAL #B", "21:JMP #C",
                              "26:zero*6"}));
    EXPECT_EQ(labelAt(*names, 26), 3);  // #END: the unused run still starts at its address
}

TEST_F(Disassembler, NamesOnlyWhatReadsBackTheSame) {
    take(
        "DEF #ONE 1\nDEF #UNO 1\nDEF #SEVEN 7\nDEF #SEVEN 8\nDEF NOHASH 9\n"
        "PAT #P 5\nPAT X 6\nPAT #P 7\n"
        "#L LMR 1\nLMR 7\nLMR 8\nLMR 9\nLPP 0\nLPP 1\nLPP 2\n"
        "#L RET\n#IN LDA 0\nORG PGM 16\nCAL #L\nCAL 14\nCAL #IN\n",
        36, true);
    EXPECT_EQ(items(),
              (Items{"0:LMR H1",      // #ONE and #UNO both have the value: neither is named
                     "2:LMR #SEVEN",  // the first definition of #SEVEN
                     "4:LMR H8",      // only the second definition has this value
                     "6:LMR H9",      // a name without '#' can never be written
                     "8:LPP #P",      // slot 1 is labelled X, which LPP could not look up
                     "12:LPP H001", "16:CAL #L", "20:CAL H00E",
                     "24:CAL H015",  // #IN: ORG PGM 16 wrote over it, no statement starts there now
                     "28:zero*8"}));
    EXPECT_EQ(labelAt(*names, 21), 2);
    EXPECT_EQ(labelAt(*names, 20), -1);  // the second #L: lookups only ever find the first
    EXPECT_FALSE(itemStartsAt(*program, 21));
    // The second #P (slot 2) never counts either; nor does a slot the load file does not hold.
    EXPECT_EQ(patternLabelOf(*names, 0), std::string("#P"));
    EXPECT_EQ(patternLabelOf(*names, 2), nullptr);
    prepareNames(*names, st.get(), 0);
    EXPECT_EQ(patternLabelOf(*names, 0), nullptr);
}

TEST_F(Disassembler, KeepsStatementsWithinALine) {
    const std::string label = "#" + std::string(79, 'L');
    const std::string constant = "#" + std::string(79, 'C');
    take(label + "\nDEF " + constant + " 3\nJCB 0 3\n", 5, true);
    EXPECT_EQ(items(), (Items{"0:JCB " + label + " H3"}));
}

}  // namespace
}  // namespace qvek::test
