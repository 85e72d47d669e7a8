// A double rounded to float where the rounding must stay. GCC 12's
// basic-block vectoriser can drop the rounding of a pair of doubles to float
// when the floats are widened back at once (it keeps the unrounded
// doubles); the empty asm makes the float a value of its own, in the
// register class floats live in.
#pragma once

inline float keptFloat(double x) {
    float f = static_cast<float>(x);
#if defined(__x86_64__)
    asm("" : "+x"(f));
#elif defined(__aarch64__)
    asm("" : "+w"(f));
#else
    asm("" : "+m"(f));
#endif
    return f;
}
