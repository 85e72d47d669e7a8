// The registry's entries and its look-up, for every exported function that
// takes a handle. A handle is the generator object with the settings a host
// made on it and what its last call made; the object itself keeps only its
// I/Q buffer.
#pragma once

#include "genSignalClass.h"
#include "handleOptions.h"
#include "sceneResult.h"

struct HandleEntry {
    GenSignalClass object;
    HandleState state;
    SceneResult scene;
};

// The live entry behind the id, or null; takes g_lock only for the look-up.
HandleEntry* lookUpHandle(int handleId);

// The refusal of an id without a live object: -1 with the reason.
int refuseHandle(int handleId);
