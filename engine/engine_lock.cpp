#include "engine/engine_lock.h"

std::shared_mutex engineLock;
