// How the digital and spread-spectrum generators resample their shaped
// signal from its symbol- or chip-locked rate to the sample rate.
#pragma once

// The length `shapedLength` samples at `lockedRate` become at `sampleRate`,
// into `outputLength`: 0, or -1 with the reason. `lockedName` names the rate
// in the reason ("symbol-locked", "chip-locked").
int resampledLength(int shapedLength, double sampleRate, double lockedRate, const char* lockedName, int& outputLength);
