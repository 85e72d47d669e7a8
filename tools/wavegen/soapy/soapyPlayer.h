// Plays a loop through a SoapySDR transmit stream without a gap: the loop
// is converted to the device's native format once, then written from
// memory by one thread in pieces of the stream's MTU, each continuing
// where the last one ended, until the loops or seconds asked for are
// written or `stop` is set. SoapySDR has no cyclic mode, so a loop is
// gap-free only while these writes keep up; the stream status (underruns,
// late packets) is read between writes, on the same thread, as the API
// asks of a stream.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct PlaySettings {
    std::string device;  // SoapySDR device arguments ("driver=...,serial=...")
    double sampleRate = 0;
    std::optional<double> centerFrequency, gainDb, rfBandwidth;
    int64_t loops = 0;       // 0: no count
    double playSeconds = 0;  // 0: no time
    size_t channel = 0;
};

struct PlayReport {
    int64_t samples = 0;  // written
    int64_t underruns = 0, late = 0, otherErrors = 0;
    bool interrupted = false;
    bool statusReported = true;  // false: the device reports no stream status
    std::string format;          // the stream's format
    size_t mtu = 0;
    double deviceRate = 0;  // the rate the device took
};

// Plays `count` int16 values (I/Q pairs). Empty on success (underruns
// included: see the report), else why the device could not play. `event`
// receives each underrun or late packet as it is reported.
std::string playLoop(const int16_t* iq, int count, const PlaySettings& settings, const std::atomic<bool>& stop,
                     PlayReport& report, const std::function<void(const std::string&)>& event);
