#include "channelNotes.h"

#include <cstdarg>
#include <cstdio>

void ChannelNotes::add(const char* format, ...) {
    const int room = GENSIGNAL_CHANNEL_NOTE_CAPACITY - length_;
    if (room <= 1) return;
    int at = length_;
    if (at > 0) {
        const int n = std::snprintf(text_ + at, static_cast<size_t>(room), "; ");
        at += n < room ? n : room - 1;
    }
    const int left = GENSIGNAL_CHANNEL_NOTE_CAPACITY - at;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text_ + at, static_cast<size_t>(left), format, args);
    va_end(args);
    length_ = n < 0 ? at : (n < left ? at + n : GENSIGNAL_CHANNEL_NOTE_CAPACITY - 1);
    text_[length_] = '\0';
}
