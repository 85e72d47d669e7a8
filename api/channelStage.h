// The handle's channel as a stage of the frame: the float waveform a kind
// made, once its lengths are fitted and before the scale to int16, goes
// through the channel chain (channel/channelChain.h) with the samples and
// bits per symbol of the record that made it. GenSignalApplyChannel shares
// the record's context and the scale of an impaired buffer.
#pragma once

#include <complex>
#include <cstdint>

#include "channelChain.h"
#include "generatedWave.h"
#include "wrapperGenSignalWave.h"

// The record kind a parameter record counts as for Es/N0 and Eb/N0.
constexpr int recordKindOf(const DigitalModParams*) { return GENSIGNAL_RECORD_DIGITAL; }
constexpr int recordKindOf(const DSSParams*) { return GENSIGNAL_RECORD_DSS; }
constexpr int recordKindOf(const void*) { return GENSIGNAL_RECORD_NONE; }

// Samples and bits per symbol from the record: 0, or -1 naming the field.
int channelContextOf(int recordKind, const void* record, double sampleRate, ChannelContext& context);

// Whether any stage is on. A record with every stage off (a seed alone)
// changes nothing: the frame then leaves the waveform and its conversion
// as they are.
bool channelActive(const GenSignalChannel& channel);

// The checks GenSignalSetChannel makes: every field's own range. What
// depends on the sample rate or the buffer is checked by each call.
int checkChannelSetting(const GenSignalChannel& channel);

// The scale the conversion gives impaired samples: 0 with `scale` (0 for an
// all-zero buffer), or -1 with the reason the conversion would give.
int impairedScale(const std::complex<float>* y, int64_t n, double fullScale, float& scale);

// Realised powers from the buffer's units into int16 counts squared.
void scaleRealised(GenSignalChannelRealised& realised, double scale);

// The stage: `wave` as complex samples through the channel into
// `impaired`, its realised values at the output's scale, notes into the
// context's. 0, or -1 / -3 with the reason; `wave` may be consumed.
template <class Sample>
int impairWave(const GenSignalChannel& channel, const ChannelContext& context, GeneratedWave<Sample>& wave,
               double sampleRate, double fullScale, GeneratedWave<std::complex<float>>& impaired,
               GenSignalChannelRealised& realised);
