// The SimClient thread: the one owner of Kelo's SimConnect connection. It
// waits for the selected simulator, registers Kelo's identifiers, dispatches
// SimConnect every millisecond (positions and queued commands on every
// simulator frame), reconnects when the simulator quits, and removes its AI
// objects when the program stops.
#pragma once

#include <stop_token>

#include "simlink/simconnect_api.h"

// The thread body.
void SimClient(std::stop_token stopToken);

// Registers every definition, event, group and priority on the open
// connection; true only when every call succeeded (all are made regardless).
bool gf_setupSimConnect(ScHandle handle);

// SimConnect_Close when the handle is set; the handle is null afterwards.
void gf_closeSimConnect(ScHandle& handle);

// Keeps the user aircraft's stand reserved across the restart that follows a
// new flight, a new flight file or the thread's end.
void gf_reserveUserStand();

// Before the thread starts.
void gf_resetSimClientState();
// After the thread was joined.
void gf_clearSimClientState();

// The last AI position written, for the log after a failed dispatch.
void gf_logPositionDiagnostic();
