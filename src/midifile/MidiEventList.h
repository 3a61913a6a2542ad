#pragma once

#include "base/CheckedArray.h"
#include "midifile/MidiEvent.h"

// The events of one track: growable, growth step 8, no maximum, empty when made.
class MidiEventList : public CheckedArray<MidiEvent> {
public:
    MidiEventList() : CheckedArray(EmptyWithSlots{4})
    {
        allowGrowth(true);
        setGrowth(8);
    }
};
