// Why the last exported call on this thread failed. One message per thread,
// kept in a fixed buffer: recording a refusal never needs memory, so even an
// out-of-memory failure can say what it was.
#pragma once

#include <cstdarg>

// Records the message (printf-style) and returns `code`, so that a refusal
// reads `return refuse(-1, "AMModParams.modShape = %d: must be ...", v);`.
int refuse(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the formatted text into `out` (capacity bytes, at least 1), cut to
// fit and always terminated; returns the length written.
int formatBounded(char* out, int capacity, const char* format, va_list args);

// Forgets the message: every exported call starts with this, so a success
// leaves none behind.
void clearLastError();

// The message of this thread (empty after a success) and its length.
const char* lastErrorMessage();
int lastErrorLength();

// The shortest decimal text that reads back as `v`, whole numbers below
// 10^15 in plain digits ("0.35", "48000", "1e+15", "nan", "-inf"), for
// quoting a refused value as the host wrote it.
struct NumberText {
    char text[32];
};
NumberText numberText(double v);
