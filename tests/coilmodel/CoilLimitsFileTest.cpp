#include "coilmodel/CoilLimitsFile.h"

#include "support/SongFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

// What each read starts from, so that a refused file is seen to change nothing.
const CoilLimits kBefore{50.5, 999, 1, 126};

TEST(CoilLimitsFile, ParsesGoodFilesAndNamesTheLineOfAnError)
{
    const struct {
        const char* text;
        CoilLimits limits;  // after a good file
        const char* error;  // after "Error: f.conf:"; empty for a good file
    } rows[] = {
        {"# my coil\n\nduty_limit_percent = 7.25  # bridge\nmax_note_ms=1500\r\n  lowest_key = 36\nhighest_key = 96\n",
         {7.25, 1500, 36, 96}, ""},
        {"max_note_ms = +2000", {std::nullopt, 2000, std::nullopt, std::nullopt}, ""},
        {"lowest_key = 60\nhighest_key = 60\nduty_limit_percent = 100", {100.0, std::nullopt, 60, 60}, ""},
        {"", {}, ""},
        {"duty = 5\n", kBefore, "1: unknown key 'duty'"},
        {"\n# x\nmax_note_ms = 2x\n", kBefore, "3: bad number '2x'"},
        {"max_note_ms =\n", kBefore, "1: bad number ''"},
        {"duty_limit_percent = 100.5", kBefore, "1: duty_limit_percent must be above 0 and at most 100"},
        {"duty_limit_percent = 0", kBefore, "1: duty_limit_percent must be above 0 and at most 100"},
        {"max_note_ms = 2.5", kBefore, "1: max_note_ms must be a whole number above 0"},
        {"lowest_key = -1", kBefore, "1: lowest_key must be a whole number from 0 to 127"},
        {"highest_key = 128", kBefore, "1: highest_key must be a whole number from 0 to 127"},
        {"highest_key = 60\n\nlowest_key = 70\n", kBefore, "3: lowest_key 70 is above highest_key 60"},
        {"lowest_key = 70\n\nhighest_key = 60\n", kBefore, "3: lowest_key 70 is above highest_key 60"},
        {"max_note_ms = 10\nmax_note_ms = 20\n", kBefore, "2: duplicate key 'max_note_ms'"},
        {"max_note_ms 2000", kBefore, "1: expected key = value, not 'max_note_ms 2000'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        CoilLimits limits = kBefore;
        std::string error;
        EXPECT_EQ(parseCoilLimits(row.text, "f.conf", limits, error), *row.error == '\0');
        EXPECT_EQ(error, *row.error == '\0' ? "" : std::string("Error: f.conf:") + row.error);
        EXPECT_EQ(limits, row.limits);
    }
}

TEST(CoilLimitsFile, RewritingKeepsTheUsersLinesAndChangesOnlyTheLimitsThatChanged)
{
    const std::string header = "# Quillarc coil limits, read by quillarc, quillarc-cli and quillarc-coil.\n"
                               "# key = value lines; a key left out is off. Keys: duty_limit_percent\n"
                               "# (above 0, at most 100), max_note_ms (above 0), lowest_key and\n"
                               "# highest_key (0 to 127).\n";
    const struct {
        const char* text;
        CoilLimits limits;
        std::string written;
    } rows[] = {
        // Changed in place, switched off as a comment, switched on at the end.
        {"# my coil\n\nduty_limit_percent = 8   # the bridge\r\nmax_note_ms=+2000\n  lowest_key = 36\n",
         {2.5, 2000, std::nullopt, 90},
         "# my coil\n\nduty_limit_percent = 2.5   # the bridge\r\nmax_note_ms=+2000\n  # lowest_key = 36\nhighest_key = 90\n"},
        {"highest_key = 96\nduty_limit_percent = 7.125", {7.125, std::nullopt, 12, 96},
         "highest_key = 96\nduty_limit_percent = 7.125\nlowest_key = 12\n"},
        {"", {2.0 / 3.0, std::nullopt, std::nullopt, std::nullopt}, header + "duty_limit_percent = 0.6666666666666666\n"},
        {"# nothing yet\n", {}, "# nothing yet\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const std::string written = coilLimitsFileWith(row.text, row.limits);
        EXPECT_EQ(written, row.written);
        CoilLimits reread;
        std::string error;
        EXPECT_TRUE(parseCoilLimits(written, "f.conf", reread, error)) << error;
        EXPECT_EQ(reread, row.limits);
    }
}

TEST(CoilLimitsFile, PathFollowsXdgConfigHomeAndFallsBackToHome)
{
    EXPECT_EQ(coilLimitsPath("/tmp/conf", "/home/ada"), "/tmp/conf/quillarc/coil-limits.conf");
    EXPECT_EQ(coilLimitsPath("", "/home/ada"), "/home/ada/.config/quillarc/coil-limits.conf");
    EXPECT_EQ(coilLimitsPath(nullptr, "/home/ada"), "/home/ada/.config/quillarc/coil-limits.conf");
}

using CoilLimitsFolder = SongFolder;

TEST_F(CoilLimitsFolder, WrittenLimitsReadBackTheSameAndAMissingFileIsNone)
{
    const std::string path = (m_dir / "made" / "coil-limits.conf").string();
    std::string error;
    CoilLimits limits = kBefore;
    ASSERT_TRUE(readCoilLimits(path, limits, error)) << error;
    EXPECT_EQ(limits, CoilLimits{});
    for (const CoilLimits written : {CoilLimits{7.3, 1999, 36, 93}, CoilLimits{2.0 / 3.0, std::nullopt, std::nullopt, 0}}) {
        ASSERT_TRUE(writeCoilLimits(path, written, error)) << error;
        limits = kBefore;
        ASSERT_TRUE(readCoilLimits(path, limits, error)) << error;
        EXPECT_EQ(limits, written);
    }
    // A file that does not parse is not written over.
    const std::string bad = "# my coil\nduty = 4\n";
    std::ofstream(path) << bad;
    EXPECT_FALSE(writeCoilLimits(path, CoilLimits{3.0, {}, {}, {}}, error));
    EXPECT_EQ(error, "Error: " + path + ":2: unknown key 'duty' (the file is kept as it is)");
    std::ifstream kept(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), bad);
    limits = kBefore;
    EXPECT_FALSE(readCoilLimits(m_dir.string(), limits, error));
    EXPECT_EQ(error, "Error: not a regular file " + m_dir.string());
    EXPECT_EQ(limits, kBefore);
    EXPECT_FALSE(writeCoilLimits(m_dir.string(), limits, error));
    EXPECT_EQ(error, "Error: cannot write coil limits file " + m_dir.string());
}

}  // namespace
