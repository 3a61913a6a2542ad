#include "rig/RigFile.h"
#include "rig/RigWriter.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

const char* const kMine = "# my rig\n\n[coil Lead]\ndevice = Quillarc USB Controller\nchannels = 0 # the tune\n"
                          "voices = 2\n\n# the bass\n[coil Bass]\r\ndevice = Bass Coil #2\nchannels = 1-2\n"
                          "transpose = -12\n";

TEST(RigWriter, WritesTheEditedCoilsBackKeepingWhatTheUserWrote)
{
    using Edit = std::function<void(std::vector<EditedCoil>&)>;
    const struct {
        const char* text;
        Edit edit;
        const char* written;
    } rows[] = {
        {kMine, [](auto&) {}, kMine},
        {kMine,
         [](auto& coils) {
             coils[0].coil.channels = ChannelSet{0b11001};
             coils[0].coil.voices.reset();
             coils[0].coil.transpose = 5;
             coils[1].coil.device = "Bass Coil #3";
             coils[1].coil.limits.dutyLimitPercent = 2.75;
         },
         "# my rig\n\n[coil Lead]\ndevice = Quillarc USB Controller\nchannels = 0, 3-4 # the tune\n# voices = 2\n"
         "transpose = 5\n\n# the bass\n[coil Bass]\r\ndevice = Bass Coil #3\nchannels = 1-2\ntranspose = -12\n"
         "duty_limit_percent = 2.75\n"},
        {kMine,
         [](auto& coils) {
             coils[1].coil.name = "Low";
             coils[1].coil.keep = KeepMode::Latest;
             coils[1].coil.shiftLowNotes = false;
             coils = {coils[1], coils[0]};
         },
         "# my rig\n\n# the bass\n[coil Low]\ndevice = Bass Coil #2\nchannels = 1-2\ntranspose = -12\nkeep = latest\n"
         "shift_low_notes = off\n[coil Lead]\ndevice = Quillarc USB Controller\nchannels = 0 # the tune\n"
         "voices = 2\n\n"},
        {kMine,
         [](auto& coils) {
             Coil added;
             added.name = "X #1 [a]";
             added.channels = ChannelSet{0b1000000000000001};
             added.voices = 16;
             added.keep = KeepMode::Lowest;
             added.lowerLimit = 0;
             added.volumePercent = 1;
             added.limits = {12.5, 900, 30, 31};
             coils = {coils[1], {added, std::nullopt}};
         },
         "# my rig\n\n# the bass\n[coil Bass]\r\ndevice = Bass Coil #2\nchannels = 1-2\ntranspose = -12\n\n"
         "[coil X #1 [a]]\ndevice = Quillarc USB Controller\nchannels = 0, 15\nvoices = 16\nkeep = lowest\n"
         "lower_limit = 0\nvolume_percent = 1\nduty_limit_percent = 12.5\nmax_note_ms = 900\nlowest_key = 30\n"
         "highest_key = 31\n"},
        {"",
         [](auto& coils) {
             Coil coil;
             coil.name = "Coil";
             coil.channels = ChannelSet::of(3);
             coil.shiftLowNotes = true;
             coil.lowerLimit = 47;
             coils = {{coil, std::nullopt}};
         },
         "# Quillarc rig: the coils and what each plays, read by quillarc and quillarc-cli.\n"
         "# One [coil NAME] section a coil; keys: device, channels, voices, keep, transpose,\n"
         "# shift_low_notes, lower_limit, volume_percent and the keys of coil-limits.conf.\n\n"
         "[coil Coil]\ndevice = Quillarc USB Controller\nchannels = 3\nshift_low_notes = on\nlower_limit = 47\n"},
    };
    for (const auto& row : rows) {
        Rig before;
        std::string error;
        if (*row.text != '\0') {
            ASSERT_TRUE(parseRig(row.text, "r.conf", before, error)) << error;
        }
        std::vector<EditedCoil> coils;
        for (std::size_t i = 0; i < before.coils.size(); ++i) {
            coils.push_back({before.coils[i], i});
        }
        row.edit(coils);
        const std::string written = rigFileWith(row.text, before, coils);
        EXPECT_EQ(written, row.written);
        Rig after;
        ASSERT_TRUE(parseRig(written, "r.conf", after, error)) << error;
        std::vector<Coil> expected;
        for (const EditedCoil& coil : coils) {
            expected.push_back(coil.coil);
        }
        EXPECT_EQ(after.coils, expected) << row.written;
    }
}

TEST(RigWriter, RefusesARigThatDoesNotReadBackAndLeavesTheFileAsItWas)
{
    const ConfigFolder folder;
    const std::string path = rigPath();
    std::string error;
    ASSERT_TRUE(writeRig(path, kMine, {}, error)) << error;
    const struct {
        std::string text;
        CoilLimits fileLimits;
        std::string error;
    } rows[] = {
        {"[coil A]\nchannels = 1\n[coil A]\nchannels = 2\n", {}, path + ":3: duplicate coil 'A'"},
        {"[coil A]\nchannels = 1\nlowest_key = 61\n", {std::nullopt, std::nullopt, std::nullopt, 60},
         path + ":3: lowest_key 61 is above highest_key 60 (with coil-limits.conf)"},
        {"[coil A]\nchannels = 1\n", {}, "cannot write rig file " + folder.dir()},
    };
    for (const auto& row : rows) {
        const bool folderInPlace = row.error.rfind("cannot", 0) == 0;
        EXPECT_FALSE(writeRig(folderInPlace ? folder.dir() : path, row.text, row.fileLimits, error));
        EXPECT_EQ(error, "Error: " + row.error);
        std::stringstream kept;
        kept << std::ifstream(path, std::ios::binary).rdbuf();
        EXPECT_EQ(kept.str(), kMine);
    }
}

}  // namespace
