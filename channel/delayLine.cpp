#include "delayLine.h"

#include <cmath>

#include "fadingProfiles.h"

double powerFromDb(double db) { return std::pow(10.0, db / 10); }

namespace {

void addRician(DelayLine& line, double delay, double power, double kDb) {
    const double k = powerFromDb(kDb);
    line.taps[line.count++] = DelayLineTap{delay, power / (k + 1), power * k / (k + 1)};
}

void fromProfile(const FadingProfile& profile, double delaySpread, double sampleRate, DelayLine& line) {
    // Nanoseconds, or the normalised delays times the spread, in seconds.
    const double unit = profile.normalisedDelays ? delaySpread : 1e-9;
    for (int i = 0; i < profile.count; ++i) {
        const ProfileRow& row = profile.rows[i];
        const double delay = row.delay * unit * sampleRate;
        const double power = powerFromDb(row.powerDb);
        // A line-of-sight row is followed by the Rayleigh row at its delay.
        if (row.lineOfSight && i + 1 < profile.count && profile.rows[i + 1].delay == row.delay) {
            line.taps[line.count++] = DelayLineTap{delay, powerFromDb(profile.rows[i + 1].powerDb), power};
            ++i;
        } else if (row.lineOfSight) {
            line.taps[line.count++] = DelayLineTap{delay, 0, power};
        } else {
            line.taps[line.count++] = DelayLineTap{delay, power, 0};
        }
    }
}

}  // namespace

DelayLine delayLineOf(const GenSignalChannel& c, double sampleRate) {
    DelayLine line;
    if (const FadingProfile* profile = fadingProfile(c.fading)) {
        fromProfile(*profile, c.delaySpread, sampleRate, line);
    } else if (c.fading == GENSIGNAL_FADING_RAYLEIGH) {
        line.taps[line.count++] = DelayLineTap{0, 1, 0};
    } else if (c.fading == GENSIGNAL_FADING_RICIAN) {
        addRician(line, 0, 1, c.ricianKDb);
    } else if (c.fading == GENSIGNAL_FADING_TAPS) {
        for (int i = 0; i < c.tapCount; ++i) {
            const GenSignalChannelTap& t = c.taps[i];
            const double delay = t.delay * sampleRate;
            if (t.rician)
                addRician(line, delay, powerFromDb(t.powerDb), t.kFactorDb);
            else
                line.taps[line.count++] = DelayLineTap{delay, powerFromDb(t.powerDb), 0};
        }
    }
    double total = 0;
    for (int i = 0; i < line.count; ++i) total += line.taps[i].diffusePower + line.taps[i].specularPower;
    for (int i = 0; i < line.count; ++i) {
        line.taps[i].diffusePower /= total;
        line.taps[i].specularPower /= total;
    }
    return line;
}
