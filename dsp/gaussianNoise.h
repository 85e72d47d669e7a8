// Standard normal values by the polar method over the C library's rand().
#pragma once

double randn();

// True when the calling thread's next randn() returns a kept value: then
// the values do not pair up with rand() attempts (see polarDraws.h).
bool randnSparePending();
