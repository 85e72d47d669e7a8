/* A C11 host: includes the public header, creates a handle, generates AM,
 * checks the result, asks why a bad record is refused and releases the
 * handle. Exit status 0 means success. */
#include <stdio.h>
#include <string.h>

#include "wrapperGenSignalWave.h"

int main(void) {
    char version[26];
    if (GetALGVersion(version) != 25 || strcmp(version, "V1.0.0.20260622_X86_WIN64") != 0) {
        fprintf(stderr, "version mismatch\n");
        return 1;
    }
    int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) return 2;
    AMModParams am = {1000.0, 100.0, 1};
    int16_t* iq = NULL;
    int count = 0;
    if (GenerateAmWaveform(handle, &am, &iq, &count, 48000.0) != 0) return 3;
    /* One period of 48 samples: crest at sample 12, trough at sample 36. */
    if (count != 96 || iq[24] != 32766 || iq[72] != 0 || iq[1] != 0) {
        fprintf(stderr, "unexpected AM: count %d, I[12] %d, I[36] %d\n", count, iq[24], iq[72]);
        return 4;
    }
    am.modShape = 9;
    char why[128];
    if (GenerateAmWaveform(handle, &am, &iq, &count, 48000.0) != -1 || count != 96) return 6;
    const int length = GenSignalGetLastError(why, sizeof why);
    if (length != (int)strlen(why) || strncmp(why, "AMModParams.modShape = 9: ", 26) != 0) {
        fprintf(stderr, "unexpected reason: \"%s\" (%d)\n", why, length);
        return 7;
    }
    if (GenSignalObjRelease(handle) != 0 || GenSignalObjRelease(handle) != -1) return 5;
    return 0;
}
