#include "measureInputCheck.h"

#include <cmath>
#include <cstdint>

#include "lastError.h"
#include "rangeChecks.h"

int checkInputFormat(const GenSignalMeasureInput& in) {
    if (in.format == GENSIGNAL_FORMAT_CI16 || in.format == GENSIGNAL_FORMAT_CF32) return 0;
    return refuse(-1, "GenSignalMeasureInput.format = %d: must be 1 (int16) or 2 (float)", in.format);
}

int checkInputFields(const GenSignalMeasureInput& in) {
    if (!in.samples) return refuse(-1, "GenSignalMeasureInput.samples is a null pointer");
    if (!finitePositive(in.sampleRate))
        return refuse(-1, "GenSignalMeasureInput.sampleRate = %s: must be finite and above 0",
                      numberText(in.sampleRate).text);
    if (in.recordKind < GENSIGNAL_RECORD_NONE || in.recordKind > GENSIGNAL_RECORD_OFDM)
        return refuse(-1, "GenSignalMeasureInput.recordKind = %d: must be 0 (none) to 10 (OFDM)", in.recordKind);
    if (in.recordKind != GENSIGNAL_RECORD_NONE && !in.record)
        return refuse(-1, "GenSignalMeasureInput.record is a null pointer (recordKind = %d)", in.recordKind);
    if (in.format == GENSIGNAL_FORMAT_CF32) {
        const float* v = static_cast<const float*>(in.samples);
        for (int64_t i = 0; i < in.valueCount; ++i)
            if (!std::isfinite(v[i]))
                return refuse(-1, "GenSignalMeasureInput.samples: value %lld is %s, not a finite number",
                              static_cast<long long>(i), numberText(v[i]).text);
    }
    return 0;
}
