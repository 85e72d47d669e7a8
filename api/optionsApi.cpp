// The exported functions of the opt-in settings and of what the last call
// made: each looks the handle up and reads or writes its HandleState.
#include <cstring>

#include "handleRegistry.h"
#include "lastError.h"
#include "wrapperGenSignalWave.h"

extern "C" {

GENSIGNAL_API int GenSignalSetOption(int handleId, int option, double value) {
    clearLastError();
    HandleEntry* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    return setOption(obj->state.options, option, value);
}

GENSIGNAL_API int GenSignalGetOption(int handleId, int option, double* value) {
    clearLastError();
    HandleEntry* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    return getOption(obj->state.options, option, value);
}

GENSIGNAL_API int GenSignalGetLoopInfo(int handleId, GenSignalLoopInfo* info) {
    clearLastError();
    HandleEntry* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    if (!info) return refuse(-1, "GenSignalGetLoopInfo: info is a null pointer");
    *info = obj->state.last.loop;
    return 0;
}

GENSIGNAL_API int GenSignalGetNote(int handleId, char* buffer, int bufferSize) {
    clearLastError();
    HandleEntry* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    if (!buffer || bufferSize < 1) return refuse(-1, "GenSignalGetNote: buffer is null or bufferSize below 1");
    const LastCall& last = obj->state.last;
    const int copied = last.noteLength < bufferSize ? last.noteLength : bufferSize - 1;
    std::memcpy(buffer, last.note, static_cast<size_t>(copied));
    buffer[copied] = '\0';
    return last.noteLength;
}

GENSIGNAL_API int GenSignalListOptions(GenSignalOptionInfo* options, int capacity) {
    clearLastError();
    return listOptions(options, capacity);
}

GENSIGNAL_API int GenSignalGetSnap(int handleId, GenSignalSnap* snap) {
    clearLastError();
    HandleEntry* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    if (!snap) return refuse(-1, "GenSignalGetSnap: snap is a null pointer");
    *snap = obj->state.last.snap;
    return 0;
}

}  // extern "C"
