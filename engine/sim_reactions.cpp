#include "engine/sim_reactions.h"

void lf_processSimEvents() {}
