#include "airports/airport_state.h"

std::atomic<bool> tbloReady{false};
