#pragma once

#include "app/CoilsEdit.h"

#include <array>
#include <optional>

class QCheckBox;
class QGroupBox;

// Sixteen check boxes, one per MIDI channel, in two columns of `group`;
// named channelBox0 to channelBox15.
std::array<QCheckBox*, 16> makeChannelBoxes(QGroupBox* group);

// Labels the boxes with what a song has on each channel: its note count and
// the name of the track with its notes; a channel without notes is greyed.
// Each label keeps a mnemonic on its last digit (10 to 15 share theirs with
// 0 to 5, and Alt cycles between the two). Bare numbers for no song.
void labelChannelBoxes(const std::array<QCheckBox*, 16>& boxes,
                       const std::optional<std::array<SongChannel, 16>>& channels);
