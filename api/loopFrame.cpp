#include "loopFrame.h"

#include "sampleConversion.h"

int deliverExact(GenSignalClass& obj, ExactWaveform& w, int16_t** iq, int* count) {
    int rc = 0;
    if (w.envelope)
        rc = deliverSamples(&obj, w.envelope.release(), w.samples, iq, count);
    else if (w.realSamples)
        rc = deliverSamples(&obj, w.realSamples.release(), w.samples, iq, count);
    else
        rc = deliverSamples(&obj, w.complexSamples.release(), w.samples, iq, count);
    if (rc != 0) return rc;
    obj.state.last.loop = w.loop;
    obj.state.last.setNote("%s", "");
    return 0;
}
