// The split of a normalised line into label, statement word and operands,
// against a plain splitter, on random lines with tokens up to and past 80
// characters, vertical tabs among the blanks and either operand limit.
#include "passes/statement.h"

#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

// The tokens a line holds, split at blanks and vertical tabs.
std::vector<std::string> tokensOf(const std::string& line) {
    std::vector<std::string> tokens;
    std::string token;
    for (char c : line + ' ') {
        if (c != ' ' && c != '\v') {
            token += c;
        } else if (!token.empty()) {
            tokens.push_back(token);
            token.clear();
        }
    }
    return tokens;
}

using Tokens = StateTest;

TEST_F(Tokens, SplitAsAPlainSplitterDoes) {
    std::mt19937 random(99);
    auto s = std::make_unique<Statement>();
    for (int round = 0; round < 5000; round++) {
        std::string line = random() % 3 == 0 ? "#" : "";
        const uint32_t count = random() % 20;
        for (uint32_t t = 0; t < count; t++) {
            const uint32_t length = random() % 8 == 0 ? 78 + random() % 5 : 1 + random() % 6;
            for (uint32_t n = 0; n < length; n++) line += "AZ#09_"[random() % 6];
            line += random() % 5 == 0 ? "\v" : " ";
        }
        if (!line.empty() && random() % 2 == 0) line.pop_back();
        const uint32_t operands = random() % 2 == 0 ? kMaxOperands : 2;
        const uint32_t labelOperands = operands == 2 ? 2 : 3;

        const std::vector<std::string> tokens = tokensOf(line);
        const bool hasLabel = !line.empty() && line[0] == '#';
        const size_t taken = (hasLabel ? 2 : 1) + (hasLabel ? labelOperands : operands);
        bool fits = true;
        for (size_t i = 0; i < tokens.size() && i < taken; i++) fits = fits && tokens[i].size() <= kMaxTokenLength;
        const int errors = st->errorCount;
        std::string split = line + std::string(kLineSlack, '\0');  // split where it stands, with its slack
        ASSERT_EQ(splitStatement(*st, split.data(), *s, operands, labelOperands), fits ? 0 : -1) << line;
        ASSERT_EQ(st->errorCount, errors + (fits ? 0 : 1));
        if (!fits) continue;
        // The fields, in order, as the plain split gives them; empty beyond the tokens.
        std::vector<std::string> expected(tokens.begin(), tokens.begin() + std::min(tokens.size(), taken));
        expected.resize(taken);
        std::vector<std::string> got;
        if (hasLabel) got.push_back(s->label);
        got.push_back(s->word);
        for (uint32_t i = 1; i <= (hasLabel ? labelOperands : operands); i++) got.push_back(s->operands[i]);
        ASSERT_EQ(got, expected) << line;
        EXPECT_EQ(s->hasLabel, hasLabel);
        if (!hasLabel) {
            EXPECT_STREQ(s->label, "");
        }
        for (uint32_t i = (hasLabel ? labelOperands : operands) + 1; i <= kMaxOperands; i++)
            ASSERT_STREQ(s->operands[i], "");
    }
}

}  // namespace
}  // namespace qvek::test
