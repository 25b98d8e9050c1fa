// The engine's copy of the user-aircraft position and its published snapshot.
#pragma once

#include <memory>

#include "simlink/user_aircraft.h"

// Stores the engine's copy of the user position and publishes a copy of it.
void gf_publishUserAcPosition(const UserAcPosition& position);
// The engine's copy (main task).
UserAcPosition gf_engineUserAcPosition();
// The published snapshot; an all-zero record until the first publication.
std::shared_ptr<const UserAcPosition> gf_publishedUserAcPosition();
