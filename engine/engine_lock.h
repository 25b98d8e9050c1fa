// The reader/writer lock over the engine state, the user-aircraft data and
// the current-airport record. Painting takes it shared for one read of the
// current airport; writers take it exclusive.
#pragma once

#include <shared_mutex>

extern std::shared_mutex engineLock;
