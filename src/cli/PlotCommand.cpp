#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "song/SongLoader.h"
#include "views/ChartPainter.h"
#include "views/Charts.h"

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <iostream>
#include <memory>

namespace {

const std::string kPlotHelp = std::string(R"(usage: quillarc-cli plot spectrum|notes|duty FILE -o OUT.png [options]

Draws the chart of the Frequency Analysis (spectrum), Notes or Duty Cycle
window for a Standard MIDI File into a PNG image, exactly as the window shows
it, without a display: the field at K times its logical size with its labels
around it (seconds under the notes and duty fields, note names under the
spectrum and beside the notes, percent beside the duty field). With --bare
the image is the window's logical picture alone, K times (381 x 151 for
spectrum, 338 x 163 for notes, and for duty 381 x 181: its field of 381 x 151
and the strip of figures under it). With --scale 1 the field is pixel for
pixel a green outline, a black inside and white bars, and on the duty chart
an amber line at the coil's duty limit when one is in force and inside the
field. When the file cannot be read in full, the image shows what was read
with the reason in green at the top left, as the window does. Reader
diagnostics and tempo changes go to standard error.

options:
  -o, --output OUT   the PNG file to write (required)
  --scale K          pixels per logical pixel, 1 to 16 (default 2)
  --bare             the field (and duty's strip of figures) without labels
  --channel N        channel to extract, 0 being the first MIDI channel (default 0)
  --shift-low-notes  raise keys at or below the lower limit by 8 semitones
  --lower-limit N    highest key that is shifted (default 50)
)") + kLimitOptionsHelp + R"(  --help             show this text

exit status: 0 on success, 1 when the file could not be read or its notes
could not be worked out (the image is still written) or the image could not
be written, 2 on bad arguments or a coil limits file that cannot be read.
)";

constexpr int kDefaultScale = 2;
constexpr int kLargestScale = 16;

std::optional<ChartKind> chartKindOf(const std::string& name)
{
    if (name == "spectrum") {
        return ChartKind::Spectrum;
    }
    if (name == "notes") {
        return ChartKind::Notes;
    }
    if (name == "duty") {
        return ChartKind::Duty;
    }
    return std::nullopt;
}

// Text needs Qt's font system, which needs an application object; the
// offscreen platform needs no display.
std::unique_ptr<QGuiApplication> offscreenApplication()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quillarc-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

int runPlotCommand(const std::vector<std::string>& args)
{
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << kPlotHelp;
        return 0;
    }
    if (args.empty()) {
        throw UsageError("plot needs spectrum, notes or duty (see quillarc-cli plot --help)");
    }
    const auto kind = chartKindOf(args.front());
    if (!kind) {
        throw UsageError("unknown chart " + args.front() + " (spectrum, notes or duty)");
    }
    std::string output;
    int scale = kDefaultScale;
    bool bare = false;
    LimitOptions limits;
    auto parsed = parseSongArguments(
        "plot", std::vector<std::string>(args.begin() + 1, args.end()), kPlotHelp,
        [&](const std::string& arg, ArgCursor& cursor) {
            if (arg == "-o" || arg == "--output") {
                output = cursor.valueOf(arg);
                return true;
            }
            if (arg == "--bare") {
                bare = true;
                return true;
            }
            if (arg == "--scale") {
                scale = cursor.intValueOf(arg);
                if (scale < 1 || scale > kLargestScale) {
                    throw UsageError("--scale takes 1 to " + std::to_string(kLargestScale));
                }
                return true;
            }
            return takeLimitOption(arg, cursor, limits);
        });
    if (!parsed) {
        return 0;
    }
    if (!applyLimits(limits, parsed->options)) {
        return 2;
    }
    if (output.empty()) {
        throw UsageError("plot needs -o OUT.png");
    }

    int failure = 0;
    const std::optional<LoadedSong> loaded = loadSongArguments(*parsed, failure);
    if (!loaded) {
        return failure;
    }
    const LoadedSong& song = *loaded;
    const auto application = offscreenApplication();
    const ChartPicture picture = makeChartPicture(chartForSong(*kind, song, parsed->fileName));
    const QImage image = bare ? renderChart(picture, scale) : renderLabelledChart(picture, scale);
    int status = 0;
    if (song.read.status == ReadResult::Status::CannotOpen) {
        std::cerr << "Error: cannot open file " << parsed->fileName << '\n';
        status = 1;
    }
    if (!song.read.ok()) {
        status = 1;
    }
    if (song.notes.error) {
        std::cerr << *song.notes.error << '\n';
        status = 1;
    }
    if (!image.save(QString::fromStdString(output), "PNG")) {
        std::cerr << "quillarc-cli plot: cannot write " << output << '\n';
        return 1;
    }
    return status;
}
