#include "engine/per_tick_update.h"

void lf_handleAddingStack() {}
