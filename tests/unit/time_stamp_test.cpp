#include "app/time_stamp.h"

#include <limits>
#include <string>

#include "test_support.h"

namespace qvek::test {
namespace {

TEST(SourceDateEpoch, ReadsPlainDecimalSeconds) {
    const struct {
        const char* text;
        long long seconds;
    } good[] = {
        {"0", 0},
        {"1709647629", 1709647629},
        {"0001709647629", 1709647629},  // leading zeros are still decimal, not octal
        {"253402300799", kLatestSourceDate},
    };
    for (const auto& g : good) {
        std::time_t when = -1;
        EXPECT_EQ(parseSourceDateEpoch(g.text, &when), 0) << g.text;
        EXPECT_EQ(static_cast<long long>(when), g.seconds) << g.text;
    }
}

TEST(SourceDateEpoch, RefusesEverythingElse) {
    const char* bad[] = {
        "",
        " 1",
        "1 ",
        "-1",
        "+1",
        "1e9",
        "0x10",
        "12abc",
        "1.5",
        "253402300800",                // year 10000 would widen the stamp
        "9223372036854775807",         // the largest time_t
        "99999999999999999999999999",  // far beyond any integer
    };
    for (const char* text : bad) {
        std::time_t when = 42;
        EXPECT_EQ(parseSourceDateEpoch(text, &when), -1) << '"' << text << '"';
        EXPECT_EQ(when, 42) << "changed by \"" << text << '"';
    }
    std::time_t when = 42;
    EXPECT_EQ(parseSourceDateEpoch(nullptr, &when), -1);
}

class LoadFileStamp : public StateTest {
  protected:
    std::string stampFor(const char* epoch, std::time_t now) {
        char stamp[kTimeStampSize];
        loadFileTimeStamp(*st, epoch, now, stamp);
        return stamp;
    }
    static std::string localStamp(std::time_t when) {
        char stamp[kTimeStampSize];
        formatTimeStamp(stamp, when, false);
        return stamp;
    }
};

TEST_F(LoadFileStamp, EpochIsShownInUtcWithoutWarning) {
    EXPECT_EQ(stampFor("1709647629", 0), "05-Mar-2024 14:07:09");
    EXPECT_EQ(stampFor("0", 1709647629), "01-Jan-1970 00:00:00");
    EXPECT_EQ(stampFor("253402300799", 0), "31-Dec-9999 23:59:59");
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(LoadFileStamp, UnsetMeansTheLocalTimeOfTheRun) {
    EXPECT_EQ(stampFor(nullptr, 1709647629), localStamp(1709647629));
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(LoadFileStamp, MalformedWarnsAndFallsBackToLocalTime) {
    EXPECT_EQ(stampFor("-5", 1709647629), localStamp(1709647629));
    EXPECT_EQ(st->warningCount, 1);
    EXPECT_EQ(out(),
              "\nWARNING:- SOURCE_DATE_EPOCH '-5' is not a count of seconds from 1970 to 9999. Local time used for "
              "the time stamp !");
    // Set but empty is a mistake too, not the same as unset.
    EXPECT_EQ(stampFor("", 1709647629), localStamp(1709647629));
    EXPECT_EQ(st->warningCount, 2);
}

TEST_F(LoadFileStamp, InstantBeyondTheCalendarGivesNoStamp) {
    char stamp[kTimeStampSize] = "unchanged";
    formatTimeStamp(stamp, std::numeric_limits<std::time_t>::max(), true);
    EXPECT_STREQ(stamp, "");
}

TEST_F(LoadFileStamp, SilentRunStillCountsTheWarning) {
    st->silent = true;
    stampFor("soon", 0);
    EXPECT_EQ(st->warningCount, 1);
    EXPECT_EQ(out(), "");
}

}  // namespace
}  // namespace qvek::test
