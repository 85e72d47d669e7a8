#include "channelPresets.h"

#include <cstring>

namespace {

constexpr ChannelPreset kPresets[] = {
    {"lte1.4", 6 * 180e3, 1.4e6},      {"lte3", 15 * 180e3, 3e6},       {"lte5", 25 * 180e3, 5e6},
    {"lte10", 50 * 180e3, 10e6},       {"lte15", 75 * 180e3, 15e6},     {"lte20", 100 * 180e3, 20e6},
    {"nr5", 25 * 12 * 15e3, 5e6},      {"nr10", 52 * 12 * 15e3, 10e6},  {"nr15", 79 * 12 * 15e3, 15e6},
    {"nr20", 106 * 12 * 15e3, 20e6},   {"nr40", 106 * 12 * 30e3, 40e6}, {"nr50", 133 * 12 * 30e3, 50e6},
    {"nr100", 273 * 12 * 30e3, 100e6}, {"wcdma", 3.84e6, 5e6},          {nullptr, 0, 0}};

}  // namespace

const ChannelPreset* channelPresets() { return kPresets; }

const ChannelPreset* channelPreset(const char* name) {
    if (!name) return nullptr;
    for (const ChannelPreset* p = kPresets; p->name; ++p)
        if (std::strcmp(p->name, name) == 0) return p;
    return nullptr;
}
