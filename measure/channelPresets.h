// Adjacent-channel measurement presets of public standards: the measured
// channel's bandwidth and the spacing of its neighbours, both rectangular
// here (WCDMA's standard weights them with an RRC 0.22 filter instead).
//   lte1.4 ... lte20  3GPP TS 36.104, E-UTRA ACLR: the transmission
//                     bandwidth (N_RB x 180 kHz), spaced by the channel bandwidth
//   nr5 ... nr100     3GPP TS 38.104, NR FR1 ACLR: the transmission bandwidth
//                     (N_RB x 12 x SCS, 15 kHz to 20 MHz, 30 kHz above), spaced
//                     by the channel bandwidth
//   wcdma             3GPP TS 25.104: 3.84 MHz, spaced by 5 MHz
#pragma once

struct ChannelPreset {
    const char* name;
    double bandwidth, spacing;  // Hz
};

// The preset of that name, or null.
const ChannelPreset* channelPreset(const char* name);
// The presets, ending with a null name.
const ChannelPreset* channelPresets();
