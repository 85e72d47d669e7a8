// `wavegen scene SCENE.json -o NAME`: several waveforms on one loop, as
// the library's scene entry point makes them. The file names the scene's
// rate, its parts (each a kind with its fields in snake case, as the
// dataset manifests name them, and its placement) and the crest-factor
// reduction; the recording's SigMF has one annotation per burst and the
// scene itself under gensignal:scene.
#pragma once

#include <CLI/CLI.hpp>

// Adds the subcommand; when it is parsed, its callback makes and writes
// the scene and ends wavegen with its exit status (0 written, 1 a file
// could not be written, 2 a bad file, option or refusal, 3 the library
// could not do it).
void registerSceneCommand(CLI::App& app);
