#include "engine/aircraft_removal.h"

void gf_removeLiveAircraftCategory(uint8_t) {}
void gf_removeStaticAircraftCategory(uint8_t) {}
