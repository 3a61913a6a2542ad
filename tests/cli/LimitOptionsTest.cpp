#include "cli/CliSupport.h"
#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

TEST(LimitOptions, FlagsReplaceTheirLinesOfTheFileAndNoLimitsIgnoresIt)
{
    const ConfigFolder config;
    config.writeLimits("duty_limit_percent = 8.5\nmax_note_ms = 2000\nlowest_key = 30\n");
    const std::pair<std::vector<std::string>, CoilLimits> rows[] = {
        {{}, {8.5, 2000, 30, std::nullopt}},
        {{"--duty-limit", "4.25", "--highest-key", "96"}, {4.25, 2000, 30, 96}},
        {{"--lowest-key", "0"}, {8.5, 2000, 0, std::nullopt}},
        {{"--no-limits"}, {}},
        {{"--max-note-ms", "1500", "--no-limits"}, {std::nullopt, 1500, std::nullopt, std::nullopt}},
    };
    for (const auto& [args, inForce] : rows) {
        SCOPED_TRACE(testing::PrintToString(args));
        LimitOptions limits;
        ArgCursor cursor(args);
        while (!cursor.done()) {
            const std::string arg = cursor.next();
            ASSERT_TRUE(takeLimitOption(arg, cursor, limits)) << arg;
        }
        PlaybackOptions options;
        options.coilLimits = {1.0, 1, 1, 1};
        ASSERT_TRUE(applyLimits(limits, options));
        EXPECT_EQ(options.coilLimits, inForce);
    }
}
