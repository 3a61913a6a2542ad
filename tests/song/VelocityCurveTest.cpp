#include "song/VelocityCurve.h"

#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

class VelocityCurveFile : public testing::Test {
protected:
    void TearDown() override { fs::remove(m_path); }

    std::string write(const std::string& text)
    {
        std::ofstream(m_path) << text;
        return m_path.string();
    }

    fs::path m_path = fs::temp_directory_path() / ("quillarc-curve-" + std::to_string(processId()) + ".txt");
    std::string m_error;
};

TEST_F(VelocityCurveFile, ShortFileSetsOnlyItsEntries)
{
    PlaybackOptions options;
    options.velocityCurve.fill(5);
    ASSERT_TRUE(loadVelocityCurve(write("0\n10 \t 20\n"), options, m_error));
    EXPECT_EQ(options.velocityCurve[0], 0);
    EXPECT_EQ(options.velocityCurve[1], 10);
    EXPECT_EQ(options.velocityCurve[2], 20);
    EXPECT_EQ(options.velocityCurve[3], 5);
    EXPECT_EQ(options.velocityCurve[127], 5);
    EXPECT_EQ(options.curveLoaded, 1);
    EXPECT_EQ(options.customCurve, 0);
    EXPECT_EQ(options.curveFileName, m_path.string());
}

TEST_F(VelocityCurveFile, ValuesKeepTheirLowEightBits)
{
    PlaybackOptions options;
    ASSERT_TRUE(loadVelocityCurve(write("300 -5 255"), options, m_error));
    EXPECT_EQ(options.velocityCurve[0], 44);
    EXPECT_EQ(options.velocityCurve[1], -5);
    EXPECT_EQ(options.velocityCurve[2], -1);
}

TEST_F(VelocityCurveFile, ReadingStopsForGoodAtTheFirstWordThatIsNotANumber)
{
    PlaybackOptions options;
    options.velocityCurve.fill(9);
    ASSERT_TRUE(loadVelocityCurve(write("1 2 x 4 5"), options, m_error));
    EXPECT_EQ(options.velocityCurve[1], 2);
    EXPECT_EQ(options.velocityCurve[2], 9);
    EXPECT_EQ(options.velocityCurve[3], 9);
}

TEST_F(VelocityCurveFile, NumbersAfterThe128thAreIgnored)
{
    std::string text;
    for (int i = 0; i < 130; ++i) {
        text += std::to_string(127 - (i % 128)) + ' ';
    }
    PlaybackOptions options;
    ASSERT_TRUE(loadVelocityCurve(write(text), options, m_error));
    EXPECT_EQ(options.velocityCurve[0], 127);
    EXPECT_EQ(options.velocityCurve[127], 0);
}

TEST_F(VelocityCurveFile, FileThatCannotBeOpenedChangesNothing)
{
    PlaybackOptions options;
    const PlaybackOptions before = options;
    EXPECT_FALSE(loadVelocityCurve("/nonexistent/quillarc/curve.txt", options, m_error));
    EXPECT_NE(m_error.find("/nonexistent/quillarc/curve.txt"), std::string::npos);
    EXPECT_EQ(options.curveLoaded, 0);
    EXPECT_EQ(options.velocityCurve, before.velocityCurve);
    EXPECT_EQ(options.curveFileName, "");
}

// A file without a curve is refused unchanged; a FIFO without a writer at once.
class VelocityCurveRefuses : public VelocityCurveFile,
                             public testing::WithParamInterface<std::tuple<void (*)(const std::string&), const char*>> {};

TEST_P(VelocityCurveRefuses, WithItsMessageAndChangesNothing)
{
    const std::string path = m_path.string();
    std::get<0>(GetParam())(path);
    PlaybackOptions options;
    options.velocityCurve.fill(7);
    auto loading = std::async(std::launch::async, [&] { return loadVelocityCurve(path, options, m_error); });
    if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the loader waits on " << path;
#ifndef _WIN32
        ::close(::open(path.c_str(), O_WRONLY));  // a writer that leaves at once ends its read
#endif
    }
    EXPECT_EQ(std::tuple(loading.get(), m_error, options.curveLoaded, options.velocityCurve[3], options.curveFileName),
              std::tuple(false, std::get<1>(GetParam()) + path, 0, 7, ""));
}

using RefusalCase = std::tuple<void (*)(const std::string&), const char*>;
const std::vector<RefusalCase> kRefusals{
#ifndef _WIN32
    {[](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, "Error: not a regular file "},
#endif
    {[](const std::string& p) { fs::create_directory(p); }, "Error: not a regular file "},
    {[](const std::string& p) { std::ofstream{p}; }, "Error: no velocity values in "},
    {[](const std::string& p) { std::ofstream(p) << " \n soft 10 20"; }, "Error: no velocity values in "}};
INSTANTIATE_TEST_SUITE_P(NoCurve, VelocityCurveRefuses, testing::ValuesIn(kRefusals));

TEST(CurvedVelocity, MapsOnlyNonZeroVelocitiesWhenChosenAndLoaded)
{
    PlaybackOptions options;
    options.velocityCurve[0] = 50;
    options.velocityCurve[64] = -3;
    EXPECT_EQ(curvedVelocity(64, options), 64);
    options.customCurve = 1;
    EXPECT_EQ(curvedVelocity(64, options), 64);
    options.curveLoaded = 1;
    EXPECT_EQ(curvedVelocity(64, options), -3);
    EXPECT_EQ(curvedVelocity(0, options), 0);
}

}  // namespace
