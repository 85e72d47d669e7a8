#include "fuzzFailure.h"

#include <cstdio>
#include <cstdlib>

void stopFuzzing(const char* target, const char* format, va_list args, const std::string& more) {
    std::fprintf(stderr, "\n*** gensignal fuzz: %s: ", target);
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "%s\n", more.c_str());
    std::fflush(stderr);
    std::abort();
}

void stopFuzzingAs(const char* target, const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing(target, format, args);
}
