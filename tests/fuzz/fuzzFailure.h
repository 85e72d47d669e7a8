// How a fuzz target stops on a broken promise: "*** gensignal fuzz:
// TARGET: why" on stderr (the line scripts/fuzz.sh quotes), any further
// lines after it, then abort, so that libFuzzer keeps the input.
#pragma once

#include <cstdarg>
#include <string>

[[noreturn]] void stopFuzzing(const char* target, const char* format, va_list args, const std::string& more = "");

// The same with the arguments given here.
[[noreturn]] void stopFuzzingAs(const char* target, const char* format, ...) __attribute__((format(printf, 2, 3)));
