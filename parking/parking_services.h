// Registers the parking side's functions as the engine's stand services
// (engine/stand_services.h). The main task does it as it starts; test programs
// do it as they start.
#pragma once

void gf_useParkingStandServices();
