// wavegen play: a kind's loop, made as the writing commands make it, or a
// waveform file, played through a SoapySDR device without a gap (see
// soapy/soapyPlayer.h). The options are named so that no kind's record
// options can meet them: --device, --center-frequency, --gain-db,
// --rf-bandwidth, --loops, --play-seconds. Without SoapySDR at build time
// the command is there and says so.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "loopOptions.h"
#include "request.h"

struct PlayOptions {
    std::string file;
    std::string device;
    std::string sampleRate, centerFrequency, gainDb, rfBandwidth, loops, playSeconds;
    LoopOptions loop;
    std::string instrument;
    std::vector<std::unique_ptr<Request>> requests;
    std::vector<CLI::App*> kinds;
};

CLI::App* addPlayCommand(CLI::App& app, PlayOptions& options);

// The exit status: 0 played without an underrun or late packet; 1 the
// device failed; 2 refused; 3 the library could not make the loop; 4
// played, with underruns or late packets.
int runPlay(PlayOptions& options);
