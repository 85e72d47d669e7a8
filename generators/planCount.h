// Plans made on the calling thread. Every record's plan counts itself, so
// that a test can hold each entry point to one plan per call.
#pragma once

void countPlan();
unsigned long plansMade();
