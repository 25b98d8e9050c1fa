// The engine's reactions to the simulator's events.
#pragma once

// Applies the queued simulator events; none are handled yet.
void lf_processSimEvents();
