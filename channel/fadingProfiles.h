// The published tapped-delay-line profiles, as the standards print them:
// 3GPP TS 36.104 annex B (Tables B.2-2 to B.2-4: EPA, EVA, ETU; excess tap
// delay in ns, relative power in dB) and 3GPP TR 38.901 section 7.7.2
// (Tables 7.7.2-1 to 7.7.2-5: TDL-A ... TDL-E; normalised delay, to be
// multiplied by the delay spread, and power in dB). TDL-D and TDL-E start
// with a line-of-sight row and a Rayleigh row at the same delay; their
// ratio is the tables' K factor (13.3 dB and 22 dB).
#pragma once

struct ProfileRow {
    double delay;    // ns (EPA, EVA, ETU) or normalised (TDL)
    double powerDb;  // relative power
    bool lineOfSight;
};

struct FadingProfile {
    const char* name;
    const ProfileRow* rows;
    int count;
    bool normalisedDelays;  // TDL: delays times the delay spread; else nanoseconds
};

// The profile of a GENSIGNAL_FADING_ value, or null for the flat taps, the
// record's taps and off.
const FadingProfile* fadingProfile(int fading);
