// The registry's look-up, for every exported function that takes a handle.
#pragma once

class GenSignalClass;

// The live object behind the id, or null; takes g_lock only for the look-up.
GenSignalClass* lookUpHandle(int handleId);

// The refusal of an id without a live object: -1 with the reason.
int refuseHandle(int handleId);
