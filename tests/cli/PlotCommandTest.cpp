#include "RunProgram.h"
#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

// Without a display, whatever platform the environment asks for.
ProgramRun plot(const std::string& args)
{
    return runProgram("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + std::string(QUILLARC_CLI) +
                      " plot " + args);
}

QImage pngOf(const std::filesystem::path& path)
{
    return QImage(QString::fromStdString(path.string())).convertToFormat(QImage::Format_RGB32);
}

class PlotCommand : public SongFolder {
protected:
    // Channel 3, one tick per millisecond after the 500 ms lead-in: key 60
    // (velocity 100) from 500 to 750 ms, key 64 (velocity 50) from 500 to
    // 1083 ms, and key 57 (velocity 64) from 1083 to 1183 ms.
    std::string song()
    {
        return write("song.mid", SmfBuilder(0, 500)
                                     .track()
                                     .noteOn(0, 3, 60, 100)
                                     .noteOn(0, 3, 64, 50)
                                     .noteOff(250, 3, 60)
                                     .noteOff(333, 3, 64)
                                     .noteOn(0, 3, 57, 64)
                                     .noteOff(100, 3, 57)
                                     .end()
                                     .bytes());
    }
};

using Pixel = std::tuple<int, int, QRgb>;

TEST_F(PlotCommand, ScaleOnePutsEachBarOnItsLogicalPixels)
{
    // Spectrum: key 64 weighs 50 x 583 = 29150, the scale; key 60 25000, so
    // its bar rises 120.07 pixels from row 150: top 29; key 57 6400: top 119.
    // Notes: tEnd 1183, key 60 from 500/1183 x 338 = 142.9 to 750/1183 x 338 =
    // 214.3 on row 100; key 64 from 142 to 309.4 on row 96; key 57 from 309 to
    // 338, over the right border, on row 103.
    // Duty: bars from 160 to 240 (top 76), 240 to 347 (top 122) and, for key
    // 57 alone (0.5 x 100 / 4545.45 = 0.011), 347 to 380 with top 126.
    const struct {
        const char* kind;
        int width;
        int height;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"spectrum", 381, 151,
         {{177, 29, kWhite}, {177, 28, kBlack}, {179, 149, kWhite}, {180, 149, kBlack}, {176, 149, kBlack},
          {189, 10, kWhite}, {189, 9, kBlack}, {191, 10, kWhite}, {192, 10, kBlack}, {168, 119, kWhite},
          {168, 118, kBlack}, {178, 150, kGreen}, {0, 0, kGreen}, {380, 150, kGreen}, {1, 1, kBlack}}},
        {"notes", 338, 163,
         {{142, 100, kWhite}, {141, 100, kBlack}, {213, 100, kWhite}, {214, 100, kBlack}, {200, 99, kBlack},
          {200, 101, kBlack}, {142, 96, kWhite}, {308, 96, kWhite}, {309, 96, kBlack}, {309, 103, kWhite},
          {337, 103, kWhite}, {337, 102, kGreen}, {0, 162, kGreen}, {1, 161, kBlack}}},
        {"duty", 381, 181,
         {{160, 76, kWhite}, {159, 76, kBlack}, {160, 75, kBlack}, {239, 76, kWhite}, {240, 76, kBlack},
          {240, 122, kWhite}, {346, 121, kBlack}, {347, 126, kWhite}, {347, 125, kBlack}, {379, 149, kWhite},
          {380, 140, kGreen}, {360, 150, kGreen}, {100, 140, kBlack}, {0, 0, kGreen}}},
    };
    const std::string path = song();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const auto out = m_dir / (std::string(c.kind) + ".png");
        const ProgramRun run = plot(std::string(c.kind) + " " + path + " --channel 3 --scale 1 --bare -o " + out.string());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "");
        const QImage image = pngOf(out);
        ASSERT_EQ(image.size(), QSize(c.width, c.height));
        for (const auto& [x, y, colour] : c.pixels) {
            EXPECT_EQ(image.pixel(x, y), colour) << "pixel " << x << ", " << y;
        }
    }
}

TEST_F(PlotCommand, FailedReadDrawsWhatWasReadWithTheReasonAtTheTopLeft)
{
    std::vector<std::uint8_t> bytes = SmfBuilder(0, 500).track().noteOn(0, 3, 60, 100).noteOff(250, 3, 60).end().bytes();
    // The file ends before the end-of-track event its track promises.
    bytes.resize(bytes.size() - 3);
    const std::string path = write("short.mid", bytes);
    const auto out = m_dir / "short.png";
    const ProgramRun run = plot("spectrum " + path + " --channel 3 --scale 1 --bare -o " + out.string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    const QImage image = pngOf(out);
    ASSERT_EQ(image.size(), QSize(381, 151));
    int green = 0;
    for (int y = 5; y < 25; ++y) {
        for (int x = 5; x < 200; ++x) {
            green += QColor(image.pixel(x, y)).green() > 128 && QColor(image.pixel(x, y)).red() < 64 ? 1 : 0;
        }
    }
    EXPECT_GT(green, 40) << "the reader's line in green at the top left";
    // The note was read whole before the end: its bar stands.
    EXPECT_EQ(image.pixel(178, 140), kWhite);
}

TEST_F(PlotCommand, BadArgumentsAndUnwritableOutput)
{
    const std::string path = song();
    const struct {
        std::string args;
        int exitCode;
        std::string err;
    } cases[] = {
        {"piano " + path + " -o x.png", 2, "quillarc-cli plot: unknown chart piano (spectrum, notes or duty)\n"},
        {"notes " + path, 2, "quillarc-cli plot: plot needs -o OUT.png\n"},
        {"notes " + path + " -o x.png --scale 0", 2, "quillarc-cli plot: --scale takes 1 to 16\n"},
        {"duty " + path + " -o " + (m_dir / "missing" / "x.png").string(), 1,
         "quillarc-cli plot: cannot write " + (m_dir / "missing" / "x.png").string() + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ProgramRun run = plot(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.ends_with(c.err)) << run.err;
    }
}

}  // namespace
