// The fuzzer's dictionary opens with the statement words: a word left out of
// it is one the fuzzer must find by chance, so it is held to the keyword table.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/keywords.h"

namespace qvek::test {
namespace {

// The quoted entries of a libFuzzer dictionary, in file order, escapes kept.
std::vector<std::string> dictionaryEntries(std::istream& in) {
    std::vector<std::string> entries;
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close == open) continue;
        entries.push_back(line.substr(open + 1, close - open - 1));
    }
    return entries;
}

TEST(FuzzDictionary, OpensWithTheKeywordTable) {
    std::ifstream in(std::string(QVEK_SOURCE_DIR) + "/fuzz/qvek.dict");
    ASSERT_TRUE(in.good());
    const std::vector<std::string> entries = dictionaryEntries(in);
    ASSERT_GE(entries.size(), static_cast<size_t>(kKeywordCount));
    for (int i = 0; i < kKeywordCount; i++) EXPECT_EQ(entries[i], kKeywords[i].word) << "entry " << i;
}

TEST(FuzzDictionary, EntriesAreReadAsWritten) {
    std::istringstream text("# comment \"NOP\"\n\"LPP\"\nkw=\"A\\x0aB\"\n\n\"\"\n");
    EXPECT_EQ(dictionaryEntries(text), (std::vector<std::string>{"LPP", "A\\x0aB", ""}));
}

}  // namespace
}  // namespace qvek::test
