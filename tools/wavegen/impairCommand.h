// `wavegen impair IN -o OUT`: any file wavegen reads (SigMF, raw, cf32,
// WAV) through the channel, written as the kinds are written; the
// settings and what the channel realised go into the SigMF metadata as
// gensignal:channel, beside the recording's own gensignal record.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "channelOptions.h"
#include "loopOptions.h"
#include "outputOptions.h"

struct ImpairOptions {
    std::string file;
    OutputOptions output;
    LoopOptions loop;
    ChannelOptions channel;
};

CLI::App* addImpairCommand(CLI::App& app, ImpairOptions& options);

// Exit status as wavegen's: 0 written, 1 a file could not be written, 2 a bad
// file, option or refusal, 3 the library could not do it.
int runImpair(const ImpairOptions& options);
