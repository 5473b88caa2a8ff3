// qvekfmt's rewriting in place: the file is wholly old or wholly new, keeps
// its permissions and its links, and is never overwritten once it changed
// after it was read.
#include "tools/qvekfmt_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace qvek::fmt {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& name) {
    std::stringstream text;
    text << std::ifstream(name, std::ios::binary).rdbuf();
    return text.str();
}

TEST(QvekfmtFiles, RewritesWhollyOrNotAtAll) {
    test::Folder folder;
    folder.write("A.QVS", "nop\n");
    chmod("A.QVS", 0640);
    fs::create_symlink("A.QVS", "LINK.QVS");
    Source s;
    std::string why;
    ASSERT_TRUE(readSource("LINK.QVS", true, s, &why)) << why;
    ASSERT_TRUE(rewriteSource("LINK.QVS", s, "        NOP\n", &why)) << why;
    EXPECT_EQ(contents("A.QVS"), "        NOP\n");
    EXPECT_TRUE(fs::is_symlink("LINK.QVS"));
    struct stat st;
    ASSERT_EQ(stat("A.QVS", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Changed after it was read: the change wins, and nothing is left behind.
    ASSERT_TRUE(readSource("A.QVS", true, s, &why));
    sleep(0);
    folder.write("A.QVS", "ret\n");
    EXPECT_FALSE(rewriteSource("A.QVS", s, "        NOP\n", &why));
    EXPECT_EQ(why, "changed while it was being formatted");
    EXPECT_EQ(contents("A.QVS"), "ret\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);

    // Nothing that is no source is read, and nothing but a regular file is rewritten.
    const struct {
        const char* name;
        bool forRewrite;
        const char* why;
    } refused[] = {
        {"MISSING.QVS", false, "No such file or directory"},
        {".", false, "is a folder"},
        {"/dev/zero", false, "is a device"},
    };
    for (const auto& r : refused) {
        Source none;
        EXPECT_FALSE(readSource(r.name, r.forRewrite, none, &why)) << r.name;
        EXPECT_EQ(why, r.why);
    }
    folder.write("LONG.QVS", std::string(kMaxLineBytes + 1, 'x'));
    Source none;
    EXPECT_FALSE(readSource("LONG.QVS", false, none, &why));
    EXPECT_EQ(why, "has a line longer than 1 MiB, which no source has");
}

TEST(QvekfmtFiles, ReadOnlyFolderLeavesTheFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    test::Folder folder;
    folder.write("A.QVS", "nop\n");
    Source s;
    std::string why;
    ASSERT_TRUE(readSource("A.QVS", true, s, &why));
    chmod(".", 0555);
    EXPECT_FALSE(rewriteSource("A.QVS", s, "        NOP\n", &why));
    chmod(".", 0755);
    EXPECT_NE(why.find("cannot write a file in its folder"), std::string::npos) << why;
    EXPECT_EQ(contents("A.QVS"), "nop\n");
}

}  // namespace
}  // namespace qvek::fmt
