// The editors' keyword lists must be the assembler's keyword table, word for
// word, or a highlighted word would assemble differently from how it looks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/keywords.h"

namespace qvek::test {
namespace {

std::string readRepositoryFile(const std::string& relative) {
    std::ifstream in(std::string(QVEK_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(in.good()) << "cannot read " << relative;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string upper(std::string word) {
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

std::vector<std::string> assemblerKeywords() {
    std::vector<std::string> words;
    for (const Keyword& k : kKeywords) words.push_back(k.word);
    std::sort(words.begin(), words.end());
    return words;
}

// The words of every "syntax keyword GROUP word... [options]" line.
std::vector<std::string> vimKeywords(const std::string& text) {
    static const std::set<std::string> kOptions = {"contained", "transparent", "skipwhite", "skipnl", "skipempty",
                                                   "display",   "fold",        "conceal",   "extend", "oneline"};
    std::vector<std::string> words;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream tokens(line);
        std::string command, kind, group, word;
        tokens >> command >> kind >> group;
        if ((command != "syntax" && command != "syn") || kind != "keyword") continue;
        while (tokens >> word)
            if (word.find('=') == std::string::npos && kOptions.count(word) == 0) words.push_back(upper(word));
    }
    std::sort(words.begin(), words.end());
    return words;
}

// The (?:A|B|...) alternatives of every rule whose scope is a keyword scope.
std::vector<std::string> textMateKeywords(const std::string& text) {
    static const std::regex kRule(R"re("name"\s*:\s*"keyword\.[^"]*"\s*,\s*"match"\s*:\s*"([^"]*)")re");
    static const std::regex kGroup(R"re(\(\?:([A-Za-z|]+)\))re");
    std::vector<std::string> words;
    for (std::sregex_iterator rule(text.begin(), text.end(), kRule), end; rule != end; ++rule) {
        const std::string match = (*rule)[1];
        std::smatch group;
        EXPECT_TRUE(std::regex_search(match, group, kGroup)) << "keyword rule without a word list: " << match;
        std::istringstream alternatives(group[1].str());
        std::string word;
        while (std::getline(alternatives, word, '|')) words.push_back(upper(word));
    }
    std::sort(words.begin(), words.end());
    return words;
}

// The strings of every "(defconst qvek-...-words '(...))" form.
std::vector<std::string> emacsKeywords(const std::string& text) {
    static const std::regex kList(R"re(\(defconst\s+qvek-[a-z-]+-words\s+'\(([^)]*)\))re");
    static const std::regex kWord(R"re("([^"]*)")re");
    std::vector<std::string> words;
    for (std::sregex_iterator list(text.begin(), text.end(), kList), end; list != end; ++list) {
        const std::string body = (*list)[1];
        for (std::sregex_iterator word(body.begin(), body.end(), kWord); word != end; ++word)
            words.push_back(upper((*word)[1]));
    }
    std::sort(words.begin(), words.end());
    return words;
}

TEST(EditorSupport, VimKeywordsAreTheKeywordTable) {
    const std::string text = readRepositoryFile("editors/vim/syntax/qvek.vim");
    EXPECT_EQ(vimKeywords(text), assemblerKeywords());
    // Without it "nop" would not be highlighted, although it assembles as NOP.
    EXPECT_NE(text.find("syntax case ignore"), std::string::npos);
}

TEST(EditorSupport, TextMateKeywordsAreTheKeywordTable) {
    const std::string text = readRepositoryFile("editors/textmate/qvek.tmLanguage.json");
    EXPECT_EQ(textMateKeywords(text), assemblerKeywords());
    EXPECT_NE(text.find(R"("scopeName": "source.qvek")"), std::string::npos);
}

TEST(EditorSupport, EmacsKeywordsAreTheKeywordTable) {
    const std::string text = readRepositoryFile("editors/emacs/qvek-mode.el");
    EXPECT_EQ(emacsKeywords(text), assemblerKeywords());
    // The third element of font-lock-defaults: keywords match in any case.
    EXPECT_NE(text.find("font-lock-defaults '(qvek-font-lock-keywords nil t)"), std::string::npos);
}

TEST(EditorSupport, ListsAreReadAsWritten) {
    // The readers themselves: a dropped or doubled word must show.
    EXPECT_EQ(vimKeywords("syntax keyword qvekX nop LDA nextgroup=qvekY skipwhite\nsyntax match qvekN /NOT/\n"),
              (std::vector<std::string>{"LDA", "NOP"}));
    EXPECT_EQ(textMateKeywords(R"j({ "name": "keyword.a", "match": "(?i)(?:RET|RET)(?=x)" },)j"
                               R"j({ "name": "constant.b", "match": "(?:PGM)" })j"),
              (std::vector<std::string>{"RET", "RET"}));
    EXPECT_EQ(emacsKeywords("(defconst qvek-a-words '(\"nop\"\n \"LDA\"))\n(defconst qvek-other '(\"X\"))"),
              (std::vector<std::string>{"LDA", "NOP"}));
}

}  // namespace
}  // namespace qvek::test
