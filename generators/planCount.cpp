#include "planCount.h"

namespace {
thread_local unsigned long made = 0;
}  // namespace

void countPlan() { ++made; }

unsigned long plansMade() { return made; }
