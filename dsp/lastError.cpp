#include "lastError.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kCapacity = 512;
thread_local char message[kCapacity];
thread_local int length = 0;
}  // namespace

int refuse(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    length = formatBounded(message, kCapacity, format, args);
    va_end(args);
    return code;
}

int formatBounded(char* out, int capacity, const char* format, va_list args) {
    const int n = std::vsnprintf(out, static_cast<size_t>(capacity), format, args);
    const int written = n < 0 ? 0 : (n < capacity ? n : capacity - 1);
    out[written] = '\0';
    return written;
}

void clearLastError() {
    message[0] = '\0';
    length = 0;
}

const char* lastErrorMessage() { return message; }

int lastErrorLength() { return length; }

NumberText numberText(double v) {
    NumberText t;
    // Whole numbers as a host writes them (48000, not 4.8e+04).
    if (v > -1e15 && v < 1e15 && v == std::trunc(v) && !(v == 0 && std::signbit(v))) {
        std::snprintf(t.text, sizeof t.text, "%lld", static_cast<long long>(v));
        return t;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(t.text, sizeof t.text, "%.*g", precision, v);
        if (std::strtod(t.text, nullptr) == v || v != v) break;
    }
    return t;
}
