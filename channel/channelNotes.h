// What the defined loop mode applied although it does not close the loop
// (or what a stage skipped), collected as one text, "; " between notes, in
// a fixed buffer: noting never needs memory.
#pragma once

#include "wrapperGenSignalWave.h"

class ChannelNotes {
public:
    // Appends a note (printf-style), truncated to the capacity.
    void add(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const char* text() const { return text_; }
    int length() const { return length_; }

private:
    char text_[GENSIGNAL_CHANNEL_NOTE_CAPACITY] = {};
    int length_ = 0;
};
