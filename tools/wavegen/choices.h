// Names of the enumerated values, shared by the kinds that use them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "wrapperGenSignalWave.h"

using Choices = std::vector<std::pair<std::string, int>>;

inline Choices modulationNames() {
    return {{"bpsk", BPSK},           {"dbpsk", DBPSK},   {"qpsk", QPSK},       {"dqpsk", DQPSK}, {"oqpsk", OQPSK},
            {"pi4_dqpsk", PI4_DQPSK}, {"psk8", PSK8},     {"dpsk8", DPSK8},     {"psk16", PSK16}, {"qam16", QAM16},
            {"qam64", QAM64},         {"qam256", QAM256}, {"qam1024", QAM1024}, {"ask2", ASK2},   {"fsk2", FSK2},
            {"fsk4", FSK4},           {"fsk8", FSK8},     {"fsk16", FSK16},     {"ask4", ASK4},   {"ask8", ASK8},
            {"apsk16", APSK16},       {"qam8", QAM8}};
}

inline Choices filterNames() {
    return {{"rect", RECT}, {"rcos", RCOS}, {"rrcos", RRCOS}, {"gaussian", GAUSSIAN}, {"half_sine", HALF_SINE}};
}

inline Choices shapeNames() { return {{"sine", 1}, {"square", 2}, {"triangle", 3}, {"sawtooth", 4}}; }
