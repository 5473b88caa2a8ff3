// The indexed name lookups: each rule of the first-match scan, through the
// statements that rely on it, and the indexes held against a plain scan of the
// tables over long random sequences of changes.
#include "core/symbols.h"

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/operands.h"
#include "test_support.h"

namespace qvek::test {
namespace {

using Symbols = StateTest;

TEST_F(Symbols, TheLowestEntryOfANameWins) {
    // Named out of order: index order decides, not the order of naming.
    setDefinitionName(*st, 9, "#A");
    setDefinitionName(*st, 4, "#A");
    setDefinitionName(*st, 6, "#A");
    EXPECT_EQ(findDefinition(*st, "#A"), 4);
    setDefinitionName(*st, 4, "#B");
    EXPECT_EQ(findDefinition(*st, "#A"), 6);
    EXPECT_EQ(findDefinition(*st, "#B"), 4);
    setDefinitionName(*st, 6, "");
    EXPECT_EQ(findDefinition(*st, "#A"), 9);
    // A limit hides the entries from it on.
    EXPECT_EQ(findDefinition(*st, "#A", 9), -1);
    EXPECT_EQ(findDefinition(*st, "#A", 10), 9);
    EXPECT_EQ(findDefinition(*st, "#B", 4), -1);
    EXPECT_EQ(findDefinition(*st, "#B", 5), 4);
    EXPECT_EQ(findDefinition(*st, ""), -1);
}

TEST_F(Symbols, ASecondDefNeverReplacesTheFirst) {
    ASSERT_EQ(assemble("DEF #A 3\nDEF #B 1\nDEF #A 7\nDEF #A 9\nDEF #C #A\nLDA #A\n"), 0);
    EXPECT_EQ(findDefinition(*st, "#A"), 0);
    EXPECT_EQ(constant("#C"), 3);
    EXPECT_EQ(nibbles(1, 2), "30");
    EXPECT_EQ(st->definitions[2].value, 7);
    EXPECT_EQ(st->definitions[3].value, 9);
}

TEST_F(Symbols, ADefSeesItsOwnNameOnlyWhenItIsTheFirst) {
    ASSERT_EQ(assemble("DEF #C 6 XOR #C\n"  // the value so far: 6 XOR 6
                       "DEF #D 5 OR #D AND 12\n"
                       "DEF #E 5\n"
                       "DEF #E 6 XOR #E\n"),  // the earlier #E, not the value so far
              0);
    EXPECT_EQ(constant("#C"), 0);
    EXPECT_EQ(constant("#D"), 4);
    EXPECT_EQ(constant("#E"), 5);
    EXPECT_EQ(st->definitions[3].value, 3);
    EXPECT_EQ(st->warningCount, 0);
}

TEST_F(Symbols, APatByAddressRelabelsItsSlot) {
    ASSERT_EQ(assemble("PAT #A 1 2\n"   // slot 1
                       "PAT #A 2 10\n"  // slot 5, the same label again
                       "PAT #B 3 2\n"   // slot 1 becomes #B: #A now means slot 5
                       "LPP #A\n"
                       "PAT #C 4 10\n"  // slot 5 becomes #C: no #A is left
                       "LPP #B\n"),
              0);
    EXPECT_EQ(nibbles(1, 3), "500");
    EXPECT_EQ(nibbles(5, 3), "100");
    EXPECT_EQ(findPatternLabel(*st, "#A"), -1);
    EXPECT_EQ(findPatternLabel(*st, "#B"), 1);
    EXPECT_EQ(findPatternLabel(*st, "#C"), 5);
    EXPECT_EQ(st->warningCount, 2);
    // A lower slot given an existing label takes over the lookups of it.
    ASSERT_EQ(assemble("PAT #C 5 0\n"), 0);
    EXPECT_EQ(findPatternLabel(*st, "#C"), 0);
    setPatternLabel(*st, 0, "");
    EXPECT_EQ(findPatternLabel(*st, "#C"), 5);
}

TEST_F(Symbols, JumpLabelsAreSeenBelowLabelCountOnly) {
    addProgramLabel(*st, "#A", 1);
    addProgramLabel(*st, "#B", 2);
    addProgramLabel(*st, "#A", 3);
    EXPECT_EQ(findProgramLabel(*st, "#A"), 0);
    st->labelCount = 1;
    EXPECT_EQ(findProgramLabel(*st, "#B"), -1);
    EXPECT_EQ(findProgramLabel(*st, "#A"), 0);
    // The entry at labelCount is named anew: its old name no longer finds it.
    addProgramLabel(*st, "#C", 4);
    EXPECT_EQ(findProgramLabel(*st, "#C"), 1);
    EXPECT_EQ(findProgramLabel(*st, "#B"), -1);
    st->labelCount = 3;
    EXPECT_EQ(findProgramLabel(*st, "#B"), -1);
    st->labelCount = 0;
    EXPECT_EQ(findProgramLabel(*st, "#A"), -1);
    st->labelCount = 3;
    addProgramLabel(*st, "#B", 5);
    EXPECT_EQ(findProgramLabel(*st, "#B"), 3);
}

TEST_F(Symbols, AHashAloneMatchesOnlyAStoredHash) {
    setDefinitionName(*st, 0, "#A");
    setPatternLabel(*st, 0, "#A");
    addProgramLabel(*st, "#A", 0);
    EXPECT_EQ(findDefinition(*st, "#"), -1);
    EXPECT_EQ(findPatternLabel(*st, "#"), -1);
    EXPECT_EQ(findProgramLabel(*st, "#"), -1);
    setDefinitionName(*st, 3, "#");
    setPatternLabel(*st, 7, "#");
    addProgramLabel(*st, "#", 0);
    EXPECT_EQ(findDefinition(*st, "#"), 3);
    EXPECT_EQ(findPatternLabel(*st, "#"), 7);
    EXPECT_EQ(findProgramLabel(*st, "#"), 1);
    // Whole names only: no prefix, no case folding.
    EXPECT_EQ(findDefinition(*st, "#AB"), -1);
    EXPECT_EQ(findDefinition(*st, "#a"), -1);
}

TEST_F(Symbols, EveryTableHoldsItsFullSize) {
    for (uint32_t i = 0; i < kMaxDefinitions; i++) setDefinitionName(*st, i, ("#D" + std::to_string(i % 3000)).c_str());
    for (uint32_t i = 0; i < kPatternSlots; i++) setPatternLabel(*st, i, ("#P" + std::to_string(i)).c_str());
    for (uint32_t i = 0; i < kMaxProgramLabels; i++)
        EXPECT_EQ(addProgramLabel(*st, ("#L" + std::to_string(i)).c_str(), i), static_cast<int>(i));
    EXPECT_EQ(addProgramLabel(*st, "#ONE_TOO_MANY", 0), -1);
    EXPECT_EQ(findDefinition(*st, "#D2999"), 2999);
    EXPECT_EQ(findDefinition(*st, "#D1095"), 1095);  // and again at 4095
    setDefinitionName(*st, 1095, "");
    EXPECT_EQ(findDefinition(*st, "#D1095"), 4095);
    EXPECT_EQ(findPatternLabel(*st, "#P1023"), 1023);
    EXPECT_EQ(findProgramLabel(*st, "#L1023"), 1023);
    EXPECT_EQ(findProgramLabel(*st, "#ONE_TOO_MANY"), -1);
}

// Every pooled text of every table, entry by entry, renamed with ever longer
// texts, past its field's length, which cuts them: each is read back as stored
// and no pool is overrun.
TEST_F(Symbols, TextsOutgrowingTheirRoomStayWithinTheirPools) {
    struct PooledField {
        const char* what;
        uint32_t entries, size, poolSize;
        const uint32_t& used;
        std::function<void(uint32_t, const char*)> store;
        std::function<const char*(uint32_t)> read;
    };
    const PooledField fields[] = {
        {"constant", kMaxDefinitions, kDefinitionNameSize, kDefinitionNamePoolSize, st->definitionNamesUsed,
         [&](uint32_t i, const char* t) { setDefinitionName(*st, i, t); },
         [&](uint32_t i) { return definitionName(*st, i); }},
        {"program label", kMaxProgramLabels, kProgramLabelNameSize, kProgramLabelPoolSize, st->programLabelNamesUsed,
         [&](uint32_t i, const char* t) {
             st->labelCount = i;
             addProgramLabel(*st, t, 0);
         },
         [&](uint32_t i) { return programLabelName(*st, i); }},
        {"pattern label", kPatternSlots, kPatternLabelSize, kPatternTextPoolSize, st->patternTextsUsed,
         [&](uint32_t i, const char* t) { setPatternLabel(*st, i, t); },
         [&](uint32_t i) { return patternLabel(*st, i); }},
        {"pattern value", kPatternSlots, kPatternValueTextSize, kPatternTextPoolSize, st->patternTextsUsed,
         [&](uint32_t i, const char* t) { setPatternValueText(*st, i, t); },
         [&](uint32_t i) { return patternValueText(*st, i); }},
    };
    const std::string longest(kProgramLabelNameSize, 'L');
    for (const PooledField& f : fields)
        for (uint32_t length = 0; length <= f.size + 8; length += 8)
            for (uint32_t i = 0; i < f.entries; i++) {
                const std::string text = "#" + std::to_string(i) + longest.substr(0, length);
                f.store(i, text.c_str());
                ASSERT_EQ(f.read(i), text.substr(0, f.size - 1)) << f.what << " " << i;
                ASSERT_LE(f.used, f.poolSize) << f.what;
            }
    EXPECT_EQ(findDefinition(*st, "#4095"), -1);
    EXPECT_EQ(findDefinition(*st, ("#4095" + longest).substr(0, kMaxTokenLength).c_str()), 4095);
    EXPECT_EQ(findPatternLabel(*st, ("#1023" + longest).substr(0, kMaxTokenLength).c_str()), 1023);
    setDefinitionName(*st, 7, "");
    setPatternLabel(*st, 7, "");
    EXPECT_STREQ(definitionName(*st, 7), "");
    EXPECT_EQ(findDefinition(*st, "#7"), -1);
    EXPECT_EQ(findPatternLabel(*st, ("#7" + longest).substr(0, kMaxTokenLength).c_str()), -1);
    EXPECT_STREQ(patternValueText(*st, 7), ("#7" + longest).substr(0, kPatternValueTextSize - 1).c_str());
}

// Names from a small pool, so that entries share names, with several whose
// hashes fall into one bucket of every index, so that buckets chain, and
// names about eight characters long that share their first eight.
std::vector<std::string> namePool() {
    std::vector<std::string> pool = {"#",        "#A",        "#B",        "#LOOP",     "#X1",
                                     "#X2",      "#SEVEN7",   "#EIGHT_8",  "#EIGHT_8X", "#EIGHT_8Y",
                                     "#EIGHT_88", "#VERY_LONG_NAME_OF_A_CONSTANT"};
    std::map<uint32_t, std::vector<std::string>> byBucket;
    constexpr uint32_t kSmallestBuckets = NameIndex<kPatternSlots>::kBuckets;
    for (int i = 0; pool.size() < 40 && i < 200000; i++) {
        std::string name = "#N" + std::to_string(i);
        // Same bucket in the largest index means same bucket in the smaller ones too.
        auto& mates = byBucket[keyOf(name.c_str()).hash & (NameIndex<kMaxDefinitions>::kBuckets - 1)];
        mates.push_back(name);
        if (mates.size() == 3) pool.insert(pool.end(), mates.begin(), mates.end());
    }
    // Two names that share their first eight bytes and their whole hash: only the names themselves tell them apart.
    const char* const twins[] = {"#EIGHT_8W1_8", "#EIGHT_83B1A"};
    EXPECT_EQ(keyOf(twins[0]).hash, keyOf(twins[1]).hash);
    EXPECT_EQ(keyOf(twins[0]).prefix, keyOf(twins[1]).prefix);
    pool.insert(pool.end(), std::begin(twins), std::end(twins));
    EXPECT_GE(pool.size(), 42u);
    static_assert(kSmallestBuckets <= NameIndex<kMaxDefinitions>::kBuckets);
    return pool;
}

// The lookups as a scan of the tables from entry 0 does them, entry i named nameOf(i).
template <typename Names>
int scan(Names nameOf, uint32_t count, const std::string& name) {
    if (name.empty()) return -1;
    for (uint32_t i = 0; i < count; i++) {
        const char* stored = nameOf(i);
        if (stored[0] == name[0] && name == stored) return static_cast<int>(i);
    }
    return -1;
}

TEST_F(Symbols, IndexesAgreeWithAScanOverRandomChanges) {
    const std::vector<std::string> pool = namePool();
    std::mt19937 random(12345);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    // Changes crowd into a few low entries, so that names come and go in the same places.
    const auto entry = [&](uint32_t size) { return pick(4) == 0 ? pick(size) : pick(48); };
    for (int step = 0; step < 5000; step++) {
        const std::string name = pick(8) == 0 ? "" : pool[pick(static_cast<uint32_t>(pool.size()))];
        switch (pick(3)) {
            case 0: setDefinitionName(*st, entry(kMaxDefinitions), name.c_str()); break;
            case 1: setPatternLabel(*st, entry(kPatternSlots), name.c_str()); break;
            default:
                if (pick(4) == 0) st->labelCount = pick(60);
                if (addProgramLabel(*st, name.c_str(), 0) < 0) st->labelCount = 0;
        }
        for (int k = 0; k < 12; k++) {
            const std::string& probe = pool[pick(static_cast<uint32_t>(pool.size()))];
            const uint32_t limit = pick(kMaxDefinitions + 1);
            ASSERT_EQ(findDefinition(*st, probe.c_str(), limit),
                      scan([&](uint32_t i) { return definitionName(*st, i); }, limit, probe))
                << probe << " at step " << step;
            ASSERT_EQ(findPatternLabel(*st, probe.c_str()),
                      scan([&](uint32_t i) { return patternLabel(*st, i); }, kPatternSlots, probe))
                << probe << " at step " << step;
            ASSERT_EQ(findProgramLabel(*st, probe.c_str()),
                      scan([&](uint32_t i) { return programLabelName(*st, i); }, st->labelCount, probe))
                << probe << " at step " << step;
            // An entry's own name, found by the key the index holds for it, as a lookup by the name finds it.
            const uint32_t held = entry(kPatternSlots);
            const char* names[3] = {patternLabel(*st, held), definitionName(*st, held), programLabelName(*st, held)};
            for (const OperandKind kind : {PatternLabel, Constant, JumpLabel})
                ASSERT_EQ(findNamesake(*st, kind, held), findEntry(*st, names[kind], kind))
                    << names[kind] << " of entry " << held << " at step " << step;
        }
    }
}

}  // namespace
}  // namespace qvek::test
