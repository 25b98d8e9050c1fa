#include "engine/traffic_state.h"

std::atomic<int32_t> engineClock{0};
std::shared_mutex engineLock;
