#include "simlink/user_aircraft.h"

std::atomic<bool> userOnGround{false};
