#include "rig/CoilDevices.h"
#include "rig/RigFile.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

namespace {

Coil coilNamed(const char* name, std::uint16_t channels)
{
    Coil coil;
    coil.name = name;
    coil.channels.bits = channels;
    return coil;
}

// The example of the README, and a coil with every other key set.
std::vector<Coil> goodCoils()
{
    Coil lead = coilNamed("Lead", 0b11001);
    lead.voices = 2;
    Coil bass = coilNamed("Bass", 0b100);
    bass.device = "Bass Coil";
    bass.voices = 1;
    bass.keep = KeepMode::Lowest;
    bass.transpose = 12;
    bass.volumePercent = 80;
    bass.limits.dutyLimitPercent = 4;
    Coil other = coilNamed("X #1 [a]", 0b1000000000000011);
    other.device = "Synth #2";
    other.voices = 16;
    other.keep = KeepMode::Latest;
    other.transpose = -48;
    other.shiftLowNotes = false;
    other.lowerLimit = 0;
    other.volumePercent = 1;
    other.limits = {std::nullopt, 900, 30, 30};
    return {lead, bass, other};
}

const char* const kGoodFile = "# melody on the big coil, bass on the small one\n"
                              "[coil Lead]\ndevice = Quillarc USB Controller\nchannels = 0, 3-4\nvoices = 2\n"
                              "keep = highest\n\n"
                              "[coil Bass]\r\ndevice = Bass Coil\nchannels = 2\nvoices = 1\nkeep = lowest\n"
                              "transpose = 12\nvolume_percent = 80\nduty_limit_percent = 4\n"
                              "  [coil X #1 [a]]  \n device = Synth #2\nchannels = 15, 0 - 1 # two\nvoices=16\n"
                              "keep = latest\ntranspose = -48\nshift_low_notes = off\nlower_limit = 0\nvolume_percent = 1 #\n"
                              "max_note_ms = 900\nlowest_key = 30\nhighest_key = 30\n";

TEST(RigFile, ParsesAGoodFileAndNamesTheLineOfEveryMistake)
{
    const Rig before{{coilNamed("Before", 1)}, {}};
    const struct {
        const char* text;
        const char* error;  // after "Error: r.conf:"; empty for the good file
    } rows[] = {
        {kGoodFile, ""},
        {"[coil A]\nchannels = 0\nvolume = 5\n", "3: unknown key 'volume'"},
        {"[coil A]\nchannels = 0, 16\n", "2: channel 16 is outside 0 to 15"},
        {"[coil A]\nchannels = 5-3\n", "2: channel range 5-3 is backwards"},
        {"[coil A]\nchannels = 0\nvoices = 0\n", "3: voices must be a whole number from 1 to 16"},
        {"[coil A]\nchannels = 0\nvoices = 17\n", "3: voices must be a whole number from 1 to 16"},
        {"[coil A]\nchannels = 0\nvoices = 1.5\n", "3: voices must be a whole number from 1 to 16"},
        {"[coil A]\nchannels = 0\n[coil A]\nchannels = 1\n", "3: duplicate coil 'A'"},
        {"channels = 0\n[coil A]\nchannels = 0\n", "1: key 'channels' outside any [coil NAME] section"},
        {"[coil A]\nchannels = 0\ntranspose = 2x\n", "3: bad number '2x'"},
        {"[coil A]\nchannels = 1,\n", "2: bad channel list '1,'"},
        {"[coil A]\nchannels = -1\n", "2: bad channel list '-1'"},
        {"# x\n[coil A]\nvoices = 2\n\n[coil B]\nchannels = 1\n", "2: coil 'A' has no channels"},
        {"[coil A]\nchannels = 1\nhighest_key = 60\nlowest_key = 70\nvoices = 3\n",
         "4: lowest_key 70 is above highest_key 60"},
        {"[coil A]\nchannels = 1\nduty_limit_percent = 0\n", "3: duty_limit_percent must be above 0 and at most 100"},
        {"[coil A]\nchannels = 1\nmax_note_ms = x\n", "3: bad number 'x'"},
        {"[coil A]\nchannels = 1\nkeep = newest\n", "3: keep must be highest, lowest or latest, not 'newest'"},
        {"[coil A]\nchannels = 1\ntranspose = -49\n", "3: transpose must be a whole number from -48 to 48"},
        {"[coil A]\nchannels = 1\nlower_limit = 128\n", "3: lower_limit must be a whole number from 0 to 127"},
        {"[coil A]\nchannels = 1\nvolume_percent = 0\n", "3: volume_percent must be a whole number from 1 to 100"},
        {"[coil A]\nchannels = 1\nshift_low_notes = yes\n", "3: shift_low_notes must be on or off, not 'yes'"},
        {"[coil A]\nchannels = 1\nchannels = 2\n", "3: duplicate key 'channels'"},
        {"[coil A]\nchannels = 1\ndevice = Synth #0\n",
         "3: device 'Synth #0' names no device (NAME, or NAME #N with N from 1)"},
        {"[coil]\n", "1: coil without a name"},
        {"[amp A]\n", "1: unknown section '[amp A]'"},
        {"[coil A] # x\n", "1: expected [coil NAME], not '[coil A] # x'"},
        {"[coil A]\nchannels 1\n", "2: expected key = value, not 'channels 1'"},
        {"# nothing\n", "1: no [coil NAME] section"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        Rig rig = before;
        std::string error;
        const bool good = *row.error == '\0';
        EXPECT_EQ(parseRig(row.text, "r.conf", rig, error), good);
        EXPECT_EQ(error, good ? "" : std::string("Error: r.conf:") + row.error);
        if (!good) {
            EXPECT_EQ(rig.coils, before.coils);
        } else if (row.text == kGoodFile) {
            EXPECT_EQ(rig.coils, goodCoils());
            ASSERT_EQ(rig.source.coils.size(), 3U);
            EXPECT_EQ(rig.source.coils[1].section, 8);
            EXPECT_EQ(rig.source.coils[1].keys.front(), (std::pair<std::string, int>("device", 9)));
            EXPECT_EQ(rig.source.coils[2].keyRange, 27);
        }
    }
}

TEST(Rig, ResolvesDevicesVolumesRoutesLimitsAndTheDefaultRig)
{
    const std::vector<std::string> devices{"Synth", "Bass Coil", "Quillarc USB Controller", "Bass Coil"};
    const struct {
        const char* device;
        std::optional<std::int32_t> index;
    } rows[] = {{"Bass Coil", 1},          {"Bass Coil #2", 3}, {"Bass Coil #3", {}}, {"Quillarc USB Controller", 2},
                {"Synth #1", 0},           {"Bass", {}},        {"Bass Coil #0", {}}, {"Synth #x", {}},
                {"#2", {}}};
    for (const auto& row : rows) {
        EXPECT_EQ(findCoilDevice(row.device, devices), row.index) << row.device;
    }
    Rig rig{goodCoils(), {}};
    EXPECT_EQ(coilDevices(rig, devices), (std::vector<std::optional<std::int32_t>>{2, 1, {}}));
    EXPECT_EQ(missingCoilError(rig, coilDevices(rig, devices)), "Error: coil X #1 [a] not found (Synth #2)");
    EXPECT_EQ(missingCoilError(rig, coilDevices(rig, {"Bass Coil"})),
              "Error: coil Lead not found (Quillarc USB Controller)");
    rig.coils.pop_back();
    EXPECT_EQ(missingCoilError(rig, coilDevices(rig, devices)), std::nullopt);

    EXPECT_EQ(coilChannelVolume(rig.coils[1], 127), 101);
    EXPECT_EQ(coilChannelVolume(rig.coils[1], 93), 74);
    rig.coils.push_back(coilNamed("Third", 0b1001));
    const ChannelRoutes routes(rig);
    EXPECT_EQ(routes.coilsOf(0), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(routes.coilsOf(2), (std::vector<std::size_t>{1}));
    EXPECT_EQ(routes.coilsOf(-1), (std::vector<std::size_t>{}));

    PlaybackOptions options;
    options.playChannel = 9;
    options.lowerLimit = 44;
    options.coilLimits = {2.5, 700, 50, std::nullopt};
    const Rig single = rigInForce(std::nullopt, options);
    ASSERT_EQ(single.coils.size(), 1U);
    EXPECT_EQ(single.coils[0].channels, ChannelSet::of(9));
    EXPECT_EQ(coilOptions(single.coils[0], options).coilLimits, options.coilLimits);
    EXPECT_EQ(rigInForce(rig, options).coils, rig.coils);

    Rig fromFile;
    std::string error;
    ASSERT_TRUE(parseRig(kGoodFile, "r.conf", fromFile, error));
    const PlaybackOptions other = coilOptions(fromFile.coils[2], options);
    EXPECT_EQ(other.coilLimits, (CoilLimits{2.5, 900, 30, 30}));
    EXPECT_EQ(other.lowerLimit, 0);
    EXPECT_EQ(rigLimitsError(fromFile, {std::nullopt, std::nullopt, 31, std::nullopt}), std::nullopt);
    ASSERT_TRUE(parseRig("[coil A]\nchannels = 1\n\nlowest_key = 30\n", "s.conf", fromFile, error));
    EXPECT_EQ(rigLimitsError(fromFile, {std::nullopt, std::nullopt, std::nullopt, 29}),
              "Error: s.conf:4: lowest_key 30 is above highest_key 29 (with coil-limits.conf)");

    // A song's settings: its channels and transpose where set, its volume scaling every share.
    Rig song{goodCoils(), {}};
    const SongSettings settings{
        {{"Bass", 0b11, std::nullopt}, {"Lead", std::nullopt, -7}, {"Gone", 1, 3}}, 55, 150, {}};
    EXPECT_EQ(applySongSettings(song, settings), std::vector<std::string>{"Gone"});
    EXPECT_EQ(song.coils[0].channels.bits, 0b11001);
    EXPECT_EQ(song.coils[0].transpose, -7);
    EXPECT_EQ(song.coils[1].channels.bits, 0b11);
    EXPECT_EQ(song.coils[1].transpose, 12);
    EXPECT_EQ((std::vector<std::int32_t>{song.coils[0].volumePercent, song.coils[1].volumePercent,
                                         song.coils[2].volumePercent}),
              (std::vector<std::int32_t>{55, 44, 1}));
}

TEST(RigFile, PathFollowsXdgConfigHomeAndAMissingFileIsNoRig)
{
    EXPECT_EQ(rigPath("/tmp/conf", "/home/ada"), "/tmp/conf/quillarc/rig.conf");
    EXPECT_EQ(rigPath("", "/home/ada"), "/home/ada/.config/quillarc/rig.conf");
    const ConfigFolder folder;
    std::optional<Rig> rig = Rig{};
    std::string error;
    EXPECT_TRUE(readRig(rigPath(), rig, error));
    EXPECT_FALSE(rig.has_value());
    std::filesystem::create_directories(folder.dir() + "/quillarc");
    std::ofstream(rigPath(), std::ios::binary) << kGoodFile;
    ASSERT_TRUE(readRig(rigPath(), rig, error)) << error;
    EXPECT_EQ(rig->coils, goodCoils());
    EXPECT_FALSE(readRig(folder.dir(), rig, error));
    EXPECT_EQ(error, "Error: not a regular file " + folder.dir());
    std::ofstream(rigPath(), std::ios::binary) << "[coil A]\n";
    EXPECT_FALSE(readRig(rigPath(), rig, error));
    EXPECT_EQ(error, "Error: " + rigPath() + ":1: coil 'A' has no channels");
    EXPECT_EQ(rig->coils, goodCoils());
}

}  // namespace
