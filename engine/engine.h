// The engine's front door: what the main task asks of the live traffic engine.
#pragma once

// Clears and reserves every container at each start.
void gf_initTrafficState();

// The restart reset.
void gf_resetTrafficState();

// Empties the per-aircraft cache of livery choices.
void gf_clearLiveryChoiceCache();

// Empties the active traffic reader's parked list before parked traffic is
// asked for again.
void lf_clearRtParkedTraffic();
