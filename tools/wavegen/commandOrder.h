// wavegen's own options (-o, --loop, --peak-dbfs, ...) are the kinds': each
// kind's subcommand shares them, so they may come before it. measure, play,
// impair and scene have options of their own; one of wavegen's given before
// them would be dropped without a word, and the file made otherwise than
// asked. It is refused instead.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

// Empty when no option of `app` was given, else the refusal naming the first.
std::string optionBeforeCommand(const CLI::App& app, const CLI::App& command);
